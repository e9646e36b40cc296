#include "formats/dv_frame_analysis.h"

#include <algorithm>

namespace moraven {

std::optional<DateTime> dvRecDateTime(const TDvRecDate& date) {
    if (!date.isPresent()) return std::nullopt;
    return encodeDateTime(
        CalendarDateTime{date.year, date.month, date.day, date.hour, date.minute, date.second, 0});
}

bool DvFrameAnalysis::accepts(FourCC majorType, FourCC subtype) {
    return majorType == FourCC::of("iavs") ||
           (majorType == FourCC::of("vids") && subtype == FourCC::of("dvsd"));
}

bool DvFrameAnalysis::analyseFrame(Bytes frame, MediaTime start, MediaTime stop) {
    // A 625/50 frame is 144000 bytes; anything else is timed as a 525/60 frame.
    const MediaTime nominal = frame.size() == kDvPalFrameBytes ? kPalNominalFrameTime : kNtscNominalFrameTime;

    if (const auto recorded = dvRecDateTime(DvFindRecDate(frame).date)) {
        m_currentInfo.HasDate = true;
        m_currentInfo.RecordedAt = *recorded;
    } else {
        m_currentInfo.HasDate = false;
        m_currentInfo.RecordedAt = DateTime();
    }

    // Without a timecode the previous frame's value stays; only the flag says it is not this frame's.
    const TDvTimecode timecode = DvFindTimecode(frame);
    m_currentInfo.HasTimecode = timecode.isPresent();
    if (m_currentInfo.HasTimecode) m_currentInfo.Timecode = timecode;

    m_currentInfo.Is16x9 = DvIs16x9(frame);

    const MediaTime gap = start > m_previousStop ? start - m_previousStop : m_previousStop - start;
    const bool discontinuity = m_previousStop > MediaTime() && start > nominal && gap > kGapThreshold;

    // Fill the next entry completely, then publish its number.
    const std::size_t next = (m_historyPos.load(std::memory_order_relaxed) + 1) % kDvHistoryEntries;
    DvHistoryEntry& entry = m_history[next];
    entry.Info = m_currentInfo;
    const std::size_t copied = std::min(frame.size(), entry.Header.size());
    std::copy_n(frame.begin(), copied, entry.Header.begin());
    std::fill(entry.Header.begin() + static_cast<std::ptrdiff_t>(copied), entry.Header.end(),
              std::uint8_t{0});
    m_historyPos.store(next, std::memory_order_release);

    m_previousStop = stop;
    return discontinuity;
}

void DvFrameAnalysis::graphStopped() {
    m_historyPos.store(0, std::memory_order_release);
    m_shownPos.store(0, std::memory_order_release);
    m_previousStop = MediaTime();
    m_currentInfo.HasDate = true;
}

}  // namespace moraven
