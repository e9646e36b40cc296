// The player's flow control on this machine, measured on the preview graph (Tviewdm) as the window drives it,
// with a sound device that plays in real time (its clock is the computer's, held while paused):
//   resume      a pause and a resume during playback (Space twice): from the resume request until the next
//               picture is presented, and how much of that came after the picture's time on the resumed
//               clock (the rest is the picture waiting for its time: up to a frame). The pause keeps the graph and the device: the device must not be
//               opened again after the load.
//   call        how long the window's thread spends in each request: Run, Pause, a step and a seek while
//               paused, and 100 seeks while playing (each to somewhere else in the file). Target: every call
//               under 40 ms, a frame. The load (which builds the graph and starts its stages on the calling
//               thread, the first frame then coming as a notice) is shown without target.
//   seek shown  for the seeks while playing, from the request until the new position's picture is presented.
// The clip is a PAL DV type 2 file (720 x 576 moving test picture, 48 kHz sound) made by ffmpeg; the pictures
// are converted for the screen by the codec module and counted, not painted.
//
// Environment: MORAVEN_BENCH_SEEKS (default 100). A plain table is printed; the exit status is 0 unless the clip
// could not be made or the preview failed.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "pipeline/media_framework_module.h"
#include "pipeline/preview/tviewdm.h"
#include "support/external_tools.h"
#include "support/temp_dir.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::int64_t kPalFrame = 400'000;  // 100 ns units
constexpr int kClipFrames = 25 * 12;
constexpr auto kBound = 5s;  // a figure this long is a failure, not a measure

double milliseconds(Clock::duration duration) { return std::chrono::duration<double, std::milli>(duration).count(); }

// A sound device that takes every write at once and whose played time is the computer's clock since open()
// or the last flush(), standing still while paused. Counts its opens.
class RealTimeSound final : public moraven::AudioOutput {
public:
    bool open(int, int) override {
        std::lock_guard lock(m_mutex);
        ++m_opens;
        restartLocked();
        m_paused = false;
        return true;
    }
    void close() override {}
    bool write(moraven::Bytes) override { return true; }
    void setPaused(bool paused) override {
        std::lock_guard lock(m_mutex);
        if (paused == m_paused) return;
        m_base = playedLocked();
        m_since = Clock::now();
        m_paused = paused;
    }
    void flush() override {
        std::lock_guard lock(m_mutex);
        restartLocked();
    }
    bool playedTime(moraven::MediaTime& played) const override {
        std::lock_guard lock(m_mutex);
        const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(playedLocked());
        played = moraven::MediaTime::fromTicks(elapsed.count() / 100);
        return true;
    }
    void setVolume(int) override {}
    int opens() const {
        std::lock_guard lock(m_mutex);
        return m_opens;
    }

private:
    void restartLocked() {
        m_base = Clock::duration::zero();
        m_since = Clock::now();
    }
    Clock::duration playedLocked() const { return m_paused ? m_base : m_base + (Clock::now() - m_since); }

    mutable std::mutex m_mutex;
    int m_opens = 0;
    bool m_paused = false;
    Clock::duration m_base{};
    Clock::time_point m_since = Clock::now();
};

// The picture surface: the moment and start time of every picture presented.
class TimedSink final : public moraven::VideoSink {
public:
    struct Presented {
        std::uint64_t sequence = 0;
        std::int64_t start = -1;
        Clock::time_point at;
    };
    void present(const moraven::PictureFormat&, std::vector<std::uint8_t>&, moraven::MediaTime start) override {
        {
            std::lock_guard lock(m_mutex);
            m_last = {m_last.sequence + 1, start.ticks(), Clock::now()};
        }
        m_wake.notify_all();
    }
    void clear() override {}
    Presented last() const {
        std::lock_guard lock(m_mutex);
        return m_last;
    }
    // The first picture after `after` (with `start` when it is not negative); nothing after kBound.
    std::optional<Presented> waitFor(std::uint64_t after, std::int64_t start = -1) {
        std::unique_lock lock(m_mutex);
        const bool came = m_wake.wait_for(lock, kBound, [&] {
            return m_last.sequence > after && (start < 0 || m_last.start == start);
        });
        if (!came) return std::nullopt;
        return m_last;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    Presented m_last;
};

struct Figures {
    std::vector<double> values;  // milliseconds
    int failures = 0;
};

// Times one call on this thread into `figures`.
void timeCall(Figures& figures, const std::function<void()>& call) {
    const auto start = Clock::now();
    call();
    figures.values.push_back(milliseconds(Clock::now() - start));
}

void printRow(const char* name, const Figures& figures, double target) {
    if (figures.values.empty()) {
        std::printf("%-26s no figure (%d failed)\n", name, figures.failures);
        return;
    }
    const double worst = *std::max_element(figures.values.begin(), figures.values.end());
    std::printf("%-26s n=%-4zu median %7.2f ms   worst %7.2f ms", name, figures.values.size(),
                moraven::bench::median(figures.values), worst);
    if (target > 0) std::printf("   target < %.0f ms  %s", target, worst < target ? "met" : "MISSED");
    if (figures.failures > 0) std::printf("   (%d never shown)", figures.failures);
    std::printf("\n");
}

}  // namespace

int main() {
    setenv("MORAVEN_MODULE_DIR", MORAVEN_MODULE_FOLDER, 0);
    if (!moraven::test::programAvailable("ffmpeg")) {
        std::fprintf(stderr, "ffmpeg is needed to make the clip\n");
        return 1;
    }
    if (moraven::loadMediaFramework().framework == nullptr) {
        std::fprintf(stderr, "the codec module could not be loaded\n");
        return 1;
    }
    const char* seeksText = std::getenv("MORAVEN_BENCH_SEEKS");
    const int seekCount = seeksText != nullptr ? std::clamp(std::atoi(seeksText), 1, 1000) : 100;

    moraven::test::TempDir folder;
    moraven::test::DvClipOptions options;
    options.frames = kClipFrames;
    const std::string clip = moraven::test::makeDvAviWithFfmpeg(folder.path().string(), "play.avi", options);

    TimedSink sink;
    RealTimeSound sound;
    moraven::Tviewdm preview(sink, sound);
    Figures loadCalls;
    for (int i = 0; i < 5; ++i) {
        bool loaded = false;
        timeCall(loadCalls, [&] { loaded = preview.LoadPreview({clip, true, true, true, 25}, 10000); });
        if (!loaded || !preview.WaitUntilPaused(kBound)) {
            std::fprintf(stderr, "the clip could not be previewed\n");
            return 1;
        }
    }
    const int opensBefore = sound.opens();
    std::printf("Preview of a PAL DV type 2 file, 720x576, 48 kHz sound on a real-time sound device; %u hardware"
                " threads\n", std::thread::hardware_concurrency());

    Figures runCalls, pauseCalls, resumeShown, resumeLate, pausedSteps, pausedSeeks, playingSeeks, seekShown;
    // Pause and resume while playing, 20 times, each pause at another moment within a frame.
    for (int i = 0; i < 20; ++i) {
        timeCall(runCalls, [&] { preview.Run(); });
        std::this_thread::sleep_for(200ms + std::chrono::milliseconds((i * 13) % 40));
        timeCall(pauseCalls, [&] { preview.Pause(); });
        if (!preview.WaitUntilPaused(kBound)) {
            ++resumeShown.failures;
            continue;
        }
        std::this_thread::sleep_for(50ms);
        const std::uint64_t before = sink.last().sequence;
        const moraven::MediaTime clockAtResume = preview.PreviewGraph().clock().now();
        const auto asked = Clock::now();
        timeCall(runCalls, [&] { preview.Run(); });
        const auto shown = sink.waitFor(before);
        if (!shown) {
            ++resumeShown.failures;
        } else {
            resumeShown.values.push_back(milliseconds(shown->at - asked));
            // Less the time the picture had to wait for its start on the resumed clock.
            const double due = std::max<double>(0, static_cast<double>(shown->start - clockAtResume.ticks()) / 1e4);
            resumeLate.values.push_back(milliseconds(shown->at - asked) - due);
        }
        preview.Pause();
        preview.WaitUntilPaused(kBound);
        // Back to the start now and then, so that the clip never runs out.
        if (i % 5 == 4) {
            preview.SeekToFrame(0);
            preview.WaitUntilPaused(kBound);
        }
    }
    // Steps and seeks while paused: only the call is timed here.
    for (int i = 0; i < 20; ++i) {
        timeCall(pausedSteps, [&] { preview.SeekBy(kPalFrame); });
        preview.WaitUntilPaused(kBound);
        const std::int64_t target = 20 + (i * 37) % 200;
        timeCall(pausedSeeks, [&] { preview.SeekToFrame(target); });
        preview.WaitUntilPaused(kBound);
    }
    // Seeks while playing, each to somewhere else, each waiting for its picture before the next.
    preview.SeekToFrame(0);
    preview.WaitUntilPaused(kBound);
    preview.Run();
    for (int i = 0; i < seekCount; ++i) {
        const std::int64_t target = 10 + (i * 53) % (kClipFrames - 60);
        const std::uint64_t before = sink.last().sequence;
        const auto asked = Clock::now();
        timeCall(playingSeeks, [&] { preview.SeekToFrame(target); });
        const auto shown = sink.waitFor(before, target * kPalFrame);
        if (!shown) {
            ++seekShown.failures;
        } else {
            seekShown.values.push_back(milliseconds(shown->at - asked));
        }
    }
    preview.Pause();
    preview.WaitUntilPaused(kBound);
    const int opens = sound.opens() - opensBefore;
    preview.Stop();

    printRow("resume to next picture", resumeShown, 0);
    printRow("  of which past its time", resumeLate, 0);
    std::printf("%-26s %d more times after the load (none: %s)\n", "sound device opened", opens,
                opens == 0 ? "met" : "MISSED");
    printRow("call: load (builds, starts)", loadCalls, 0);
    printRow("call: Run", runCalls, 40);
    printRow("call: Pause", pauseCalls, 40);
    printRow("call: step while paused", pausedSteps, 40);
    printRow("call: seek while paused", pausedSeeks, 40);
    printRow("call: seek while playing", playingSeeks, 40);
    printRow("seek while playing, shown", seekShown, 0);
    return 0;
}
