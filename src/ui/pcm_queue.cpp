#include "ui/pcm_queue.h"

#include <algorithm>
#include <cstring>

namespace moraven {

PcmQueue::PcmQueue(std::chrono::milliseconds stallLimit) : m_stallLimit(stallLimit) {}

void PcmQueue::open(std::size_t boundBytes, std::size_t frameBytes) {
    std::lock_guard lock(m_mutex);
    m_frameBytes = std::max<std::size_t>(frameBytes, 1);
    m_bound = std::max(boundBytes - boundBytes % m_frameBytes, m_frameBytes);
    m_ring.assign(2 * m_bound, 0);
    m_head = 0;
    m_size = 0;
    m_popped = 0;
    m_paused = false;
    m_closed = false;
    m_failed = false;
    m_changed.notify_all();
}

void PcmQueue::close() {
    std::lock_guard lock(m_mutex);
    m_closed = true;
    m_size = 0;
    m_changed.notify_all();
}

void PcmQueue::fail() {
    std::lock_guard lock(m_mutex);
    m_failed = true;
    m_closed = true;
    m_size = 0;
    m_changed.notify_all();
}

bool PcmQueue::failed() const {
    std::lock_guard lock(m_mutex);
    return m_failed;
}

void PcmQueue::append(Bytes bytes) {
    std::size_t tail = (m_head + m_size) % m_ring.size();
    std::size_t done = 0;
    while (done < bytes.size()) {
        const std::size_t run = std::min(bytes.size() - done, m_ring.size() - tail);
        std::memcpy(m_ring.data() + tail, bytes.data() + done, run);
        done += run;
        tail = (tail + run) % m_ring.size();
    }
    m_size += bytes.size();
}

bool PcmQueue::push(Bytes pcm) {
    std::unique_lock lock(m_mutex);
    if (m_closed) return false;
    Bytes rest = pcm.first(pcm.size() - pcm.size() % m_frameBytes);
    const std::uint64_t flushCount = m_flushCount;
    while (!rest.empty()) {
        if (m_closed) return false;
        if (m_flushCount != flushCount) return true;
        if (m_paused) {
            // Past the bound while paused, up to the ring's end; what does not fit is lost.
            const std::size_t room = m_ring.size() - m_size;
            append(rest.first(std::min(rest.size(), room)));
            return true;
        }
        const std::size_t room = m_size < m_bound ? m_bound - m_size : 0;
        if (room > 0) {
            const std::size_t take = std::min(rest.size(), room);
            append(rest.first(take));
            rest = rest.subspan(take);
            m_changed.notify_all();
            continue;
        }
        const std::uint64_t popped = m_popped;
        const bool changed = m_changed.wait_for(lock, m_stallLimit, [&] {
            return m_closed || m_paused || m_flushCount != flushCount || m_popped != popped;
        });
        if (!changed) {
            // Nothing played for the whole stall limit: the device is stuck.
            m_failed = true;
            m_closed = true;
            m_size = 0;
            m_changed.notify_all();
            return false;
        }
    }
    return true;
}

std::size_t PcmQueue::pop(MutableBytes out) {
    std::lock_guard lock(m_mutex);
    if (m_ring.empty()) return 0;
    std::size_t want = std::min(out.size(), m_size);
    want -= want % m_frameBytes;
    std::size_t done = 0;
    while (done < want) {
        const std::size_t run = std::min(want - done, m_ring.size() - m_head);
        std::memcpy(out.data() + done, m_ring.data() + m_head, run);
        done += run;
        m_head = (m_head + run) % m_ring.size();
    }
    m_size -= want;
    if (want > 0) {
        m_popped += want;
        m_changed.notify_all();
    }
    return want;
}

void PcmQueue::setPaused(bool paused) {
    std::lock_guard lock(m_mutex);
    m_paused = paused;
    m_changed.notify_all();
}

void PcmQueue::flush() {
    std::lock_guard lock(m_mutex);
    m_size = 0;
    ++m_flushCount;
    m_changed.notify_all();
}

std::size_t PcmQueue::size() const {
    std::lock_guard lock(m_mutex);
    return m_size;
}

std::size_t PcmQueue::bound() const {
    std::lock_guard lock(m_mutex);
    return m_bound;
}

}  // namespace moraven
