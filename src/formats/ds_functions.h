#pragma once

#include <cstdint>
#include <string>

// Display texts of media durations and audio format tags, as the file list and the information panel show
// them. Pure functions of their arguments; any thread.
namespace moraven {

// A duration counted in frames: `duration` and `frameDuration` in units of 100 ns.
//   1h 02mn 03s 04fr     with hours
//   2mn 03s 04fr         with minutes
//   3s 04fr              with seconds
//   12fr                 below one second
// The frames are the part of the duration below the whole second divided by the frame duration, rounded
// down. A frame duration of 0 or less counts no frames: the duration is then given in milliseconds
// (MsDurationText).
std::string FramesDurationText(std::int64_t frameDuration, std::int64_t duration);

// A duration counted in milliseconds, `duration` in units of 100 ns: "1h 02mn 03s 040ms", "2mn 03s 040ms",
// "3s 040ms", and "40milliseconds" below one second.
std::string MsDurationText(std::int64_t duration);

// The name of a WAVE format tag as the Windows audio headers name it, without the "WAVE_FORMAT_" prefix
// (1 "PCM", 85 "MP3"); "Unknown" for a tag they do not name.
std::string AudioTagName(std::uint16_t formatTag);

}  // namespace moraven
