#pragma once

#include <chrono>
#include <mutex>

#include "formats/media_time.h"

// The clock a running graph paces its renderers by: the media time (100 ns) that playing has reached. A
// renderer's sample is due once the clock has reached its start time.
//
// The graph drives it: restart() when streaming starts and after each seek (playing goes on from that
// position), setHeld() when it pauses and resumes. now() is read on the streaming thread while samples wait,
// and from any thread by whoever shows the position.
namespace moraven {

class ReferenceClock {
public:
    virtual ~ReferenceClock() = default;
    // Control thread: playing starts (again) at `position`; the clock reads `position` until it moves.
    virtual void restart(MediaTime position) = 0;
    // Control thread: a held clock stands still; released, it goes on from where it stood.
    virtual void setHeld(bool held) = 0;
    // Any thread.
    virtual MediaTime now() const = 0;
};

// The computer's monotonic clock (std::chrono::steady_clock), counted from the last restart and stopped while
// held. Held when made.
class SystemClock final : public ReferenceClock {
public:
    void restart(MediaTime position) override;
    void setHeld(bool held) override;
    MediaTime now() const override;

private:
    MediaTime nowLocked() const;

    mutable std::mutex m_mutex;
    MediaTime m_base;  // the media time at m_since
    std::chrono::steady_clock::time_point m_since = std::chrono::steady_clock::now();
    bool m_held = true;
};

}  // namespace moraven
