#include "window/player_positions.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace moraven {

std::string PlayPositionText(std::int64_t position, double framesPerSecond) {
    position = std::max<std::int64_t>(position, 0);
    char text[64];
    if (framesPerSecond > 0) {
        const auto seconds = static_cast<std::int64_t>(static_cast<double>(position) / framesPerSecond);
        const auto frames =
            static_cast<std::int64_t>(static_cast<double>(position) - static_cast<double>(seconds) * framesPerSecond);
        std::snprintf(text, sizeof text, "%lld:%.2lld:%.2lld:%.2lld", static_cast<long long>(seconds / 3600),
                      static_cast<long long>((seconds / 60) % 60), static_cast<long long>(seconds % 60),
                      static_cast<long long>(frames));
    } else {
        const std::int64_t seconds = position / 10'000'000;
        const std::int64_t milliseconds = (position % 10'000'000) / 10'000;
        std::snprintf(text, sizeof text, "%lld:%.2lld:%.2lld:%.3lld", static_cast<long long>(seconds / 3600),
                      static_cast<long long>((seconds / 60) % 60), static_cast<long long>(seconds % 60),
                      static_cast<long long>(milliseconds));
    }
    return text;
}

std::optional<int> PlaySliderValue(std::int64_t position, std::int64_t duration) {
    if (duration <= 0) return std::nullopt;
    // 1000 × position stays far inside 64 bits for any file (positions are frames or 100 ns units).
    const std::int64_t value = std::clamp<std::int64_t>(position, 0, duration) * kPlayerSliderMaximum / duration;
    return static_cast<int>(value);
}

std::int64_t PlaySliderTarget(int value, std::int64_t duration) {
    return static_cast<std::int64_t>(std::clamp(value, 0, kPlayerSliderMaximum)) * std::max<std::int64_t>(duration, 0) /
           kPlayerSliderMaximum;
}

std::int64_t FrameStepDuration(double framesPerSecond) {
    if (framesPerSecond == 0 || !std::isfinite(framesPerSecond)) return 400'000;
    return static_cast<std::int64_t>(std::nearbyint(10'000'000.0 / std::fabs(framesPerSecond)));
}

std::int64_t NextSceneFrame(const std::vector<std::int32_t>& boundaries, std::int64_t current,
                            std::int64_t duration) {
    for (const std::int32_t boundary : boundaries) {
        if (boundary > current) return boundary;
    }
    return duration;
}

std::int64_t PreviousSceneFrame(const std::vector<std::int32_t>& boundaries, std::int64_t current) {
    std::int64_t target = 0;
    for (const std::int32_t boundary : boundaries) {
        if (boundary < current) target = boundary;
    }
    return target;
}

int SteppedVolume(int volume, bool up) {
    return std::clamp(volume + (up ? kPlayerVolumeStep : -kPlayerVolumeStep), 0, kPlayerVolumeMaximum);
}

FrameLabelTexts FrameLabelTextsOf(const std::optional<DvFrameFacts>& frame, const std::string& pattern,
                                  const DateFormatLocale& locale) {
    FrameLabelTexts texts;
    if (!frame) return texts;
    const TDvFrameInfo& info = frame->Info;
    texts.datecode = "N/A";
    if (info.HasDate) {
        if (auto formatted = formatDateTime(pattern, info.RecordedAt, locale)) texts.datecode = std::move(*formatted);
    }
    texts.timecode = "N/A";
    if (info.HasTimecode) {
        char text[32];
        std::snprintf(text, sizeof text, "%.2d.%.2d.%.2d.%.2d", info.Timecode.hours, info.Timecode.minutes,
                      info.Timecode.seconds, info.Timecode.frames);
        texts.timecode = text;
    }
    return texts;
}

std::optional<InlaySliderValues> InlaySlidersForClick(int x, int y, int width, int height) {
    if (width <= 0 || height <= 0) return std::nullopt;
    const int horizontal = std::clamp(x, 0, width) * kPlayerSliderMaximum / width;
    const int vertical = kPlayerSliderMaximum - std::clamp(y, 0, height) * kPlayerSliderMaximum / height;
    return InlaySliderValues{horizontal, vertical};
}

}  // namespace moraven
