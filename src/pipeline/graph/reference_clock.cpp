#include "pipeline/graph/reference_clock.h"

namespace moraven {

MediaTime SystemClock::nowLocked() const {
    if (m_held) return m_base;
    const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - m_since);
    return m_base + MediaTime::fromTicks(elapsed.count() / 100);
}

void SystemClock::restart(MediaTime position) {
    std::lock_guard lock(m_mutex);
    m_base = position;
    m_since = std::chrono::steady_clock::now();
}

void SystemClock::setHeld(bool held) {
    std::lock_guard lock(m_mutex);
    if (held == m_held) return;
    m_base = nowLocked();
    m_since = std::chrono::steady_clock::now();
    m_held = held;
}

MediaTime SystemClock::now() const {
    std::lock_guard lock(m_mutex);
    return nowLocked();
}

}  // namespace moraven
