#include "pipeline/stages/dv_header_stage.h"

#include <algorithm>

#include "formats/dv_frame_analysis.h"
#include "formats/dvcodes.h"

namespace moraven {

Tdv_DVheader::Tdv_DVheader(Tdv_sceneDetect& detector) : InPlaceStage(kDisplayName), Detector(detector) {}

bool Tdv_DVheader::acceptsType(const MediaType& type) const {
    return DvFrameAnalysis::accepts(type.majorType(), type.subtype());
}

std::optional<TDvRecDate> Tdv_DVheader::shiftedRecDate(const TDvRecDate& date, std::int32_t hours) {
    return shiftedDvRecDate(date, std::int64_t{hours} * 3600);
}

void Tdv_DVheader::transform(MediaSample& sample) {
    if (RestoreHeader) {
        const DvFrameAnalysis& analysis = Detector.analysis();
        std::optional<DvHistoryEntry> entry;
        if (sample.sourceFrame != 0) entry = analysis.FrameEntry(sample.sourceFrame);
        if (!entry) entry = analysis.History(analysis.HistoryPos());
        const DvSystem ownSystem = DvSystemOf(sample.bytes());
        const DvSystemBits ownBits = DvReadSystemBits(sample.bytes());
        const std::size_t count = std::min(sample.data.size(), entry->Header.size());
        std::copy_n(entry->Header.begin(), count, sample.data.begin());
        // A header of the other system would make players read the frame as that system.
        if (ownSystem != DvSystem::Unknown && DvSystemOf(sample.bytes()) != ownSystem) {
            DvWriteSystemBits(sample.mutableBytes(), ownBits);
        }
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
