#pragma once

#include <memory>
#include <string>

#include "pipeline/media_framework.h"

// FFmpeg's DV video decoder and encoder behind the framework's DV interfaces. Each object runs the codec on
// the calling thread only: parallel work is done by several objects, one per worker.
namespace moraven::ffmpeg {

std::unique_ptr<DvVideoDecoder> makeDvVideoDecoder(std::string* error);
std::unique_ptr<DvVideoEncoder> makeDvVideoEncoder(DvSystem system, bool wide, std::string* error);

}  // namespace moraven::ffmpeg
