#pragma once

#include <memory>
#include <string>

#include "pipeline/media_framework.h"

// FFmpeg's decoders for the streams of any AVI: the codec is found by the bitmap header's compression or the
// wave format's tag, as AVI readers do.
namespace moraven::ffmpeg {

std::unique_ptr<VideoDecoder> makeVideoDecoder(const CodecStreamInfo& stream, std::string* error);
std::unique_ptr<AudioDecoder> makeAudioDecoder(const CodecStreamInfo& stream, std::string* error);

}  // namespace moraven::ffmpeg
