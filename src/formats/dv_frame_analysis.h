#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
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
// Threads. One thread, the writer (the streaming thread of the graph), calls analyseFrame(),
// graphStopped(), SetShownPos() and SetShownFrame(). Any number of other threads may at the same time call
// History(), FrameEntry(), ShownEntry(), HistoryPos(), ShownPos(), ShownFrame() and LatestFrame(): the ring
// (DvHistoryRing below) is safe by construction, not by timing, so a reader never sees an entry half
// written, however slow it is. CurrentInfo() and previousStopTime() are plain values for the writer's
// thread, or for another thread once no frame is being analysed (the list scan reads CurrentInfo() after
// the graph paused, or after its own call returned).
//
// A reader that wants the facts of one particular frame (the player's timer wants the frame on screen)
// asks by frame number: ShownEntry() or FrameEntry(). It gets the entry of that frame, or nothing when
// the frame has been overwritten (100 frames later) or is being overwritten at that moment; never
// another frame's facts. History(index) gives whatever frame the entry holds when it is read (waiting, if
// the writer is inside that entry, until it is done).
// The ring allocates nothing after construction; each analysed frame makes one block of its facts (LatestFacts).
// Nothing takes a lock.
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

// Frames are numbered in the order they were analysed, from 1, for the lifetime of the analysis (a
// stop of the graph does not restart the count); 0 means no frame.
using DvFrameNumber = std::uint64_t;

// What the program keeps of one DV frame: its number, its facts and its first 480 bytes (zero past the end of
// a shorter frame). The media graphs attach it to the frame's sample and to every sample made from it
// (MediaSample::frameFacts), so that a stage after a decoder has the facts of the very frame a picture came
// from; the ring below keeps the last 100 for the player's labels. An entry of the ring never written holds
// frame 0, default facts and zero bytes.
struct DvFrameFacts {
    DvFrameNumber Frame = 0;
    TDvFrameInfo Info;
    std::array<std::uint8_t, kDvHistoryHeaderBytes> Header{};

    friend bool operator==(const DvFrameFacts&, const DvFrameFacts&) = default;
};

// The ring of the last 100 frames, for one writer thread and any number of reader threads.
//
// Each entry is a sequence lock whose counter is the frame number: 2n - 1 (odd) while frame n is being
// written into it, 2n once it is complete. Every field is kept in std::atomic<std::uint64_t> words, so
// that the writer's stores and a reader's loads are never a data race under the C++ memory model (plain
// fields copied under a sequence lock would be one, even though the copy is thrown away). The writer
// stores the odd counter, then each word with release order, then the even counter with release order; a
// reader loads the counter (acquire), each word (acquire), then the counter again. A word that comes from
// a newer write carries the newer odd counter with it (release/acquire on that word), so the second load
// then differs from the first: a reader whose two loads agree and are even has copied one frame whole.
// A reader never waits on the writer for FrameEntry; History() retries while its entry is rewritten.
//
// The ring is about 50 KB: owners keep it on the heap (inside the analysis they allocate).
class DvHistoryRing {
public:
    DvHistoryRing() = default;
    DvHistoryRing(const DvHistoryRing&) = delete;
    DvHistoryRing& operator=(const DvHistoryRing&) = delete;

    // Writer thread only. Records the next frame in entry `index` (0..99; other values are taken modulo
    // 100): its facts and the first 480 bytes of `frame` (zeros past a shorter frame). Returns the frame's
    // number, one more than the previous write's.
    DvFrameNumber write(std::size_t index, const TDvFrameInfo& info, Bytes frame);

    // Any thread. The number of the last frame written completely; 0 before the first.
    DvFrameNumber latestFrame() const { return m_latestFrame.load(std::memory_order_acquire); }

    // Any thread. The entry of frame `frame` when the ring holds it completely at the time of the call;
    // nothing when it was never written, has been overwritten or is being overwritten, or for frame 0.
    // Looks at the counters of the 100 entries, then copies one entry; never waits.
    std::optional<DvFrameFacts> frameEntry(DvFrameNumber frame) const;

    // Any thread. A whole copy of entry `index` (modulo 100), of whichever frame it holds when read; when
    // the writer is rewriting that entry, the copy is taken again once the rewrite is over (a rewrite is
    // about 60 stores, and the writer comes back to an entry only 100 frames later).
    DvFrameFacts at(std::size_t index) const;

    // Any thread. The number of the frame whose entry `index` (modulo 100) is complete, or 0 while it is
    // being written or was never written. It may change as soon as it was read; the writer's own thread
    // gets the lasting answer.
    DvFrameNumber frameAt(std::size_t index) const;

private:
    // Facts word: bit 0 HasDate, bit 1 HasTimecode, bit 2 Is16x9, bits 32..63 the timecode's word; then
    // the date-time's 64-bit pattern, then the 480 header bytes as little-endian words.
    static constexpr std::size_t kFactsWord = 0;
    static constexpr std::size_t kRecordedAtWord = 1;
    static constexpr std::size_t kHeaderFirstWord = 2;
    static_assert(kDvHistoryHeaderBytes % 8 == 0, "the header is kept in whole 64-bit words");
    static constexpr std::size_t kWords = kHeaderFirstWord + kDvHistoryHeaderBytes / 8;

    struct Slot {
        std::atomic<std::uint64_t> sequence{0};  // 2n: frame n complete; 2n - 1: frame n being written
        std::array<std::atomic<std::uint64_t>, kWords> words{};
    };

    // One attempt at a consistent copy of `slot`: nothing when its counter is odd or changed meanwhile.
    static std::optional<DvFrameFacts> tryCopy(const Slot& slot);

    std::array<Slot, kDvHistoryEntries> m_slots{};
    DvFrameNumber m_written = 0;  // writer thread only
    std::atomic<DvFrameNumber> m_latestFrame{0};
};

// The date-time value of a recording date read from the packs, with 0 milliseconds; nothing when the date
// is absent or is no real calendar date-time (month 0, 31 April, hour 24 and so on).
std::optional<DateTime> dvRecDateTime(const TDvRecDate& date);

// `date` moved by `seconds` (either way), with whole-number calendar arithmetic so that no rounding can turn
// 01:00:00 into 00:59:59; the day, month and year roll over. Nothing when `date` is absent or no real
// date-time.
std::optional<TDvRecDate> shiftedDvRecDate(const TDvRecDate& date, std::int64_t seconds);

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

    // The facts of the most recent frame. Writer thread, or once no frame is being analysed (see the top
    // of this file).
    const TDvFrameInfo& CurrentInfo() const { return m_currentInfo; }

    // The most recent frame's number, facts and first 480 bytes, as the ring recorded them, in a block of its
    // own that any thread may keep and read: the scene detection stage attaches it to the frame's sample.
    // Null before the first frame. Writer thread.
    const std::shared_ptr<const DvFrameFacts>& LatestFacts() const { return m_latestFacts; }

    // Any thread: a whole copy of ring entry `index` (0..99; other values are taken modulo 100), of
    // whichever frame it holds when read. To read one particular frame, use FrameEntry().
    DvFrameFacts History(std::size_t index) const { return m_history.at(index); }

    // Any thread: the entry of frame `frame`, or nothing when the ring no longer (or not yet) holds it.
    std::optional<DvFrameFacts> FrameEntry(DvFrameNumber frame) const {
        return m_history.frameEntry(frame);
    }

    // Any thread: the number of the most recent frame analysed (it stays after a stop); 0 before any.
    DvFrameNumber LatestFrame() const { return m_history.latestFrame(); }

    // Any thread: the entry of the most recent frame, 0..99; 0 after a stop.
    std::size_t HistoryPos() const { return m_historyPos.load(std::memory_order_acquire); }

    // The frame on screen, that is the entry the inlay stage handled last. SetShownPos() is called by the
    // inlay stage on the writer's thread, after the frame was analysed; it records the entry's index and
    // the number of the frame it holds, together in one atomic word. The others may be called from any
    // thread: ShownPos() is the index (0..99), ShownFrame() the frame's number (0 after a stop or before
    // any), ShownEntry() the facts of that frame, or nothing once the ring has moved 100 frames past it.
    std::size_t ShownPos() const {
        return static_cast<std::size_t>(m_shown.load(std::memory_order_acquire) % kShownIndexSpan);
    }
    DvFrameNumber ShownFrame() const { return m_shown.load(std::memory_order_acquire) / kShownIndexSpan; }
    std::optional<DvFrameFacts> ShownEntry() const { return m_history.frameEntry(ShownFrame()); }
    void SetShownPos(std::size_t index);
    // Writer's thread, like SetShownPos(): shows frame `frame` by its number (a stage after a decoder knows
    // the frame a picture came from, which need not be the latest). False, and nothing changes, when the
    // ring does not hold that frame (frame 0, overwritten, or not yet analysed).
    bool SetShownFrame(DvFrameNumber frame);

    // The stop time of the previous frame; 0 when none since the last stop. Writer thread.
    MediaTime previousStopTime() const { return m_previousStop; }

private:
    // m_shown holds frame number × kShownIndexSpan + entry index.
    static constexpr std::uint64_t kShownIndexSpan = 128;
    static_assert(kDvHistoryEntries <= kShownIndexSpan);

    TDvFrameInfo m_currentInfo;
    std::shared_ptr<const DvFrameFacts> m_latestFacts;
    DvHistoryRing m_history;
    std::atomic<std::size_t> m_historyPos{0};
    std::atomic<std::uint64_t> m_shown{0};
    MediaTime m_previousStop;
};

}  // namespace moraven
