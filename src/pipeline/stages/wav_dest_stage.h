#pragma once

#include <cstdint>
#include <memory>

#include "formats/wav_writer.h"
#include "pipeline/stages/file_output_stage.h"

// "WAV Dest": writes the sound of its one input ("auds" with a usable wave format) into a new WAV file with
// the program's WAV writer (RF64 past 4 GiB). Its output ("strm", "WAVE") connects to a file writer, which
// names the file. The file appears under its name at the end of the stream, or at stop(Stopped) with what
// was written; stop(Failed) leaves nothing.
//
// A renderer, and a Seeking: position() is the stop time of the latest block written, duration() the graph
// source's duration; both from any thread.
// Threads: options and connection on the control thread while stopped; receive() and endOfStream() on the
// streaming thread.
namespace moraven {

class WavDestStage final : public FileOutputStage {
public:
    static constexpr const char* kDisplayName = "WAV Dest";

    WavDestStage();
    ~WavDestStage() override;

    void setWriterOptions(const WavWriter::Options& options) { m_options = options; }

    bool acceptsInput(const Pin& input, const MediaType& type) const override;
    std::vector<MediaType> outputTypes(const Pin& output) const override;

    void start() override;
    void receive(Pin& input, MediaSample& sample) override;
    void endOfStream(Pin& input) override;
    void stop(StopReason reason) override;


private:
    WavWriter::Options m_options;
    std::unique_ptr<WavWriter> m_writer;
};

}  // namespace moraven
