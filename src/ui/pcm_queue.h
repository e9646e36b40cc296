#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "formats/byte_order.h"

namespace moraven {

// The bounded queue of sound between the thread that writes it (the graph's streaming thread) and the thread
// that feeds the sound device. A ring of bytes in whole sample frames, allocated once per open().
//
// push() blocks while the queue holds its bound, and returns as soon as one of these happens:
// - the bytes fit (true);
// - the queue is paused: the rest is queued past the bound, up to twice the bound, so that a pause loses
//   nothing of the block being written; past that the rest is dropped (true);
// - the queue is flushed: the rest belongs before the flush and is dropped (true);
// - the queue is closed or failed (false);
// - nothing was taken out for `stallLimit` while not paused: the device stopped, the queue fails (false).
// So no wait is longer than the stall limit, and a device that stops never blocks the writer for good.
//
// Threads: every function may be called from any thread.
class PcmQueue {
public:
    explicit PcmQueue(std::chrono::milliseconds stallLimit = std::chrono::seconds(2));

    // Empties the queue and sets its bound (in bytes, rounded down to whole frames, at least one frame) for a
    // new run; clears the paused, closed and failed states.
    void open(std::size_t boundBytes, std::size_t frameBytes);
    // Wakes every writer; pushes fail until the next open().
    void close();
    // The device stopped working: like close(), and failed() tells.
    void fail();
    bool failed() const;

    // Queues whole frames of `pcm` (a trailing partial frame is ignored), as described above.
    bool push(Bytes pcm);
    // Takes up to `out.size()` bytes (whole frames) out of the queue without waiting; the bytes taken.
    std::size_t pop(MutableBytes out);

    void setPaused(bool paused);
    // Drops everything queued; a blocked push() returns.
    void flush();

    std::size_t size() const;
    std::size_t bound() const;

private:
    // Copies `bytes` in at the tail; the caller checked the room. Called with the lock held.
    void append(Bytes bytes);

    std::chrono::milliseconds m_stallLimit;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::uint8_t> m_ring;  // twice the bound: the room past the bound is for a paused push
    std::size_t m_bound = 0;
    std::size_t m_frameBytes = 1;
    std::size_t m_head = 0;  // first queued byte
    std::size_t m_size = 0;
    std::uint64_t m_popped = 0;      // bytes taken out since open(): a writer sees the device move
    std::uint64_t m_flushCount = 0;  // a writer sees a flush that came while it waited
    bool m_paused = false;
    bool m_closed = true;
    bool m_failed = false;
};

}  // namespace moraven
