#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "pipeline/media_framework.h"

// How the stages that decode, encode or convert reach the codec module.
namespace moraven {

// `given` when it is not null (tests hand in fakes), else the codec module, loaded now if it was not yet.
// Throws std::runtime_error with the reason when the module cannot be loaded. Control thread (start()).
const MediaFramework& requireMediaFramework(const MediaFramework* given);

// The codec a maker made; throws std::runtime_error("<what>: <error>") when it made none.
template <typename Codec>
std::unique_ptr<Codec> requireCodec(std::unique_ptr<Codec> codec, const char* what, const std::string& error) {
    if (!codec) throw std::runtime_error(std::string(what) + (error.empty() ? "" : ": " + error));
    return codec;
}

}  // namespace moraven
