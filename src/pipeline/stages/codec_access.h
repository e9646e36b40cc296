#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "pipeline/media_framework.h"

// How the stages that decode, encode or convert reach the codec module.
namespace moraven {

// `given` when it is not null (tests hand in fakes), else the codec module, loaded now if it was not yet.
// Throws std::runtime_error with the reason when the module cannot be loaded. Control thread (start()).
const MediaFramework& requireMediaFramework(const MediaFramework* given);

// The worker threads of a stage that runs codecs in parallel: `requested`, or when it is 0 one per hardware
// thread, at most 16. The bound keeps the memory in flight modest on large machines: each worker holds up to
// two packed jobs of eight frames and their pictures (about 12 MB a worker).
inline std::size_t codecWorkerCount(std::size_t requested) {
    constexpr std::size_t kMaxWorkers = 16;
    if (requested != 0) return requested;
    return std::min<std::size_t>(kMaxWorkers, std::max(1u, std::thread::hardware_concurrency()));
}

// The codec a maker made; throws std::runtime_error("<what>: <error>") when it made none.
template <typename Codec>
std::unique_ptr<Codec> requireCodec(std::unique_ptr<Codec> codec, const char* what, const std::string& error) {
    if (!codec) throw std::runtime_error(std::string(what) + (error.empty() ? "" : ": " + error));
    return codec;
}

}  // namespace moraven
