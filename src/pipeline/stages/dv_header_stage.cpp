#include "pipeline/stages/dv_header_stage.h"

#include <algorithm>

#include "formats/date_time.h"
#include "formats/dv_frame_analysis.h"
#include "formats/dvcodes.h"

namespace moraven {

namespace {

constexpr std::int64_t kSecondsPerDay = 86'400;

std::int64_t floorDivide(std::int64_t value, std::int64_t divisor) {
    const std::int64_t quotient = value / divisor;
    return (value % divisor != 0 && value < 0) ? quotient - 1 : quotient;
}

}  // namespace

Tdv_DVheader::Tdv_DVheader(Tdv_sceneDetect& detector) : InPlaceStage(kDisplayName), Detector(detector) {}

bool Tdv_DVheader::acceptsType(const MediaType& type) const {
    return DvFrameAnalysis::accepts(type.majorType(), type.subtype());
}

std::optional<TDvRecDate> Tdv_DVheader::shiftedRecDate(const TDvRecDate& date, std::int32_t hours) {
    if (!dvRecDateTime(date)) return std::nullopt;
    // The day is a whole number of days since 1899-12-30, exact in a double; the time of day and the shift
    // are counted in whole seconds, so no rounding can turn 01:00:00 into 00:59:59.
    const auto midnight = encodeDateTime({date.year, date.month, date.day, 0, 0, 0, 0});
    if (!midnight) return std::nullopt;
    const std::int64_t seconds = std::int64_t{date.hour} * 3600 + std::int64_t{date.minute} * 60 +
                                 std::int64_t{date.second} + std::int64_t{hours} * 3600;
    const std::int64_t dayCarry = floorDivide(seconds, kSecondsPerDay);
    const std::int64_t timeOfDay = seconds - dayCarry * kSecondsPerDay;
    const auto day = decodeDateTime(DateTime(midnight->days() + static_cast<double>(dayCarry)));
    if (!day) return std::nullopt;
    TDvRecDate shifted;
    shifted.year = day->year;
    shifted.month = static_cast<std::uint8_t>(day->month);
    shifted.day = static_cast<std::uint8_t>(day->day);
    shifted.hour = static_cast<std::uint8_t>(timeOfDay / 3600);
    shifted.minute = static_cast<std::uint8_t>(timeOfDay % 3600 / 60);
    shifted.second = static_cast<std::uint8_t>(timeOfDay % 60);
    return shifted;
}

void Tdv_DVheader::transform(MediaSample& sample) {
    if (RestoreHeader) {
        const DvHistoryEntry entry = Detector.analysis().History(Detector.analysis().HistoryPos());
        const std::size_t count = std::min(sample.data.size(), entry.Header.size());
        std::copy_n(entry.Header.begin(), count, sample.data.begin());
    }
    const std::int32_t hours = m_hourShift.load();
    if (hours == 0) return;
    const DvFoundRecDate found = DvFindRecDate(sample.bytes());
    if (found.sequence < 0) return;
    if (const auto shifted = shiftedRecDate(found.date, hours)) {
        DvWriteRecDate(sample.mutableBytes(), *shifted, found.sequence);
    }
}

}  // namespace moraven
