#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/avi_demuxer.h"

namespace moraven::test {

// Every sample of the first stream of `kind` in the AVI file at `path`, read with our demuxer; none when the
// file has no such stream.
std::vector<std::vector<std::uint8_t>> samplesOfFirstStream(const std::string& path, AviStreamKind kind);

}  // namespace moraven::test
