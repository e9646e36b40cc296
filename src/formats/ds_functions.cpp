#include "formats/ds_functions.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string_view>
#include <utility>

namespace moraven {

namespace {

constexpr std::int64_t kTicksPerSecond = 10'000'000;
constexpr std::int64_t kTicksPerMillisecond = 10'000;

// Hours, minutes and seconds of a duration; division truncates toward zero, as the texts always did.
struct Clock {
    long long hours;
    long long minutes;
    long long seconds;
};

Clock clockOf(std::int64_t duration) {
    const std::int64_t totalSeconds = duration / kTicksPerSecond;
    const std::int64_t totalMinutes = totalSeconds / 60;
    return {totalMinutes / 60, totalMinutes % 60, totalSeconds % 60};
}

// `part` is the count below the second (frames or milliseconds), written with `partDigits` digits at least
// and followed by `unit`; below one second it stands alone, followed by `shortUnit`.
std::string durationText(std::int64_t duration, long long part, int partDigits, const char* unit,
                         const char* shortUnit) {
    const Clock c = clockOf(duration);
    char text[128];
    if (c.hours > 0) {
        std::snprintf(text, sizeof text, "%lldh %.2lldmn %.2llds %.*lld%s", c.hours, c.minutes, c.seconds,
                      partDigits, part, unit);
    } else if (c.minutes > 0) {
        std::snprintf(text, sizeof text, "%lldmn %.2llds %.*lld%s", c.minutes, c.seconds, partDigits, part,
                      unit);
    } else if (c.seconds > 0) {
        std::snprintf(text, sizeof text, "%llds %.*lld%s", c.seconds, partDigits, part, unit);
    } else {
        std::snprintf(text, sizeof text, "%lld%s", part, shortUnit);
    }
    return text;
}

constexpr std::pair<std::uint16_t, std::string_view> kAudioTags[] = {
    {1, "PCM"},
    {2, "ADPCM"},
    {3, "IEEE_FLOAT"},
    {5, "IBM_CVSD"},
    {6, "ALAW"},
    {7, "MULAW"},
    {16, "OKI_ADPCM"},
    {17, "DVI_ADPCM"},
    {18, "MEDIASPACE_ADPCM"},
    {19, "SIERRA_ADPCM"},
    {20, "G723_ADPCM"},
    {21, "DIGISTD"},
    {22, "DIGIFIX"},
    {23, "DIALOGIC_OKI_ADPCM"},
    {24, "MEDIAVISION_ADPCM"},
    {32, "YAMAHA_ADPCM"},
    {33, "SONARC"},
    {34, "DSPGROUP_TRUESPEECH"},
    {35, "ECHOSC1"},
    {36, "AUDIOFILE_AF36"},
    {37, "APTX"},
    {38, "AUDIOFILE_AF10"},
    {48, "DOLBY_AC2"},
    {49, "GSM610"},
    {50, "MSNAUDIO"},
    {51, "ANTEX_ADPCME"},
    {52, "CONTROL_RES_VQLPC"},
    {53, "DIGIREAL"},
    {54, "DIGIADPCM"},
    {55, "CONTROL_RES_CR10"},
    {56, "NMS_VBXADPCM"},
    {57, "CS_IMAADPCM"},
    {58, "ECHOSC3"},
    {59, "ROCKWELL_ADPCM"},
    {60, "ROCKWELL_DIGITALK"},
    {61, "XEBEC"},
    {64, "G721_ADPCM"},
    {65, "G728_CELP"},
    {80, "MPEG"},
    {85, "MP3"},
    {96, "CIRRUS"},
    {97, "ESPCM"},
    {98, "VOXWARE"},
    {99, "CANOPUS_ATRAC"},
    {100, "G726_ADPCM"},
    {101, "G722_ADPCM"},
    {102, "DSAT"},
    {103, "DSAT_DISPLAY"},
    {117, "VOXWARE"},
    {128, "SOFTSOUND"},
    {256, "RHETOREX_ADPCM"},
    {512, "CREATIVE_ADPCM"},
    {514, "CREATIVE_FASTSPEECH8"},
    {515, "CREATIVE_FASTSPEECH10"},
    {544, "QUARTERDECK"},
    {768, "FM_TOWNS_SND"},
    {1024, "BTV_DIGITAL"},
    {4096, "OLIGSM"},
    {4097, "OLIADPCM"},
    {4098, "OLICELP"},
    {4099, "OLISBC"},
    {4100, "OLIOPR"},
    {4352, "LH_CODEC"},
    {5120, "NORRIS"},
};

}  // namespace

std::string FramesDurationText(std::int64_t frameDuration, std::int64_t duration) {
    if (frameDuration <= 0) return MsDurationText(duration);
    const long long frames = (duration % kTicksPerSecond) / frameDuration;
    return durationText(duration, frames, 2, "fr", "fr");
}

std::string MsDurationText(std::int64_t duration) {
    const long long ms = (duration % kTicksPerSecond) / kTicksPerMillisecond;
    return durationText(duration, ms, 3, "ms", "milliseconds");
}

std::string AudioTagName(std::uint16_t formatTag) {
    const auto* found = std::find_if(std::begin(kAudioTags), std::end(kAudioTags),
                                     [formatTag](const auto& entry) { return entry.first == formatTag; });
    return found == std::end(kAudioTags) ? "Unknown" : std::string(found->second);
}

}  // namespace moraven
