#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// Reading and writing the packs of one DV video frame (consumer DV, IEC 61834; the 16:9 rule also covers
// SMPTE 314M): recording date and time, tape timecode, TV system, picture shape, audio format.
//
// A frame is a run of DIF sequences of 12000 bytes (150 DIF blocks of 80 bytes): 12 sequences (144000 bytes)
// for 625/50, 10 (120000 bytes) for 525/60. Only sequences 0 to 9, which both systems have, are read or
// written. The operations work in place on a buffer that the caller owns for the length of the call: they
// copy nothing, allocate nothing, keep no state and may be called from any thread at once (two calls on the
// same buffer need the caller's ordering only when one of them is DvWriteRecDate).
//
// Absence is a value, never an error: hours 255, year -1, frequency and quantisation -1, system Unknown,
// false. A buffer shorter than kDvMinFrameBytes holds no packs, and neither does a sequence index outside
// 0..9: readers give the absence value and the writer writes nothing. No operation touches a byte past the
// end of the buffer.
namespace moraven {

inline constexpr std::size_t kDvSequenceBytes = 12000;
inline constexpr int kDvPackSequences = 10;  // sequences 0..9 carry the packs that are read
inline constexpr std::size_t kDvMinFrameBytes = kDvSequenceBytes * kDvPackSequences;  // one 525/60 frame
inline constexpr std::size_t kDvPalFrameBytes = kDvSequenceBytes * 12;
inline constexpr std::size_t kDvNtscFrameBytes = kDvSequenceBytes * 10;

inline constexpr std::uint8_t kDvNoTimecodeHours = 255;
inline constexpr std::int32_t kDvNoRecDateYear = -1;
inline constexpr std::int32_t kDvNoAudioPack = -1;

// A tape timecode as read from the subcode's timecode pack. Hours 255 means that no timecode was found; the
// other fields then carry no meaning. Fields are the decoded BCD digits as they stand, not range-checked.
struct TDvTimecode {
    std::uint8_t hours = kDvNoTimecodeHours;
    std::uint8_t minutes = 0;
    std::uint8_t seconds = 0;
    std::uint8_t frames = 0;

    bool isPresent() const { return hours != kDvNoTimecodeHours; }

    // The timecode kept as one 32-bit word: hours in the lowest byte, then minutes, seconds, frames in the
    // highest byte.
    std::uint32_t word() const;
    static TDvTimecode fromWord(std::uint32_t word);

    friend bool operator==(const TDvTimecode&, const TDvTimecode&) = default;
};

// A recording date and time as read from the VAUX date and time packs. Year -1 means that no date was found
// (any negative year counts as absent); the other fields then carry no meaning. Read dates have a
// four-digit year from 1940 to 2039; the other fields are the decoded BCD digits as they stand, so month 0,
// day 31 in a 30-day month or hour 24 come through unchecked: converting to a calendar date is where they
// are caught.
struct TDvRecDate {
    std::int32_t year = kDvNoRecDateYear;
    std::uint8_t month = 0;
    std::uint8_t day = 0;
    std::uint8_t hour = 0;
    std::uint8_t minute = 0;
    std::uint8_t second = 0;

    bool isPresent() const { return year >= 0; }

    friend bool operator==(const TDvRecDate&, const TDvRecDate&) = default;
};

// The result of DvFindRecDate: the first date found and the index (0..9) of its sequence; sequence -1 and
// an absent date when no sequence holds one.
struct DvFoundRecDate {
    TDvRecDate date;
    int sequence = -1;

    friend bool operator==(const DvFoundRecDate&, const DvFoundRecDate&) = default;
};

// The TV system named by the header block's system byte; the values are those the program stores.
enum class DvSystem : std::uint8_t {
    Unknown = 0,
    Pal625 = 1,   // 625 lines, 50 fields
    Ntsc525 = 2,  // 525 lines, 60 fields
};

// The timecode of sequence `sequence` (0..9). Present only when both subcode blocks carry the timecode pack
// id in their sync block 3; the digits are decoded from the first copy.
TDvTimecode DvReadTimecode(std::span<const std::uint8_t> frame, int sequence);

// The recording date of sequence `sequence` (0..9): present when the date pack id is 0x62 or 0x00 and the
// time pack id is 0x63 or 0x00 (a zero id counts as present). Two-digit years below 40 are 20xx, others 19xx.
TDvRecDate DvReadRecDate(std::span<const std::uint8_t> frame, int sequence);

// Writes `value` into the date and time packs of sequence `sequence` (0..9): both pack ids are set and each
// field's digits replace only their own bits; byte 1 of both packs and the day-of-week bits of the month
// byte keep their values. A tens digit too large for its bits (hour 45, month 13) leaves the old tens bits
// in place; the units digit is written in any case. Only the two-digit year is stored. An absent value
// (negative year), a sequence outside 0..9 or a buffer shorter than kDvMinFrameBytes writes nothing.
void DvWriteRecDate(std::span<std::uint8_t> frame, const TDvRecDate& value, int sequence);

// Writes `value` as the timecode pack of sequence `sequence` (0..9) into sync blocks 0 and 3 of both subcode
// blocks (the reader above looks at sync block 3, other readers at sync block 0): the pack id, then the BCD
// digits; the flag bits of the pack bytes keep their values. An absent timecode, a sequence outside 0..9 or a
// buffer shorter than kDvMinFrameBytes writes nothing.
void DvWriteTimecode(std::span<std::uint8_t> frame, const TDvTimecode& value, int sequence);

inline constexpr std::uint8_t kDvVauxSourcePackId = 0x60;
inline constexpr std::uint8_t kDvVauxSourceControlPackId = 0x61;

// The four bytes after the id of the first pack `id` among sequence 0's VAUX packs (three blocks of 15), as
// one word with the first byte lowest (the form of the DV information block); 0 when no pack has that id.
std::uint32_t DvVauxPackWord(std::span<const std::uint8_t> frame, std::uint8_t id);

// The bits of sequence 0 that name a frame's TV system: the DSF bit of the header block (byte 3, bit 7: 1 for
// 625/50) and, in the VAUX source pack (id 0x60), the 50/60 bit and STYPE (pack byte 3, bits 5 and 0-4).
struct DvSystemBits {
    bool dsf625 = false;
    bool hasSourcePack = false;
    std::uint8_t sourcePackBits = 0;  // pack byte 3 & 0x3F, when hasSourcePack

    friend bool operator==(const DvSystemBits&, const DvSystemBits&) = default;
};

// The system bits of sequence 0 (the first VAUX source pack among its three VAUX blocks); all false for a
// buffer shorter than kDvMinFrameBytes.
DvSystemBits DvReadSystemBits(std::span<const std::uint8_t> frame);

// Writes `bits` into sequence 0: the DSF bit, and the 50/60 and STYPE bits of every VAUX source pack there
// (without a source pack in `bits`: 50/60 from the DSF bit and STYPE 0, standard definition). Every other
// bit keeps its value; a buffer shorter than kDvMinFrameBytes is left alone.
void DvWriteSystemBits(std::span<std::uint8_t> frame, const DvSystemBits& bits);

// True when sequence 0's third VAUX block holds the VAUX source control pack in pack slot 10.
bool DvHasSourceControl(std::span<const std::uint8_t> frame);

// The TV system from sequence 0's header block.
DvSystem DvSystemOf(std::span<const std::uint8_t> frame);

// Whether `frame` is a whole frame of `system`: at least that system's frame bytes (kDvPalFrameBytes,
// kDvNtscFrameBytes), its header block naming that system. False for an unknown system.
bool DvIsWholeFrameOf(std::span<const std::uint8_t> frame, DvSystem system);

// A frame of `system` that says nothing but its system: zero bytes but for each sequence's header system
// byte. Empty for an unknown system.
std::vector<std::uint8_t> DvBlankFrame(DvSystem system);

// Sampling frequency in hertz from the AAUX source pack of sequence 0's audio block 3: 48000, 44100, 32000,
// 0 for another code, kDvNoAudioPack (-1) without the pack.
std::int32_t DvAudioFrequency(std::span<const std::uint8_t> frame);

// Bits per sample from the same pack: 16, 12 (the 12-bit non-linear mode), 0 for another code,
// kDvNoAudioPack (-1) without the pack.
std::int32_t DvAudioQuantization(std::span<const std::uint8_t> frame);

// True for a 16:9 picture: in the first sequence (0..9) that holds the VAUX source control pack, display
// select 2, or display select 7 with AP3 0 in that sequence's header block. False without the pack.
bool DvIs16x9(std::span<const std::uint8_t> frame);

// The first recording date found in sequences 0, 1, ..., 9, with its sequence index.
DvFoundRecDate DvFindRecDate(std::span<const std::uint8_t> frame);

// The first timecode found in sequences 0 to 9 whose hours are below 128; hours 255 when none.
TDvTimecode DvFindTimecode(std::span<const std::uint8_t> frame);

}  // namespace moraven
