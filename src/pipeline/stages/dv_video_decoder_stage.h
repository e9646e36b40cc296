#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

#include "pipeline/graph/ordered_workers.h"
#include "pipeline/graph/stage.h"
#include "pipeline/media_framework.h"
#include "pipeline/video/picture_format.h"

// "DV Video Decoder": DV frames into pictures (pipeline/video/picture_format.h), several frames at once.
//
// It accepts DV video ("vids" "dvsd") and interleaved DV ("iavs") of a known system and offers that system's
// pictures (dvPictureFormat(): PAL 4:2:0 720 x 576, NTSC 4:1:1 720 x 480), 16:9 when the first frame the
// upstream will deliver says so, else 4:3. Frames are decoded on worker threads (graph/ordered_workers.h,
// one codec object per worker) and the pictures come out in the frames' order, each with its frame's times,
// marks and sourceFrame. A picture whose format differs from the connection's (a frame of the other shape)
// carries it in its typeChange.
//
// A frame that cannot be decoded becomes a mid-grey picture of the connection's format (Y, U and V 128);
// the run goes on, with one warning at the first such frame. undecodableFrames() counts them.
//
// Threads: as every stage (graph/stage.h); the codec objects are made in start() on the control thread and
// used by the workers. `framework` (null: the codec module, loaded on first use) must outlive the stage.
namespace moraven {

class DvVideoDecoderStage final : public Stage {
public:
    static constexpr const char* kDisplayName = "DV Video Decoder";

    explicit DvVideoDecoderStage(const MediaFramework* framework = nullptr);
    ~DvVideoDecoderStage() override;

    // Worker threads for the next run; 0 (the default): one per hardware thread, at most 16.
    void setWorkerCount(std::size_t workers) { m_workerCount = workers; }

    std::vector<MediaType> outputTypes(const Pin& output) const override;
    bool acceptsInput(const Pin& input, const MediaType& type) const override;
    void start() override;
    void receive(Pin& input, MediaSample& sample) override;
    void endOfStream(Pin& input) override;
    void stop(StopReason reason) override;
    // Drops the frames in flight (a paused player seeks: the pictures from before must not show).
    void flush() override;

    // Frames of the current or last run that could not be decoded. Any thread.
    std::uint64_t undecodableFrames() const { return m_undecodable.load(); }

    // One frame on its way: the frame in, its picture out.
    struct Job {
        MediaSample frame;
        MediaSample picture;
        bool failed = false;
        std::uint64_t flushes = 0;  // the flushes before the frame came: a job from before a flush is dropped
    };

private:
    std::optional<PictureFormat> outputFormat() const;
    void deliverPicture(Job& job);

    const MediaFramework* m_framework;
    Pin& m_input;
    Pin& m_output;
    std::size_t m_workerCount = 0;
    PictureFormat m_format;                              // the connection's, for this run
    std::shared_ptr<const MediaType> m_typeChange;       // the last format that differed from it
    std::unique_ptr<OrderedWorkers<DvVideoDecoder, Job>> m_workers;
    std::atomic<std::uint64_t> m_flushes{0};
    std::atomic<std::uint64_t> m_undecodable{0};
};

}  // namespace moraven
