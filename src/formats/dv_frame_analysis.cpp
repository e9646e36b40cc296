#include "formats/dv_frame_analysis.h"

#include <algorithm>
#include <bit>
#include <thread>

namespace moraven {

std::optional<DateTime> dvRecDateTime(const TDvRecDate& date) {
    if (!date.isPresent()) return std::nullopt;
    return encodeDateTime(
        CalendarDateTime{date.year, date.month, date.day, date.hour, date.minute, date.second, 0});
}

std::optional<TDvRecDate> shiftedDvRecDate(const TDvRecDate& date, std::int64_t seconds) {
    constexpr std::int64_t kSecondsPerDay = 86'400;
    if (!dvRecDateTime(date)) return std::nullopt;
    // The day is a whole number of days since 1899-12-30, exact in a double; the time of day is counted in
    // whole seconds.
    const auto midnight = encodeDateTime({date.year, date.month, date.day, 0, 0, 0, 0});
    if (!midnight) return std::nullopt;
    const std::int64_t total = std::int64_t{date.hour} * 3600 + std::int64_t{date.minute} * 60 +
                               std::int64_t{date.second} + seconds;
    std::int64_t dayCarry = total / kSecondsPerDay;
    if (total % kSecondsPerDay != 0 && total < 0) --dayCarry;  // floor, not truncation
    const std::int64_t timeOfDay = total - dayCarry * kSecondsPerDay;
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

DvFrameNumber DvHistoryRing::write(std::size_t index, const TDvFrameInfo& info, Bytes frame) {
    // The entry's words are made up front, so that the time the entry is marked as being written is
    // only that of the stores.
    std::array<std::uint8_t, kDvHistoryHeaderBytes> header{};
    const std::size_t copied = std::min(frame.size(), header.size());
    std::copy_n(frame.begin(), copied, header.begin());

    std::array<std::uint64_t, kWords> words{};
    words[kFactsWord] = (info.HasDate ? 1u : 0u) | (info.HasTimecode ? 2u : 0u) | (info.Is16x9 ? 4u : 0u) |
                        (static_cast<std::uint64_t>(info.Timecode.word()) << 32);
    words[kRecordedAtWord] = std::bit_cast<std::uint64_t>(info.RecordedAt.days());
    for (std::size_t w = 0; w < kDvHistoryHeaderBytes / 8; ++w) {
        words[kHeaderFirstWord + w] = u64le(header, 8 * w);
    }

    const DvFrameNumber number = ++m_written;
    Slot& slot = m_slots[index % kDvHistoryEntries];
    // Odd while written. The release stores of the words keep this store before them for any reader that
    // loads one of them with acquire order.
    slot.sequence.store(2 * number - 1, std::memory_order_relaxed);
    for (std::size_t w = 0; w < kWords; ++w) slot.words[w].store(words[w], std::memory_order_release);
    slot.sequence.store(2 * number, std::memory_order_release);
    m_latestFrame.store(number, std::memory_order_release);
    return number;
}

std::optional<DvFrameFacts> DvHistoryRing::tryCopy(const Slot& slot) {
    const std::uint64_t before = slot.sequence.load(std::memory_order_acquire);
    if (before % 2 != 0) return std::nullopt;
    if (before == 0) return DvFrameFacts{};  // never written: the default facts (no timecode), zero bytes
    std::array<std::uint64_t, kWords> words{};
    for (std::size_t w = 0; w < kWords; ++w) words[w] = slot.words[w].load(std::memory_order_acquire);
    // Any word stored by a later write brought that write's odd counter with it: then this load sees a
    // different value.
    if (slot.sequence.load(std::memory_order_relaxed) != before) return std::nullopt;

    DvFrameFacts entry;
    entry.Frame = before / 2;
    const std::uint64_t facts = words[kFactsWord];
    entry.Info.HasDate = (facts & 1u) != 0;
    entry.Info.HasTimecode = (facts & 2u) != 0;
    entry.Info.Is16x9 = (facts & 4u) != 0;
    entry.Info.Timecode = TDvTimecode::fromWord(static_cast<std::uint32_t>(facts >> 32));
    entry.Info.RecordedAt = DateTime(std::bit_cast<double>(words[kRecordedAtWord]));
    for (std::size_t w = 0; w < kDvHistoryHeaderBytes / 8; ++w) {
        putU64le(entry.Header, 8 * w, words[kHeaderFirstWord + w]);
    }
    return entry;
}

std::optional<DvFrameFacts> DvHistoryRing::frameEntry(DvFrameNumber frame) const {
    if (frame == 0) return std::nullopt;
    // Frame numbers are unique, so at most one entry's counter names this frame as complete; the copy
    // checks the counter again, so an entry rewritten between the search and the copy gives nothing.
    for (const Slot& slot : m_slots) {
        if (slot.sequence.load(std::memory_order_relaxed) != 2 * frame) continue;
        std::optional<DvFrameFacts> entry = tryCopy(slot);
        if (entry && entry->Frame != frame) entry.reset();
        return entry;
    }
    return std::nullopt;
}

DvFrameFacts DvHistoryRing::at(std::size_t index) const {
    const Slot& slot = m_slots[index % kDvHistoryEntries];
    for (;;) {
        if (std::optional<DvFrameFacts> entry = tryCopy(slot)) return *entry;
        // The writer is inside this entry: let it finish.
        std::this_thread::yield();
    }
}

DvFrameNumber DvHistoryRing::frameAt(std::size_t index) const {
    const std::uint64_t sequence =
        m_slots[index % kDvHistoryEntries].sequence.load(std::memory_order_acquire);
    return sequence % 2 == 0 ? sequence / 2 : 0;
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
    auto facts = std::make_shared<DvFrameFacts>();
    facts->Frame = m_history.write(next, m_currentInfo, frame);
    facts->Info = m_currentInfo;
    std::copy_n(frame.begin(), std::min(frame.size(), facts->Header.size()), facts->Header.begin());
    m_latestFacts = std::move(facts);
    m_historyPos.store(next, std::memory_order_release);

    m_previousStop = stop;
    return discontinuity;
}

void DvFrameAnalysis::graphStopped() {
    m_historyPos.store(0, std::memory_order_release);
    m_shown.store(0, std::memory_order_release);
    m_previousStop = MediaTime();
    m_currentInfo.HasDate = true;
}

void DvFrameAnalysis::SetShownPos(std::size_t index) {
    // On the writer's thread the entry cannot change under us: the frame number read here is the one the
    // entry holds until the next analyseFrame().
    const std::size_t entry = index % kDvHistoryEntries;
    m_shown.store(m_history.frameAt(entry) * kShownIndexSpan + entry, std::memory_order_release);
}

bool DvFrameAnalysis::SetShownFrame(DvFrameNumber frame) {
    if (frame == 0) return false;
    // Frames go to the entry after the previous one, except after a stop (back to entry 1): look where the
    // ring keeps it, starting where it went when no stop came in between.
    const std::size_t guess = static_cast<std::size_t>(frame % kDvHistoryEntries);
    for (std::size_t step = 0; step < kDvHistoryEntries; ++step) {
        const std::size_t entry = (guess + step) % kDvHistoryEntries;
        if (m_history.frameAt(entry) == frame) {
            m_shown.store(frame * kShownIndexSpan + entry, std::memory_order_release);
            return true;
        }
    }
    return false;
}

}  // namespace moraven
