#include "ui/qt_audio_output.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <utility>
#include <vector>

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QByteArray>
#include <QDeadlineTimer>
#include <QIODevice>
#include <QList>
#include <QMediaDevices>
#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <QTimer>

#include "ui/pcm_queue.h"

namespace moraven {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr std::int64_t kClockUnknown = -1;
// The queue holds about a third of a second; the sink's own buffer a tenth.
constexpr int kQueueTenthsOfSecond = 3;
constexpr int kSinkBufferDivisor = 10;
// The feeding timer's period: well inside the sink's buffer, fine enough for the pictures' clock.
constexpr int kFeedPeriodMs = 5;
// Longest waits for the sink's thread: opening may connect to the sound server; the others are quick.
constexpr auto kOpenLimit = 5s;
constexpr auto kJobLimit = 2s;
// A clock that stands still this long while sound is queued and not paused means the device stopped.
constexpr auto kClockStallLimit = 2s;

}  // namespace

struct QtAudioOutput::Shared {
    PcmQueue queue{kClockStallLimit};
    std::atomic<int> volume{10000};
    std::atomic<std::int64_t> playedUs{kClockUnknown};  // since open() or the last flush(); -1: not readable
    std::atomic<bool> open{false};

    // The control thread's: the sink's thread and the object that receives its jobs.
    std::unique_ptr<QThread> thread;
    QObject* context = nullptr;

    // The sink's thread's only.
    QAudioDevice chosen;
    QAudioFormat format;
    qsizetype sinkBytes = 0;
    std::unique_ptr<QAudioSink> sink;
    QIODevice* device = nullptr;
    QTimer* timer = nullptr;
    std::vector<std::uint8_t> chunk;
    std::int64_t bytesPerSecond = 0;
    std::int64_t startUs = 0;       // the sink's clock when it started
    std::int64_t baselineUs = 0;    // the sink's clock at the end of what was given before the last flush()
    std::int64_t lastProcessedUs = 0;
    std::uint64_t fedBytes = 0;     // given to the sink since it started
    bool clockMoved = false;        // the sink's clock moved since sound was first given
    Clock::time_point lastMove;     // when the clock last moved (or sound was first given)
    bool paused = false;

    // Runs `job` on the sink's thread. With a limit, waits for it that long at most: false when it did not
    // run in time (or could not be posted). Without one, only posts it.
    bool run(std::function<void(Shared&)> job, std::chrono::milliseconds limit, const std::shared_ptr<Shared>& self);
    void tick();
    // The sink's clock at the end of the sound given to it.
    std::int64_t endOfFedUs() const {
        return startUs + (bytesPerSecond > 0 ? static_cast<std::int64_t>(fedBytes) * 1'000'000 / bytesPerSecond : 0);
    }
    // Makes and starts a new sink on the chosen device, its clock at zero; false when it does not start.
    bool startSink();
    // Stops and drops the sink, without playing out what it holds.
    void stopSink();
    // The device stopped working: writes fail from now on (sink's thread).
    void fail();
};

bool QtAudioOutput::Shared::run(std::function<void(Shared&)> job, std::chrono::milliseconds limit,
                                const std::shared_ptr<Shared>& self) {
    if (context == nullptr) return false;
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    const bool posted = QMetaObject::invokeMethod(
        context,
        [self, job = std::move(job), done] {
            job(*self);
            done->set_value();
        },
        Qt::QueuedConnection);
    if (!posted) return false;
    if (limit.count() == 0) return true;
    return finished.wait_for(limit) == std::future_status::ready;
}

bool QtAudioOutput::Shared::startSink() {
    sink = std::make_unique<QAudioSink>(chosen, format);
    sink->setBufferSize(sinkBytes);
    sink->setVolume(volumeGain(volume.load()));
    device = sink->start();
    if (device == nullptr || sink->error() == QAudio::OpenError || sink->error() == QAudio::FatalError) {
        stopSink();
        return false;
    }
    if (paused) sink->suspend();
    startUs = sink->processedUSecs();
    baselineUs = startUs;
    lastProcessedUs = startUs;
    fedBytes = 0;
    clockMoved = false;
    playedUs.store(0);
    return true;
}

void QtAudioOutput::Shared::stopSink() {
    device = nullptr;
    if (sink == nullptr) return;
    sink->reset();
    sink->stop();
    sink.reset();
}

void QtAudioOutput::Shared::fail() {
    queue.fail();
    playedUs.store(kClockUnknown);
    if (timer != nullptr) timer->stop();
}

void QtAudioOutput::Shared::tick() {
    if (sink == nullptr || device == nullptr) return;
    const QAudio::Error error = sink->error();
    if (error == QAudio::OpenError || error == QAudio::IOError || error == QAudio::FatalError) {
        fail();
        return;
    }
    if (!paused) {
        // No more than the sink has room for, so that its device takes every byte written.
        const auto room = static_cast<std::size_t>(std::max<qsizetype>(sink->bytesFree(), 0));
        const std::size_t want = std::min({queue.size(), room, chunk.size()});
        const std::size_t got = want > 0 ? queue.pop(MutableBytes(chunk.data(), want)) : 0;
        if (got > 0) {
            if (device->write(reinterpret_cast<const char*>(chunk.data()), static_cast<qint64>(got)) < 0) {
                fail();
                return;
            }
            if (fedBytes == 0) lastMove = Clock::now();
            fedBytes += got;
        }
    }
    const std::int64_t processed = sink->processedUSecs();
    if (processed != lastProcessedUs) {
        lastProcessedUs = processed;
        lastMove = Clock::now();
        if (fedBytes > 0) clockMoved = true;
    } else if (!paused && (queue.size() > 0 || processed < endOfFedUs() - kFeedPeriodMs * 1000) &&
               Clock::now() - lastMove > kClockStallLimit) {
        // Sound waits to be played and the clock stands still: the device stopped. (A clock that stopped
        // because everything given was played is fine: the file's sound ended.)
        fail();
        return;
    }
    if (fedBytes == 0) {
        playedUs.store(0);
    } else if (!clockMoved) {
        // Sound went out and the clock has not moved yet: not a clock to follow.
        playedUs.store(kClockUnknown);
    } else {
        // After a flush, what the sink still held plays out first: the clock stays at zero meanwhile.
        playedUs.store(std::max<std::int64_t>(processed - baselineUs, 0));
    }
}

QtAudioOutput::QtAudioOutput(std::string deviceId)
    : m_deviceId(std::move(deviceId)), m_shared(std::make_shared<Shared>()) {}

QtAudioOutput::~QtAudioOutput() { close(); }

bool QtAudioOutput::isOpen() const { return m_shared->open.load() && !m_shared->queue.failed(); }

bool QtAudioOutput::open(int channels, int samplesPerSecond) {
    close();
    if (channels < 1 || channels > 8 || samplesPerSecond < 8000 || samplesPerSecond > 192000) return false;

    // The device is chosen here, on the control thread, so that Qt Multimedia's device list lives there; only
    // the sink itself is made on the sink's thread.
    const QList<QAudioDevice> outputs = QMediaDevices::audioOutputs();
    if (outputs.isEmpty()) return false;
    QAudioDevice chosen;
    if (m_deviceId.empty()) {
        chosen = QMediaDevices::defaultAudioOutput();
    } else {
        const QByteArray id = QByteArray::fromStdString(m_deviceId);
        const auto found = std::find_if(outputs.begin(), outputs.end(), [&](const QAudioDevice& d) { return d.id() == id; });
        if (found != outputs.end()) chosen = *found;
    }
    if (chosen.isNull()) return false;
    QAudioFormat format;
    format.setSampleRate(samplesPerSecond);
    format.setChannelCount(channels);
    format.setSampleFormat(QAudioFormat::Int16);
    if (!chosen.isFormatSupported(format)) return false;

    Shared& shared = *m_shared;
    const std::size_t frameBytes = static_cast<std::size_t>(channels) * 2;
    const std::size_t perSecond = frameBytes * static_cast<std::size_t>(samplesPerSecond);
    shared.queue.open(perSecond * kQueueTenthsOfSecond / 10, frameBytes);
    shared.thread = std::make_unique<QThread>();
    shared.thread->setObjectName(QStringLiteral("moraven-sound"));
    shared.thread->start();
    shared.context = new QObject;
    shared.context->moveToThread(shared.thread.get());

    auto started = std::make_shared<std::atomic<bool>>(false);
    const auto sinkBytes = static_cast<qsizetype>(perSecond / kSinkBufferDivisor);
    const bool ran = shared.run(
        [chosen, format, sinkBytes, perSecond, started](Shared& s) {
            s.chosen = chosen;
            s.format = format;
            s.sinkBytes = sinkBytes;
            s.bytesPerSecond = static_cast<std::int64_t>(perSecond);
            s.paused = false;
            if (!s.startSink()) return;
            s.chunk.assign(static_cast<std::size_t>(sinkBytes), 0);
            s.timer = new QTimer(s.context);
            s.timer->setTimerType(Qt::PreciseTimer);
            s.timer->setInterval(kFeedPeriodMs);
            // The timer dies with the sink (close()), before the shared state does.
            QObject::connect(s.timer, &QTimer::timeout, s.context, [raw = &s] { raw->tick(); });
            s.timer->start();
            started->store(true);
        },
        kOpenLimit, m_shared);
    if (!ran || !started->load()) {
        close();
        return false;
    }
    shared.playedUs.store(0);
    shared.open.store(true);
    return true;
}

void QtAudioOutput::close() {
    Shared& shared = *m_shared;
    shared.queue.close();
    shared.open.store(false);
    shared.playedUs.store(kClockUnknown);
    if (shared.thread == nullptr) return;

    const bool stopped = shared.run(
        [](Shared& s) {
            delete s.timer;
            s.timer = nullptr;
            s.stopSink();
        },
        kJobLimit, m_shared);
    shared.thread->quit();
    if (stopped && shared.thread->wait(QDeadlineTimer(std::chrono::milliseconds(kJobLimit)))) {
        delete shared.context;
        shared.context = nullptr;
        shared.thread.reset();
        return;
    }
    // The sound thread hangs inside the sound system. Waiting longer could hang the window, and destroying a
    // running thread aborts: it is left to itself with the state it may still touch, and a fresh state
    // serves the next open().
    (void)shared.thread.release();
    (void)new std::shared_ptr<Shared>(m_shared);
    m_shared = std::make_shared<Shared>();
}

bool QtAudioOutput::write(Bytes pcm) { return m_shared->queue.push(pcm); }

void QtAudioOutput::setPaused(bool paused) {
    Shared& shared = *m_shared;
    shared.queue.setPaused(paused);
    shared.run(
        [paused](Shared& s) {
            s.paused = paused;
            s.lastMove = Clock::now();
            if (s.sink == nullptr) return;
            if (paused) {
                s.sink->suspend();
            } else {
                s.sink->resume();
            }
        },
        0ms, m_shared);
}

void QtAudioOutput::flush() {
    Shared& shared = *m_shared;
    shared.queue.flush();
    if (!shared.open.load()) return;
    const bool ran = shared.run(
        [](Shared& s) {
            if (s.sink == nullptr) return;
            // The sink keeps what it holds (at most its buffer, a tenth of a second): stopping or resetting a
            // PulseAudio sink and starting it again left it taking one buffer and then no more. The clock
            // restarts where the sound given so far ends.
            s.baselineUs = s.endOfFedUs();
            s.playedUs.store(0);
        },
        kJobLimit, m_shared);
    if (!ran) {
        // The sink's thread did not answer: its state is not ours to touch from here.
        shared.queue.fail();
        shared.playedUs.store(kClockUnknown);
    }
}

bool QtAudioOutput::playedTime(MediaTime& played) const {
    const std::int64_t us = m_shared->playedUs.load();
    if (us < 0 || !m_shared->open.load()) return false;
    played = MediaTime::fromTicks(us * 10);
    return true;
}

void QtAudioOutput::setVolume(int level) {
    Shared& shared = *m_shared;
    shared.volume.store(std::clamp(level, 0, 10000));
    shared.run(
        [](Shared& s) {
            if (s.sink != nullptr) s.sink->setVolume(volumeGain(s.volume.load()));
        },
        0ms, m_shared);
}

}  // namespace moraven
