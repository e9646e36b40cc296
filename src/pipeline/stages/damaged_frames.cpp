#include "pipeline/stages/damaged_frames.h"

namespace moraven {

void DamagedFrames::add(MediaTime frameStart) {
    const std::lock_guard lock(m_mutex);
    m_starts.insert(frameStart.ticks());
}

std::uint64_t DamagedFrames::count() const {
    const std::lock_guard lock(m_mutex);
    return m_starts.size();
}

void DamagedFrames::clear() {
    const std::lock_guard lock(m_mutex);
    m_starts.clear();
}

std::string damagedFramesWarning(std::uint64_t count) {
    if (count == 1) return "1 frame could not be decoded and was replaced";
    return std::to_string(count) + " frames could not be decoded and were replaced";
}

std::string DamagedFrameCounting::ownDamagedFramesWarning() const {
    if (m_shared != nullptr) return {};
    const std::uint64_t count = m_own.count();
    return count == 0 ? std::string() : damagedFramesWarning(count);
}

}  // namespace moraven
