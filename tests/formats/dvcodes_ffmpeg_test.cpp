// Frames written by ffmpeg's DV encoder and muxer, an independent writer of the packs, read back.
#include "formats/dvcodes.h"

#include <span>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "formats/byte_order.h"
#include "formats/fourcc.h"
#include "support/dv_frame_builder.h"
#include "support/external_tools.h"
#include "support/temp_dir.h"

namespace moraven {
namespace {

// The data of the first "00dc" chunk of the AVI's "movi" list; empty when there is none. Just enough of a
// walk for the files ffmpeg writes: top-level chunks of the RIFF form, then the chunks inside "movi".
Bytes firstVideoFrame(Bytes avi) {
    auto walk = [](Bytes bytes, std::size_t pos, std::size_t end, auto&& visit) -> Bytes {
        while (pos < end && 8 <= end - pos) {
            const FourCC id = FourCC::at(bytes, pos);
            const std::size_t size = u32le(bytes, pos + 4);
            if (size > end - pos - 8) return {};
            const Bytes found = visit(id, bytes.subspan(pos + 8, size));
            if (!found.empty()) return found;
            pos += 8 + size + (size & 1);
        }
        return {};
    };
    if (avi.size() < 12 || FourCC::at(avi, 0) != FourCC::of("RIFF")) return {};
    return walk(avi, 12, avi.size(), [&](FourCC id, Bytes data) -> Bytes {
        if (id != FourCC::of("LIST") || FourCC::at(data, 0) != FourCC::of("movi")) return {};
        return walk(data, 4, data.size(), [](FourCC chunkId, Bytes chunkData) {
            return chunkId == FourCC::of("00dc") ? chunkData : Bytes{};
        });
    });
}

struct ClipCase {
    bool ntsc;
    bool wide;
};

class DvCodesFfmpegTest : public ::testing::TestWithParam<ClipCase> {};

std::string clipName(const ::testing::TestParamInfo<ClipCase>& clip) {
    return std::string(clip.param.ntsc ? "Ntsc" : "Pal") + (clip.param.wide ? "Wide" : "");
}

TEST_P(DvCodesFfmpegTest, ReadsThePacksFfmpegWrites) {
    if (!test::programAvailable("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    const ClipCase clip = GetParam();
    test::TempDir dir;
    test::DvClipOptions options;
    options.ntsc = clip.ntsc;
    options.wide = clip.wide;
    options.frames = 3;
    options.creationTime = "2004-07-15T13:05:09Z";
    options.timecode = "01:02:03:04";
    const auto file =
        test::readWholeFile(test::makeDvAviWithFfmpeg(dir.path().string(), "clip.avi", options));
    const Bytes frame = firstVideoFrame(file);
    ASSERT_EQ(frame.size(), clip.ntsc ? kDvNtscFrameBytes : kDvPalFrameBytes);

    EXPECT_EQ(DvSystemOf(frame), clip.ntsc ? DvSystem::Ntsc525 : DvSystem::Pal625);
    const DvFoundRecDate found = DvFindRecDate(frame);
    EXPECT_EQ(found.sequence, 0);
    EXPECT_EQ(found.date, (TDvRecDate{2004, 7, 15, 13, 5, 9}));
    EXPECT_EQ(DvFindTimecode(frame), (TDvTimecode{1, 2, 3, 4}));
    EXPECT_EQ(DvReadTimecode(frame, 9), (TDvTimecode{1, 2, 3, 4}));
    EXPECT_EQ(DvAudioFrequency(frame), 48000);
    EXPECT_EQ(DvAudioQuantization(frame), 16);
    // ffmpeg's encoder writes the source control pack with display select 2 for a 16:9 picture, 0 for 4:3.
    EXPECT_TRUE(DvHasSourceControl(frame));
    EXPECT_EQ(DvIs16x9(frame), clip.wide);

    // The test frames are laid out like ffmpeg's: the same section, sequence and block number in every id.
    const auto built = test::DvFrameBuilder(clip.ntsc ? DvSystem::Ntsc525 : DvSystem::Pal625).bytes();
    ASSERT_EQ(built.size(), frame.size());
    for (std::size_t block = 0; block < frame.size(); block += 80) {
        ASSERT_EQ(built[block] >> 5, frame[block] >> 5) << "section of block at " << block;
        ASSERT_EQ(built[block + 1] >> 4, frame[block + 1] >> 4) << "sequence of block at " << block;
        ASSERT_EQ(built[block + 2], frame[block + 2]) << "number of block at " << block;
    }
    EXPECT_EQ(built[3], frame[3]);
}

INSTANTIATE_TEST_SUITE_P(Clips, DvCodesFfmpegTest,
                         ::testing::Values(ClipCase{false, false}, ClipCase{true, false},
                                           ClipCase{false, true}, ClipCase{true, true}),
                         clipName);

}  // namespace
}  // namespace moraven
