#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "pipeline/graph/stage.h"

// What the stages that write a file (the AVI mux, the WAV destination) share: the name of their file comes
// from the file writer connected to their output 0; they are renderers; as a Seeking their position is the
// stop time of the latest sample written and their duration the graph source's (both from any thread); and
// a run that failed, or wrote nothing, keeps no output.
namespace moraven {

class FileOutputStage : public Stage, public Seeking {
public:
    bool isRenderer() const override { return true; }
    const Seeking* seeking() const override { return this; }
    MediaTime duration() const override;
    MediaTime position() const override { return MediaTime::fromTicks(m_position.load()); }

protected:
    using Stage::Stage;

    // The file the file writer at output 0 names; throws std::runtime_error when there is none.
    const std::string& outputFileName() const;
    // A run begins: the position goes back to 0.
    void resetPosition() { m_position.store(0); }
    // A sample was written: the position moves to its stop time, and the graph counts it as rendered.
    void written(const MediaSample& sample);
    // Whether the output of a run that ended for `reason` is kept (closed as a complete file) or abandoned.
    static bool keepsOutput(StopReason reason, bool wroteAnything) {
        return reason != StopReason::Failed && wroteAnything;
    }

private:
    std::atomic<std::int64_t> m_position{0};
};

}  // namespace moraven
