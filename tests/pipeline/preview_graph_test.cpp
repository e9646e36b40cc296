// The player's graph end to end: real DV and other AVI files, decoded by the codec module, shown on a fake
// picture surface and played into a fake sound output whose clock the test moves.
#include "pipeline/preview/tviewdm.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "formats/avi_demuxer.h"
#include "formats/dv_frame_analysis.h"
#include "formats/dvcodes.h"
#include "pipeline/conversion/tcdm.h"
#include "support/external_tools.h"
#include "support/stream_samples.h"
#include "support/temp_dir.h"

namespace moraven {
namespace {

using namespace std::chrono_literals;
using test::DvClipOptions;
using test::TempDir;

constexpr auto kBound = 30s;  // generous: only a broken graph ever waits this long
constexpr std::int64_t kPalFrame = 400'000;

// The sound device: opens when told to, records what it got, and plays exactly as far as the test says.
class FakeAudioOutput final : public AudioOutput {
public:
    bool open(int channels, int samplesPerSecond) override {
        std::lock_guard lock(m_mutex);
        ++opens;
        openedChannels = channels;
        openedRate = samplesPerSecond;
        return canOpen;
    }
    void close() override {
        std::lock_guard lock(m_mutex);
        ++closes;
    }
    bool write(Bytes pcm) override {
        std::lock_guard lock(m_mutex);
        bytesWritten += pcm.size();
        return true;
    }
    void setPaused(bool paused) override {
        std::lock_guard lock(m_mutex);
        if (paused) ++pauses;
    }
    void flush() override {
        std::lock_guard lock(m_mutex);
        m_played = MediaTime();
        ++flushes;
    }
    bool playedTime(MediaTime& played) const override {
        std::lock_guard lock(m_mutex);
        played = m_played;
        return true;
    }
    void setVolume(int level) override {
        std::lock_guard lock(m_mutex);
        volumes.push_back(level);
    }
    void advance(MediaTime by) {
        std::lock_guard lock(m_mutex);
        m_played += by;
    }
    MediaTime played() const {
        std::lock_guard lock(m_mutex);
        return m_played;
    }
    std::size_t written() const {
        std::lock_guard lock(m_mutex);
        return bytesWritten;
    }

    int openCount() const {
        std::lock_guard lock(m_mutex);
        return opens;
    }

    bool canOpen = true;
    int opens = 0;
    int closes = 0;
    int pauses = 0;
    int openedChannels = 0;
    int openedRate = 0;
    int flushes = 0;
    std::size_t bytesWritten = 0;
    std::vector<int> volumes;

private:
    mutable std::mutex m_mutex;
    MediaTime m_played;
};

// The picture surface: keeps every picture's start, shape and the sound clock's reading when it came.
class FakeVideoSink final : public VideoSink {
public:
    struct Shown {
        MediaTime start;
        PictureFormat format;
        std::size_t bytes = 0;
        MediaTime soundClock;
    };
    explicit FakeVideoSink(const FakeAudioOutput& output) : m_output(output) {}

    void present(const PictureFormat& format, std::vector<std::uint8_t>& picture, MediaTime start) override {
        if (failFrom >= 0 && start.ticks() >= failFrom) throw std::runtime_error("the surface is gone");
        {
            std::lock_guard lock(m_mutex);
            m_shown.push_back({start, format, picture.size(), m_output.played()});
        }
        m_wake.notify_all();
    }
    void clear() override {
        std::lock_guard lock(m_mutex);
        ++clears;
    }
    std::vector<Shown> shown() const {
        std::lock_guard lock(m_mutex);
        return m_shown;
    }
    std::size_t count() const { return shown().size(); }
    // Waits until more than `count` pictures came; false after `timeout`.
    bool waitForMoreThan(std::size_t count, std::chrono::milliseconds timeout) {
        std::unique_lock lock(m_mutex);
        return m_wake.wait_for(lock, timeout, [&] { return m_shown.size() > count; });
    }
    int clears = 0;
    std::atomic<std::int64_t> failFrom{-1};  // 100 ns: pictures from this time on fail; -1: none

private:
    const FakeAudioOutput& m_output;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<Shown> m_shown;
};

bool tools() { return test::programAvailable("ffmpeg"); }

void ffmpeg(std::vector<std::string> args) {
    args.insert(args.begin(), {"ffmpeg", "-v", "error", "-y"});
    const test::ProgramResult result = test::runProgram(args);
    ASSERT_EQ(result.exitCode, 0) << result.errors;
}

// Gives the file's MJPEG stream a codec code no decoder knows, in its stream header and its bitmap header.
void renameCodec(const std::string& path) {
    std::vector<std::uint8_t> bytes = test::readWholeFile(path);
    int replaced = 0;
    for (std::size_t at = 0; bytes.size() >= 4 && at <= bytes.size() - 4; ++at) {
        if (bytes[at] == 'M' && bytes[at + 1] == 'J' && bytes[at + 2] == 'P' && bytes[at + 3] == 'G') {
            bytes[at] = 'Q';
            bytes[at + 1] = 'Q';
            bytes[at + 2] = 'Z';
            bytes[at + 3] = 'Z';
            ++replaced;
        }
    }
    ASSERT_GE(replaced, 2);
    test::writeWholeFile(path, bytes);
}

PreviewRecord dvRecord(const std::string& path) { return {path, true, true, true, 25}; }
PreviewRecord plainRecord(const std::string& path, bool picture, bool soundKnown) {
    return {path, false, picture, soundKnown, picture ? 25.0 : 0.0};
}

// Whether this process holds a descriptor open on `path`.
bool processHoldsOpen(const std::string& path) {
    const auto wanted = std::filesystem::weakly_canonical(path);
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        const auto target = std::filesystem::read_symlink(entry.path(), error);
        if (!error && target == wanted) return true;
    }
    return false;
}

// Notes the preview's notices (which come on the streaming thread) for the test to wait on.
class CompletionWaiter {
public:
    explicit CompletionWaiter(Tviewdm& preview) {
        preview.setNoticeHandler([this](GraphNotice notice) {
            std::lock_guard lock(m_mutex);
            m_notices.push_back(notice);
            m_wake.notify_all();
        });
    }
    bool wait(std::chrono::milliseconds bound, GraphNotice notice = GraphNotice::Complete) {
        std::unique_lock lock(m_mutex);
        return m_wake.wait_for(lock, bound, [&] {
            return std::find(m_notices.begin(), m_notices.end(), notice) != m_notices.end();
        });
    }
    int count(GraphNotice notice) {
        std::lock_guard lock(m_mutex);
        return static_cast<int>(std::count(m_notices.begin(), m_notices.end(), notice));
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<GraphNotice> m_notices;
};

class PreviewGraphTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!tools()) GTEST_SKIP() << "ffmpeg is needed";
    }
    std::string dvClip(const std::string& name = "clip.avi", int frames = 10) {
        DvClipOptions options;
        options.frames = frames;
        return test::makeDvAviWithFfmpeg(dir.path().string(), name, options);
    }
    // The timecode frames of the frame on show, as the scene detection read it.
    int shownTimecodeFrame() {
        const auto entry = preview.SceneDetect().analysis().ShownEntry();
        if (!entry || !entry->Info.HasTimecode) return -1;
        return entry->Info.Timecode.frames;
    }
    std::int64_t lastShownStart() {
        const auto shown = sink.shown();
        return shown.empty() ? -1 : shown.back().start.ticks();
    }

    TempDir dir;
    FakeAudioOutput output;
    FakeVideoSink sink{output};
    Tviewdm preview{sink, output};
};

TEST_F(PreviewGraphTest, StatusCodesOfFilesThatCannotBeShownWholly) {
    const std::string clip = dvClip();
    const std::string capitals = dir.file("capitals.avi");
    ffmpeg({"-i", clip, "-c", "copy", "-vtag", "DVSD", capitals});
    const std::string soundOnly = dir.file("sound.avi");
    ffmpeg({"-f", "lavfi", "-i", "sine=frequency=440:duration=1", "-c:a", "pcm_s16le", soundOnly});
    // A picture no decoder knows: MJPEG under a made-up tag, with and without sound.
    const std::string unknownWithSound = dir.file("unknown_sound.avi");
    ffmpeg({"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=0.4", "-f", "lavfi", "-i",
            "sine=duration=0.4", "-c:v", "mjpeg", "-c:a", "pcm_s16le", unknownWithSound});
    renameCodec(unknownWithSound);
    const std::string unknownSilent = dir.file("unknown.avi");
    ffmpeg({"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=0.4", "-c:v", "mjpeg", unknownSilent});
    renameCodec(unknownSilent);
    const std::string notAvi = dir.write("not.avi", std::vector<std::uint8_t>(4096, 0x5A));

    struct Case {
        const char* name;
        PreviewRecord record;
        int status;
        PreviewMode mode;
        bool loaded;
    };
    const std::vector<Case> cases{
        {"missing DV file", dvRecord(dir.file("gone.avi")), 1, PreviewMode::Message, false},
        {"missing other file", plainRecord(dir.file("gone.avi"), true, true), 1, PreviewMode::Message, false},
        {"not an AVI", dvRecord(notAvi), 4, PreviewMode::Message, false},
        {"not an AVI, other", plainRecord(notAvi, true, true), 4, PreviewMode::Message, false},
        {"codec code in capitals", dvRecord(capitals), 2, PreviewMode::Message, false},
        {"no file", dvRecord("N/A"), 8, PreviewMode::Message, false},
        {"no file, other", plainRecord("N/A", true, false), 8, PreviewMode::Message, false},
        {"sound only", plainRecord(soundOnly, false, true), 3, PreviewMode::Audio, true},
        {"undecodable picture, sound plays", plainRecord(unknownWithSound, true, true), 5, PreviewMode::Audio, true},
        {"undecodable picture, sound known", plainRecord(unknownSilent, true, true), 6, PreviewMode::Message, false},
        {"undecodable picture, no sound", plainRecord(unknownSilent, true, false), 7, PreviewMode::Message, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(preview.LoadPreview(c.record, 5000), c.loaded);
        EXPECT_EQ(preview.PreviewStatus(), c.status);
        EXPECT_EQ(preview.LastShow().mode, c.mode);
        if (c.mode != PreviewMode::Video) {
            EXPECT_EQ(preview.LastShow().message, c.status);
        }
        if (c.loaded) {
            // Sound alone counts in 100 ns units and plays to the device.
            EXPECT_EQ(preview.timeFormat(), TimeFormat::MediaTime);
            EXPECT_TRUE(preview.LastShow().frameRateCleared);
            ASSERT_TRUE(preview.WaitUntilPaused(kBound));
            EXPECT_GT(output.written(), 0u);
            EXPECT_GT(preview.Duration(), 0);
        }
    }
    // A command's suspension turns any failure into code 8.
    preview.SuspendPreview();
    EXPECT_FALSE(preview.LoadPreview(dvRecord(dir.file("gone.avi")), 0));
    EXPECT_EQ(preview.PreviewStatus(), 8);
    preview.EndSuspend();
    EXPECT_FALSE(preview.VideoInterrupted());
}

TEST_F(PreviewGraphTest, EveryShapeOfDvFileShowsItsPictureAndPlaysItsSound) {
    const std::string type2 = dvClip();
    const std::string soundFirst = dir.file("sound_first.avi");
    ffmpeg({"-i", type2, "-map", "0:a", "-map", "0:v", "-c", "copy", soundFirst});
    const std::string type1 = dir.file("clip_type1.avi");
    {
        TCdm cdm;
        ASSERT_TRUE(cdm.BuildType1Graph(type2, type1)) << cdm.lastBuildError();
        ASSERT_EQ(cdm.RunConversionGraph({}).outcome, ConversionOutcome::Completed);
    }
    for (const std::string& path : {type2, soundFirst, type1}) {
        SCOPED_TRACE(path);
        const std::size_t before = sink.count();
        const std::size_t writtenBefore = output.written();
        ASSERT_TRUE(preview.LoadPreview(dvRecord(path), 7000));
        EXPECT_EQ(preview.LastShow().mode, PreviewMode::Video);
        EXPECT_TRUE(preview.VideoConnected());
        EXPECT_TRUE(preview.AudioConnected());
        EXPECT_EQ(preview.timeFormat(), TimeFormat::Frame);
        EXPECT_EQ(preview.Duration(), 10);
        ASSERT_TRUE(preview.WaitUntilPaused(kBound));
        // Paused on the first frame: the surface got frame 0 in BGR at DV's size, and the panel reads its facts.
        const auto shown = sink.shown();
        ASSERT_GT(shown.size(), before);
        EXPECT_EQ(shown[before].start.ticks(), 0);
        EXPECT_EQ(shown[before].format.layout, PixelLayout::Bgr24);
        EXPECT_EQ(shown[before].format.width, 720);
        EXPECT_EQ(shown[before].format.height, 576);
        EXPECT_EQ(shown[before].bytes, 720u * 3 * 576);
        EXPECT_EQ(shownTimecodeFrame(), 4);
        const auto entry = preview.SceneDetect().analysis().ShownEntry();
        ASSERT_TRUE(entry.has_value());
        EXPECT_TRUE(entry->Info.HasDate);
        EXPECT_EQ(preview.PreviewGraph().find("scenedetect"), &preview.SceneDetect());
        EXPECT_EQ(preview.PreviewGraph().find("superposer"), &preview.Superposer());
        EXPECT_GT(output.written(), writtenBefore);
        EXPECT_EQ(output.openedChannels, 2);
        EXPECT_EQ(output.openedRate, 48000);
    }
    EXPECT_EQ(output.volumes.back(), 7000);
}

TEST_F(PreviewGraphTest, SeeksShowTheFrameAtTheNewPositionWhilePaused) {
    const std::string clip = dvClip("clip.avi", 12);
    ASSERT_TRUE(preview.LoadPreview(dvRecord(clip), 0));
    ASSERT_TRUE(preview.WaitUntilPaused(kBound));
    EXPECT_EQ(output.volumes.back(), 0);  // muted

    struct Step {
        const char* name;
        bool toFrame;
        std::int64_t value;        // frame, or 100 ns
        std::int64_t frame;        // expected position afterwards
        std::optional<int> track;  // expected track bar, for SeekToFrame
    };
    const std::vector<Step> steps{
        {"to frame 7", true, 7, 7, 583},
        {"one frame on", false, kPalFrame, 8, std::nullopt},
        {"one frame back", false, -kPalFrame, 7, std::nullopt},
        {"one frame back again", false, -kPalFrame, 6, std::nullopt},
        {"a minute back stops at 0", false, -600'000'000, 0, std::nullopt},
        {"to frame 3", true, 3, 3, 250},
        {"a second on: 25 frames, clamped to the last frame", false, 10'000'000, 11, std::nullopt},
        {"to frame 0", true, 0, 0, 0},
        {"to the end: the last frame", true, 12, 11, 917},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        std::optional<int> track;
        if (step.toFrame) {
            track = preview.SeekToFrame(step.value);
            EXPECT_EQ(track, step.track);
        } else {
            EXPECT_TRUE(preview.SeekBy(step.value));
        }
        EXPECT_EQ(preview.timeFormat(), TimeFormat::Frame);
        EXPECT_EQ(preview.Position(), step.frame);
        ASSERT_TRUE(preview.WaitUntilPaused(kBound));
        // The surface's last picture is that frame's, and so are the facts the panel reads.
        EXPECT_EQ(lastShownStart(), step.frame * kPalFrame);
        EXPECT_EQ(shownTimecodeFrame(), 4 + step.frame);
    }
}

TEST_F(PreviewGraphTest, PicturesFollowTheSoundClock) {
    const std::string clip = dvClip();
    ASSERT_TRUE(preview.LoadPreview(dvRecord(clip), 10000));
    ASSERT_TRUE(preview.WaitUntilPaused(kBound));
    const std::size_t paused = sink.count();
    preview.Run();
    EXPECT_TRUE(preview.PlaysOnSoundClock());
    // The device plays 10 ms at a time; a picture may come only once the sound has reached it.
    for (int step = 0; step < 2000 && sink.count() < paused + 9; ++step) {
        output.advance(MediaTime::fromTicks(100'000));
        sink.waitForMoreThan(sink.count(), 5ms);
    }
    const auto shown = sink.shown();
    ASSERT_EQ(shown.size(), paused + 9);
    for (std::size_t i = paused; i < shown.size(); ++i) {
        EXPECT_EQ(shown[i].start.ticks(), static_cast<std::int64_t>(i - paused + 1) * kPalFrame);
        EXPECT_LE(shown[i].start, shown[i].soundClock) << i;
    }
    preview.Stop();
}

TEST_F(PreviewGraphTest, WithoutSoundDevicePlaysSilentlyOnTheSystemClockToTheEnd) {
    output.canOpen = false;
    const std::string clip = dvClip();
    ASSERT_TRUE(preview.LoadPreview(dvRecord(clip), 10000));
    ASSERT_TRUE(preview.WaitUntilPaused(kBound));
    CompletionWaiter completion(preview);
    preview.Run();
    EXPECT_FALSE(preview.PlaysOnSoundClock());
    ASSERT_TRUE(completion.wait(kBound));
    EXPECT_EQ(output.written(), 0u);
    const auto shown = sink.shown();
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back().start.ticks(), 9 * kPalFrame);
}

TEST_F(PreviewGraphTest, OtherAvisAreRenderedThroughTheDecoders) {
    const std::string path = dir.file("plain.avi");
    ffmpeg({"-f", "lavfi", "-i", "testsrc=size=176x144:rate=25:duration=0.4", "-f", "lavfi", "-i",
            "sine=duration=0.4", "-c:v", "mjpeg", "-c:a", "pcm_u8", path});
    ASSERT_TRUE(preview.LoadPreview(plainRecord(path, true, true), 10000));
    EXPECT_EQ(preview.PreviewStatus(), 4);  // the last step of the build
    EXPECT_EQ(preview.LastShow().mode, PreviewMode::Video);
    EXPECT_FALSE(preview.LastShow().frameRateCleared);
    EXPECT_TRUE(preview.VideoConnected());
    EXPECT_TRUE(preview.AudioConnected());  // 8-bit sound through the audio decoder
    ASSERT_TRUE(preview.WaitUntilPaused(kBound));
    const auto shown = sink.shown();
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.front().format.width, 176);
    EXPECT_EQ(shown.front().format.height, 144);
    EXPECT_EQ(shown.front().bytes, 176u * 3 * 144);
    EXPECT_EQ(preview.SeekToFrame(5), 500);
    ASSERT_TRUE(preview.WaitUntilPaused(kBound));
    EXPECT_EQ(lastShownStart(), 5 * kPalFrame);
}

// MPEG-4 with two B-frames between references: the decoder holds a picture back to reorder, and the MP2
// sound's parser holds bytes of a frame cut by the chunks. A paused seek must make both forget them: the
// first picture shown after it is the new position's, never a picture held from before.
TEST_F(PreviewGraphTest, CodecsThatHoldPicturesBackForgetThemOnASeek) {
    const std::string path = dir.file("bframes.avi");
    ffmpeg({"-f", "lavfi", "-i", "testsrc=size=176x144:rate=25:duration=2", "-f", "lavfi", "-i",
            "sine=duration=2", "-c:v", "mpeg4", "-bf", "2", "-g", "12", "-flags", "+cgop", "-sc_threshold",
            "1000000000", "-c:a", "mp2", path});
    ASSERT_TRUE(preview.LoadPreview(plainRecord(path, true, true), 0));
    ASSERT_TRUE(preview.VideoConnected());
    ASSERT_TRUE(preview.AudioConnected());  // MP2 through the audio decoder
    ASSERT_TRUE(preview.WaitUntilPaused(kBound));
    ASSERT_GT(sink.count(), 0u);
    EXPECT_EQ(sink.shown().front().start.ticks(), 0);

    struct Step {
        const char* name;
        bool toFrame;
        std::int64_t value;  // frame, or 100 ns
        std::int64_t frame;  // expected position and picture afterwards
    };
    const std::vector<Step> steps{
        {"far on", true, 40, 40},
        {"one frame on", false, kPalFrame, 41},
        {"one frame back", false, -kPalFrame, 40},
        {"far back", true, 5, 5},
        {"one frame back again", false, -kPalFrame, 4},
        {"to the start", true, 0, 0},
        {"to the last frame", true, 49, 49},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        const std::size_t before = sink.count();
        if (step.toFrame) {
            preview.SeekToFrame(step.value);
        } else {
            EXPECT_TRUE(preview.SeekBy(step.value));
        }
        EXPECT_EQ(preview.Position(), step.frame);
        ASSERT_TRUE(preview.WaitUntilPaused(kBound));
        const auto shown = sink.shown();
        ASSERT_GT(shown.size(), before);
        for (std::size_t i = before; i < shown.size(); ++i) EXPECT_EQ(shown[i].start.ticks(), step.frame * kPalFrame) << i;
    }
}

// Sound alone through the audio decoder: after a paused seek its times start again at the new position
// (within the chunk that holds it), not where the sound decoded before the seek had got to.
TEST_F(PreviewGraphTest, DecodedSoundIsTimedFromTheNewPositionAfterASeek) {
    const std::string path = dir.file("mp2.avi");
    ffmpeg({"-f", "lavfi", "-i", "sine=duration=3", "-c:a", "mp2", path});
    ASSERT_TRUE(preview.LoadPreview(plainRecord(path, false, true), 0));
    ASSERT_EQ(preview.timeFormat(), TimeFormat::MediaTime);
    ASSERT_TRUE(preview.WaitUntilPaused(kBound));
    constexpr std::int64_t kSecond = 10'000'000;
    constexpr std::int64_t kChunk = kSecond / 2;  // far more than one MP2 chunk lasts
    for (const std::int64_t target : std::vector<std::int64_t>{2 * kSecond, kSecond / 2, 0, 2 * kSecond + kSecond / 4}) {
        SCOPED_TRACE(target);
        preview.SeekToFrame(target);
        ASSERT_TRUE(preview.WaitUntilPaused(kBound));
        EXPECT_LE(preview.Position(), target);
        EXPECT_GT(preview.Position(), target - kChunk);
    }
}

// At the end of the stream the decoder gives up every picture it still holds, each at its own time.
TEST_F(PreviewGraphTest, CodecsThatHoldPicturesBackShowEveryPictureToTheEnd) {
    const std::string path = dir.file("bframes.avi");
    ffmpeg({"-f", "lavfi", "-i", "testsrc=size=176x144:rate=25:duration=1", "-c:v", "mpeg4", "-bf", "2", path});
    const test::ProgramResult probe = test::runProgram({"ffprobe", "-v", "error", "-count_frames", "-select_streams",
                                                        "v:0", "-show_entries", "stream=nb_read_frames", "-of",
                                                        "csv=p=0", path});
    ASSERT_EQ(probe.exitCode, 0) << probe.errors;
    const std::size_t frames = std::stoul(probe.output);
    ASSERT_GT(frames, 3u);
    output.canOpen = false;
    ASSERT_TRUE(preview.LoadPreview(plainRecord(path, true, false), 0));
    ASSERT_TRUE(preview.WaitUntilPaused(kBound));
    const std::size_t paused = sink.count();
    CompletionWaiter completion(preview);
    preview.Run();
    ASSERT_TRUE(completion.wait(kBound));
    // The paused first picture, then every other one in display order.
    const auto shown = sink.shown();
    ASSERT_EQ(shown.size(), paused + frames - 1);
    EXPECT_EQ(shown[paused - 1].start.ticks(), 0);
    for (std::size_t i = paused; i < shown.size(); ++i) {
        EXPECT_EQ(shown[i].start.ticks(), static_cast<std::int64_t>(i - paused + 1) * kPalFrame) << i;
    }
}

TEST_F(PreviewGraphTest, SuspendingReleasesTheFileUntilTheNextLoad) {
    const std::string clip = dvClip();
    ASSERT_TRUE(preview.LoadPreview(dvRecord(clip), 10000));
    ASSERT_TRUE(preview.WaitUntilPaused(kBound));
    EXPECT_TRUE(processHoldsOpen(clip));
    const int clearsBefore = sink.clears;
    preview.SuspendPreview();
    EXPECT_TRUE(preview.VideoInterrupted());
    EXPECT_EQ(preview.State(), GraphState::Stopped);
    EXPECT_FALSE(processHoldsOpen(clip));
    EXPECT_GT(sink.clears, clearsBefore);
    const std::string renamed = dir.file("renamed.avi");
    ASSERT_EQ(std::rename(clip.c_str(), renamed.c_str()), 0);
    preview.EndSuspend();
    ASSERT_TRUE(preview.LoadPreview(dvRecord(renamed), 10000));
    ASSERT_TRUE(preview.WaitUntilPaused(kBound));
    EXPECT_EQ(shownTimecodeFrame(), 4);
}

// A DV file whose sound (0.4 s) ends long before its picture (1.6 s), played on the fake device's clock,
// which stands still once the sound is played out: the pictures then go on by the system clock. A pause
// after the sound ended holds, seeks past its end and steps land on their frames, and the end is reached;
// the sound device is opened once for all of it.
TEST_F(PreviewGraphTest, AFileWhoseSoundEndsEarlyPausesSeeksAndEnds) {
    const std::string full = dvClip("full.avi", 40);
    const std::string path = dir.file("short_sound.avi");
    ffmpeg({"-i", full, "-map", "0:v", "-map", "0:a", "-c:v", "copy", "-c:a", "pcm_s16le", "-af", "atrim=end=0.4",
            path});
    CompletionWaiter notices(preview);
    ASSERT_TRUE(preview.LoadPreview(dvRecord(path), 0));
    ASSERT_TRUE(preview.AudioConnected());
    ASSERT_TRUE(preview.WaitUntilPaused(kBound));
    EXPECT_EQ(preview.Duration(), 40);
    EXPECT_GE(notices.count(GraphNotice::Paused), 1);

    preview.Run();
    // The device plays the sound 10 ms at a time, then has nothing more to play.
    for (int step = 0; step < 2000 && lastShownStart() < 20 * kPalFrame; ++step) {
        if (output.played() < MediaTime::fromTicks(4'000'000)) output.advance(MediaTime::fromTicks(100'000));
        sink.waitForMoreThan(sink.count(), 5ms);
    }
    ASSERT_GE(lastShownStart(), 20 * kPalFrame);
    preview.Pause();
    ASSERT_TRUE(preview.WaitUntilPaused(kBound));
    const std::int64_t reached = preview.Position();
    EXPECT_EQ(lastShownStart(), reached * kPalFrame);
    // Held: no picture comes in a while (a pause that does not hold runs to the end within it).
    EXPECT_FALSE(sink.waitForMoreThan(sink.count(), 300ms));
    EXPECT_EQ(preview.Position(), reached);
    EXPECT_EQ(preview.State(), GraphState::Paused);

    struct Move {
        const char* name;
        bool toFrame;
        std::int64_t value;  // frame, or 100 ns
        std::int64_t frame;  // expected position and picture afterwards
    };
    const std::vector<Move> moves{
        {"past the sound's end", true, 30, 30}, {"one frame on", false, kPalFrame, 31},
        {"one frame back", false, -kPalFrame, 30}, {"into the sound", true, 5, 5},
        {"back past its end", true, 25, 25},     {"to the end: the last frame", true, 40, 39},
    };
    for (const Move& move : moves) {
        SCOPED_TRACE(move.name);
        if (move.toFrame) {
            preview.SeekToFrame(move.value);
        } else {
            EXPECT_TRUE(preview.SeekBy(move.value));
        }
        EXPECT_EQ(preview.Position(), move.frame);
        ASSERT_TRUE(preview.WaitUntilPaused(kBound));
        EXPECT_EQ(lastShownStart(), move.frame * kPalFrame);
        EXPECT_EQ(shownTimecodeFrame(), (4 + move.frame) % 25);  // the timecode's frames within its second
    }
    // Played from the last frame: the end comes.
    preview.Run();
    ASSERT_TRUE(notices.wait(kBound, GraphNotice::Complete));
    EXPECT_EQ(output.openCount(), 1);
    EXPECT_EQ(output.closes, 0);
    EXPECT_GE(output.pauses, 1);
    preview.Stop();
    EXPECT_EQ(output.closes, 1);
}

// At every worker count users' machines have, each frame the player steps to is shown with its own timecode
// and recording date, as the panel reads them: pictures come out of parallel decoders, and each must keep its
// own frame's facts.
TEST_F(PreviewGraphTest, EveryFrameSteppedToShowsItsOwnTimecodeAndDateAtEveryWorkerCount) {
    constexpr int kFrames = 60;  // more than two seconds: the recording time moves on within the clip
    const std::string clip = dvClip("clip.avi", kFrames);
    const auto frames = test::samplesOfFirstStream(clip, AviStreamKind::Video);
    ASSERT_EQ(frames.size(), static_cast<std::size_t>(kFrames));
    for (const std::size_t workers : {std::size_t{1}, std::size_t{2}, std::size_t{4}, std::size_t{8}, std::size_t{16}}) {
        SCOPED_TRACE(workers);
        Tviewdm player{sink, output};
        player.SetCodecWorkers(workers);
        ASSERT_TRUE(player.LoadPreview(dvRecord(clip), 0));
        ASSERT_TRUE(player.WaitUntilPaused(kBound));
        for (int k = 0; k < kFrames; ++k) {
            if (k > 0) EXPECT_TRUE(player.SeekBy(kPalFrame));  // Ctrl+Right
            ASSERT_TRUE(player.WaitUntilPaused(kBound)) << k;
            ASSERT_EQ(lastShownStart(), k * kPalFrame) << k;
            const auto entry = player.SceneDetect().analysis().ShownEntry();
            ASSERT_TRUE(entry.has_value()) << k;
            const auto& source = frames[static_cast<std::size_t>(k)];
            EXPECT_TRUE(entry->Info.HasTimecode) << k;
            EXPECT_EQ(entry->Info.Timecode, DvFindTimecode(source)) << k;
            ASSERT_TRUE(entry->Info.HasDate) << k;
            EXPECT_EQ(entry->Info.RecordedAt, dvRecDateTime(DvFindRecDate(source).date).value()) << k;
        }
        player.Stop();
    }
}

// A stage that fails while the file plays ends the graph with the Failed notice and its message.
TEST_F(PreviewGraphTest, AStageThatFailsWhilePlayingSendsTheFailedNotice) {
    const std::string clip = dvClip("clip.avi", 12);
    CompletionWaiter notices(preview);
    ASSERT_TRUE(preview.LoadPreview(dvRecord(clip), 0));
    ASSERT_TRUE(preview.WaitUntilPaused(kBound));
    sink.failFrom = 3 * kPalFrame;
    preview.Run();
    for (int step = 0; step < 4000 && !notices.wait(0ms, GraphNotice::Failed); ++step) {
        output.advance(MediaTime::fromTicks(100'000));
        sink.waitForMoreThan(sink.count(), 2ms);
    }
    ASSERT_TRUE(notices.wait(kBound, GraphNotice::Failed));
    EXPECT_EQ(preview.Error(), "the surface is gone");
    EXPECT_EQ(lastShownStart(), 2 * kPalFrame);
    EXPECT_EQ(notices.count(GraphNotice::Complete), 0);
    preview.Stop();
    EXPECT_EQ(preview.State(), GraphState::Stopped);
}

TEST_F(PreviewGraphTest, VolumeIsClampedAndReachesTheDevice) {
    struct Case {
        int asked;
        int applied;
    };
    for (const Case c : {Case{-5, 0}, Case{0, 0}, Case{4321, 4321}, Case{10000, 10000}, Case{12000, 10000}}) {
        preview.SetVolume(c.asked);
        EXPECT_EQ(preview.Volume(), c.applied);
        EXPECT_EQ(output.volumes.back(), c.applied);
    }
}

}  // namespace
}  // namespace moraven
