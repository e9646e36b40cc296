#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "pipeline/graph/reference_clock.h"
#include "pipeline/graph/stage.h"

// A graph of stages: built by adding stages and connecting their pins, then run on a streaming thread of
// its own.
//
// Building (control thread, graph stopped): add() a stage under a name (the graph does not own it; the caller
// keeps it alive while it is in the graph), or adopt() one that the graph then owns; connect() an output to
// an input, which asks the input to accept one of the types the output offers (optionally only those of a
// major type and subtype) and answers false when none is accepted; render() an output into a stage, letting
// the graph put intermediate stages between (from the intermediates it was given); disconnect() a pin and its
// peer; remove() a stage with its connections; clear().
//
// Running: run() starts the streaming thread, which calls produce() of every source stage in turn until all
// are at their end (the graph is then complete) or stop() is called. pause() streams until every connected
// renderer is ready (it has had a sample, or its stream has ended: a sound track shorter than the picture, or
// a seek past its end), then holds the thread and sends the Paused notice; a renderer's further sample waits
// in Stage::rendered() meanwhile. run() goes on from there. A pause keeps the streaming thread and every
// stage as they are (a sound output stays open, codecs keep their state); only stop() ends them. Without a
// reference clock (the default), samples flow as fast as the stages take them; with one, a renderer's sample
// waits until the clock (reference_clock.h: the system clock unless setClock() gave another, such as the sound
// device's) has reached its start time. The clock restarts at the position when streaming starts and after a
// seek, and is held while the graph pauses. A renderer that paces itself (a sound output whose writes block)
// does not wait for the clock. stop() ends the streaming within one sample, joins the thread and calls stop()
// of every stage with the reason: completed, stopped or failed (a stage threw; error() then holds its
// message). A complete graph keeps its thread waiting until a seek plays it again or stop() ends it; a failed
// one's thread ends at once, and only stop() follows (it keeps its state until then).
//
// Notices (Complete, Paused, Failed) are handed to the notice handler on the streaming thread: the caller
// marshals them to its own thread (the window posts them to its event loop). Paused comes once per pause() or
// seek while paused, when the new position's samples have reached every renderer; a notice may arrive after
// a newer request was made (prerolled() tells whether the latest is done). When start() of a stage throws,
// run() or pause() hands the Failed notice on the control thread before it returns, and no thread starts.
// Whoever cannot take notices polls state(), isComplete() and error().
//
// Seeking: duration() and position() in the current time format (100 ns units, or frames of the source's
// video stream), and setPosition() in any state. Position is the start time of the latest sample a renderer
// consumed, or the target of a seek until its samples come. A seek of a streaming graph (running, paused or
// complete) is a request: setPosition() returns at once and the streaming thread carries it out. A sample
// waiting at a renderer is dropped, so the thread unwinds to its loop; there it flushes every stage
// (Stage::flush(): what they hold from before the seek is dropped), moves the sources and restarts the clock,
// then streams from the new position: a paused graph until every renderer is ready again (then Paused), a
// running one on.
//
// Threads: every member is for the control thread, except position(), isComplete(), prerolled(), error(),
// warnings() and state(), which any thread may call. The destructor stops the graph.
namespace moraven {

enum class GraphState { Stopped, Paused, Running };
enum class GraphNotice { Complete, Paused, Failed };
enum class TimeFormat { MediaTime, Frame };

class Graph final : public Seeking {
public:
    // Makes an intermediate stage for render() (a decoder, a converter); the graph adopts it when it helps.
    using StageMaker = std::function<std::unique_ptr<Stage>()>;

    Graph();
    ~Graph() override;
    Graph(const Graph&) = delete;
    Graph& operator=(const Graph&) = delete;

    // ---- building ----
    // False when the stage is already in a graph or the name is taken.
    bool add(Stage& stage, std::string name);
    Stage& adopt(std::unique_ptr<Stage> stage, std::string name);
    // Disconnects every pin of the stage and takes it out (an adopted stage is destroyed).
    void remove(Stage& stage);
    void clear();
    Stage* find(std::string_view name) const;
    std::vector<Stage*> stages() const;

    // Connects `output` to `input` with the first type `output` offers that `input` accepts; with `partial`,
    // only types of its major type (and of its subtype when that is not zero) are tried. False when a pin is
    // of the wrong direction or already connected, or when no type is accepted.
    bool connect(Pin& output, Pin& input, const MediaType* partial = nullptr);
    // Connects `output` to a free input of `target`, directly or through intermediate stages (at most two)
    // made by the makers given to setIntermediates(). False, with nothing left connected or added, when no
    // chain is found.
    bool render(Pin& output, Stage& target);
    void setIntermediates(std::vector<StageMaker> makers) { m_intermediates = std::move(makers); }
    // Breaks the connection of `pin` (both sides); nothing when it is not connected.
    void disconnect(Pin& pin);

    // ---- control ----
    void run();
    void pause();
    void stop();
    GraphState state() const { return m_state.load(); }
    void setReferenceClock(bool enabled) { m_useClock = enabled; }
    bool hasReferenceClock() const { return m_useClock; }
    // The clock to pace by while the reference clock is enabled; nullptr: the system clock. Not owned: it
    // must outlive its use. Graph stopped.
    void setClock(ReferenceClock* clock) { m_clock = clock != nullptr ? clock : &m_systemClock; }
    ReferenceClock& clock() const { return *m_clock; }
    void setNoticeHandler(std::function<void(GraphNotice)> handler) { m_noticeHandler = std::move(handler); }

    // Ends a running graph as if every source had reached the end of its input here: each source that is
    // not at its end tells its outputs that their streams are over (Stage::endEarly), and the stages
    // downstream pass on what they still hold, so that a file being written gets all that was read and its
    // streams end together. The graph then completes; endedEarly() tells it apart. Control thread, while
    // running (not paused).
    void endEarly();
    // The last run completed because endEarly() cut it short (any thread).
    bool endedEarly() const { return m_endedEarly.load(); }
    // The streaming has reached the end of every source (any thread).
    bool isComplete() const { return m_complete.load(); }
    // The message of the stage that failed the run; empty otherwise (any thread).
    std::string error() const;
    // Notes of the stages that did not stop the run (any thread).
    std::vector<std::string> warnings() const;
    // Waits until the streaming has ended (complete or failed) or `timeout` passed; true when ended.
    bool waitForEnd(std::chrono::milliseconds timeout);
    // Paused with every renderer ready since the latest pause() or seek: its Paused notice is on its way or
    // was handed on (any thread).
    bool prerolled() const { return m_prerolled.load(); }

    // ---- seeking ----
    void setTimeFormat(TimeFormat format) { m_timeFormat = format; }
    TimeFormat timeFormat() const { return m_timeFormat; }
    // In 100 ns units regardless of the time format.
    MediaTime duration() const override;
    MediaTime position() const override;
    // Positions follow the samples of this renderer only (a player's picture, which a decoder delays behind
    // the sound); nullptr (the default): of every renderer. Graph stopped.
    void setPositionRenderer(const Stage* renderer) { m_positionRenderer = renderer; }
    // In the current time format.
    std::int64_t durationInFormat() const;
    std::int64_t positionInFormat() const;
    // Moves to `value` (current time format). Stopped: the sources move now; streaming: the move is asked of
    // the streaming thread (see above) and true means asked. False for a negative value, a graph without
    // sources, or one whose streaming failed.
    bool setPosition(std::int64_t value);
    // The frame duration of the first source with a video stream, rounded to 100 ns; zero when none has one.
    MediaTime frameDuration() const;

private:
    friend class Stage;
    struct Member {
        Stage* stage = nullptr;
        std::unique_ptr<Stage> owned;
    };

    void startStreaming(bool paused);
    void stream();
    // Streaming thread, `lock` held: carries out the pending seek (the lock is let go while the stages are
    // flushed and the sources moved); every source is then to be read again.
    void applySeek(std::unique_lock<std::mutex>& lock, std::vector<bool>& done, std::size_t& remaining);
    void notify(GraphNotice notice);
    bool onRendered(Stage& stage, const MediaSample& sample, bool paced);
    void onRendererEnded(Stage& stage);
    // The streaming thread, paused with every renderer ready: says so (the Paused notice once per pause or
    // seek) and waits, `lock` held on m_mutex, until a stop, a run or a seek releases it.
    void holdWhilePaused(std::unique_lock<std::mutex>& lock);
    void sendPausedOnce(std::unique_lock<std::mutex>& lock);
    void onWarning(const std::string& text);
    std::vector<Stage*> sources() const;
    // Every connected renderer has had a sample since the last seek, or its stream has ended (m_mutex held).
    bool allRenderersReady() const;
    void endStreaming(StopReason reason);
    bool tryConnect(Pin& output, Pin& input, const MediaType* partial);
    bool renderThrough(Pin& output, Stage& target, int depth);
    std::string uniqueName(const std::string& base) const;

    std::vector<Member> m_members;
    std::vector<StageMaker> m_intermediates;
    std::function<void(GraphNotice)> m_noticeHandler;
    bool m_useClock = false;
    TimeFormat m_timeFormat = TimeFormat::MediaTime;

    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::atomic<GraphState> m_state{GraphState::Stopped};
    std::atomic<bool> m_stopRequested{false};
    // The sources have read since they were last moved (control thread only).
    bool m_streamedSinceSeek = false;
    std::atomic<bool> m_complete{false};
    std::atomic<bool> m_endEarlyWanted{false};
    std::atomic<bool> m_endedEarly{false};
    std::atomic<bool> m_ended{true};    // complete or failed
    std::atomic<bool> m_prerolled{false};
    bool m_exited = true;        // under m_mutex: the streaming thread has left its loop (failed or stopped)
    bool m_pauseWanted = false;  // under m_mutex
    bool m_seekPending = false;  // under m_mutex: a seek asked of the streaming thread
    MediaTime m_seekTarget;      // under m_mutex
    bool m_failed = false;       // streaming thread; read by the control thread after the join
    bool m_pausedNoticeSent = false;            // under m_mutex: since the latest pause() or seek
    std::vector<Stage*> m_sources;              // fixed while the thread runs
    std::vector<Stage*> m_renderers;            // connected renderers, fixed while the thread runs
    std::vector<Stage*> m_renderersWithSample;  // under m_mutex
    std::vector<Stage*> m_renderersEnded;       // under m_mutex: their stream ended since the last seek
    std::string m_error;                        // under m_mutex
    std::vector<std::string> m_warnings;        // under m_mutex
    std::atomic<std::int64_t> m_position{0};
    SystemClock m_systemClock;
    ReferenceClock* m_clock = &m_systemClock;  // changed only while stopped
    const Stage* m_positionRenderer = nullptr;  // changed only while stopped
};

}  // namespace moraven
