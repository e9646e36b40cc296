#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "pipeline/graph/graph.h"
#include "pipeline/graph/stage.h"

// Tiny stages for the framework's tests: a source of numbered samples, a sink that records what it got, and
// a converter from one major type to another.
namespace moraven::test {

// Frame facts that name frame `number` and hold nothing else, for samples that stand for the frames a scene
// detection numbered.
inline std::shared_ptr<const DvFrameFacts> numberedFacts(std::uint64_t number) {
    auto facts = std::make_shared<DvFrameFacts>();
    facts->Frame = number;
    return facts;
}

inline MediaType typeOf(const char (&major)[5], const char (&subtype)[5] = "none") {
    return MediaType(FourCC::of(major), FourCC::of(subtype), {});
}

// Delivers `count` samples (forever when count < 0), sample i starting at i × step, 4 bytes holding i.
class NumberSource final : public Stage {
public:
    NumberSource(std::vector<MediaType> types, long count, MediaTime step = MediaTime::fromTicks(400'000))
        : Stage("Number Source"), m_types(std::move(types)), m_count(count), m_step(step) {
        addPin(PinDirection::Output, "Out");
    }
    std::vector<MediaType> outputTypes(const Pin&) const override { return m_types; }
    bool isSource() const override { return true; }
    bool produce() override {
        if (m_count >= 0 && m_next >= m_count) {
            deliverEndOfStream(*output(0));
            return false;
        }
        m_sample.data.assign(4, static_cast<std::uint8_t>(m_next));
        m_sample.start = MediaTime::fromTicks(m_next * m_step.ticks());
        m_sample.stop = m_sample.start + m_step;
        ++m_next;
        produced.fetch_add(1);
        deliver(*output(0), m_sample);
        return true;
    }
    MediaTime sourceDuration() const override { return MediaTime::fromTicks(m_count * m_step.ticks()); }
    MediaTime sourceFrameDuration() const override { return m_step; }
    bool seekSource(MediaTime position) override {
        m_next = position.ticks() / m_step.ticks();
        seekedTo.push_back(position);
        return true;
    }
    void start() override {
        if (throwAtStart) throw std::runtime_error("the source cannot start");
    }
    void stop(StopReason reason) override { stopReasons.push_back(reason); }

    bool throwAtStart = false;
    std::atomic<long> produced{0};
    std::vector<MediaTime> seekedTo;
    std::vector<StopReason> stopReasons;

private:
    std::vector<MediaType> m_types;
    long m_count;
    MediaTime m_step;
    long m_next = 0;
    MediaSample m_sample;
};

// Accepts the types of one major type (any when it is zero); records the samples' first bytes and start
// times, and the wall time at which each arrived. A renderer. `onSample` runs on the streaming thread.
class RecordingSink final : public Stage {
public:
    explicit RecordingSink(FourCC major = FourCC()) : Stage("Recording Sink"), m_major(major) {
        addPin(PinDirection::Input, "In");
    }
    bool acceptsInput(const Pin&, const MediaType& type) const override {
        return m_major == FourCC() || type.majorType() == m_major;
    }
    void receive(Pin&, MediaSample& sample) override {
        {
            std::lock_guard lock(m_mutex);
            m_values.push_back(sample.data.empty() ? -1 : sample.data[0]);
            m_starts.push_back(sample.start);
        }
        m_changed.notify_all();
        if (onSample) onSample(sample);
        rendered(sample);
        // After rendered(): on a reference clock, the time the sample was let through.
        std::lock_guard lock(m_mutex);
        m_arrivals.push_back(std::chrono::steady_clock::now());
    }
    void endOfStream(Pin&) override { endOfStreams.fetch_add(1); }
    bool isRenderer() const override { return true; }
    void stop(StopReason reason) override { stopReasons.push_back(reason); }

    std::size_t count() const {
        std::lock_guard lock(m_mutex);
        return m_values.size();
    }
    std::vector<int> values() const {
        std::lock_guard lock(m_mutex);
        return m_values;
    }
    std::vector<MediaTime> starts() const {
        std::lock_guard lock(m_mutex);
        return m_starts;
    }
    std::vector<std::chrono::steady_clock::time_point> arrivals() const {
        std::lock_guard lock(m_mutex);
        return m_arrivals;
    }
    // Waits (a generous bound, never reached by a working graph) until `n` samples arrived.
    bool waitForCount(std::size_t n, std::chrono::milliseconds bound = std::chrono::seconds(30)) const {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, bound, [&] { return m_values.size() >= n; });
    }

    std::function<void(MediaSample&)> onSample;
    std::atomic<int> endOfStreams{0};
    std::vector<StopReason> stopReasons;

private:
    FourCC m_major;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<int> m_values;
    std::vector<MediaTime> m_starts;
    std::vector<std::chrono::steady_clock::time_point> m_arrivals;
};

// Takes `from` and offers `to` once connected; passes samples on.
class Converter final : public Stage {
public:
    Converter(FourCC from, FourCC to) : Stage("Converter"), m_from(from), m_to(to) {
        addPin(PinDirection::Input, "In");
    }
    bool acceptsInput(const Pin&, const MediaType& type) const override { return type.majorType() == m_from; }
    void connected(Pin& pin) override {
        if (pin.direction() == PinDirection::Input && output(0) == nullptr) addPin(PinDirection::Output, "Out");
    }
    std::vector<MediaType> outputTypes(const Pin&) const override {
        return {MediaType(m_to, FourCC::of("conv"), {})};
    }
    void receive(Pin&, MediaSample& sample) override { deliver(*output(0), sample); }

private:
    FourCC m_from;
    FourCC m_to;
};

// Collects notices and the threads they came on.
class NoticeLog {
public:
    std::function<void(GraphNotice)> handler() {
        return [this](GraphNotice notice) {
            {
                std::lock_guard lock(m_mutex);
                m_notices.push_back(notice);
                m_threads.push_back(std::this_thread::get_id());
            }
            m_changed.notify_all();
        };
    }
    bool waitFor(GraphNotice notice) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(30), [&] {
            return std::find(m_notices.begin(), m_notices.end(), notice) != m_notices.end();
        });
    }
    // Waits until `notice` came at least `times` times.
    bool waitFor(GraphNotice notice, long times) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(30), [&] {
            return std::count(m_notices.begin(), m_notices.end(), notice) >= times;
        });
    }
    std::vector<GraphNotice> notices() const {
        std::lock_guard lock(m_mutex);
        return m_notices;
    }
    std::vector<std::thread::id> threads() const {
        std::lock_guard lock(m_mutex);
        return m_threads;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<GraphNotice> m_notices;
    std::vector<std::thread::id> m_threads;
};

}  // namespace moraven::test
