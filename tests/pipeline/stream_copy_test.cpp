#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "formats/avi_demuxer.h"
#include "formats/avi_writer.h"
#include "pipeline/graph/graph.h"
#include "pipeline/stages/acm_wrapper_stage.h"
#include "pipeline/stages/avi_mux_stage.h"
#include "pipeline/stages/avi_splitter_stage.h"
#include "pipeline/stages/file_source_stage.h"
#include "pipeline/stages/file_writer_stage.h"
#include "pipeline/stages/sample_grabber_stage.h"
#include "pipeline/stages/wav_dest_stage.h"
#include "support/dv_avi_file.h"
#include "support/dv_frame_builder.h"
#include "support/external_tools.h"
#include "support/temp_dir.h"
#include "test_stages.h"

namespace moraven {
namespace {

using test::DvFrameBuilder;
using test::TempDir;

// A DV file whose frames and sound all differ: frame i has its recording second i, each sound block
// a byte pattern of its stream and index. Type 2 with `soundStreams` PCM streams, or type 1.
std::string writeSource(const std::string& path, int frames, int soundStreams, bool type1 = false) {
    AviWriter writer(path);
    const auto dvInfo = test::defaultDvInfoBlock(DvSystem::Pal625);
    if (type1) {
        writer.addInterleavedDvStream(DvSystem::Pal625, dvInfo);
    } else {
        writer.addVideoStream(AviVideoFormat::dv(DvSystem::Pal625, dvInfo));
        for (int s = 0; s < soundStreams; ++s) writer.addAudioStream(WaveFormat::pcm(2, 48000, 16));
    }
    for (int i = 0; i < frames; ++i) {
        auto frame = DvFrameBuilder(DvSystem::Pal625).recDate(0, 2004, 7, 15, 13, 5, i % 60).bytes();
        frame[200000 % frame.size()] = static_cast<std::uint8_t>(i);
        writer.writeSample(0, frame);
        for (int s = 0; s < (type1 ? 0 : soundStreams); ++s) {
            std::vector<std::uint8_t> block(1920 * 4);
            for (std::size_t b = 0; b < block.size(); ++b) block[b] = static_cast<std::uint8_t>(b * 7 + i * 3 + s);
            writer.writeSample(1 + s, block);
        }
    }
    writer.close();
    return path;
}

// File source -> AVI splitter -> (every stream) -> AVI mux -> file writer; a grabber in the video's path
// when `grabber` is given.
struct CopyGraph {
    Graph graph;
    FileSourceStage source;
    AviSplitterStage splitter;
    AviMuxStage mux;
    FileWriterStage writer;
    SampleGrabberStage grabber;

    bool build(const std::string& input, const std::string& output, bool withGrabber = false) {
        graph.add(source, "source");
        graph.add(splitter, "splitter");
        graph.add(mux, "mux");
        graph.add(writer, "writer");
        if (!source.load(input)) return false;
        writer.setFileName(output);
        if (!graph.connect(*source.output(0), *splitter.input(0))) return false;
        if (!graph.connect(*mux.output(0), *writer.input(0))) return false;
        const auto outputs = splitter.pins(PinDirection::Output);
        for (std::size_t i = 0; i < outputs.size(); ++i) {
            if (i == 0 && withGrabber) {
                graph.add(grabber, "grabber");
                if (!graph.connect(*outputs[i], *grabber.input(0))) return false;
                if (!graph.render(*grabber.output(0), mux)) return false;
            } else if (!graph.render(*outputs[i], mux)) {
                return false;
            }
        }
        return true;
    }
    bool runToEnd() {
        graph.run();
        const bool ended = graph.waitForEnd(std::chrono::seconds(60));
        graph.stop();
        return ended;
    }
};

void expectSameSamples(const std::string& a, const std::string& b, std::size_t expectedStreams) {
    const AviDemuxer left(a);
    const AviDemuxer right(b);
    ASSERT_EQ(left.streamCount(), expectedStreams);
    ASSERT_EQ(right.streamCount(), expectedStreams);
    std::vector<std::uint8_t> x, y;
    for (std::size_t s = 0; s < expectedStreams; ++s) {
        EXPECT_EQ(left.streams()[s].mediaType.majorType(), right.streams()[s].mediaType.majorType());
        ASSERT_EQ(left.streams()[s].sampleCount(), right.streams()[s].sampleCount()) << s;
        for (std::size_t i = 0; i < left.streams()[s].sampleCount(); ++i) {
            ASSERT_TRUE(left.readSample(s, i, x));
            ASSERT_TRUE(right.readSample(s, i, y));
            ASSERT_EQ(x, y) << "stream " << s << " sample " << i;
        }
    }
}

void expectFfprobeSilent(const std::string& path) {
    if (!test::programAvailable("ffprobe")) GTEST_SKIP() << "ffprobe is not installed";
    const auto result = test::runProgram({"ffprobe", "-v", "warning", path});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.output + result.errors, "");
}

TEST(StreamCopyTest, CopiesType1Type2AndTwoSoundStreamsSampleForSample) {
    struct Case {
        const char* name;
        int soundStreams;
        bool type1;
    };
    for (const Case& c : {Case{"type2", 1, false}, Case{"type1", 0, true}, Case{"two_sounds", 2, false}}) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const auto input = writeSource(dir.file("in.avi"), 8, c.soundStreams, c.type1);
        const auto output = dir.file("out.avi");
        CopyGraph copy;
        ASSERT_TRUE(copy.build(input, output));
        EXPECT_EQ(copy.splitter.output(0)->name(), "Stream 00");
        EXPECT_EQ(copy.graph.duration(), MediaTime::fromTicks(8 * 400'000));
        ASSERT_TRUE(copy.runToEnd());
        EXPECT_TRUE(copy.graph.error().empty()) << copy.graph.error();
        EXPECT_TRUE(copy.graph.warnings().empty());
        EXPECT_EQ(copy.mux.position(), MediaTime::fromTicks(8 * 400'000));
        expectSameSamples(input, output, static_cast<std::size_t>(c.type1 ? 1 : 1 + c.soundStreams));
        expectFfprobeSilent(output);
    }
}

TEST(StreamCopyTest, OpenDmlPastTheFormSizeStillReads) {
    TempDir dir;
    const auto input = writeSource(dir.file("in.avi"), 20, 1);
    const auto output = dir.file("out.avi");
    CopyGraph copy;
    AviWriter::Options options;
    options.riffFormBytes = 1 << 20;
    copy.mux.setWriterOptions(options);
    ASSERT_TRUE(copy.build(input, output));
    ASSERT_TRUE(copy.runToEnd());
    EXPECT_GT(AviDemuxer(output).riffFormCount(), 1u);
    expectSameSamples(input, output, 2);
    expectFfprobeSilent(output);
}

TEST(StreamCopyTest, WavGraphWritesTheSoundByteForByte) {
    TempDir dir;
    const auto input = writeSource(dir.file("in.avi"), 6, 1);
    const auto output = dir.file("out.wav");
    Graph graph;
    FileSourceStage source;
    AviSplitterStage splitter;
    WavDestStage wav;
    FileWriterStage writer;
    graph.add(source, "source");
    graph.add(splitter, "splitter");
    graph.add(wav, "wav");
    graph.add(writer, "writer");
    ASSERT_TRUE(source.load(input));
    writer.setFileName(output);
    ASSERT_TRUE(graph.connect(*source.output(0), *splitter.input(0)));
    EXPECT_FALSE(graph.connect(*splitter.output(0), *wav.input(0))) << "video is no sound";
    ASSERT_TRUE(graph.connect(*splitter.output(1), *wav.input(0)));
    ASSERT_TRUE(graph.connect(*wav.output(0), *writer.input(0)));
    graph.run();
    ASSERT_TRUE(graph.waitForEnd(std::chrono::seconds(60)));
    graph.stop();
    ASSERT_TRUE(graph.error().empty()) << graph.error();

    std::vector<std::uint8_t> expected, block;
    const AviDemuxer demuxer(input);
    for (std::size_t i = 0; i < demuxer.streams()[1].sampleCount(); ++i) {
        ASSERT_TRUE(demuxer.readSample(1, i, block));
        expected.insert(expected.end(), block.begin(), block.end());
    }
    const auto bytes = test::readWholeFile(output);
    ASSERT_GE(bytes.size(), expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), bytes.end() - static_cast<std::ptrdiff_t>(expected.size())));
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
}

TEST(StreamCopyTest, AnAbortedRunLeavesAValidShorterFile) {
    TempDir dir;
    const auto input = writeSource(dir.file("in.avi"), 30, 1);
    const auto output = dir.file("out.avi");
    CopyGraph copy;
    ASSERT_TRUE(copy.build(input, output));
    // Paused after the mux had its first sample: stopping now is an abort part-way.
    test::NoticeLog notices;
    copy.graph.setNoticeHandler(notices.handler());
    copy.graph.pause();
    ASSERT_TRUE(notices.waitFor(GraphNotice::Paused));
    copy.graph.stop();
    EXPECT_TRUE(copy.graph.error().empty()) << copy.graph.error();
    ASSERT_TRUE(fileExists(output));
    const AviDemuxer result(output);
    ASSERT_EQ(result.streamCount(), 2u);
    EXPECT_GE(result.streams()[0].sampleCount(), 1u);
    EXPECT_LT(result.streams()[0].sampleCount(), 30u);
    expectFfprobeSilent(output);
}

TEST(StreamCopyTest, AFailingRunLeavesNoFileUnderTheOutputName) {
    {
        TempDir dir;
        const auto input = writeSource(dir.file("in.avi"), 10, 1);
        const auto output = dir.file("out.avi");
        CopyGraph copy;
        copy.grabber.setCallback([](const MediaSample& sample) {
            if (sample.start >= MediaTime::fromTicks(3 * 400'000)) throw std::runtime_error("encoder failed");
        });
        ASSERT_TRUE(copy.build(input, output, true));
        ASSERT_TRUE(copy.runToEnd());
        EXPECT_EQ(copy.graph.error(), "encoder failed");
        EXPECT_FALSE(std::filesystem::exists(output));
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1) << "no temporary left";
    }
    {
        TempDir dir;
        const auto input = writeSource(dir.file("in.avi"), 3, 1);
        const auto output = dir.file("gone/out.avi");  // the output folder does not exist
        CopyGraph copy;
        ASSERT_TRUE(copy.build(input, output));
        copy.graph.run();
        copy.graph.stop();
        EXPECT_FALSE(copy.graph.error().empty());
        EXPECT_FALSE(std::filesystem::exists(output));
    }
}

TEST(StreamCopyTest, ATruncatedSourceConvertsTheWholeFramesAndWarns) {
    TempDir dir;
    const auto input = writeSource(dir.file("in.avi"), 10, 0);
    auto bytes = test::readWholeFile(input);
    // Cut into the middle of the 8th frame: the last index is lost with the end of the file.
    const AviDemuxer whole(input);
    bytes.resize(static_cast<std::size_t>(whole.streams()[0].samples[7].offset + 1000));
    test::writeWholeFile(input, bytes);
    const auto output = dir.file("out.avi");
    CopyGraph copy;
    ASSERT_TRUE(copy.build(input, output));
    ASSERT_TRUE(copy.runToEnd());
    EXPECT_TRUE(copy.graph.error().empty()) << copy.graph.error();
    EXPECT_EQ(AviDemuxer(output).streams()[0].sampleCount(), 7u);
    const auto warnings = copy.graph.warnings();
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("truncated"), std::string::npos) << warnings[0];
}

TEST(StreamCopyTest, TheSplitterRefusesWhatIsNotAnAviWithStreams) {
    TempDir dir;
    const auto text = dir.write("notes.avi", {'h', 'e', 'l', 'l', 'o'});
    Graph graph;
    FileSourceStage source;
    AviSplitterStage splitter;
    graph.add(source, "source");
    graph.add(splitter, "splitter");
    EXPECT_FALSE(source.load(dir.path().string())) << "a folder is no file";
    EXPECT_FALSE(source.load(dir.file("missing.avi")));
    ASSERT_TRUE(source.load(text));
    EXPECT_FALSE(graph.connect(*source.output(0), *splitter.input(0)));
    EXPECT_TRUE(splitter.pins(PinDirection::Output).empty());
}

TEST(StreamCopyTest, TheSoundWrapperWithAFormatTakes16BitPcmAndOffersThatFormat) {
    TempDir dir;
    const auto input = writeSource(dir.file("in.avi"), 2, 1);
    Graph graph;
    FileSourceStage source;
    AviSplitterStage splitter;
    AcmWrapperStage acm;
    graph.add(source, "source");
    graph.add(splitter, "splitter");
    graph.add(acm, "acm");
    ASSERT_TRUE(source.load(input));
    ASSERT_TRUE(graph.connect(*source.output(0), *splitter.input(0)));
    EXPECT_FALSE(acm.setOutputFormat(WaveFormat::pcm(2, 44100, 8)));
    EXPECT_FALSE(acm.outputFormat().has_value());
    EXPECT_FALSE(graph.connect(*splitter.output(0), *acm.input(0)));  // the picture
    ASSERT_TRUE(acm.setOutputFormat(WaveFormat::pcm(2, 44100, 16)));
    ASSERT_TRUE(graph.connect(*splitter.output(1), *acm.input(0)));
    EXPECT_EQ(acm.outputTypes(*acm.output(0)).front(), MediaType::pcm(2, 44100, 16));
}

}  // namespace
}  // namespace moraven
