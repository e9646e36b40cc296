#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "formats/dvcodes.h"

// The conversions that write new files from a video, as the commands see them: build the graph of one
// conversion for an input and an output path, set the DV header stage, run it with progress and abort.
// `TCdm` (conversion/tcdm.h) is the implementation over the media framework; tests of the commands use
// fakes.
//
// Threads: the control (window) thread only. RunConversionGraph returns when the run has ended; meanwhile it
// calls `tick` on the calling thread every 100 ms or so, so that the window stays live.
namespace moraven {

class Tdv_Superposer;

enum class ConversionOutcome {
    Completed,     // every stream reached its end; the output is in place
    Aborted,       // the user aborted: the output is a complete, shorter file (or holds nothing, below)
    Failed,        // a stage failed (disk full, unreadable source): nothing is left under the output name
    ZeroDuration,  // the input has nothing to convert: nothing ran, nothing was written
};

struct ConversionResult {
    ConversionOutcome outcome = ConversionOutcome::Failed;
    std::string message;                // why it failed
    // Notes that did not stop the run (a truncated source; the damaged frames, in one note at the end:
    // "3 frames could not be decoded and were replaced").
    std::vector<std::string> warnings;
    bool nothingWritten = false;        // aborted before the first sample reached the output
};

class ConversionGraphs {
public:
    virtual ~ConversionGraphs() = default;

    // Each builds the graph of one conversion from `input` to `output` and answers whether it could. A graph
    // that could not be built leaves the reason in lastBuildError(); nothing is written then.
    virtual bool BuildType1Graph(const std::string& input, const std::string& output) = 0;
    virtual bool BuildType2Graph(const std::string& input, const std::string& output) = 0;
    virtual bool BuildRemuxGraph(const std::string& input, const std::string& output) = 0;
    virtual bool BuildTimeShiftGraph(const std::string& input, const std::string& output) = 0;
    virtual bool BuildAudioGraph(const std::string& input, const std::string& output) = 0;
    // The graphs that decode and encode pictures. `type1Source` chooses the form for a DV type 1 input (the
    // output keeps the input's DV type). NTSC and PAL: the pictures are re-encoded for `system`. Inlay: the
    // inlay stage draws on the pictures, which are encoded again for `system` (the input's own). Recompression:
    // any AVI that can be decoded becomes DV type 2 of `system`, its sound resampled to `samplesPerSecond`
    // (32000, 44100 or 48000) 16-bit stereo.
    virtual bool BuildNtscPalGraph(const std::string& input, const std::string& output, DvSystem system,
                                   bool type1Source) = 0;
    virtual bool BuildInlayGraph(const std::string& input, const std::string& output, DvSystem system,
                                 bool type1Source) = 0;
    virtual bool BuildRecompressGraph(const std::string& input, const std::string& output, DvSystem system,
                                      int samplesPerSecond) = 0;
    virtual std::string lastBuildError() const = 0;

    // The DV header stage of the conversion graphs: copy the source's frame headers back (after an encoder),
    // and the hours added to every frame's recording time. Kept from one run to the next.
    virtual void setRestoreHeader(bool restore) = 0;
    virtual void setHourShift(std::int32_t hours) = 0;
    // The inlay stage of the inlay graph; its settings are kept from one run to the next.
    virtual Tdv_Superposer& Superposer() = 0;

    // Runs the graph last built: reads its duration (zero: nothing runs), removes the reference clock, runs,
    // and calls `tick` with the progress in percent until the run ends or `tick` answers true (abort); then
    // stops and clears the graph.
    virtual ConversionResult RunConversionGraph(const std::function<bool(int percent)>& tick) = 0;
};

}  // namespace moraven
