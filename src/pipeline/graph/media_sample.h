#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "formats/byte_order.h"
#include "formats/dv_frame_analysis.h"
#include "formats/media_time.h"
#include "formats/media_type.h"

// One sample as it travels through a graph: one whole video or DV frame, or a block of sound (whole sample
// frames), with its times and marks.
namespace moraven {

struct DvSplice;  // formats/dv_video_segments.h

struct MediaSample {
    // The bytes. A stage that changes them in place (DV header, DV muxer) works on this vector; a stage that
    // keeps them beyond its receive() call copies them, or takes them by swapping in a buffer of its own (the
    // DV muxer, while a frame waits for its sound). A sender therefore refills `data` for every sample and
    // never reads it after handing the sample on.
    std::vector<std::uint8_t> data;
    MediaTime start;  // 100 ns from the start of the stream
    MediaTime stop;
    bool keyFrame = true;
    bool discontinuity = false;
    bool preroll = false;
    // The DV frame this sample was made from: its number, recording date and time, timecode, shape and first
    // 480 bytes, as the scene detection stage read them (formats/dv_frame_analysis.h); null when no scene
    // detection saw it. Stages that make new samples from old ones (decoders, encoders, converters, packed
    // jobs) carry it over, so that a stage downstream reads the facts of the very frame a sample came from,
    // however many frames are on their way at once. Shared and never changed once attached.
    std::shared_ptr<const DvFrameFacts> frameFacts;
    // The type of this sample's bytes when it differs from the type of the connection it travels on (a
    // decoder whose pictures change shape within a stream); null otherwise. Whoever refills a sample sets it.
    std::shared_ptr<const MediaType> typeChange;
    // For a picture that the DV video decoder decoded in part (only the segments a change will touch, the
    // rest blanked): the original frame and those segments, so that the DV video encoder codes only them again
    // and keeps every other byte of the original. Null otherwise. Whoever refills a sample sets it.
    std::shared_ptr<const DvSplice> splice;

    // Takes `other`'s times, marks and frame facts (not its bytes, not its type change): for a stage that
    // makes this sample from that one.
    void copyMarksFrom(const MediaSample& other) {
        start = other.start;
        stop = other.stop;
        keyFrame = other.keyFrame;
        discontinuity = other.discontinuity;
        preroll = other.preroll;
        frameFacts = other.frameFacts;
    }

    // The number the scene detection gave the frame this sample was made from; 0 when none did.
    std::uint64_t sourceFrame() const { return frameFacts ? frameFacts->Frame : 0; }

    Bytes bytes() const { return Bytes(data.data(), data.size()); }
    MutableBytes mutableBytes() { return MutableBytes(data.data(), data.size()); }
};

}  // namespace moraven
