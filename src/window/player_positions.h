#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "formats/date_format.h"
#include "formats/dv_frame_analysis.h"

// What the player shows and where its buttons move it, decided without pixels: the running position text, the
// track bar's value, the datecode and timecode of the frame on screen, the size of each step, the frame a
// move between scenes lands on, and the volume after a press of + or -.
namespace moraven {

// The track bar's range: 0 .. kPlayerSliderMaximum.
inline constexpr int kPlayerSliderMaximum = 1000;
inline constexpr int kPlayerVolumeMaximum = 10000;
inline constexpr int kPlayerVolumeStep = 1000;

// The running position: "h:mm:ss:ff" in frames when `framesPerSecond` is not 0 (the seconds are the whole
// frames' count truncated at the rate, the frames what is left of it, truncated), else "h:mm:ss:mmm" from a
// position in 100 ns units.
std::string PlayPositionText(std::int64_t position, double framesPerSecond);

// position × 1000 ÷ duration, truncated (64-bit), for a duration above 0; nothing otherwise.
std::optional<int> PlaySliderValue(std::int64_t position, std::int64_t duration);

// The target of a track bar left at `value` (0..1000): value × duration ÷ 1000, truncated.
std::int64_t PlaySliderTarget(int value, std::int64_t duration);

// One frame's step in 100 ns units: 10^7 ÷ rate rounded, or 400000 (40 ms) when the rate is 0.
std::int64_t FrameStepDuration(double framesPerSecond);
inline constexpr std::int64_t kMediumStepDuration = 10'000'000;  // one second
inline constexpr std::int64_t kHighStepDuration = 600'000'000;   // one minute

// The first frame of the next scene after `current` (the first boundary above it; the end `duration` when
// none), or of the scene before (the last boundary below it; 0 when none).
std::int64_t NextSceneFrame(const std::vector<std::int32_t>& boundaries, std::int64_t current,
                            std::int64_t duration);
std::int64_t PreviousSceneFrame(const std::vector<std::int32_t>& boundaries, std::int64_t current);

// The volume after a press of + (up) or - (down): one step of 1000 within 0 .. 10000.
int SteppedVolume(int volume, bool up);

// The datecode and timecode labels for the frame on screen: its recording date-time formatted with
// `pattern` ("N/A" without a date, or when the pattern cannot format it), its timecode as "hh.mm.ss.ff"
// ("N/A" without one). Without a frame (the detection stopped, or the ring moved past it): "-" and "-".
struct FrameLabelTexts {
    std::string datecode = "-";
    std::string timecode = "-";

    friend bool operator==(const FrameLabelTexts&, const FrameLabelTexts&) = default;
};
FrameLabelTexts FrameLabelTextsOf(const std::optional<DvFrameFacts>& frame, const std::string& pattern,
                                  const DateFormatLocale& locale);

// Where a click at (x, y) on a picture of width × height puts the inlay sliders: the horizontal slider at
// x × 1000 ÷ width, the vertical one at 1000 − y × 1000 ÷ height (integer divisions), each kept within 0..1000.
// Nothing for an empty picture.
struct InlaySliderValues {
    int horizontal = 0;
    int vertical = 0;

    friend bool operator==(const InlaySliderValues&, const InlaySliderValues&) = default;
};
std::optional<InlaySliderValues> InlaySlidersForClick(int x, int y, int width, int height);

}  // namespace moraven
