#pragma once

#include <compare>
#include <cstdint>
#include <limits>

namespace moraven {

// A point or span of media time in ticks of 100 nanoseconds (one PAL frame is 400000 ticks, one NTSC
// frame 333667). A graph whose time format is frames counts frames in the same type's ticks instead.
class MediaTime {
public:
    static constexpr std::int64_t kTicksPerSecond = 10'000'000;
    static constexpr std::int64_t kTicksPerMillisecond = 10'000;

    constexpr MediaTime() = default;
    static constexpr MediaTime fromTicks(std::int64_t ticks) { return MediaTime(ticks); }
    static constexpr MediaTime fromSeconds(double seconds) {
        return MediaTime(static_cast<std::int64_t>(seconds * static_cast<double>(kTicksPerSecond) +
                                                   (seconds < 0 ? -0.5 : 0.5)));
    }

    constexpr std::int64_t ticks() const { return m_ticks; }
    constexpr double seconds() const { return static_cast<double>(m_ticks) / kTicksPerSecond; }
    constexpr std::int64_t milliseconds() const { return m_ticks / kTicksPerMillisecond; }

    constexpr MediaTime operator+(MediaTime other) const { return MediaTime(m_ticks + other.m_ticks); }
    constexpr MediaTime operator-(MediaTime other) const { return MediaTime(m_ticks - other.m_ticks); }
    constexpr MediaTime& operator+=(MediaTime other) {
        m_ticks += other.m_ticks;
        return *this;
    }
    friend constexpr auto operator<=>(MediaTime, MediaTime) = default;

private:
    constexpr explicit MediaTime(std::int64_t ticks) : m_ticks(ticks) {}
    std::int64_t m_ticks = 0;
};

// The percentage of `position` in `duration` (truncated; 0 when the duration is not positive, 100 once the
// position reaches it), for progress displays of anything counted in ticks, bytes or frames.
inline int progressPercent(std::int64_t position, std::int64_t duration) {
    if (duration <= 0 || position <= 0) return 0;
    if (position >= duration) return 100;
    constexpr std::int64_t kExact = std::numeric_limits<std::int64_t>::max() / 100;
    if (position <= kExact) return static_cast<int>(position * 100 / duration);
    return static_cast<int>(static_cast<long double>(position) * 100 / static_cast<long double>(duration));
}

inline constexpr MediaTime kPalFrameDuration = MediaTime::fromTicks(400'000);
inline constexpr MediaTime kNtscFrameDuration = MediaTime::fromTicks(333'667);

}  // namespace moraven
