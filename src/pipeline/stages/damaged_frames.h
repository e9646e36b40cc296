#pragma once

#include <cstdint>
#include <mutex>
#include <set>
#include <string>

#include "formats/media_time.h"

// Damaged frames of a run: frames that could not be read or decoded, or that belong to the other TV system
// than their stream's. Stages that meet one pass it on as it is where their output can carry it (a stream
// copy), else replace it (the previous good picture, silence for its sound), and count it here, by the start
// time it had in the source; several stages that meet the same frame (the DV splitter for its sound, the DV
// video decoder for its picture) count it once.
//
// The run reports them in one warning at its end (damagedFramesWarning()). A stage counts into a tally of its
// own and gives that warning itself, unless whoever runs the graph shares one tally among its stages
// (DamagedFrameCounting::shareDamagedFrames(); the conversions do) and gives the warning once.
//
// Threads: any; the tally is guarded by a mutex.
namespace moraven {

class DamagedFrames {
public:
    // The frame that starts at `frameStart` (100 ns, in the source's time) was damaged.
    void add(MediaTime frameStart);
    std::uint64_t count() const;
    void clear();

private:
    mutable std::mutex m_mutex;
    std::set<std::int64_t> m_starts;
};

// "1 frame could not be decoded and was replaced", "3 frames could not be decoded and were replaced".
std::string damagedFramesWarning(std::uint64_t count);

// What a stage that counts damaged frames has: its own tally, or one shared by the graph's runner.
class DamagedFrameCounting {
public:
    virtual ~DamagedFrameCounting() = default;

    // Counts into `shared` from now on (null: the stage's own tally again). Control thread, graph stopped;
    // `shared` must outlive the runs.
    void shareDamagedFrames(DamagedFrames* shared) { m_shared = shared; }

protected:
    DamagedFrames& damagedFrames() { return m_shared != nullptr ? *m_shared : m_own; }
    // At start(): the own tally starts from zero (a shared one is cleared by its owner).
    void restartDamagedFrames() { m_own.clear(); }
    // At the end of the stream: the warning of the own tally, empty when nothing was counted there or the
    // tally is shared.
    std::string ownDamagedFramesWarning() const;

private:
    DamagedFrames m_own;
    DamagedFrames* m_shared = nullptr;
};

}  // namespace moraven
