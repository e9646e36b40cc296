#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "formats/media_time.h"
#include "formats/media_type.h"
#include "pipeline/graph/media_sample.h"

// Stages and their pins: the pieces a graph (graph.h) is made of.
//
// A stage has a display name ("AVI Splitter"), the name it was given in its graph, and pins: inputs that
// take samples and outputs that hand them on. A stage creates and owns its pins; some create pins as they
// are connected (a splitter's outputs once its input knows the file, a multiplexer's next free input).
// Pin pointers stay valid until the stage removes the pin or is destroyed.
//
// Threads. Everything that builds a graph (pins, connection questions, connected(), disconnected()) runs on
// the control thread while the graph is stopped. Once the graph runs, receive(), endOfStream(), flush() and a
// source's produce() and seekSource() run on the graph's one streaming thread, one call at a time: a stage
// needs no lock for what only these calls touch. start() and stop() run on the control thread while no
// streaming thread exists. position() of a Seeking may be read from any thread.
namespace moraven {

class Graph;
class Stage;

enum class PinDirection { Input, Output };

// Why the streaming of a graph ended, as its stages are told at stop().
enum class StopReason {
    Completed,  // every stream reached its end
    Stopped,    // the caller stopped the graph first (the user aborted): outputs end as complete, shorter files
    Failed,     // a stage failed: outputs are abandoned and nothing is left under their names
};

// The byte stream between a multiplexer and the file writer, or between a file source and a splitter.
inline constexpr FourCC kMediaTypeStream = FourCC::of("strm");
inline constexpr FourCC kMediaSubtypeAvi = FourCC::of("AVI ");
inline constexpr FourCC kMediaSubtypeWave = FourCC::of("WAVE");

class Pin {
public:
    Pin(Stage& stage, PinDirection direction, std::string name)
        : m_stage(stage), m_direction(direction), m_name(std::move(name)) {}
    Pin(const Pin&) = delete;
    Pin& operator=(const Pin&) = delete;

    Stage& stage() const { return m_stage; }
    PinDirection direction() const { return m_direction; }
    const std::string& name() const { return m_name; }

    // The pin at the other end of the connection, or nullptr.
    Pin* peer() const { return m_peer; }
    bool isConnected() const { return m_peer != nullptr; }
    // The media type agreed on at connection; meaningful only while connected.
    const MediaType& connectionType() const { return m_type; }

private:
    friend class Graph;
    Stage& m_stage;
    PinDirection m_direction;
    std::string m_name;
    Pin* m_peer = nullptr;
    MediaType m_type;
};

// Position and duration of what a graph, or one of its stages, has delivered (a multiplexer: the end of the
// last sample written). Any thread.
class Seeking {
public:
    virtual ~Seeking() = default;
    virtual MediaTime duration() const = 0;
    virtual MediaTime position() const = 0;
};

class Stage {
public:
    explicit Stage(std::string displayName) : m_displayName(std::move(displayName)) {}
    virtual ~Stage();
    Stage(const Stage&) = delete;
    Stage& operator=(const Stage&) = delete;

    const std::string& displayName() const { return m_displayName; }
    // The name given when the stage was added to a graph; empty outside a graph.
    const std::string& name() const { return m_name; }
    Graph* graph() const { return m_graph; }

    // Pins of one direction in order.
    std::vector<Pin*> pins(PinDirection direction) const;
    Pin* input(std::size_t index) const;   // nullptr past the last
    Pin* output(std::size_t index) const;  // nullptr past the last
    Pin* findPin(std::string_view name) const;

    // ---- connection (control thread, graph stopped) ----

    // The types `output` offers, best first. A connection takes the first that the input accepts.
    virtual std::vector<MediaType> outputTypes(const Pin& output) const;
    // Whether `input` takes `type`. Refusing is an answer, not an error. While the graph asks, input.peer()
    // is the output that offers `type` (a splitter reads the file its source names); the connection stands
    // only when the answer is yes. The base accepts every type.
    virtual bool acceptsInput(const Pin& input, const MediaType& type) const;
    // Called on both stages once `pin` is connected (its connectionType() set), or after it was disconnected.
    virtual void connected(Pin& pin);
    virtual void disconnected(Pin& pin);
    // The first sample that `output` will deliver, for a stage downstream that must see content before it can
    // say what it offers (the DV splitter needs the first frame's sound packs). In-place stages answer with
    // their input's upstream first sample. False when unknown.
    virtual bool firstSample(const Pin& output, MediaSample& sample) const;
    // The file a file source reads or a file writer writes; nullptr for other stages.
    virtual const std::string* fileName() const { return nullptr; }

    // ---- running ----

    // Control thread, before the streaming thread starts. May throw (the run then does not start).
    virtual void start() {}
    // Streaming thread: one sample on `input`. May change sample.data in place and hand the same sample on.
    // An exception ends the run as failed. The base discards the sample.
    virtual void receive(Pin& input, MediaSample& sample);
    // Streaming thread: no more samples will come on `input`. The base passes it on to every output.
    virtual void endOfStream(Pin& input);
    // Control thread, after the streaming thread ended (also when start() of another stage threw).
    virtual void stop(StopReason) {}
    // Streaming thread, at a seek, between calls that stream (none of the stage's calls is under way): drop
    // whatever the stage holds from before it (pictures still being decoded, a stream's end already told),
    // so that the first sample after the seek is the first to come out. The base holds nothing.
    virtual void flush() {}

    // A source is driven by the streaming thread: each produce() reads and delivers one sample (through every
    // stage downstream of it) and answers false at its end, after it has sent endOfStream on its outputs.
    virtual bool isSource() const { return false; }
    virtual bool produce() { return false; }
    // Streaming thread, on a source that has not reached its end: the run ends here (Graph::endEarly). The
    // source tells its outputs that their streams are over, as at the end of its input; produce() is not
    // called again. The base tells every output.
    virtual void endEarly();
    // A source's duration (the longest of its connected streams) and its move to a position (control thread
    // while the graph is stopped, else the streaming thread at a seek, after the flush). A stream that the
    // move puts past its end tells its output so at the next produce(). Others answer zero and false.
    virtual MediaTime sourceDuration() const { return {}; }
    virtual bool seekSource(MediaTime) { return false; }
    // The duration of a video frame of the source's video stream, for positions counted in frames; zero
    // when none.
    virtual MediaTime sourceFrameDuration() const { return {}; }

    // Renderers end the chains: a graph pauses once each connected renderer has had its first sample or the
    // end of its stream.
    virtual bool isRenderer() const { return false; }
    // A stage that tracks what it wrote (a multiplexer, the WAV writer) answers it here.
    virtual const Seeking* seeking() const { return nullptr; }

protected:
    Pin& addPin(PinDirection direction, std::string name);
    // Removes the pins of a direction that are not connected.
    void removeUnconnectedPins(PinDirection direction);
    // Hands `sample` to the stage at the other end of `output`; nothing when it is not connected.
    void deliver(const Pin& output, MediaSample& sample);
    void deliverEndOfStream(const Pin& output);
    // A renderer has consumed a sample: counts for pausing and, when `paced`, waits for its time when the
    // graph runs on a reference clock. A renderer that paces itself (its writes block) passes false. While the
    // graph is paused with every renderer ready (a pause that comes during the wait included), the call holds
    // the sample until the graph runs again. False when the sample is to be dropped, unshown: the graph is
    // stopping or a seek was asked (the streaming thread then unwinds to carry it out).
    bool rendered(const MediaSample& sample, bool paced = true);
    // A note for the user that does not stop the run ("the file ends with a truncated frame").
    void warn(const std::string& text);

private:
    friend class Graph;
    std::string m_displayName;
    std::string m_name;
    Graph* m_graph = nullptr;
    std::vector<std::unique_ptr<Pin>> m_pins;
};

}  // namespace moraven
