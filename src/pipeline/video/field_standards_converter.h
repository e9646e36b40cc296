#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "formats/byte_order.h"
#include "formats/dv_frame_analysis.h"
#include "formats/dvcodes.h"
#include "formats/media_time.h"
#include "pipeline/video/picture_format.h"

// Converts a stream of DV pictures of one television system into pictures of the other (625/50 PAL 4:2:0
// 720 x 576 at 25 frames a second <-> 525/60 NTSC 4:1:1 720 x 480 at 29.97), field by field, so that motion
// keeps its 50 or 59.94 steps a second and the duration stays the same.
//
// Each frame is two fields, bottom first (DV's order): the bottom field (odd lines) at the frame's start, the
// top field (even lines) half a frame later. Every output field takes the source field nearest to it in time
// and resamples it vertically (4 taps) to its own lines, each line placed where it lies in the frame, so that
// a still picture does not move when a top field feeds a bottom field. Chroma follows its own layout: PAL's
// 4:2:0 chroma rows alternate between the fields (row k belongs to the field of parity k % 2) and each covers
// two of its field's lines; NTSC's 4:1:1 chroma has one row per line and a quarter of the width, so chroma is
// also halved (360 -> 180, pairs averaged) or doubled (180 -> 360, interpolated) across.
//
// Timing. After the end, the output holds round(source frames x source frame duration / output frame
// duration) pictures (750 PAL frames -> 899 NTSC, 899 NTSC -> 750 PAL); output n starts at the first source
// picture's start plus n output frame durations. Each output carries the source frame number, and the
// discontinuity mark, of the picture its bottom (first) field came from.
//
// Memory: at most a few source pictures are held (those that the next outputs still need); buffers are
// reused, and nothing is allocated per line or per pixel once the first pictures went through.
//
// Threads: one thread at a time; no shared state.
namespace moraven {

// What goes with one converted picture.
struct ConvertedPictureInfo {
    MediaTime start;  // 100 ns
    MediaTime stop;
    // The DV frame facts of the source picture that gave the bottom field (null when it carried none).
    std::shared_ptr<const DvFrameFacts> frameFacts;
    bool discontinuity = false;  // that source picture's mark, on the first output it feeds only
};

class FieldStandardsConverter {
public:
    // Converts pictures of `from` (Pal625 or Ntsc525) into the other system; `wide` is the 16:9 shape that
    // both formats carry. Throws std::invalid_argument for DvSystem::Unknown.
    FieldStandardsConverter(DvSystem from, bool wide);

    const PictureFormat& inputFormat() const { return m_in; }
    const PictureFormat& outputFormat() const { return m_out; }

    // Takes one source picture laid out as inputFormat() (tight planes; extra bytes are ignored). False,
    // taking nothing, when `picture` is shorter than one picture or the end was already pushed.
    bool push(Bytes picture, MediaTime start, std::shared_ptr<const DvFrameFacts> frameFacts,
              bool discontinuity = false);
    // No more pictures: the outputs still due come out of pull().
    void pushEnd();
    // The next converted picture into `picture` (resized to pictureBytes(outputFormat())), or false when
    // none is ready: push more, or after pushEnd(), the end.
    bool pull(std::vector<std::uint8_t>& picture, ConvertedPictureInfo& info);
    // Forgets every picture and starts a new stream.
    void reset();

    // The number of output pictures for `sourceFrames` source pictures (the rule above).
    std::int64_t outputCountFor(std::int64_t sourceFrames) const;

    // One plane's vertical taps: for each output row of one field, the four source rows (of one field
    // of the source plane, as plane rows) and their weights in 1/64.
    struct RowTaps {
        std::array<int, 4> rows{};
        std::array<std::int16_t, 4> weights{};
    };

private:
    struct Held {
        std::vector<std::uint8_t> data;
        std::shared_ptr<const DvFrameFacts> frameFacts;
        bool discontinuity = false;
        bool fed = false;  // an output already took its bottom field from it
    };
    // Taps of one plane for [output parity][source parity], indexed by the output plane row / 2.
    using PlaneTaps = std::array<std::array<std::vector<RowTaps>, 2>, 2>;

    // The source field (2m: frame m's bottom field, 2m + 1: its top field) nearest output field j.
    std::int64_t sourceField(std::int64_t outputField) const;
    void buildTaps();
    void convertField(const Held& source, int sourceParity, int outputParity, std::vector<std::uint8_t>& out);
    void convertPlane(const std::uint8_t* src, int srcWidth, std::uint8_t* dst, int dstWidth, int dstRows,
                      const std::vector<RowTaps>& taps, int outputParity);

    PictureFormat m_in;
    PictureFormat m_out;
    // Field durations in 1/60000 s: 1200 for 50 fields a second, 1001 for 59.94.
    std::int64_t m_inField = 0;
    std::int64_t m_outField = 0;
    PlaneTaps m_lumaTaps;
    PlaneTaps m_chromaTaps;

    std::deque<Held> m_held;      // source frames m_firstHeld, m_firstHeld + 1, ...
    std::vector<Held> m_spare;    // buffers to reuse
    std::int64_t m_firstHeld = 0;
    std::int64_t m_received = 0;
    std::int64_t m_next = 0;      // the next output frame
    bool m_ended = false;
    MediaTime m_base;             // the first source picture's start
    std::vector<std::uint8_t> m_row;  // one chroma row before it is resized across
};

}  // namespace moraven
