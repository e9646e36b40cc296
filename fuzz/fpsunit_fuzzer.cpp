// The AVI header patcher on arbitrary bytes: its walk must end, the offsets it finds must lie inside the
// file, and its writers must change nothing but the fields at those offsets.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "formats/byte_order.h"
#include "formats/fpsunit.h"
#include "memory_file.h"

namespace {

void put(std::vector<std::uint8_t>& bytes, std::uint64_t offset, std::uint32_t value) {
    if (offset > bytes.size() || bytes.size() - offset < 4) std::abort();
    moraven::putU32le(bytes, static_cast<std::size_t>(offset), value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const MemoryFile file(data, size);
    std::vector<std::uint8_t> expected(data, data + size);
    moraven::AviHeaderPatcher patcher;

    const auto code = patcher.GetVideoCodec(file.path());
    if (code.has_value() != patcher.found()) std::abort();
    if (!patcher.found()) {
        if (patcher.SetVideoCodec(file.path(), 0x43564443)) std::abort();
        patcher.SetFrameRate(file.path(), 25);
        if (file.contents() != expected) std::abort();
        return 0;
    }
    const std::uint64_t handler = *patcher.handlerOffset();
    if (patcher.scaleOffset() != handler + 16 || handler + 24 > size) std::abort();
    if (*code != moraven::u32le(expected, static_cast<std::size_t>(handler))) std::abort();

    // Each write goes to the offsets that its own walk reports, and nowhere else.
    const bool written = patcher.SetVideoCodec(file.path(), 0x43564443);
    if (written != patcher.found()) std::abort();
    if (written) put(expected, *patcher.handlerOffset(), 0x43564443);
    patcher.SetFrameRate(file.path(), 29.97);
    if (patcher.found()) {
        put(expected, *patcher.scaleOffset(), 33367);
        put(expected, *patcher.scaleOffset() + 4, moraven::AviHeaderPatcher::kRate);
    }
    if (file.contents() != expected) std::abort();
    return 0;
}
