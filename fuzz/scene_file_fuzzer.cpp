// Feeds arbitrary bytes to the scene file reader. Nothing may crash or read outside the input; what it gives
// back must agree with the bytes: the path that the length byte names, and one boundary for the first
// record plus one for each further record that the count announces.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "formats/scene_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    const auto contents = moraven::parseSceneFile(bytes);
    if (!contents) return 0;
    if (size < 25 || contents->videoPath.size() != bytes[24]) std::abort();
    const std::size_t expected = contents->sceneCount == 0 ? 1 : contents->sceneCount;
    if (contents->boundaries.size() != expected) std::abort();
    if (size < 65 + std::size_t{bytes[24]} + 11) std::abort();
    return 0;
}
