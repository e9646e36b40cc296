#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "formats/avi_writer.h"
#include "pipeline/stages/file_output_stage.h"

// "AVI Mux": writes the streams of its inputs into a new AVI file with the program's AVI writer. Inputs grow
// as they are connected (there is always one free input, "Input 01", "Input 02", ...), each taking video
// ("vids"), sound ("auds") or interleaved DV ("iavs"). Its output ("strm", "AVI ") connects to a file writer,
// which names the file.
//
// start() creates the writer at the file writer's name with one stream per connected input, in input order:
// DV video with its TV system from the picture height (and the DV information block when the type carries
// one), interleaved DV with the type's DV information block, sound as given, other video as given. Samples
// are written as they come, key-frame flag kept; once every connected input had its end of stream the file
// is closed and appears under its name. stop(Stopped) closes what was written (a complete, shorter file);
// stop(Failed) discards it, so nothing is left under the name.
//
// A renderer, and a Seeking: position() is the stop time of the latest sample written, duration() the graph
// source's duration; both may be read from any thread.
// Threads: writer options and connection on the control thread while stopped; receive() and endOfStream()
// on the streaming thread.
namespace moraven {

class AviMuxStage final : public FileOutputStage {
public:
    static constexpr const char* kDisplayName = "AVI Mux";

    AviMuxStage();
    ~AviMuxStage() override;

    void setWriterOptions(const AviWriter::Options& options) { m_options = options; }

    bool acceptsInput(const Pin& input, const MediaType& type) const override;
    std::vector<MediaType> outputTypes(const Pin& output) const override;
    void connected(Pin& pin) override;
    void disconnected(Pin& pin) override;

    void start() override;
    void receive(Pin& input, MediaSample& sample) override;
    void endOfStream(Pin& input) override;
    void stop(StopReason reason) override;


private:
    struct Input {
        Pin* pin = nullptr;
        int stream = -1;
        bool ended = false;
    };

    void keepOneFreeInput();
    Input* inputFor(const Pin& pin);
    int addStream(AviWriter& writer, const MediaType& type) const;

    AviWriter::Options m_options;
    std::unique_ptr<AviWriter> m_writer;
    std::vector<Input> m_inputs;  // connected inputs of the run, in pin order
    int m_nextInput = 1;
};

}  // namespace moraven
