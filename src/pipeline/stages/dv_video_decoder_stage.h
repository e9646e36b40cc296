#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "formats/dv_video_segments.h"

#include "pipeline/graph/ordered_workers.h"
#include "pipeline/graph/stage.h"
#include "pipeline/media_framework.h"
#include "pipeline/stages/damaged_frames.h"
#include "pipeline/stages/packed_job_gathering.h"
#include "pipeline/video/picture_format.h"

// "DV Video Decoder": DV frames into pictures (pipeline/video/picture_format.h), several frames at once.
//
// It accepts DV video ("vids" "dvsd") and interleaved DV ("iavs") of a known system and offers that system's
// pictures (dvPictureFormat(): PAL 4:2:0 720 x 576, NTSC 4:1:1 720 x 480), 16:9 when the first frame the
// upstream will deliver says so, else 4:3. Frames are decoded on worker threads (graph/ordered_workers.h,
// one codec object per worker) and the pictures come out in the frames' order, each with its frame's times,
// marks and frame facts. A picture whose format differs from the connection's (a frame of the other shape)
// carries it in its typeChange.
//
// Decoding in part (setChangedRegion()): when a stage after the decoder changes only part of each picture
// (the inlay), the decoder asks, per frame and before decoding it, which rectangle of the picture will change.
// For frames of a consumer layout (formats/dv_video_segments.h) it decodes only the video segments the
// rectangle touches: those of consecutive frames of one layout and shape are moved into one packed frame
// (every other segment blanked), as many frames as fit (at most kMaxPackedFrames), and one decoding serves them
// all. Each picture holds its touched segments' macroblocks, mid-grey elsewhere, and carries the original
// frame and those segments (MediaSample::splice) for the DV video encoder to code again and put into the
// original. Frames wait for their packed frame to fill, so pictures come out a few frames later. A frame
// without a map, and every frame without a region query, is decoded whole and carries no splice. When a packed
// frame cannot be decoded, each of its frames is decoded whole instead (keeping its splice).
//
// Damaged frames (pipeline/stages/damaged_frames.h). A frame that cannot be decoded, or whose picture is of
// another size than the connection's (a frame of the other TV system, or one whose header is zeroed, which
// the codec reads as the other system), is replaced by the previous good picture as it was
// delivered (its splice too, so that the encoder codes that frame's segments again), or by a mid-grey
// picture of the connection's format (Y, U and V 128) while there is none yet; it keeps its own times and
// marks. The run goes on; the frame is counted among the damaged frames, and in undecodableFrames().
//
// Threads: as every stage (graph/stage.h); the codec objects are made in start() on the control thread and
// used by the workers. `framework` (null: the codec module, loaded on first use) must outlive the stage.
namespace moraven {

class DvVideoDecoderStage final : public Stage, public DamagedFrameCounting {
public:
    static constexpr const char* kDisplayName = "DV Video Decoder";

    explicit DvVideoDecoderStage(const MediaFramework* framework = nullptr);
    ~DvVideoDecoderStage() override;

    // Worker threads for the next run; 0 (the default): one per hardware thread, at most 16.
    void setWorkerCount(std::size_t workers) { m_workerCount = workers; }

    // The rectangle of a `width` x `height` picture that will change on the picture of `frame`, or nothing
    // when none of it will. Called on the streaming thread for each frame, before the frame is decoded.
    using RegionQuery = std::function<std::optional<PictureRect>(const MediaSample& frame, int width, int height)>;
    // Decodes in part by `query` from the next run on; an empty query (the default): whole pictures. Control
    // thread, while the graph is stopped. What the query refers to must outlive the runs.
    void setChangedRegion(RegionQuery query) { m_region = std::move(query); }

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

    static constexpr std::size_t kMaxPackedFrames = 8;

    // One frame on its way: the frame in, its picture out.
    struct Entry {
        MediaSample frame;
        MediaSample picture;
        bool failed = false;
        // Decoding in part: the segments to decode, into which the worker moves the original frame; null: the
        // whole frame.
        std::shared_ptr<DvSplice> splice;
        std::vector<DvSegmentMove> moves;  // where its segments lie in the packed frame
    };
    // One decoding: one whole frame, or the frames whose segments share one packed frame.
    struct Job {
        std::vector<Entry> entries;  // the first `count` are the job's; those after keep their buffers for reuse
        std::size_t count = 0;
        std::uint64_t flushes = 0;  // the flushes before the job began: a job from before a flush is dropped
        std::vector<std::uint8_t> packed;         // the packed frame
        std::vector<std::uint8_t> packedPicture;  // and its picture
    };

private:
    std::optional<PictureFormat> outputFormat() const;
    void deliverPictures(Job& job);
    // Whether the entry's picture is one the connection can carry: decoded, and of its size.
    bool decodedAsConnected(const Entry& entry) const;
    // The previous good picture (or grey) in place of a damaged frame's.
    void replaceDamaged(Entry& entry);
    Job newJob();
    static void addEntry(Job& job, MediaSample& sample, std::shared_ptr<DvSplice> splice,
                         std::vector<DvSegmentMove> moves);
    void submit(Job job);
    void submitPending();

    const MediaFramework* m_framework;
    Pin& m_input;
    Pin& m_output;
    std::size_t m_workerCount = 0;
    RegionQuery m_region;
    PictureFormat m_format;                              // the connection's, for this run
    std::shared_ptr<const MediaType> m_typeChange;       // the last format that differed from it
    // Streaming thread: the last good picture delivered, before any stage downstream drew on it, and its
    // splice; what a damaged frame becomes.
    MediaSample m_lastGood;
    bool m_haveLastGood = false;
    std::unique_ptr<OrderedWorkers<DvVideoDecoder, Job>> m_workers;
    // Streaming thread: the frames gathering for the next packed frame.
    PackedJobGathering<Job> m_gathering{kMaxPackedFrames};
    std::atomic<std::uint64_t> m_flushes{0};
    std::atomic<std::uint64_t> m_undecodable{0};
};

}  // namespace moraven
