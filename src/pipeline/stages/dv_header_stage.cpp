#include "pipeline/stages/dv_header_stage.h"

#include <algorithm>
#include <array>

#include "formats/dv_frame_analysis.h"
#include "formats/dvcodes.h"

namespace moraven {

Tdv_DVheader::Tdv_DVheader() : InPlaceStage(kDisplayName) {}

bool Tdv_DVheader::acceptsType(const MediaType& type) const {
    return DvFrameAnalysis::accepts(type.majorType(), type.subtype());
}

std::optional<TDvRecDate> Tdv_DVheader::shiftedRecDate(const TDvRecDate& date, std::int32_t hours) {
    return shiftedDvRecDate(date, std::int64_t{hours} * 3600);
}

namespace {

// A source frame whose first sequence was zeroed (a damaged frame) has no header to give back. Only zeros
// count as none: writers differ in the reserved bits of a header, and a frame that carries any header keeps
// its recording date and timecode.
bool holdsAHeader(const std::array<std::uint8_t, kDvHistoryHeaderBytes>& header) {
    return std::any_of(header.begin(), header.end(), [](std::uint8_t byte) { return byte != 0; });
}

}  // namespace

void Tdv_DVheader::transform(MediaSample& sample) {
    // A frame that no scene detection saw, or whose source header was zeroed, has none to restore: it keeps
    // its own.
    if (RestoreHeader && sample.frameFacts && holdsAHeader(sample.frameFacts->Header)) {
        const DvFrameFacts& source = *sample.frameFacts;
        const DvSystem ownSystem = DvSystemOf(sample.bytes());
        const DvSystemBits ownBits = DvReadSystemBits(sample.bytes());
        const std::size_t count = std::min(sample.data.size(), source.Header.size());
        std::copy_n(source.Header.begin(), count, sample.data.begin());
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
