// The player's figures on this machine, measured on the preview graph (Tviewdm) as the window drives it:
//   playing   a PAL DV type 2 file (720 x 576 moving test picture, recording date, 48 kHz sound) in real time
//             with the datecode inlaid, for 20 s: the process's CPU time (user + system) over the wall time,
//             in percent of one core. Target: at most 30 %.
//   step      one frame on or back while paused (SeekBy ±400000): from the call until the surface's present()
//             got the new frame's start time. Target: within 50 ms.
//   seek      SeekToFrame far away while paused (more than 100 frames on or back), measured the same way.
//   open      LoadPreview until the first picture is presented. Target: within 100 ms. The window loads the
//             codec module once it is on screen (its system page names FFmpeg's version), before the user can
//             pick a file; the bench does the same and times that load apart. The first open still loads the
//             text module and its fonts.
// The pictures go to the window's own VideoSurface (shown on QT_QPA_PLATFORM=offscreen unless a display is
// set, with the Qt event loop running, so that every repaint it asks for is painted and counted). The sound
// device refuses to open, as on a machine without one: the player then runs on the system clock.
//
// Environment: MORAVEN_BENCH_PLAY_SECONDS (default 20), MORAVEN_BENCH_SURFACE ("WIDTHxHEIGHT", default
// 720x576, the surface's size in pixels). A plain table is printed; the exit status is 0 unless the clip
// could not be made or the preview failed.
#include <sys/resource.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
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
#include "ui/video_surface.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::int64_t kPalFrame = 400'000;  // 100 ns units
constexpr int kClipFrames = 25 * 26;         // 26 s: room for 20 s of playing and the seeks
constexpr auto kBound = 5s;                  // a figure this long is a failure, not a measure

// The sound device of a machine without one.
class NoSoundDevice final : public moraven::AudioOutput {
public:
    bool open(int, int) override { return false; }
    void close() override {}
    bool write(moraven::Bytes) override { return false; }
    void setPaused(bool) override {}
    void flush() override {}
    bool playedTime(moraven::MediaTime&) const override { return false; }
    void setVolume(int) override {}
};

// The window's surface, with the moment and start time of every picture presented and a count of paints.
class TimedSurface final : public moraven::VideoSurface {
public:
    struct Presented {
        std::uint64_t sequence = 0;
        std::int64_t start = -1;
        Clock::time_point at;
    };

    void present(const moraven::PictureFormat& format, std::vector<std::uint8_t>& picture,
                 moraven::MediaTime start) override {
        {
            std::lock_guard lock(m_mutex);
            m_last = {m_last.sequence + 1, start.ticks(), Clock::now()};
        }
        m_wake.notify_all();
        VideoSurface::present(format, picture, start);
    }

    Presented last() const {
        std::lock_guard lock(m_mutex);
        return m_last;
    }

    // Runs the event loop until a picture after `after` was presented with `start`; its moment, or nothing
    // after kBound.
    std::optional<Clock::time_point> waitFor(std::uint64_t after, std::int64_t start) {
        const auto deadline = Clock::now() + kBound;
        for (;;) {
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait_for(lock, 1ms, [&] { return m_last.sequence > after && m_last.start == start; });
                if (m_last.sequence > after && m_last.start == start) return m_last.at;
            }
            QCoreApplication::processEvents();
            if (Clock::now() > deadline) return std::nullopt;
        }
    }

    std::uint64_t paints() const { return m_paints.load(); }

protected:
    void paintEvent(QPaintEvent* event) override {
        m_paints.fetch_add(1);
        VideoSurface::paintEvent(event);
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    Presented m_last;
    std::atomic<std::uint64_t> m_paints{0};
};

double milliseconds(Clock::duration duration) { return std::chrono::duration<double, std::milli>(duration).count(); }

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

std::string loadAverage() {
    std::ifstream file("/proc/loadavg");
    std::string one, five, fifteen;
    file >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

int environmentNumber(const char* name, int fallback, int low, int high) {
    const char* text = std::getenv(name);
    return text != nullptr ? std::clamp(std::atoi(text), low, high) : fallback;
}

struct Figures {
    std::vector<double> values;  // milliseconds
    int failures = 0;
};

// One row: median and worst against `target` in milliseconds (0: a figure without target).
void printRow(const char* name, const Figures& figures, double target) {
    if (figures.values.empty()) {
        std::printf("%-22s no figure (%d failed)\n", name, figures.failures);
        return;
    }
    const double worst = *std::max_element(figures.values.begin(), figures.values.end());
    std::printf("%-22s n=%-3zu median %7.1f ms   worst %7.1f ms   target <= %.0f ms  %s%s\n", name,
                figures.values.size(), moraven::bench::median(figures.values), worst, target,
                worst <= target ? "met" : "MISSED",
                figures.failures > 0 ? (" (" + std::to_string(figures.failures) + " never shown)").c_str() : "");
}

class Bench {
public:
    Bench(const std::string& clip) : m_record{clip, true, true, true, 25} {
        const char* size = std::getenv("MORAVEN_BENCH_SURFACE");
        int width = 720;
        int height = 576;
        if (size != nullptr) std::sscanf(size, "%dx%d", &width, &height);
        m_surface.resize(std::max(width, 16), std::max(height, 16));
        m_surface.show();
        // The datecode inlaid on every picture.
        m_preview.Superposer().SetEnabled(true);
        m_preview.Superposer().SetAutoShow(false);
    }

    // Loads the clip and waits until its first picture was presented: the milliseconds it took.
    std::optional<double> open() {
        const std::uint64_t before = m_surface.last().sequence;
        const auto start = Clock::now();
        if (!m_preview.LoadPreview(m_record, 10000)) return std::nullopt;
        const auto shown = m_surface.waitFor(before, 0);
        if (!shown) return std::nullopt;
        const double ms = milliseconds(*shown - start);
        m_preview.WaitUntilPaused(kBound);
        return ms;
    }

    // Plays for `seconds` on the event loop: the CPU share of one core in percent.
    void play(int seconds) {
        const std::uint64_t presentedBefore = m_surface.last().sequence;
        const std::uint64_t paintsBefore = m_surface.paints();
        const double cpuBefore = cpuSeconds();
        const auto start = Clock::now();
        m_preview.Run();
        QEventLoop loop;
        QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
        loop.exec();
        const double wall = std::chrono::duration<double>(Clock::now() - start).count();
        const double cpu = cpuSeconds() - cpuBefore;
        m_preview.Pause();
        m_preview.WaitUntilPaused(kBound);
        const double share = 100.0 * cpu / wall;
        std::printf("%-22s %.1f s wall, %.2f s CPU: %5.1f %% of one core   target <= 30 %%  %s\n", "playing",
                    wall, cpu, share, share <= 30.0 ? "met" : "MISSED");
        std::printf("%-22s %llu pictures presented (%.1f/s), %llu painted\n", "", 
                    static_cast<unsigned long long>(m_surface.last().sequence - presentedBefore),
                    static_cast<double>(m_surface.last().sequence - presentedBefore) / wall,
                    static_cast<unsigned long long>(m_surface.paints() - paintsBefore));
    }

    // Moves while paused and measures until the frame `expected` is presented.
    template <typename Move>
    void measure(Figures& figures, std::int64_t expected, Move move) {
        m_preview.WaitUntilPaused(kBound);
        const std::uint64_t before = m_surface.last().sequence;
        const auto start = Clock::now();
        move();
        const auto shown = m_surface.waitFor(before, expected * kPalFrame);
        if (!shown) {
            ++figures.failures;
            return;
        }
        figures.values.push_back(milliseconds(*shown - start));
    }

    void steps(Figures& forward, Figures& back, int count) {
        m_preview.SeekToFrame(300);
        m_preview.WaitUntilPaused(kBound);
        std::int64_t frame = 300;
        for (int i = 0; i < count; ++i) {
            ++frame;
            measure(forward, frame, [&] { m_preview.SeekBy(kPalFrame); });
        }
        for (int i = 0; i < count; ++i) {
            --frame;
            measure(back, frame, [&] { m_preview.SeekBy(-kPalFrame); });
        }
    }

    void seeks(Figures& forward, Figures& back, int count) {
        for (int i = 0; i < count; ++i) {
            // Forth and back between the two halves of the clip, each time somewhere else.
            const std::int64_t early = 10 + (i * 37) % 200;
            const std::int64_t late = 400 + (i * 53) % 200;
            measure(forward, late, [&] { m_preview.SeekToFrame(late); });
            measure(back, early, [&] { m_preview.SeekToFrame(early); });
        }
    }

private:
    TimedSurface m_surface;
    NoSoundDevice m_sound;
    moraven::Tviewdm m_preview{m_surface, m_sound};
    moraven::PreviewRecord m_record;
};

}  // namespace

int main(int argc, char** argv) {
    const char* display = std::getenv("DISPLAY");
    if ((display == nullptr || *display == '\0') && std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    // The codec and text modules are found beside the program unless told otherwise.
    setenv("MORAVEN_MODULE_DIR", MORAVEN_MODULE_FOLDER, 0);
    QApplication application(argc, argv);
    if (!moraven::test::programAvailable("ffmpeg")) {
        std::fprintf(stderr, "ffmpeg is needed to make the clip\n");
        return 1;
    }
    const int playSeconds = environmentNumber("MORAVEN_BENCH_PLAY_SECONDS", 20, 1, 24);

    moraven::test::TempDir folder;
    moraven::test::DvClipOptions options;
    options.frames = kClipFrames;
    const std::string clip = moraven::test::makeDvAviWithFfmpeg(folder.path().string(), "play.avi", options);

    std::printf("Preview of a PAL DV type 2 file, 720x576, 48 kHz sound, datecode inlaid; VideoSurface %s on %s;"
                " no sound device (system clock)\n",
                std::getenv("MORAVEN_BENCH_SURFACE") != nullptr ? std::getenv("MORAVEN_BENCH_SURFACE") : "720x576",
                qPrintable(QGuiApplication::platformName()));
    std::printf("load average before: %s; %u hardware threads\n", loadAverage().c_str(),
                std::thread::hardware_concurrency());

    const auto loadStart = Clock::now();
    if (moraven::loadMediaFramework().framework == nullptr) {
        std::fprintf(stderr, "the codec module could not be loaded\n");
        return 1;
    }
    const double moduleLoad = milliseconds(Clock::now() - loadStart);

    Bench bench(clip);
    Figures first;
    Figures opens;
    if (const auto ms = bench.open()) {
        first.values.push_back(*ms);
    } else {
        std::fprintf(stderr, "the clip could not be previewed\n");
        return 1;
    }
    for (int i = 0; i < 20; ++i) {
        if (const auto ms = bench.open()) {
            opens.values.push_back(*ms);
        } else {
            ++opens.failures;
        }
    }
    bench.play(playSeconds);
    Figures stepOn, stepBack, seekOn, seekBack;
    bench.steps(stepOn, stepBack, 25);
    bench.seeks(seekOn, seekBack, 25);

    std::printf("%-22s %.1f ms, once the window is on screen\n", "codec module load", moduleLoad);
    printRow("open, first", first, 100);
    printRow("open, again", opens, 100);
    printRow("step one frame on", stepOn, 50);
    printRow("step one frame back", stepBack, 50);
    printRow("seek far on", seekOn, 50);
    printRow("seek far back", seekBack, 50);
    std::printf("load average after: %s\n", loadAverage().c_str());
    return 0;
}
