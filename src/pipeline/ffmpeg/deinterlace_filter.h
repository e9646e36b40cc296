#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pipeline/ffmpeg/av_handles.h"
#include "pipeline/video/picture_format.h"

// Interlaced pictures made progressive by libavfilter's motion-adaptive de-interlacer (bwdif): one picture out
// for each picture in, from its earlier field, where the picture moves; still areas keep both fields' lines.
// The filter looks one picture ahead, so its output lags its input by a picture until pushEnd().
struct AVFilterContext;

namespace moraven::ffmpeg {

class DeinterlaceFilter {
public:
    // Whether the filter takes pictures of `format`: interlaced YUV.
    static bool takes(const PictureFormat& format);

    // Sets the filter up for pictures of `format` (taken() must be true); false with the reason otherwise.
    bool open(const PictureFormat& format, std::string* error);
    bool isOpen() const { return m_graph != nullptr; }
    const PictureFormat& format() const { return m_format; }

    bool push(Bytes picture, MediaTime start);
    void pushEnd();
    // The next progressive picture (of format() with progressive field order), or false when none is ready.
    bool pull(std::vector<std::uint8_t>& picture, MediaTime& start);

private:
    PictureFormat m_format;
    FilterGraphHandle m_graph;
    AVFilterContext* m_source = nullptr;  // owned by the graph
    AVFilterContext* m_sink = nullptr;
    FrameHandle m_frame;
};

}  // namespace moraven::ffmpeg
