#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "formats/byte_order.h"
#include "formats/date_time.h"
#include "formats/dvcodes.h"
#include "formats/fourcc.h"
#include "formats/media_time.h"

// The frame analysis of every DV graph: for each compressed DV frame that passes, the recording date and
// time, the timecode and the picture shape (read with dvcodes), a time-gap check, and a ring of the facts
// and first 480 bytes of the last 100 frames. The scene detection stage (`Tdv_sceneDetect`) of the media
// graphs wraps one DvFrameAnalysis; the list scan (list_scan.h) uses one directly.
//
// Threads. One thread, the streaming thread of the graph, calls analyseFrame() and graphStopped(). Others
// read:
//   - CurrentInfo(): only once no frame is being analysed (the list scan reads it after the graph paused,
//     or after its own call returned): it is a plain value without synchronisation of its own;
//   - HistoryPos() and ShownPos() at any time: they are atomics. An entry is filled completely before
//     HistoryPos names it (release store), and the inlay stage names an entry in ShownPos only after the
//     frame was analysed on the same thread, so a reader that loads either position and then copies
//     History(position) sees the whole entry;
//   - History(index): copied whole by the reader. Nothing locks the ring: an entry is rewritten only when
//     100 further frames have been analysed (four seconds of PAL video), so a reader that copies the entry it
//     just found through a position, as the player's timer does, gets it before it can change.
// Nothing here allocates after construction.
namespace moraven {

inline constexpr std::size_t kDvHistoryEntries = 100;
inline constexpr std::size_t kDvHistoryHeaderBytes = 480;  // DIF blocks 0 to 5 of sequence 0

// The facts of one DV frame.
struct TDvFrameInfo {
    bool HasDate = false;      // a recording date and time was found and is a real calendar date-time
    bool HasTimecode = false;  // a timecode was found
    DateTime RecordedAt;       // the recording date-time; 0 when HasDate is false
    TDvTimecode Timecode;      // meaningful only when HasTimecode is true
    bool Is16x9 = false;       // 16:9 picture

    friend bool operator==(const TDvFrameInfo&, const TDvFrameInfo&) = default;
};

// One entry of the ring: the facts of a frame and its first 480 bytes (zero past the end of a shorter
// frame).
struct DvHistoryEntry {
    TDvFrameInfo Info;
    std::array<std::uint8_t, kDvHistoryHeaderBytes> Header{};
};

// The date-time value of a recording date read from the packs, with 0 milliseconds; nothing when the date
// is absent or is no real calendar date-time (month 0, 31 April, hour 24 and so on).
std::optional<DateTime> dvRecDateTime(const TDvRecDate& date);

class DvFrameAnalysis {
public:
    // Nominal frame times used by the gap check, in 100 ns.
    static constexpr MediaTime kPalNominalFrameTime = MediaTime::fromTicks(400'000);
    static constexpr MediaTime kNtscNominalFrameTime = MediaTime::fromTicks(333'667);
    // A start time further than this from the previous frame's stop time is a discontinuity.
    static constexpr MediaTime kGapThreshold = MediaTime::fromTicks(2'000'000);

    DvFrameAnalysis() = default;
    DvFrameAnalysis(const DvFrameAnalysis&) = delete;
    DvFrameAnalysis& operator=(const DvFrameAnalysis&) = delete;

    // What the stage accepts: an interleaved DV stream ("iavs", any subtype) or a DV video stream ("vids"
    // with subtype "dvsd", compared exactly: "DVSD" is refused). Anything else is refused.
    static bool accepts(FourCC majorType, FourCC subtype);

    // Analyses one whole frame with its start and stop times (100 ns) and records it in the ring. Returns
    // true when the frame follows a gap in time: the previous frame had a stop time above 0, this frame
    // starts later than one nominal frame time (400000 for a 144000-byte frame, 333667 otherwise) and its
    // start lies more than 0.2 s from the previous stop in either direction. The stage then marks the
    // frame as a discontinuity and a key frame. Frames without packs simply give false flags.
    bool analyseFrame(Bytes frame, MediaTime start, MediaTime stop);

    // The graph stopped: both positions and the previous stop time go back to 0 and CurrentInfo's HasDate
    // becomes true (its other fields keep their values). The ring keeps its entries, so the first frame after
    // a new start goes to entry 1 while entry 0 still holds an old frame.
    void graphStopped();

    // The facts of the most recent frame (see the threads note at the top of this file).
    const TDvFrameInfo& CurrentInfo() const { return m_currentInfo; }

    // A copy of ring entry `index` (0..99; other values are taken modulo 100).
    DvHistoryEntry History(std::size_t index) const { return m_history[index % kDvHistoryEntries]; }

    // The entry of the most recent frame, 0..99.
    std::size_t HistoryPos() const { return m_historyPos.load(std::memory_order_acquire); }

    // The entry of the frame on screen, 0..99: written only by the inlay stage, on the streaming thread.
    std::size_t ShownPos() const { return m_shownPos.load(std::memory_order_acquire); }
    void SetShownPos(std::size_t index) {
        m_shownPos.store(index % kDvHistoryEntries, std::memory_order_release);
    }

    // The stop time of the previous frame; 0 when none since the last stop.
    MediaTime previousStopTime() const { return m_previousStop; }

private:
    TDvFrameInfo m_currentInfo;
    std::array<DvHistoryEntry, kDvHistoryEntries> m_history{};
    std::atomic<std::size_t> m_historyPos{0};
    std::atomic<std::size_t> m_shownPos{0};
    MediaTime m_previousStop;
};

}  // namespace moraven
