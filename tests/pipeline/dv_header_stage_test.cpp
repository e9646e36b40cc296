#include "pipeline/stages/dv_header_stage.h"

#include <gtest/gtest.h>

#include "pipeline/graph/graph.h"
#include "pipeline/stages/sample_grabber_stage.h"
#include "pipeline/stages/scene_detect_stage.h"
#include "support/dv_frame_builder.h"

namespace moraven {
namespace {

using test::DvFrameBuilder;

// Delivers the given frames as PAL DV video.
class FrameSource final : public Stage {
public:
    explicit FrameSource(std::vector<std::vector<std::uint8_t>> frames)
        : Stage("Frame Source"), m_frames(std::move(frames)) {
        addPin(PinDirection::Output, "Out");
    }
    std::vector<MediaType> outputTypes(const Pin&) const override { return {MediaType::dvVideo(DvSystem::Pal625)}; }
    bool isSource() const override { return true; }
    bool produce() override {
        if (m_next >= m_frames.size()) {
            deliverEndOfStream(*output(0));
            return false;
        }
        MediaSample sample;
        sample.data = m_frames[m_next];
        sample.start = MediaTime::fromTicks(static_cast<std::int64_t>(m_next) * 400'000);
        sample.stop = sample.start + kPalFrameDuration;
        ++m_next;
        deliver(*output(0), sample);
        return true;
    }

private:
    std::vector<std::vector<std::uint8_t>> m_frames;
    std::size_t m_next = 0;
};

// source -> scene detection -> (`between` changes the bytes) -> DV header -> grabber; returns the frames
// that reached the grabber.
std::vector<std::vector<std::uint8_t>> runThrough(const std::vector<std::vector<std::uint8_t>>& frames,
                                                  bool restore, std::int32_t hours,
                                                  std::function<void(MediaSample&)> between = {}) {
    Graph graph;
    FrameSource source(frames);
    Tdv_sceneDetect detector;
    SampleGrabberStage middle;
    Tdv_DVheader header;
    SampleGrabberStage grabber;
    header.RestoreHeader = restore;
    header.SetHourShift(hours);
    std::vector<std::vector<std::uint8_t>> out;
    // The middle grabber stands for an encoder that rewrites the frame.
    middle.setCallback([&](MediaSample& sample) {
        if (between) between(sample);
    });
    grabber.setCallback([&](const MediaSample& sample) { out.push_back(sample.data); });
    graph.add(source, "source");
    graph.add(detector, "detector");
    graph.add(middle, "middle");
    graph.add(header, "header");
    graph.add(grabber, "grabber");
    EXPECT_TRUE(graph.connect(*source.output(0), *detector.input(0)));
    EXPECT_TRUE(graph.connect(*detector.output(0), *middle.input(0)));
    EXPECT_TRUE(graph.connect(*middle.output(0), *header.input(0)));
    EXPECT_TRUE(graph.connect(*header.output(0), *grabber.input(0)));
    graph.run();
    EXPECT_TRUE(graph.waitForEnd(std::chrono::seconds(30)));
    graph.stop();
    return out;
}

TEST(DvHeaderStageTest, ShiftsTheRecordingTimeAcrossDaysMonthsAndYears) {
    struct Case {
        TDvRecDate from;
        std::int32_t hours;
        TDvRecDate to;
    };
    const Case cases[] = {
        {{2004, 1, 1, 0, 30, 0}, -1, {2003, 12, 31, 23, 30, 0}},
        {{1999, 12, 31, 23, 0, 0}, 2, {2000, 1, 1, 1, 0, 0}},
        {{2004, 2, 28, 23, 59, 59}, 1, {2004, 2, 29, 0, 59, 59}},  // leap year
        {{2003, 4, 30, 22, 0, 0}, 3, {2003, 5, 1, 1, 0, 0}},      // month end
        {{2004, 3, 1, 0, 0, 0}, -1, {2004, 2, 29, 23, 0, 0}},
        {{2004, 7, 15, 13, 5, 9}, 48, {2004, 7, 17, 13, 5, 9}},
        {{2004, 7, 15, 0, 0, 0}, 1, {2004, 7, 15, 1, 0, 0}},  // never 00:59:59
    };
    for (const Case& c : cases) {
        const auto shifted = Tdv_DVheader::shiftedRecDate(c.from, c.hours);
        ASSERT_TRUE(shifted.has_value());
        EXPECT_EQ(*shifted, c.to) << c.from.year << "-" << int(c.from.month) << "-" << int(c.from.day) << " "
                                  << c.hours;
    }
    EXPECT_FALSE(Tdv_DVheader::shiftedRecDate({2004, 2, 30, 10, 0, 0}, 1).has_value());
    EXPECT_FALSE(Tdv_DVheader::shiftedRecDate({}, 1).has_value());
}

TEST(DvHeaderStageTest, WritesTheShiftedDateIntoTheSequenceThatHeldIt) {
    const auto onlyInThree = DvFrameBuilder(DvSystem::Pal625).recDate(3, 2004, 1, 1, 0, 30, 0).bytes();
    const auto out = runThrough({onlyInThree}, false, -1);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(DvReadRecDate(out[0], 3), (TDvRecDate{2003, 12, 31, 23, 30, 0}));
    EXPECT_FALSE(DvReadRecDate(out[0], 0).isPresent());
    // Only the date and time packs of sequence 3 changed.
    std::size_t changed = 0;
    for (std::size_t i = 0; i < out[0].size(); ++i) {
        if (out[0][i] != onlyInThree[i]) {
            ++changed;
            EXPECT_EQ(i / kDvSequenceBytes, 3u) << i;
        }
    }
    EXPECT_GT(changed, 0u);
}

TEST(DvHeaderStageTest, LeavesFramesItMustNotTouchByteForByte) {
    // 30 February is no date: nothing is written; nor without any date, nor with the stage doing nothing.
    DvFrameBuilder impossible(DvSystem::Pal625);
    impossible.recDate(0, 2004, 2, 30, 10, 0, 0);
    const auto noDate = DvFrameBuilder(DvSystem::Pal625).bytes();
    const auto dated = DvFrameBuilder(DvSystem::Pal625).recDate(0, 2004, 7, 15, 13, 5, 9).bytes();
    EXPECT_EQ(runThrough({impossible.bytes(), noDate}, false, 5),
              (std::vector<std::vector<std::uint8_t>>{impossible.bytes(), noDate}));
    EXPECT_EQ(runThrough({dated}, false, 0), std::vector<std::vector<std::uint8_t>>{dated});
}

TEST(DvHeaderStageTest, RestoreHeaderCopiesTheBytesTheDetectorSaved) {
    const auto dated = DvFrameBuilder(DvSystem::Pal625).recDate(0, 2004, 7, 15, 13, 5, 9).bytes();
    const auto wipeHeader = [](MediaSample& sample) {
        std::fill(sample.data.begin(), sample.data.end(), std::uint8_t{0x55});
    };
    const auto out = runThrough({dated, dated}, true, 0, wipeHeader);
    ASSERT_EQ(out.size(), 2u);
    for (const auto& frame : out) {
        EXPECT_TRUE(std::equal(dated.begin(), dated.begin() + 480, frame.begin()));
        EXPECT_EQ(frame[480], 0x55) << "past the header the encoder's bytes stay";
    }
    // Restored, then shifted: the date read back is the source's plus the hours.
    const auto shifted = runThrough({dated}, true, 2, wipeHeader);
    EXPECT_EQ(DvReadRecDate(shifted[0], 0), (TDvRecDate{2004, 7, 15, 15, 5, 9}));
}

// Stands for the decoder, converter and encoder between the detection and the DV header: replaces each
// frame by `reencode(frame)` and hands it on `lag` frames late (as parallel codecs do), keeping its
// frame facts and times.
class LaggingReencoder final : public InPlaceStage {
public:
    LaggingReencoder(std::size_t lag, std::function<std::vector<std::uint8_t>(const MediaSample&)> reencode)
        : InPlaceStage("Lagging Reencoder"), m_lag(lag), m_reencode(std::move(reencode)) {}
    void receive(Pin&, MediaSample& sample) override {
        MediaSample held = sample;
        held.data = m_reencode(sample);
        m_held.push_back(std::move(held));
        if (m_held.size() > m_lag) deliverOldest();
    }
    void endOfStream(Pin&) override {
        while (!m_held.empty()) deliverOldest();
        deliverEndOfStream(outputPin());
    }

private:
    void deliverOldest() {
        MediaSample sample = std::move(m_held.front());
        m_held.erase(m_held.begin());
        deliver(outputPin(), sample);
    }
    std::size_t m_lag;
    std::function<std::vector<std::uint8_t>(const MediaSample&)> m_reencode;
    std::vector<MediaSample> m_held;
};

std::vector<std::vector<std::uint8_t>> runReencoded(
    const std::vector<std::vector<std::uint8_t>>& frames, std::size_t lag,
    std::function<std::vector<std::uint8_t>(const MediaSample&)> reencode) {
    Graph graph;
    FrameSource source(frames);
    Tdv_sceneDetect detector;
    LaggingReencoder middle(lag, std::move(reencode));
    Tdv_DVheader header;
    SampleGrabberStage grabber;
    std::vector<std::vector<std::uint8_t>> out;
    grabber.setCallback([&](const MediaSample& sample) { out.push_back(sample.data); });
    graph.add(source, "source");
    graph.add(detector, "detector");
    graph.add(middle, "middle");
    graph.add(header, "header");
    graph.add(grabber, "grabber");
    EXPECT_TRUE(graph.connect(*source.output(0), *detector.input(0)));
    EXPECT_TRUE(graph.connect(*detector.output(0), *middle.input(0)));
    EXPECT_TRUE(graph.connect(*middle.output(0), *header.input(0)));
    EXPECT_TRUE(graph.connect(*header.output(0), *grabber.input(0)));
    graph.run();
    EXPECT_TRUE(graph.waitForEnd(std::chrono::seconds(30)));
    graph.stop();
    return out;
}

// A VAUX source pack where encoders and players keep it: slot 9 of sequence 0's third VAUX block (just
// before the source control pack), id then bytes 1 to 4.
constexpr std::size_t kSourcePackAt = 5 * 80 + 3 + 9 * 5;
void putSourcePack(std::vector<std::uint8_t>& frame, std::array<std::uint8_t, 4> bytes) {
    frame[kSourcePackAt] = kDvVauxSourcePackId;
    std::copy(bytes.begin(), bytes.end(), frame.begin() + kSourcePackAt + 1);
}

TEST(DvHeaderStageTest, RestoresEachFramesOwnSourceWhateverTheNumberOfFramesInFlight) {
    // Parallel codecs hold many frames between the detection and this stage: more than a ring of the last
    // 100 frames could answer for (16 workers of two packed jobs of eight frames hold up to 256).
    for (const std::size_t lag : {std::size_t{0}, std::size_t{3}, std::size_t{150}, std::size_t{260}}) {
        std::vector<std::vector<std::uint8_t>> frames;
        for (int i = 0; i < 300; ++i) {
            frames.push_back(DvFrameBuilder(DvSystem::Pal625)
                                 .recDate(0, 2004, 7, 15, 13, i / 60, i % 60)
                                 .timecode(0, 1, 2, i / 25, i % 25)
                                 .bytes());
        }
        const auto out = runReencoded(frames, lag, [](const MediaSample& sample) {
            return std::vector<std::uint8_t>(sample.data.size(), 0x55);
        });
        ASSERT_EQ(out.size(), frames.size());
        for (std::size_t i = 0; i < out.size(); ++i) {
            ASSERT_TRUE(std::equal(frames[i].begin(), frames[i].begin() + 480, out[i].begin())) << lag << " " << i;
            EXPECT_EQ(out[i][480], 0x55);
        }
    }
}

TEST(DvHeaderStageTest, AZeroedSourceFrameGivesNoHeaderBack) {
    const auto good = DvFrameBuilder(DvSystem::Pal625).recDate(0, 2004, 7, 15, 13, 5, 9).timecode(0, 1, 2, 3, 4).bytes();
    const std::vector<std::uint8_t> zeroed(kDvPalFrameBytes, 0);
    const auto encoded = DvFrameBuilder(DvSystem::Pal625).timecode(0, 9, 9, 9, 9).bytes();
    const auto out = runReencoded({good, zeroed, good}, 1, [&](const MediaSample&) { return encoded; });
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[1], encoded);
    for (const std::size_t k : {std::size_t{0}, std::size_t{2}}) {
        EXPECT_TRUE(std::equal(good.begin(), good.begin() + 480, out[k].begin())) << k;
    }
    // A header whose reserved bits another writer left at zero is still a header: it comes back whole.
    auto otherWriter = good;
    otherWriter[3] = 0x80;  // 625/50, reserved bits zero
    const auto kept = runReencoded({otherWriter}, 1, [&](const MediaSample&) { return encoded; });
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_TRUE(std::equal(otherWriter.begin(), otherWriter.begin() + 480, kept[0].begin()));
}

TEST(DvHeaderStageTest, APalHeaderOnAnNtscFrameKeepsTheNtscSystemBitsAndThePalFramesFacts) {
    auto pal = DvFrameBuilder(DvSystem::Pal625)
                   .recDate(0, 2003, 11, 2, 21, 47, 13)
                   .timecode(0, 0, 12, 34, 21)
                   .sourceControl(0, 2)
                   .bytes();
    // Source code 3, 50 fields (bit 5), STYPE 0; the other bytes carry values that must survive.
    putSourcePack(pal, {0x3C, 0x81, 0xE0, 0x47});
    auto ntsc = DvFrameBuilder(DvSystem::Ntsc525).bytes();
    // The encoder's own pack: 60 fields, an STYPE of its own, other bytes that must not survive.
    putSourcePack(ntsc, {0xFF, 0xFF, 0xC2, 0xFF});
    for (std::size_t i = 480; i < ntsc.size(); i += 997) ntsc[i] = static_cast<std::uint8_t>(i);
    const auto out = runReencoded({pal}, 1, [&](const MediaSample&) { return ntsc; });
    ASSERT_EQ(out.size(), 1u);
    const auto& frame = out[0];
    ASSERT_EQ(frame.size(), ntsc.size());
    EXPECT_EQ(DvSystemOf(frame), DvSystem::Ntsc525);
    EXPECT_EQ(DvReadRecDate(frame, 0), (TDvRecDate{2003, 11, 2, 21, 47, 13}));
    EXPECT_EQ(DvReadTimecode(frame, 0), (TDvTimecode{0, 12, 34, 21}));
    EXPECT_TRUE(DvIs16x9(frame));
    // Byte by byte: the PAL header but for the DSF bit and the source pack's 50/60 and STYPE bits; the NTSC
    // frame's own bytes after it.
    for (std::size_t i = 0; i < 480; ++i) {
        std::uint8_t expected = pal[i];
        if (i == 3) expected = static_cast<std::uint8_t>((pal[i] & 0x7F) | (ntsc[i] & 0x80));
        if (i == kSourcePackAt + 3) expected = static_cast<std::uint8_t>((pal[i] & 0xC0) | (ntsc[i] & 0x3F));
        EXPECT_EQ(frame[i], expected) << i;
    }
    EXPECT_EQ(frame[kSourcePackAt + 3], 0xC2);
    EXPECT_TRUE(std::equal(ntsc.begin() + 480, ntsc.end(), frame.begin() + 480));
    // The same system on both sides: the header comes back whole.
    const auto same = runReencoded({pal}, 1, [](const MediaSample&) { return DvFrameBuilder(DvSystem::Pal625).bytes(); });
    EXPECT_TRUE(std::equal(pal.begin(), pal.begin() + 480, same[0].begin()));
}

}  // namespace
}  // namespace moraven
