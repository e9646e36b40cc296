#pragma once

#include <optional>

#include "formats/media_type.h"
#include "pipeline/media_framework.h"

// What a decoder of the codec module needs to know of a compressed stream, read from the stream's media
// type (the bitmap header or the wave format, and the bytes after it).
namespace moraven {

// Video with a bitmap header, or sound with a wave format; nothing for any other type.
std::optional<CodecStreamInfo> codecStreamInfoOf(const MediaType& type);

}  // namespace moraven
