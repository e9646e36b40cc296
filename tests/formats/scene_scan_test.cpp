#include "formats/scene_scan.h"

#include <atomic>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "formats/avi_demuxer.h"
#include "formats/date_format.h"
#include "formats/date_time.h"
#include "support/dv_avi_file.h"
#include "support/dv_frame_builder.h"
#include "support/riff_builder.h"
#include "support/temp_dir.h"

namespace moraven {
namespace {

using test::DvFrameBuilder;

constexpr const char* kPattern = "yyyy-mm-dd hh:nn:ss";

DateTime dateTime(int year, int month, int day, int hour, int minute, int second) {
    return encodeDateTime({year, month, day, hour, minute, second, 0}).value();
}

TEST(FrameToTextTest, RunningTimeWithFramesRoundedHalfToEven) {
    struct Case {
        std::int64_t frame;
        double fps;
        const char* text;
    };
    const Case cases[] = {
        {0, 25, "00.00.00.00"},
        {1, 25, "00.00.00.01"},
        {24, 25, "00.00.00.24"},
        {25, 25, "00.00.01.00"},
        {(3600 + 60 + 1) * 25 + 3, 25, "01.01.01.03"},
        {100 * 3600 * 25, 25, "100.00.00.00"},
        {29, 29.97, "00.00.00.29"},
        {30, 29.97, "00.00.01.00"},  // 30 - 29.97 = 0.03
        {59, 29.97, "00.00.01.29"},  // 59 - 29.97 = 29.03
        // Halves go to the even neighbour: 0.5 -> 0, 1.5 -> 2, 2.5 -> 2, 3.5 -> 4.
        {13, 12.5, "00.00.01.00"},
        {14, 12.5, "00.00.01.02"},
        {15, 12.5, "00.00.01.02"},
        {16, 12.5, "00.00.01.04"},
        {38, 12.5, "00.00.03.00"},
        // A frame rate of 0 has its own text, with other separators.
        {0, 0, "0:00:00:00"},
        {1234, 0, "0:00:00:00"},
        {-5, 25, "00.00.00.-05"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FrameToText(c.frame, c.fps), c.text) << c.frame << " at " << c.fps;
    }
}

TEST(FrameToTextTest, BodyLineOfTheSceneList) {
    TSceneInfo scene;
    scene.StartText = "00.01.12.05";
    scene.EndText = "00.02.40.19";
    scene.DatecodeText = "12/03/2006 15:46:37";
    scene.TimecodeText = "00.12.31.08";
    scene.DurationText = "00.01.28.14";
    EXPECT_EQ(sceneListBodyLine(3, scene),
              "  3,00.01.12.05,00.02.40.19,12/03/2006 15:46:37,00.12.31.08,00.01.28.14");
    EXPECT_EQ(sceneListBodyLine(12, TSceneInfo{}), "  12,,,,,");
}

// Keeps every scene it is given; may refuse to open or throw on chosen scenes.
class RecordingWriter : public TSceneWriter {
public:
    const std::string& name() const override { return m_name; }
    bool OpenScenes(const SceneVideo& video) override {
        ++opened;
        openedWith = video.fullPath;
        return openAnswer;
    }
    void WriteScene(const TSceneInfo& scene) override {
        ++calls;
        if (onWrite) onWrite(scene);
        if (throwOnCall == calls) throw std::runtime_error("disk full");
        scenes.push_back(scene);
    }
    void CloseScenes() override { ++closed; }

    std::vector<TSceneInfo> scenes;
    int opened = 0;
    int closed = 0;
    int calls = 0;
    int throwOnCall = 0;
    bool openAnswer = true;
    std::string openedWith;
    std::function<void(const TSceneInfo&)> onWrite;

private:
    std::string m_name = "Recording";
};

// The facts of one frame of a test stream.
struct FrameSpec {
    int year = 0;  // 0: no date packs; -2: an impossible date (31 April)
    int hour = 0, minute = 0, second = 0;
    int tcHours = -1, tcMinutes = 0, tcSeconds = 0, tcFrames = 0;  // tcHours -1: no timecode
};

FrameSpec dated(int hour, int minute, int second) { return {2004, hour, minute, second}; }
FrameSpec withTimecode(FrameSpec spec, int h, int m, int s, int f) {
    spec.tcHours = h;
    spec.tcMinutes = m;
    spec.tcSeconds = s;
    spec.tcFrames = f;
    return spec;
}

// Makes the frames of a test stream in one reused buffer.
class FrameMaker {
public:
    const std::vector<std::uint8_t>& frame(const FrameSpec& spec) {
        m_builder = DvFrameBuilder();
        if (spec.year == -2) {
            m_builder.recDate(0, 2005, 4, 31, 10, 0, 0);
        } else if (spec.year != 0) {
            m_builder.recDate(0, spec.year, 7, 15, spec.hour, spec.minute, spec.second);
        }
        if (spec.tcHours >= 0)
            m_builder.timecode(0, spec.tcHours, spec.tcMinutes, spec.tcSeconds, spec.tcFrames);
        return m_builder.bytes();
    }

private:
    DvFrameBuilder m_builder;
};

// Frame i of a recording that starts at hh:mm:ss, advancing one second every 25 frames.
std::vector<FrameSpec> recording(std::size_t count, int hour, int minute, int second) {
    std::vector<FrameSpec> frames;
    for (std::size_t i = 0; i < count; ++i) {
        const int s = second + static_cast<int>(i / 25);
        frames.push_back(dated(hour, minute + s / 60, s % 60));
    }
    return frames;
}

std::vector<FrameSpec> operator+(std::vector<FrameSpec> a, const std::vector<FrameSpec>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Runs the frame callback over `frames` as the scan does (the graph position trails by one frame) and the
// final scene at the end.
void cut(SceneCutter& cutter, const std::vector<FrameSpec>& frames) {
    FrameMaker maker;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        cutter.frame(maker.frame(frames[i]), i == 0 ? 0 : static_cast<std::int64_t>(i) - 1);
    }
    cutter.finish(static_cast<std::int64_t>(frames.size()) - 1);
}

SceneVideo video(double fps = 25, DateTime datecode = DateTime(), std::string timecodeText = "N/A") {
    return SceneVideo{"clip.avi", fps, datecode, std::move(timecodeText)};
}

struct Span {
    std::int32_t start;
    std::int32_t end;
    friend bool operator==(const Span&, const Span&) = default;
};

std::vector<Span> spans(const std::vector<TSceneInfo>& scenes) {
    std::vector<Span> out;
    for (const auto& s : scenes) out.push_back({s.StartFrame, s.EndFrame});
    return out;
}

void PrintTo(const Span& span, std::ostream* os) { *os << span.start << "-" << span.end; }

TEST(SceneCutterTest, ABreakClosesTheSceneAndTheFinalSceneRunsToTheEnd) {
    RecordingWriter writer;
    DateTime previous;
    SceneCutter cutter(writer, video(25, dateTime(2004, 7, 15, 10, 0, 0), "01.00.00.00"), kPattern,
                       englishDateFormatLocale(), previous);
    auto frames = recording(100, 10, 0, 0) + recording(200, 12, 30, 0);
    frames[100] = withTimecode(frames[100], 2, 3, 4, 5);
    cut(cutter, frames);

    ASSERT_EQ(writer.scenes.size(), 2u);
    const TSceneInfo& first = writer.scenes[0];
    EXPECT_EQ(first.StartFrame, 0);
    EXPECT_EQ(first.EndFrame, 99);
    EXPECT_EQ(first.DatecodeText, "2004-07-15 10:00:00") << "the record's datecode";
    EXPECT_EQ(first.TimecodeText, "01.00.00.00") << "the record's timecode";
    EXPECT_EQ(first.StartText, "00.00.00.00");
    EXPECT_EQ(first.EndText, "00.00.03.24");
    EXPECT_EQ(first.DurationText, "00.00.03.24");

    const TSceneInfo& last = writer.scenes[1];
    EXPECT_EQ(last.StartFrame, 100);
    EXPECT_EQ(last.EndFrame, 299);
    EXPECT_EQ(last.DatecodeText, "2004-07-15 12:30:00") << "the date of the breaking frame";
    EXPECT_EQ(last.TimecodeText, "02.03.04.05") << "the timecode of the breaking frame";
    EXPECT_EQ(last.StartText, "00.00.04.00");
    EXPECT_EQ(last.EndText, "00.00.11.24");
    EXPECT_EQ(last.DurationText, "00.00.07.24");
    EXPECT_EQ(previous, dateTime(2004, 7, 15, 12, 30, 7)) << "the last frame's date is kept";
}

struct BreakCase {
    std::string name;
    std::vector<FrameSpec> frames;
    std::vector<Span> scenes;
};

TEST(SceneCutterTest, WhichJumpsCloseAScene) {
    const std::vector<BreakCase> cases = {
        {"dates one second apart", recording(100, 10, 0, 0), {{0, 99}}},
        {"a jump of exactly 2 s is no break", recording(50, 10, 0, 0) + recording(50, 10, 0, 3), {{0, 99}}},
        {"a jump of 3 s is one", recording(50, 10, 0, 0) + recording(50, 10, 0, 4), {{0, 49}, {50, 99}}},
        {"a jump back of 3 s is one",
         recording(50, 10, 0, 10) + recording(50, 10, 0, 0),
         {{0, 49}, {50, 99}}},
        // The frames where the date disappears and where it comes back are both breaks.
        {"a stretch without date",
         recording(20, 10, 0, 0) + std::vector<FrameSpec>(20) + recording(20, 10, 0, 1),
         {{0, 19}, {20, 39}, {40, 59}}},
        // An impossible date ends the callback for its frame: not compared, not kept.
        {"impossible dates in the middle",
         recording(20, 10, 0, 0) + std::vector<FrameSpec>(20, FrameSpec{-2}) + recording(20, 10, 0, 1),
         {{0, 59}}},
        // 12 frames or fewer since the start close nothing; the next break takes both stretches.
        {"a break 12 frames after the start", recording(13, 10, 0, 0) + recording(30, 11, 0, 0), {{0, 42}}},
        {"a break 13 frames after the start",
         recording(14, 10, 0, 0) + recording(30, 11, 0, 0),
         {{0, 13}, {14, 43}}},
        {"a short stretch between two scenes",
         recording(30, 10, 0, 0) + recording(10, 11, 0, 0) + recording(30, 12, 0, 0),
         {{0, 29}, {30, 69}}},
        {"no date at all", std::vector<FrameSpec>(60), {{0, 59}}},
        {"one frame", recording(1, 10, 0, 0), {{0, 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingWriter writer;
        DateTime previous;
        SceneCutter cutter(writer, video(), kPattern, englishDateFormatLocale(), previous);
        cut(cutter, c.frames);
        EXPECT_EQ(spans(writer.scenes), c.scenes);
    }
}

TEST(SceneCutterTest, AShortStretchKeepsTheSceneItInterrupts) {
    RecordingWriter writer;
    DateTime previous;
    SceneCutter cutter(writer, video(25, DateTime(), "-"), kPattern, englishDateFormatLocale(), previous);
    std::vector<std::int64_t> shown;
    cutter.onSceneStart = [&](std::int64_t frame) { shown.push_back(frame); };
    auto frames = recording(30, 10, 0, 0) + recording(10, 11, 0, 0) + recording(30, 12, 0, 0);
    frames[0] = withTimecode(frames[0], 9, 9, 9, 9);
    frames[30] = withTimecode(frames[30], 1, 1, 1, 1);
    frames[40] = withTimecode(frames[40], 2, 2, 2, 2);
    cut(cutter, frames);
    // The player is shown every break (the first frame's, against the date of no previous frame, and the
    // short stretch's too), and the frame after the last at the end.
    EXPECT_EQ(shown, (std::vector<std::int64_t>{1, 30, 40, 70}));
    ASSERT_EQ(writer.scenes.size(), 2u);
    // The first scene keeps the record's (empty) facts; the second those of frame 30, where it began.
    EXPECT_EQ(writer.scenes[0].DatecodeText, "");
    EXPECT_EQ(writer.scenes[0].TimecodeText, "");
    EXPECT_EQ(writer.scenes[1].StartFrame, 30);
    EXPECT_EQ(writer.scenes[1].DatecodeText, "2004-07-15 11:00:00");
    EXPECT_EQ(writer.scenes[1].TimecodeText, "01.01.01.01");
}

TEST(SceneCutterTest, TimecodeTextsThatMeanNone) {
    struct Case {
        std::string recordText;
        bool breakingFrameHasTimecode;
        std::string first;
        std::string second;
    };
    const Case cases[] = {
        {"00.12.05.17", true, "00.12.05.17", "03.04.05.06"},
        {"N/A", false, "", ""},  // the breaking frame's absent timecode reads "-01.00.00.00": none
        {"-", true, "", "03.04.05.06"},
        {"", true, "", "03.04.05.06"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.recordText);
        RecordingWriter writer;
        DateTime previous;
        SceneCutter cutter(writer, video(25, DateTime(), c.recordText), kPattern, englishDateFormatLocale(),
                           previous);
        auto frames = recording(20, 10, 0, 0) + recording(20, 11, 0, 0);
        if (c.breakingFrameHasTimecode) frames[20] = withTimecode(frames[20], 3, 4, 5, 6);
        cut(cutter, frames);
        ASSERT_EQ(writer.scenes.size(), 2u);
        EXPECT_EQ(writer.scenes[0].TimecodeText, c.first);
        EXPECT_EQ(writer.scenes[1].TimecodeText, c.second);
    }
}

TEST(SceneCutterTest, TheSceneLengthIsComparedUnsigned) {
    // A graph that reports a position before the start of the scene being collected (its position trails
    // the frames) makes end - start negative: as an unsigned number that is more than 12 frames.
    RecordingWriter writer;
    DateTime previous;
    SceneCutter cutter(writer, video(), kPattern, englishDateFormatLocale(), previous);
    FrameMaker maker;
    cutter.frame(maker.frame(dated(10, 0, 0)), 0);  // a break at the first frame closes nothing
    EXPECT_TRUE(writer.scenes.empty());
    cutter.frame(maker.frame(dated(11, 0, 0)), 20);
    ASSERT_EQ(spans(writer.scenes), (std::vector<Span>{{0, 20}}));
    cutter.frame(maker.frame(dated(12, 0, 0)), 15);
    ASSERT_EQ(spans(writer.scenes), (std::vector<Span>{{0, 20}, {21, 15}}));
    EXPECT_EQ(writer.scenes[1].DurationText, "00.00.00.-06");
}

TEST(SceneCutterTest, AFailingWriterOnlyEndsTheCallbackForThatFrame) {
    RecordingWriter writer;
    writer.throwOnCall = 1;
    DateTime previous;
    SceneCutter cutter(writer, video(), kPattern, englishDateFormatLocale(), previous);
    cut(cutter, recording(20, 10, 0, 0) + recording(20, 11, 0, 0) + recording(20, 12, 0, 0));
    // The failed write ended the callback before the scene was closed and the frame's date kept: the next
    // frame breaks again and writes the scene from frame 0.
    EXPECT_EQ(writer.calls, 4);
    EXPECT_EQ(spans(writer.scenes), (std::vector<Span>{{0, 20}, {21, 39}, {40, 59}}));
}

TEST(SceneCutterTest, ThePreviousDateComesFromThePreviousFile) {
    // The file's first 20 frames carry impossible dates, so frame 20 is compared with the date kept
    // before the file began.
    const auto frames = std::vector<FrameSpec>(20, FrameSpec{-2}) + recording(20, 10, 0, 6);
    {
        RecordingWriter writer;
        DateTime previous = dateTime(2004, 7, 15, 10, 0, 5);  // the last frame of the previous file
        SceneCutter cutter(writer, video(), kPattern, englishDateFormatLocale(), previous);
        cut(cutter, frames);
        EXPECT_EQ(spans(writer.scenes), (std::vector<Span>{{0, 39}}));
    }
    {
        RecordingWriter writer;
        DateTime previous;  // a first scan
        SceneCutter cutter(writer, video(), kPattern, englishDateFormatLocale(), previous);
        cut(cutter, frames);
        EXPECT_EQ(spans(writer.scenes), (std::vector<Span>{{0, 19}, {20, 39}}));
    }
}

// A DV type 2 file of the given frames.
std::string writeScenesFile(const test::TempDir& dir, const std::string& name,
                            const std::vector<FrameSpec>& frames, DvSystem system = DvSystem::Pal625) {
    FrameMaker maker;
    const std::string path = dir.file(name);
    test::DvAviOptions options;
    options.system = system;
    options.withSound = false;
    test::writeDvAvi(
        path, frames.size(),
        [&](std::size_t i) -> const std::vector<std::uint8_t>& { return maker.frame(frames[i]); }, options);
    return path;
}

SceneVideo videoAt(const std::string& path) { return SceneVideo{path, 25, DateTime(), "N/A"}; }

TEST(TdmScenesTest, ScansEveryFrameThroughTheIndexReadingOnlyTheFirst480Bytes) {
    test::TempDir dir;
    const std::string path =
        writeScenesFile(dir, "clip.avi", recording(40, 10, 0, 0) + recording(60, 12, 30, 0));
    TdmScenes scenes(kPattern, englishDateFormatLocale());
    RecordingWriter writer;
    const std::atomic<bool> abort{false};
    const SceneScanResult result = scenes.ScanScenes(videoAt(path), writer, abort);

    EXPECT_EQ(result.outcome, SceneScanOutcome::Completed);
    EXPECT_EQ(result.framesScanned, 100);
    EXPECT_EQ(writer.opened, 1);
    EXPECT_EQ(writer.openedWith, path);
    EXPECT_EQ(writer.closed, 1);
    EXPECT_EQ(spans(writer.scenes), (std::vector<Span>{{0, 39}, {40, 99}}));
    EXPECT_EQ(scenes.scanPosition(), 100);
    EXPECT_EQ(scenes.scanDuration(), 100);
    EXPECT_EQ(scenes.previousDate(), dateTime(2004, 7, 15, 12, 30, 2));
    // The frames: 480 bytes each, read with their 8-byte chunk header. The rest is the headers and the
    // index, read when the file is opened.
    const std::uint64_t headerAndIndex = AviDemuxer(path).bytesRead();
    EXPECT_EQ(result.bytesRead, headerAndIndex + 100 * (8 + 480));
}

TEST(TdmScenesTest, ThePreviousDateIsKeptFromOneFileToTheNext) {
    test::TempDir dir;
    const std::string first = writeScenesFile(dir, "first.avi", recording(30, 10, 0, 0));
    const std::string second = writeScenesFile(
        dir, "second.avi", std::vector<FrameSpec>(20, FrameSpec{-2}) + recording(20, 10, 0, 2));
    const std::atomic<bool> abort{false};

    TdmScenes scenes(kPattern, englishDateFormatLocale());
    RecordingWriter afterFirst;
    scenes.ScanScenes(videoAt(first), afterFirst, abort);
    scenes.ScanScenes(videoAt(second), afterFirst, abort);
    EXPECT_EQ(spans(afterFirst.scenes), (std::vector<Span>{{0, 29}, {0, 39}}));

    TdmScenes fresh(kPattern, englishDateFormatLocale());
    RecordingWriter alone;
    fresh.ScanScenes(videoAt(second), alone, abort);
    EXPECT_EQ(spans(alone.scenes), (std::vector<Span>{{0, 19}, {20, 39}}));
}

TEST(TdmScenesTest, AbortIsSeenBetweenFramesAndLeavesTheFinalSceneOut) {
    test::TempDir dir;
    const std::string path =
        writeScenesFile(dir, "clip.avi", recording(40, 10, 0, 0) + recording(60, 12, 30, 0));
    TdmScenes scenes(kPattern, englishDateFormatLocale());
    std::atomic<bool> abort{false};
    RecordingWriter writer;
    writer.onWrite = [&](const TSceneInfo&) {
        abort = true;
    };  // Esc pressed while the first scene is written
    const SceneScanResult result = scenes.ScanScenes(videoAt(path), writer, abort);
    EXPECT_EQ(result.outcome, SceneScanOutcome::Aborted);
    EXPECT_EQ(result.framesScanned, 41) << "the frame being examined is finished";
    EXPECT_EQ(spans(writer.scenes), (std::vector<Span>{{0, 39}}));
    EXPECT_EQ(writer.closed, 1);
}

TEST(TdmScenesTest, OutcomesWhenNothingIsScanned) {
    test::TempDir dir;
    const std::atomic<bool> abort{false};
    TdmScenes scenes(kPattern, englishDateFormatLocale());
    {
        SCOPED_TRACE("the writer cannot open its output");
        const std::string path = writeScenesFile(dir, "clip.avi", recording(20, 10, 0, 0));
        RecordingWriter writer;
        writer.openAnswer = false;
        EXPECT_EQ(scenes.ScanScenes(videoAt(path), writer, abort).outcome, SceneScanOutcome::NotOpened);
        EXPECT_TRUE(writer.scenes.empty());
        EXPECT_EQ(writer.closed, 1) << "CloseScenes runs in every case";
    }
    for (const std::string& path : {dir.file("missing.avi"), dir.write("text.avi", {'a', 'b', 'c'}),
                                    dir.write("nostream.avi", test::serialize(test::riff("AVI ", {})))}) {
        SCOPED_TRACE(path);
        RecordingWriter writer;
        const SceneScanResult result = scenes.ScanScenes(videoAt(path), writer, abort);
        EXPECT_EQ(result.outcome, SceneScanOutcome::NotLoaded);
        EXPECT_NE(result.message.find(path), std::string::npos) << result.message;
        EXPECT_TRUE(writer.scenes.empty());
        EXPECT_EQ(writer.closed, 1);
    }
    {
        SCOPED_TRACE("no frame");
        const std::string path = writeScenesFile(dir, "empty.avi", {});
        RecordingWriter writer;
        EXPECT_EQ(scenes.ScanScenes(videoAt(path), writer, abort).outcome, SceneScanOutcome::Empty);
        EXPECT_TRUE(writer.scenes.empty());
        EXPECT_EQ(writer.closed, 1);
    }
}

TEST(TdmScenesTest, SamplesShorterThanADvFrameHoldNoDate) {
    // A file whose first stream is not DV: its samples hold no packs, so the whole file is one scene.
    test::TempDir dir;
    const std::string path = dir.write("small.avi", test::dvType2Avi(30, 64));
    TdmScenes scenes(kPattern, englishDateFormatLocale());
    RecordingWriter writer;
    const std::atomic<bool> abort{false};
    EXPECT_EQ(scenes.ScanScenes(videoAt(path), writer, abort).outcome, SceneScanOutcome::Completed);
    EXPECT_EQ(spans(writer.scenes), (std::vector<Span>{{0, 29}}));
}

}  // namespace
}  // namespace moraven

namespace moraven {
namespace {

// A scan over the caller's demuxer (the scenes command builds the record with it too) does not open or index
// the file again: it reads each frame's chunk header and first 480 bytes, nothing else.
TEST(TdmScenesTest, AScanOverASharedDemuxerReadsOnlyTheFrames) {
    test::TempDir dir;
    const std::string path = writeScenesFile(dir, "clip.avi", recording(30, 10, 0, 0));
    const AviDemuxer demuxer(path);
    const std::uint64_t opened = demuxer.bytesRead();
    TdmScenes scenes(kPattern, englishDateFormatLocale());
    RecordingWriter writer;
    const std::atomic<bool> abort{false};
    const SceneScanResult result = scenes.ScanScenes(videoAt(path), demuxer, writer, abort);
    EXPECT_EQ(result.outcome, SceneScanOutcome::Completed);
    EXPECT_EQ(result.framesScanned, 30);
    EXPECT_EQ(demuxer.bytesRead() - opened, 30u * (8 + 480));
    EXPECT_EQ(result.bytesRead, demuxer.bytesRead());
}

}  // namespace
}  // namespace moraven
