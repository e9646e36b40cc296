#pragma once

#include <memory>
#include <string>

#include "pipeline/media_framework.h"

// Pictures to one target format or to BGR24 for display, and sound to one rate and channel count, on swscale and swresample.
namespace moraven::ffmpeg {

std::unique_ptr<PictureConformer> makePictureConformer(const PictureFormat& target, std::string* error);
std::unique_ptr<Resampler> makeResampler(PcmFormat from, PcmFormat to, std::string* error);
std::unique_ptr<BgrConverter> makeBgrConverter(std::string* error);

}  // namespace moraven::ffmpeg
