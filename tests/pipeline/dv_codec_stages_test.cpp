#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "pipeline/graph/graph.h"
#include "pipeline/stages/deinterlacer_stage.h"
#include "pipeline/stages/dv_video_decoder_stage.h"
#include "pipeline/stages/dv_video_encoder_stage.h"
#include "support/dv_frame_builder.h"
#include "test_stages.h"

namespace moraven {
namespace {

// Fake "DV frames" of 4 bytes: the frame's number (low byte), a mark for the decoder, the number's high byte,
// a mark for the encoder. The fake decoder fills a picture's luma with the low byte and puts the encoder's
// mark in the picture's last byte; the fake encoder writes a small frame that starts with the picture's first
// luma sample and names itself, or refuses a picture marked for it.
constexpr std::uint8_t kUndecodable = 0xEE;
constexpr std::uint8_t kOtherSystem = 0xDD;  // decodes to a picture of the other system
constexpr std::uint8_t kUnencodable = 0x01;

// Enough work per frame, varying with the frame, that workers finish out of order.
void scramble(std::uint8_t value) {
    volatile int sink = 0;
    for (int i = 0; i < (value * 7919) % 20000; ++i) sink = sink + i;
}

class FakeDecoder final : public DvVideoDecoder {
public:
    explicit FakeDecoder(DvSystem system) : m_system(system) {}
    bool decode(Bytes frame, std::vector<std::uint8_t>& picture, PictureFormat& format) override {
        if (frame.size() < 2 || frame[1] == kUndecodable) return false;
        scramble(frame[0]);
        const DvSystem other = m_system == DvSystem::Pal625 ? DvSystem::Ntsc525 : DvSystem::Pal625;
        format = dvPictureFormat(frame[1] == kOtherSystem ? other : m_system, false);
        picture.assign(pictureBytes(format), 128);
        std::fill_n(picture.begin(), planeGeometry(format, 0).bytes(), frame[0]);
        if (frame.size() > 3 && frame[3] == kUnencodable) picture.back() = kUnencodable;
        return true;
    }

private:
    DvSystem m_system;
};

class FakeEncoder final : public DvVideoEncoder {
public:
    FakeEncoder(DvSystem system, bool wide) : m_system(system), m_wide(wide) {}
    bool encode(Bytes picture, std::vector<std::uint8_t>& frame) override {
        if (picture.empty() || picture.back() == kUnencodable) return false;
        scramble(picture[0]);
        frame = {picture[0], 'E', static_cast<std::uint8_t>(m_system), static_cast<std::uint8_t>(m_wide)};
        return true;
    }

private:
    DvSystem m_system;
    bool m_wide;
};

// The codecs as fakes; what the DV stages do not use is not there. `decodedSystem`: the system the fake
// decoder's pictures have.
class FakeFramework final : public MediaFramework {
public:
    MediaFrameworkVersions versions() const override { return {}; }
    std::unique_ptr<DvVideoDecoder> createDvVideoDecoder(std::string*) const override {
        decodersMade.fetch_add(1);
        return std::make_unique<FakeDecoder>(decodedSystem);
    }
    std::unique_ptr<DvVideoEncoder> createDvVideoEncoder(DvSystem system, bool wide, std::string*) const override {
        encodersMade.fetch_add(1);
        return std::make_unique<FakeEncoder>(system, wide);
    }
    std::unique_ptr<VideoDecoder> createVideoDecoder(const CodecStreamInfo&, std::string*) const override {
        return nullptr;
    }
    std::unique_ptr<AudioDecoder> createAudioDecoder(const CodecStreamInfo&, std::string*) const override {
        return nullptr;
    }
    std::unique_ptr<PictureConformer> createPictureConformer(const PictureFormat&, std::string*) const override {
        return nullptr;
    }
    std::unique_ptr<Resampler> createResampler(PcmFormat, PcmFormat, std::string*) const override { return nullptr; }
    std::unique_ptr<BgrConverter> createBgrConverter(std::string*) const override { return nullptr; }

    DvSystem decodedSystem = DvSystem::Pal625;
    mutable std::atomic<int> decodersMade{0};
    mutable std::atomic<int> encodersMade{0};
};

// Delivers `count` fake frames of `type`, frame i with the facts of frame number 1000 + i and the system's times; frames in
// `undecodable` and frame `unencodable` carry their marks, frame `discontinuous` the discontinuity. Its first sample is `first` when set.
class FakeFrameSource final : public Stage {
public:
    FakeFrameSource(MediaType type, long count) : Stage("Fake Frame Source"), m_type(std::move(type)), m_count(count) {
        addPin(PinDirection::Output, "Out");
    }
    std::vector<MediaType> outputTypes(const Pin&) const override { return {m_type}; }
    bool firstSample(const Pin&, MediaSample& sample) const override {
        if (first.empty()) return false;
        sample.data = first;
        return true;
    }
    bool isSource() const override { return true; }
    bool produce() override {
        if (m_next >= m_count) {
            deliverEndOfStream(*output(0));
            return false;
        }
        const auto i = m_next++;
        const bool bad = std::find(undecodable.begin(), undecodable.end(), i) != undecodable.end();
        const bool foreign = std::find(otherSystem.begin(), otherSystem.end(), i) != otherSystem.end();
        const std::uint8_t mark = bad ? kUndecodable : (foreign ? kOtherSystem : std::uint8_t{0});
        m_sample.data = {static_cast<std::uint8_t>(i), mark,
                         static_cast<std::uint8_t>(i >> 8), i == unencodable ? kUnencodable : std::uint8_t{0}};
        const MediaTime frame = m_type.dvSystem() == DvSystem::Ntsc525 ? kNtscFrameDuration : kPalFrameDuration;
        m_sample.start = MediaTime::fromTicks(i * frame.ticks());
        m_sample.stop = m_sample.start + frame;
        m_sample.frameFacts = test::numberedFacts(1000 + static_cast<std::uint64_t>(i));
        m_sample.discontinuity = i == discontinuous;
        deliver(*output(0), m_sample);
        return true;
    }

    std::vector<long> undecodable;
    std::vector<long> otherSystem;
    long discontinuous = -1;
    long unencodable = -1;
    std::vector<std::uint8_t> first;

private:
    MediaType m_type;
    long m_count;
    long m_next = 0;
    MediaSample m_sample;
};

// What reached the end of the chain.
struct Received {
    std::vector<std::vector<std::uint8_t>> frames;
    std::vector<MediaSample> marks;  // times, marks and frame facts (no bytes)
};

// source -> DV Video Decoder -> Pinnacle Video Deinterlacer -> DV Video Encoder (`to`) -> sink, with
// `workers` workers in each codec stage.
struct Chain {
    Chain(DvSystem from, DvSystem to, long count, std::size_t workers)
        : source(MediaType::dvVideo(from), count), decoder(&framework), encoder(&framework) {
        framework.decodedSystem = from;
        decoder.setWorkerCount(workers);
        encoder.setWorkerCount(workers);
        encoder.setSystem(to);
        sink.onSample = [this](MediaSample& sample) {
            received.frames.push_back(sample.data);
            MediaSample marks = sample;
            marks.data.clear();
            received.marks.push_back(marks);
        };
        graph.add(source, "source");
        graph.add(decoder, "decoder");
        graph.add(deinterlacer, "deinterlacer");
        graph.add(encoder, "encoder");
        graph.add(sink, "sink");
    }
    void connect() {
        ASSERT_TRUE(graph.connect(*source.output(0), *decoder.input(0)));
        ASSERT_TRUE(graph.connect(*decoder.output(0), *deinterlacer.input(0)));
        ASSERT_TRUE(graph.connect(*deinterlacer.output(0), *encoder.input(0)));
        ASSERT_TRUE(graph.connect(*encoder.output(0), *sink.input(0)));
    }
    void runToEnd() {
        graph.run();
        ASSERT_TRUE(graph.waitForEnd(std::chrono::seconds(60)));
        graph.stop();
    }

    FakeFramework framework;
    Graph graph;
    FakeFrameSource source;
    DvVideoDecoderStage decoder;
    DeinterlacerStage deinterlacer;
    DvVideoEncoderStage encoder;
    test::RecordingSink sink;
    Received received;
};

TEST(DvCodecStagesTest, ManyWorkersKeepTheOrderTimesMarksAndSourceFrames) {
    for (const std::size_t workers : {std::size_t{1}, std::size_t{2}, std::size_t{4}, std::size_t{8}, std::size_t{16}}) {
        SCOPED_TRACE(workers);
        Chain chain(DvSystem::Pal625, DvSystem::Pal625, 300, workers);
        chain.source.discontinuous = 40;
        chain.connect();
        EXPECT_EQ(chain.encoder.input(0)->connectionType(), pictureMediaType(dvPictureFormat(DvSystem::Pal625, false)));
        chain.runToEnd();
        EXPECT_TRUE(chain.graph.isComplete()) << chain.graph.error();
        EXPECT_FALSE(chain.deinterlacer.converting());
        EXPECT_EQ(chain.framework.decodersMade.load(), static_cast<int>(workers));
        EXPECT_EQ(chain.framework.encodersMade.load(), static_cast<int>(workers));
        ASSERT_EQ(chain.received.frames.size(), 300u);
        EXPECT_EQ(chain.sink.endOfStreams.load(), 1);
        for (std::size_t i = 0; i < 300; ++i) {
            SCOPED_TRACE(i);
            ASSERT_EQ(chain.received.frames[i],
                      (std::vector<std::uint8_t>{static_cast<std::uint8_t>(i), 'E',
                                                 static_cast<std::uint8_t>(DvSystem::Pal625), 0}));
            const MediaSample& marks = chain.received.marks[i];
            EXPECT_EQ(marks.sourceFrame(), 1000 + i);
            EXPECT_EQ(marks.start.ticks(), static_cast<std::int64_t>(i) * 400'000);
            EXPECT_EQ(marks.stop.ticks(), static_cast<std::int64_t>(i + 1) * 400'000);
            EXPECT_EQ(marks.discontinuity, i == 40);
        }
    }
}

TEST(DvCodecStagesTest, TheDeinterlacerConvertsWhenItsOutputIsTheOtherSystem) {
    struct Case {
        DvSystem from;
        DvSystem to;
        long frames;
        std::size_t expected;
    };
    for (const Case& c : {Case{DvSystem::Pal625, DvSystem::Ntsc525, 25, 30}, Case{DvSystem::Ntsc525, DvSystem::Pal625, 30, 25}}) {
        SCOPED_TRACE(c.frames);
        Chain chain(c.from, c.to, c.frames, 3);
        chain.connect();
        chain.runToEnd();
        EXPECT_TRUE(chain.graph.isComplete()) << chain.graph.error();
        EXPECT_TRUE(chain.deinterlacer.converting());
        ASSERT_EQ(chain.received.frames.size(), c.expected);
        const MediaTime frame = c.to == DvSystem::Pal625 ? kPalFrameDuration : kNtscFrameDuration;
        for (std::size_t i = 0; i < c.expected; ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(chain.received.frames[i][2], static_cast<std::uint8_t>(c.to));
            const MediaSample& marks = chain.received.marks[i];
            EXPECT_LE(std::llabs(marks.start.ticks() - static_cast<std::int64_t>(i) * frame.ticks()), 10);
            if (i > 0) {
                EXPECT_EQ(marks.start, chain.received.marks[i - 1].stop);
                EXPECT_GE(marks.sourceFrame(), chain.received.marks[i - 1].sourceFrame());
            }
            EXPECT_GE(marks.sourceFrame(), 1000u);
            EXPECT_LT(marks.sourceFrame(), 1000u + static_cast<std::uint64_t>(c.frames));
        }
        EXPECT_EQ(chain.received.marks.front().sourceFrame(), 1000u);
        EXPECT_EQ(chain.received.marks.back().sourceFrame(), 1000u + static_cast<std::uint64_t>(c.frames) - 1);
    }
}

// A frame that cannot be decoded, or whose picture is of the other system, becomes the previous good picture
// (grey before there is one), keeps its own times and source frame, and the run ends with one warning.
TEST(DvCodecStagesTest, ADamagedFrameBecomesThePreviousGoodPictureWithOneWarning) {
    struct Case {
        const char* name;
        std::vector<long> undecodable;
        std::vector<long> otherSystem;
        std::vector<int> shown;  // the frame each output picture shows; -1: grey
        const char* warning;
    };
    const std::vector<Case> cases{
        {"undecodable", {3}, {}, {0, 1, 2, 2, 4, 5, 6, 7}, "1 frame could not be decoded and was replaced"},
        {"other system", {}, {2, 3}, {0, 1, 1, 1, 4, 5, 6, 7}, "2 frames could not be decoded and were replaced"},
        {"both, from the first", {0, 6}, {1, 7}, {-1, -1, 2, 3, 4, 5, 5, 5},
         "4 frames could not be decoded and were replaced"},
    };
    for (const Case& c : cases) {
        for (const std::size_t workers : {1, 2, 4, 8, 16}) {
            SCOPED_TRACE(std::string(c.name) + ", workers " + std::to_string(workers));
            Chain chain(DvSystem::Pal625, DvSystem::Pal625, 8, workers);
            chain.source.undecodable = c.undecodable;
            chain.source.otherSystem = c.otherSystem;
            chain.connect();
            chain.runToEnd();
            EXPECT_TRUE(chain.graph.isComplete()) << chain.graph.error();
            ASSERT_EQ(chain.received.frames.size(), 8u);
            for (std::size_t i = 0; i < 8; ++i) {
                const int shown = c.shown[i];
                EXPECT_EQ(chain.received.frames[i][0], shown < 0 ? 128 : shown) << i;
                EXPECT_EQ(chain.received.marks[i].sourceFrame(), 1000 + i);
                EXPECT_EQ(chain.received.marks[i].start, MediaTime::fromTicks(static_cast<std::int64_t>(i) * kPalFrameDuration.ticks()));
            }
            EXPECT_EQ(chain.decoder.undecodableFrames(), c.undecodable.size() + c.otherSystem.size());
            EXPECT_EQ(chain.graph.warnings(), std::vector<std::string>{c.warning});
        }
    }
}

// Stages that share one tally count a frame they both meet once, and leave the warning to the tally's owner.
TEST(DvCodecStagesTest, ASharedTallyCountsEachDamagedFrameOnceAndTheStagesDoNotWarn) {
    Chain chain(DvSystem::Pal625, DvSystem::Pal625, 10, 2);
    chain.source.undecodable = {4, 5};
    DamagedFrames shared;
    shared.add(MediaTime::fromTicks(4 * kPalFrameDuration.ticks()));  // another stage met frame 4 already
    chain.decoder.shareDamagedFrames(&shared);
    chain.connect();
    chain.runToEnd();
    EXPECT_TRUE(chain.graph.isComplete()) << chain.graph.error();
    EXPECT_EQ(shared.count(), 2u);
    EXPECT_TRUE(chain.graph.warnings().empty());
}

TEST(DvCodecStagesTest, AFailingJobFailsTheRunAndAStopInTheMiddleEndsIt) {
    {
        Chain chain(DvSystem::Pal625, DvSystem::Pal625, 200, 4);
        chain.source.unencodable = 77;
        chain.connect();
        chain.runToEnd();
        EXPECT_FALSE(chain.graph.isComplete());
        EXPECT_NE(chain.graph.error().find("could not be encoded"), std::string::npos) << chain.graph.error();
        // Everything before the refused picture arrived, in order; nothing after it.
        ASSERT_EQ(chain.received.frames.size(), 77u);
        for (std::size_t i = 0; i < chain.received.frames.size(); ++i) EXPECT_EQ(chain.received.frames[i][0], i);
        EXPECT_EQ(chain.sink.stopReasons, std::vector<StopReason>{StopReason::Failed});
    }
    {
        Chain chain(DvSystem::Pal625, DvSystem::Pal625, 1'000'000, 4);
        std::atomic<long> seen{0};
        chain.sink.onSample = [&](MediaSample&) { seen.fetch_add(1); };
        chain.connect();
        chain.graph.run();
        ASSERT_TRUE(chain.sink.waitForCount(50));
        chain.graph.stop();
        EXPECT_EQ(chain.sink.stopReasons, std::vector<StopReason>{StopReason::Stopped});
        EXPECT_LT(seen.load(), 1'000'000);
        const auto values = chain.sink.values();
        for (std::size_t i = 0; i < values.size(); ++i) ASSERT_EQ(values[i], static_cast<int>(i % 256)) << i;
    }
}

TEST(DvCodecStagesTest, EachStageTakesAndOffersOnlyItsTypes) {
    FakeFramework framework;
    const MediaType palPictures = pictureMediaType(dvPictureFormat(DvSystem::Pal625, false));
    const MediaType ntscWide = pictureMediaType(dvPictureFormat(DvSystem::Ntsc525, true));
    PictureFormat otherPictures = dvPictureFormat(DvSystem::Pal625, false);
    otherPictures.layout = PixelLayout::Yuv422p;

    // The decoder: DV video and interleaved DV of a known system; 16:9 when the first frame says so.
    DvVideoDecoderStage decoder(&framework);
    EXPECT_TRUE(decoder.acceptsInput(*decoder.input(0), MediaType::dvVideo(DvSystem::Ntsc525)));
    EXPECT_FALSE(decoder.acceptsInput(*decoder.input(0), test::typeOf("auds", "dvsd")));
    EXPECT_FALSE(decoder.acceptsInput(*decoder.input(0), palPictures));
    {
        Graph graph;
        FakeFrameSource source(MediaType::dvVideo(DvSystem::Ntsc525), 1);
        source.first = test::DvFrameBuilder(DvSystem::Ntsc525).sourceControl(0, 2).bytes();
        graph.add(source, "source");
        graph.add(decoder, "decoder");
        ASSERT_TRUE(graph.connect(*source.output(0), *decoder.input(0)));
        EXPECT_EQ(decoder.outputTypes(*decoder.output(0)), std::vector<MediaType>{ntscWide});
    }

    // The deinterlacer: DV pictures only; the other system first, then its own type.
    DeinterlacerStage deinterlacer;
    EXPECT_FALSE(deinterlacer.acceptsInput(*deinterlacer.input(0), pictureMediaType(otherPictures)));
    EXPECT_FALSE(deinterlacer.acceptsInput(*deinterlacer.input(0), MediaType::dvVideo(DvSystem::Pal625)));
    {
        Graph graph;
        FakeFrameSource source(ntscWide, 1);
        graph.add(source, "source");
        graph.add(deinterlacer, "deinterlacer");
        ASSERT_TRUE(graph.connect(*source.output(0), *deinterlacer.input(0)));
        EXPECT_EQ(deinterlacer.outputTypes(*deinterlacer.output(0)),
                  (std::vector<MediaType>{pictureMediaType(dvPictureFormat(DvSystem::Pal625, true)), ntscWide}));
    }

    // The encoder: only its system's pictures, of either shape; DV video of that system out.
    DvVideoEncoderStage encoder(&framework);
    encoder.setSystem(DvSystem::Ntsc525);
    EXPECT_TRUE(encoder.acceptsInput(*encoder.input(0), ntscWide));
    EXPECT_FALSE(encoder.acceptsInput(*encoder.input(0), palPictures));
    EXPECT_EQ(encoder.outputTypes(*encoder.output(0)), std::vector<MediaType>{MediaType::dvVideo(DvSystem::Ntsc525)});
    encoder.setSystem(DvSystem::Pal625);
    EXPECT_TRUE(encoder.acceptsInput(*encoder.input(0), palPictures));
    EXPECT_FALSE(encoder.acceptsInput(*encoder.input(0), pictureMediaType(otherPictures)));
}

}  // namespace
}  // namespace moraven
