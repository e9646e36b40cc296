#include "pipeline/graph/graph.h"

#include <algorithm>
#include <exception>

namespace moraven {

namespace {

// How long a sample waiting for its time sleeps at most before it reads the clock again: a clock that is
// not the computer's (the sound device's) may move faster or slower than its reading predicted.
constexpr std::chrono::milliseconds kClockPoll{10};

std::int64_t roundedDivide(std::int64_t value, std::int64_t divisor) {
    if (divisor <= 0) return 0;
    return value >= 0 ? (value + divisor / 2) / divisor : -((-value + divisor / 2) / divisor);
}

}  // namespace

Graph::Graph() = default;

Graph::~Graph() {
    stop();
    clear();
}

// ---- building ----

bool Graph::add(Stage& stage, std::string name) {
    if (stage.m_graph != nullptr || find(name) != nullptr) return false;
    stage.m_graph = this;
    stage.m_name = std::move(name);
    m_members.push_back({&stage, nullptr});
    return true;
}

Stage& Graph::adopt(std::unique_ptr<Stage> stage, std::string name) {
    Stage& ref = *stage;
    if (ref.m_graph != nullptr) ref.m_graph->remove(ref);
    ref.m_graph = this;
    ref.m_name = uniqueName(name.empty() ? ref.displayName() : name);
    m_members.push_back({&ref, std::move(stage)});
    return ref;
}

void Graph::remove(Stage& stage) {
    auto it = std::find_if(m_members.begin(), m_members.end(),
                           [&](const Member& member) { return member.stage == &stage; });
    if (it == m_members.end()) return;
    // Pins may be removed by a peer's disconnected(): take them again after each break.
    for (;;) {
        Pin* connected = nullptr;
        for (const auto& pin : stage.m_pins) {
            if (pin->isConnected()) {
                connected = pin.get();
                break;
            }
        }
        if (connected == nullptr) break;
        disconnect(*connected);
    }
    stage.m_graph = nullptr;
    stage.m_name.clear();
    it = std::find_if(m_members.begin(), m_members.end(),
                      [&](const Member& member) { return member.stage == &stage; });
    std::unique_ptr<Stage> owned = std::move(it->owned);
    m_members.erase(it);
    // `owned` is destroyed here, out of the graph already.
}

void Graph::clear() {
    stop();
    while (!m_members.empty()) remove(*m_members.back().stage);
}

Stage* Graph::find(std::string_view name) const {
    for (const Member& member : m_members) {
        if (member.stage->name() == name) return member.stage;
    }
    return nullptr;
}

std::vector<Stage*> Graph::stages() const {
    std::vector<Stage*> result;
    for (const Member& member : m_members) result.push_back(member.stage);
    return result;
}

std::string Graph::uniqueName(const std::string& base) const {
    if (find(base) == nullptr) return base;
    for (int i = 2;; ++i) {
        std::string candidate = base + " " + std::to_string(i);
        if (find(candidate) == nullptr) return candidate;
    }
}

bool Graph::connect(Pin& output, Pin& input, const MediaType* partial) {
    if (m_state.load() != GraphState::Stopped) return false;
    m_streamedSinceSeek = false;  // a graph being built runs from where its sources are
    if (output.direction() != PinDirection::Output || input.direction() != PinDirection::Input) return false;
    if (output.isConnected() || input.isConnected()) return false;
    if (output.stage().m_graph != this || input.stage().m_graph != this) return false;
    if (&output.stage() == &input.stage()) return false;
    return tryConnect(output, input, partial);
}

bool Graph::tryConnect(Pin& output, Pin& input, const MediaType* partial) {
    if (output.isConnected() || input.isConnected()) return false;
    for (const MediaType& type : output.stage().outputTypes(output)) {
        if (partial != nullptr) {
            if (partial->majorType() != FourCC() && type.majorType() != partial->majorType()) continue;
            if (partial->subtype() != FourCC() && type.subtype() != partial->subtype()) continue;
        }
        // The input sees the offering output while it is asked (see Stage::acceptsInput).
        input.m_peer = &output;
        const bool accepted = input.stage().acceptsInput(input, type);
        if (!accepted) {
            input.m_peer = nullptr;
            continue;
        }
        output.m_peer = &input;
        output.m_type = type;
        input.m_type = type;
        try {
            output.stage().connected(output);
            input.stage().connected(input);
        } catch (...) {
            // A stage that cannot follow the connection up (the file vanished meanwhile) refuses it.
            disconnect(output);
            return false;
        }
        return true;
    }
    return false;
}

bool Graph::render(Pin& output, Stage& target) {
    if (m_state.load() != GraphState::Stopped) return false;
    if (output.direction() != PinDirection::Output || output.isConnected()) return false;
    if (output.stage().m_graph != this || target.m_graph != this) return false;
    return renderThrough(output, target, 0);
}

bool Graph::renderThrough(Pin& output, Stage& target, int depth) {
    for (Pin* in : target.pins(PinDirection::Input)) {
        if (!in->isConnected() && tryConnect(output, *in, nullptr)) return true;
    }
    if (depth >= 2) return false;
    for (const StageMaker& maker : m_intermediates) {
        std::unique_ptr<Stage> made = maker ? maker() : nullptr;
        if (!made) continue;
        Stage& stage = adopt(std::move(made), {});
        bool chained = false;
        for (Pin* in : stage.pins(PinDirection::Input)) {
            if (in->isConnected() || !tryConnect(output, *in, nullptr)) continue;
            // The intermediate's outputs may only exist now that its input is connected.
            for (Pin* out : stage.pins(PinDirection::Output)) {
                if (!out->isConnected() && renderThrough(*out, target, depth + 1)) {
                    chained = true;
                    break;
                }
            }
            if (chained) break;
            disconnect(*in);
        }
        if (chained) return true;
        remove(stage);  // destroys it, with whatever it connected downstream already undone
    }
    return false;
}

void Graph::disconnect(Pin& pin) {
    Pin* peer = pin.m_peer;
    if (peer == nullptr) return;
    m_streamedSinceSeek = false;
    pin.m_peer = nullptr;
    peer->m_peer = nullptr;
    pin.m_type = MediaType();
    peer->m_type = MediaType();
    Stage& first = pin.stage();
    Stage& second = peer->stage();
    first.disconnected(pin);
    second.disconnected(*peer);
}

// ---- control ----

std::vector<Stage*> Graph::sources() const {
    std::vector<Stage*> result;
    for (const Member& member : m_members) {
        if (member.stage->isSource()) result.push_back(member.stage);
    }
    return result;
}

void Graph::run() {
    const GraphState state = m_state.load();
    if (state == GraphState::Running) return;
    if (state == GraphState::Paused && m_thread.joinable()) {
        {
            std::lock_guard lock(m_mutex);
            m_pauseWanted = false;
            m_prerolled = false;
        }
        m_clock->setHeld(false);
        m_state = GraphState::Running;
        m_wake.notify_all();
        return;
    }
    startStreaming(false);
}

void Graph::pause() {
    const GraphState state = m_state.load();
    if (state == GraphState::Paused) return;
    if (state == GraphState::Running && m_thread.joinable()) {
        {
            std::lock_guard lock(m_mutex);
            m_pauseWanted = true;
            m_pausedNoticeSent = false;
            m_prerolled = false;
        }
        m_clock->setHeld(true);
        m_state = GraphState::Paused;
        m_wake.notify_all();
        return;
    }
    startStreaming(true);
}

void Graph::startStreaming(bool paused) {
    if (m_thread.joinable()) stop();
    // A run after a stop that interrupted the streaming starts at the position, not where the sources had read
    // ahead to (the player pausing again on the frame it shows).
    if (m_streamedSinceSeek) {
        const MediaTime at = MediaTime::fromTicks(m_position.load());
        for (Stage* source : sources()) source->seekSource(at);
        m_streamedSinceSeek = false;
    }
    m_stopRequested = false;
    m_complete = false;
    m_endEarlyWanted = false;
    m_endedEarly = false;
    m_failed = false;
    m_prerolled = false;
    {
        std::lock_guard lock(m_mutex);
        m_error.clear();
        m_warnings.clear();
        m_pauseWanted = paused;
        m_seekPending = false;
        m_exited = false;
        m_renderersWithSample.clear();
        m_renderersEnded.clear();
        m_pausedNoticeSent = false;
    }
    m_sources = sources();
    m_renderers.clear();
    for (const Member& member : m_members) {
        Stage& stage = *member.stage;
        if (!stage.isRenderer()) continue;
        const auto inputs = stage.pins(PinDirection::Input);
        if (std::any_of(inputs.begin(), inputs.end(), [](const Pin* pin) { return pin->isConnected(); })) {
            m_renderers.push_back(&stage);
        }
    }

    for (const Member& member : m_members) {
        try {
            member.stage->start();
        } catch (const std::exception& error) {
            {
                std::lock_guard lock(m_mutex);
                m_error = error.what();
                m_exited = true;
            }
            m_ended = true;
            endStreaming(StopReason::Failed);
            notify(GraphNotice::Failed);
            return;
        }
    }
    // After the stages started: a sound output opens in start(), and its clock follows it.
    m_clock->restart(MediaTime::fromTicks(m_position.load()));
    m_clock->setHeld(paused);
    m_ended = false;
    m_state = paused ? GraphState::Paused : GraphState::Running;
    m_streamedSinceSeek = true;
    m_thread = std::thread(&Graph::stream, this);
}

void Graph::endEarly() { m_endEarlyWanted = true; }

void Graph::applySeek(std::unique_lock<std::mutex>& lock, std::vector<bool>& done, std::size_t& remaining) {
    const MediaTime target = m_seekTarget;
    m_seekPending = false;
    m_renderersWithSample.clear();
    m_renderersEnded.clear();
    lock.unlock();
    // Every call that streamed has returned: the stages hold only what they kept between calls.
    for (const Member& member : m_members) member.stage->flush();
    for (Stage* source : m_sources) source->seekSource(target);
    std::fill(done.begin(), done.end(), false);
    remaining = done.size();
    m_complete = false;
    m_clock->restart(target);
    lock.lock();
}

void Graph::stream() {
    try {
        const std::size_t count = m_sources.size();
        std::vector<bool> done(count, false);
        std::size_t remaining = count;
        std::size_t next = 0;
        for (;;) {
            {
                std::unique_lock lock(m_mutex);
                if (m_stopRequested) break;
                if (m_seekPending) {
                    applySeek(lock, done, remaining);
                    continue;
                }
                if (m_pauseWanted && allRenderersReady()) {
                    holdWhilePaused(lock);
                    continue;
                }
                if (remaining == 0 && m_complete.load()) {
                    // Complete: the thread stays for a seek that plays the graph again, or for the stop; a
                    // pause meanwhile is answered at once, there being nothing left to show.
                    if (m_pauseWanted) sendPausedOnce(lock);
                    m_wake.wait(lock, [this] {
                        return m_stopRequested.load() || m_seekPending || (m_pauseWanted && !m_pausedNoticeSent);
                    });
                    continue;
                }
            }
            if (remaining > 0 && m_endEarlyWanted.load()) {
                for (std::size_t i = 0; i < count; ++i) {
                    if (!done[i]) m_sources[i]->endEarly();
                    done[i] = true;
                }
                remaining = 0;
                m_endedEarly = true;
            }
            if (remaining == 0) {
                {
                    std::lock_guard lock(m_mutex);
                    // A seek asked meanwhile plays on instead: this end is no longer the graph's.
                    if (m_seekPending) continue;
                    m_complete = true;
                    m_ended = true;
                }
                m_wake.notify_all();
                notify(GraphNotice::Complete);
                continue;
            }
            while (done[next]) next = (next + 1) % count;
            if (!m_sources[next]->produce()) {
                done[next] = true;
                --remaining;
            }
            next = (next + 1) % count;
        }
    } catch (const std::exception& error) {
        m_failed = true;
        {
            std::lock_guard lock(m_mutex);
            m_error = error.what();
            if (m_error.empty()) m_error = "a stage failed";
        }
        notify(GraphNotice::Failed);
    } catch (...) {
        m_failed = true;
        {
            std::lock_guard lock(m_mutex);
            m_error = "a stage failed";
        }
        notify(GraphNotice::Failed);
    }
    {
        std::lock_guard lock(m_mutex);
        m_ended = true;
        m_exited = true;
        m_prerolled = false;
    }
    m_wake.notify_all();
}

void Graph::stop() {
    if (!m_thread.joinable()) {
        m_state = GraphState::Stopped;
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        m_stopRequested = true;
        m_pauseWanted = false;
    }
    m_wake.notify_all();
    m_thread.join();
    m_prerolled = false;
    // A run that went to its end leaves nothing to come back to.
    if (m_complete.load()) m_streamedSinceSeek = false;
    const StopReason reason =
        m_failed ? StopReason::Failed : (m_complete.load() ? StopReason::Completed : StopReason::Stopped);
    endStreaming(reason);
    m_state = GraphState::Stopped;
}

void Graph::endStreaming(StopReason reason) {
    for (const Member& member : m_members) {
        try {
            member.stage->stop(reason);
        } catch (const std::exception& error) {
            // Closing an output can fail (the disk filled at its end): the run then failed after all.
            std::lock_guard lock(m_mutex);
            if (m_error.empty()) m_error = error.what();
        }
    }
}

void Graph::notify(GraphNotice notice) {
    if (m_noticeHandler) m_noticeHandler(notice);
}

bool Graph::allRenderersReady() const {
    const auto listed = [](const std::vector<Stage*>& list, const Stage* stage) {
        return std::find(list.begin(), list.end(), stage) != list.end();
    };
    return std::all_of(m_renderers.begin(), m_renderers.end(), [&](const Stage* renderer) {
        return listed(m_renderersWithSample, renderer) || listed(m_renderersEnded, renderer);
    });
}

void Graph::sendPausedOnce(std::unique_lock<std::mutex>& lock) {
    if (m_pausedNoticeSent) return;
    m_pausedNoticeSent = true;
    m_prerolled = true;
    lock.unlock();
    notify(GraphNotice::Paused);
    lock.lock();
}

void Graph::holdWhilePaused(std::unique_lock<std::mutex>& lock) {
    sendPausedOnce(lock);
    m_wake.wait(lock, [this] { return m_stopRequested.load() || !m_pauseWanted || m_seekPending; });
}

void Graph::onRendererEnded(Stage& stage) {
    std::lock_guard lock(m_mutex);
    if (std::find(m_renderersEnded.begin(), m_renderersEnded.end(), &stage) == m_renderersEnded.end()) {
        m_renderersEnded.push_back(&stage);
    }
}

bool Graph::onRendered(Stage& stage, const MediaSample& sample, bool paced) {
    std::unique_lock lock(m_mutex);
    for (;;) {
        // Samples still on their way while the graph stops or seeks are neither shown nor counted: the
        // position stays that of the last sample shown (or the seek's target), and the streaming thread
        // unwinds to its loop.
        if (m_stopRequested || m_seekPending) return false;
        const bool hadSample = std::find(m_renderersWithSample.begin(), m_renderersWithSample.end(), &stage) !=
                               m_renderersWithSample.end();
        if (!hadSample) m_renderersWithSample.push_back(&stage);
        if (m_pauseWanted) {
            // Paused with every renderer ready: a further sample waits at its renderer, as a paused renderer
            // holds it, so that the picture on show stays the one the pause or the seek asked for even when a
            // decoder hands on several at once. A paused graph shows its first samples at once.
            if (!hadSample || !allRenderersReady()) break;
            holdWhilePaused(lock);
            continue;
        }
        // A running one on a clock waits for their time; a pause meanwhile holds the sample, unshown.
        if (!paced || !m_useClock) break;
        const MediaTime now = m_clock->now();
        if (sample.start <= now) break;
        const auto ahead = std::chrono::nanoseconds((sample.start - now).ticks() * 100);
        m_wake.wait_for(lock, std::min<std::chrono::nanoseconds>(ahead, kClockPoll),
                        [this] { return m_stopRequested.load() || m_pauseWanted || m_seekPending; });
    }
    if (m_positionRenderer == nullptr || m_positionRenderer == &stage) m_position.store(sample.start.ticks());
    return true;
}

void Graph::onWarning(const std::string& text) {
    std::lock_guard lock(m_mutex);
    m_warnings.push_back(text);
}

std::string Graph::error() const {
    std::lock_guard lock(m_mutex);
    return m_error;
}

std::vector<std::string> Graph::warnings() const {
    std::lock_guard lock(m_mutex);
    return m_warnings;
}

bool Graph::waitForEnd(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    return m_wake.wait_for(lock, timeout, [this] { return m_ended.load(); });
}

// ---- seeking ----

MediaTime Graph::frameDuration() const {
    for (const Member& member : m_members) {
        if (!member.stage->isSource()) continue;
        const MediaTime duration = member.stage->sourceFrameDuration();
        if (duration.ticks() > 0) return duration;
    }
    return {};
}

MediaTime Graph::duration() const {
    MediaTime longest;
    for (const Member& member : m_members) {
        if (member.stage->isSource()) longest = std::max(longest, member.stage->sourceDuration());
    }
    return longest;
}

MediaTime Graph::position() const { return MediaTime::fromTicks(m_position.load()); }

std::int64_t Graph::durationInFormat() const {
    if (m_timeFormat == TimeFormat::MediaTime) return duration().ticks();
    return roundedDivide(duration().ticks(), frameDuration().ticks());
}

std::int64_t Graph::positionInFormat() const {
    if (m_timeFormat == TimeFormat::MediaTime) return position().ticks();
    return roundedDivide(position().ticks(), frameDuration().ticks());
}

bool Graph::setPosition(std::int64_t value) {
    if (value < 0) return false;
    MediaTime target = MediaTime::fromTicks(value);
    if (m_timeFormat == TimeFormat::Frame) {
        const MediaTime frame = frameDuration();
        if (frame.ticks() <= 0) return false;
        target = MediaTime::fromTicks(value * frame.ticks());
    }
    const auto sourceStages = sources();
    if (sourceStages.empty()) return false;
    if (!m_thread.joinable()) {
        bool moved = true;
        for (Stage* source : sourceStages) moved = source->seekSource(target) && moved;
        m_position.store(target.ticks());
        m_streamedSinceSeek = false;
        return moved;
    }
    {
        std::lock_guard lock(m_mutex);
        if (m_exited) return false;  // the streaming failed: only a stop follows
        m_seekPending = true;
        m_seekTarget = target;
        m_pausedNoticeSent = false;
        m_prerolled = false;
        m_position.store(target.ticks());
        m_complete = false;
        m_ended = false;
    }
    m_wake.notify_all();
    return true;
}

}  // namespace moraven
