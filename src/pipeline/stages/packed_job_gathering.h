#pragma once

#include <cstddef>
#include <optional>
#include <utility>
#include <vector>

#include "formats/dv_video_segments.h"

// The job of a DV codec stage that gathers consecutive frames (or pictures) whose touched video segments share
// one packed frame: frames of one segment layout and one shape, as long as their segments fit and the job
// holds fewer than `limit`. Streaming thread only.
namespace moraven {

template <class Job>
class PackedJobGathering {
public:
    explicit PackedJobGathering(std::size_t limit) : m_limit(limit) {}

    // The gathered job that a frame of `map` and shape `wide` joins with `segments`, whose places in the packed
    // frame are appended to `moves`. When the frame cannot join, the gathered job goes to `submit` first and a
    // new one comes from `newJob`.
    template <class NewJob, class Submit>
    Job& join(const DvSegmentMap& map, bool wide, const DvSegmentSet& segments, std::vector<DvSegmentMove>& moves,
              NewJob&& newJob, Submit&& submit) {
        if (m_job && (m_job->count >= m_limit || m_packing->map() != map || m_wide != wide ||
                      !m_packing->place(segments, moves))) {
            submitGathered(submit);
        }
        if (!m_job) {
            m_job = newJob();
            m_packing.emplace(map);
            m_wide = wide;
            m_packing->place(segments, moves);
        }
        return *m_job;
    }

    // Hands the gathered job, if there is one, to `submit`.
    template <class Submit>
    void submitGathered(Submit&& submit) {
        if (!m_job) return;
        Job job = std::move(*m_job);
        clear();
        submit(std::move(job));
    }

    // Drops the gathered job.
    void clear() {
        m_job.reset();
        m_packing.reset();
    }

private:
    std::size_t m_limit;
    std::optional<Job> m_job;
    std::optional<DvSegmentPacking> m_packing;
    bool m_wide = false;
};

}  // namespace moraven
