#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "formats/avi_demuxer.h"
#include "pipeline/graph/stage.h"
#include "pipeline/stages/damaged_frames.h"

// "AVI Splitter": the source of a graph that reads an AVI file. Its input connects to a stage that names
// the file (a file source, fileName()); on that connection it opens the file with the demuxer and makes one
// output per stream in file order ("Stream 00", "Stream 01", ...), each offering the stream's media type. A
// file that is not an AVI with streams is refused.
//
// Each produce() delivers one sample: of the connected streams, the one whose next sample starts first
// (ties go to the lower stream number), so that a multiplexer downstream never holds more than a chunk.
// Times in 100 ns: a video or DV frame k starts at k × scale / rate; a sound chunk at the bytes before it
// over the byte rate. Streams that are not connected are not read. Each stream reuses one sample buffer.
// A video or DV frame the demuxer refuses (a damaged chunk, or one declaring more than a frame can hold) is
// replaced by the last frame read before it, in its own place and time, and counted among the damaged frames
// (pipeline/stages/damaged_frames.h); any other sample the demuxer refuses, and a frame before any was read,
// is skipped and counted. At the end a warning names how many were skipped and whether the file ends early. A seek reads a video stream whose frames are not all key frames from the key
// frame at or before the position on, the frames before the position marked preroll (a decoder needs them,
// nothing shows them); every other stream from the sample playing at the position. An I/O error (FileError) ends the run as failed.
//
// A stream that ends before the others, or that a seek put past its end, tells its output so at once.
//
// Threads: connection, start() and stop() on the control thread while stopped; produce() and seekSource() as
// graph/stage.h says; sourceDuration() from any thread once connected.
namespace moraven {

class AviSplitterStage final : public Stage, public DamagedFrameCounting {
public:
    static constexpr const char* kDisplayName = "AVI Splitter";

    AviSplitterStage();

    // The file's demuxer while the input is connected; nullptr otherwise.
    const AviDemuxer* demuxer() const { return m_demuxer.get(); }

    bool acceptsInput(const Pin& input, const MediaType& type) const override;
    std::vector<MediaType> outputTypes(const Pin& output) const override;
    void connected(Pin& pin) override;
    void disconnected(Pin& pin) override;
    bool firstSample(const Pin& output, MediaSample& sample) const override;

    void start() override;
    bool isSource() const override { return true; }
    bool produce() override;
    // Ends the streams that are not over yet, without the notes about skipped frames or a truncated file:
    // the input was not read to its end.
    void endEarly() override;
    MediaTime sourceDuration() const override;
    bool seekSource(MediaTime position) override;
    MediaTime sourceFrameDuration() const override;

private:
    struct StreamState {
        std::size_t next = 0;             // the next sample to deliver
        std::size_t prerollUntil = 0;     // samples before this one are delivered as preroll
        std::uint64_t bytesBefore = 0;    // bytes of the samples before it
        bool discontinuity = false;       // the next sample follows a seek
        bool endSent = false;             // its output was told that the stream is over
        std::optional<std::size_t> lastRead;  // video and DV: the last frame read, for one that cannot be
        MediaSample sample;               // reused for every sample of the stream
    };

    // Index of the output pin of stream `stream`, or -1 when none.
    std::size_t streamOf(const Pin& output) const;
    MediaTime timeAt(std::size_t stream, std::size_t index, std::uint64_t bytesBefore) const;
    // Tells every output whose stream is not over yet that it is.
    void endStreams();
    // The end of the input: the streams end, with the notes about skipped frames and a truncated file.
    void finish();

    std::unique_ptr<AviDemuxer> m_demuxer;
    std::vector<StreamState> m_states;
    bool m_ended = false;
    std::uint64_t m_skipped = 0;
};

}  // namespace moraven
