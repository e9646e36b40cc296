#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "formats/dv_video_segments.h"
#include "formats/dvcodes.h"
#include "pipeline/graph/ordered_workers.h"
#include "pipeline/graph/stage.h"
#include "pipeline/media_framework.h"
#include "pipeline/stages/packed_job_gathering.h"
#include "pipeline/video/picture_format.h"

// "DV Video Encoder": pictures into DV frames ("dvsd", 25 Mbit/s) of one system, several pictures at once.
//
// Set to a system (setSystem(); PAL until set), it accepts only that system's pictures (the layout and size of
// dvPictureFormat(), any shape), encodes them in the shape of the connected picture type (setWide() decides
// for a type that names none) and offers DV video of that system (MediaType::dvVideo(), without a DV
// information block). Pictures are encoded on worker threads
// (graph/ordered_workers.h, one codec object per worker) and the frames come out in the pictures' order,
// each with its picture's times, marks and frame facts. The frames' header, subcode and VAUX blocks are the
// encoder's own; the DV header stage downstream puts the source's back.
//
// Splicing. A picture that carries a splice (MediaSample::splice: the DV video decoder decoded it in part)
// gives a copy of its original frame in which only the splice's segments are replaced by a new coding of
// their macroblocks (their ID bytes kept), every other byte (header, subcode, VAUX, audio and the other
// segments) as it was. The macroblocks of consecutive such pictures are moved into one packed picture, as many
// as fit (at most kMaxPackedPictures), coded once, and each coded segment moved back into its own frame: a
// segment's coding depends on its macroblocks alone, so each is what coding its whole picture would give. A
// splice without segments gives the original without any coding. A splice of another system than the
// encoder's, or a coding of another layout than the original's, gives whole codings.
//
// A picture that cannot be encoded (too short for its format, or refused by the codec) fails the run.
//
// Threads: as every stage (graph/stage.h); setSystem() and setWide() on the control thread while the graph is
// stopped. `framework` (null: the codec module, loaded on first use) must outlive the stage.
namespace moraven {

class DvVideoEncoderStage final : public Stage {
public:
    static constexpr const char* kDisplayName = "DV Video Encoder";

    explicit DvVideoEncoderStage(const MediaFramework* framework = nullptr);
    ~DvVideoEncoderStage() override;

    void setSystem(DvSystem system) { m_system = system; }
    DvSystem system() const { return m_system; }
    void setWide(bool wide) { m_wide = wide; }
    bool wide() const { return m_wide; }
    // Worker threads for the next run; 0 (the default): one per hardware thread, at most 16.
    void setWorkerCount(std::size_t workers) { m_workerCount = workers; }

    std::vector<MediaType> outputTypes(const Pin& output) const override;
    bool acceptsInput(const Pin& input, const MediaType& type) const override;
    void start() override;
    void receive(Pin& input, MediaSample& sample) override;
    void endOfStream(Pin& input) override;
    void stop(StopReason reason) override;

    static constexpr std::size_t kMaxPackedPictures = 8;

    // One picture on its way: the picture in, its frame out.
    struct Entry {
        MediaSample picture;
        MediaSample frame;
        std::shared_ptr<const DvSplice> splice;  // taken from the picture; null: the whole coding
        std::vector<DvSegmentMove> moves;        // where its segments lie in the packed picture
    };
    // One coding: one whole picture, or the pictures whose segments share one packed picture.
    struct Job {
        std::vector<Entry> entries;  // the first `count` are the job's; those after keep their buffers for reuse
        std::size_t count = 0;
        std::vector<std::uint8_t> packedPicture;
        std::vector<std::uint8_t> packedFrame;
    };

private:
    void deliverFrames(Job& job);
    Job newJob();
    static void addEntry(Job& job, MediaSample& sample, std::shared_ptr<const DvSplice> splice,
                         std::vector<DvSegmentMove> moves);
    void submit(Job job);
    void submitPending();

    const MediaFramework* m_framework;
    Pin& m_input;
    Pin& m_output;
    DvSystem m_system = DvSystem::Pal625;
    bool m_wide = false;
    std::size_t m_workerCount = 0;
    std::unique_ptr<OrderedWorkers<DvVideoEncoder, Job>> m_workers;
    // Streaming thread: the pictures gathering for the next packed picture.
    PackedJobGathering<Job> m_gathering{kMaxPackedPictures};
};

}  // namespace moraven
