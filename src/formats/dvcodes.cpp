#include "formats/dvcodes.h"

#include "formats/byte_order.h"

namespace moraven {

namespace {

// Offsets from the start of a DIF sequence. Blocks are 80 bytes: block 0 is the header, 1 and 2 the subcode,
// 3 to 5 the VAUX blocks, 54 is audio block 3. Every block starts with 3 id bytes. A subcode block then holds
// sync blocks of 8 bytes whose 5-byte pack starts at byte 3 of the sync block; a VAUX block holds 5-byte
// packs, pack k at byte 3 + 5k.
constexpr std::size_t kBlockBytes = 80;
constexpr std::size_t kIdBytes = 3;

constexpr std::size_t subcodePackOffset(std::size_t block, std::size_t syncBlock) {
    return block * kBlockBytes + kIdBytes + syncBlock * 8 + 3;
}
constexpr std::size_t vauxPackOffset(std::size_t block, std::size_t pack) {
    return block * kBlockBytes + kIdBytes + pack * 5;
}

constexpr std::size_t kSystemByte = 3;                                 // header block byte 3
constexpr std::size_t kAp3Byte = 7;                                    // header block byte 7, low three bits
constexpr std::size_t kTimecodePack = subcodePackOffset(1, 3);         // 110
constexpr std::size_t kTimecodeCopyPack = subcodePackOffset(2, 3);     // 190
constexpr std::size_t kSourceControlPack = vauxPackOffset(5, 10);      // 453
constexpr std::size_t kRecDatePack = vauxPackOffset(5, 11);            // 458
constexpr std::size_t kRecTimePack = vauxPackOffset(5, 12);            // 463
constexpr std::size_t kAudioSourcePack = 54 * kBlockBytes + kIdBytes;  // 4323
static_assert(kTimecodePack == 110 && kTimecodeCopyPack == 190 && kSourceControlPack == 453 &&
              kRecDatePack == 458 && kRecTimePack == 463 && kAudioSourcePack == 4323);

constexpr std::uint8_t kTimecodeId = 0x13;
constexpr std::uint8_t kAudioSourceId = 0x50;
constexpr std::uint8_t kSourceControlId = 0x61;
constexpr std::uint8_t kRecDateId = 0x62;
constexpr std::uint8_t kRecTimeId = 0x63;

// One BCD field: a units digit in the low four bits and a tens digit in the bits of `tensMask` (always
// starting at bit 4). The bits outside both masks carry other flags of the pack.
struct BcdField {
    std::size_t offset;  // from the start of the sequence
    std::uint8_t tensMask;
};
constexpr std::uint8_t kUnitsMask = 0x0F;

// Timecode pack, bytes 1 to 4.
constexpr BcdField kTcFrames{kTimecodePack + 1, 0x30};
constexpr BcdField kTcSeconds{kTimecodePack + 2, 0x70};
constexpr BcdField kTcMinutes{kTimecodePack + 3, 0x70};
constexpr BcdField kTcHours{kTimecodePack + 4, 0x30};
// Date pack bytes 2 to 4 (byte 1 holds the time zone; bits 5-7 of the month byte the day of the week).
constexpr BcdField kDay{kRecDatePack + 2, 0x30};
constexpr BcdField kMonth{kRecDatePack + 3, 0x10};
constexpr BcdField kYear{kRecDatePack + 4, 0xF0};
// Time pack bytes 2 to 4 (byte 1 holds the frame count).
constexpr BcdField kSecond{kRecTimePack + 2, 0x70};
constexpr BcdField kMinute{kRecTimePack + 3, 0x70};
constexpr BcdField kHour{kRecTimePack + 4, 0x30};

// Digits are taken as they stand: a units nibble above 9 is not rejected.
constexpr std::uint8_t decodeBcd(std::uint8_t byte, std::uint8_t tensMask, std::uint8_t unitsMask) {
    return static_cast<std::uint8_t>(((byte & tensMask) >> 4) * 10 + (byte & unitsMask));
}

std::uint8_t readBcd(std::span<const std::uint8_t> sequence, BcdField field) {
    return decodeBcd(sequence[field.offset], field.tensMask, kUnitsMask);
}

// Replaces only the field's own bits. A tens digit that does not fit its bits leaves them as they were.
void writeBcd(std::span<std::uint8_t> sequence, BcdField field, unsigned value) {
    const unsigned tens = value / 10;
    const unsigned units = value % 10;
    std::uint8_t& byte = sequence[field.offset];
    if (tens <= (field.tensMask >> 4u)) {
        byte = static_cast<std::uint8_t>((byte & ~field.tensMask) | (tens << 4));
    }
    byte = static_cast<std::uint8_t>((byte & ~kUnitsMask) | units);
}

// Sequence `index` of the frame, or an empty span when the frame is too short to hold packs or the index is
// outside 0..9.
template <typename Byte>
std::span<Byte> packSequence(std::span<Byte> frame, int index) {
    if (frame.size() < kDvMinFrameBytes || index < 0 || index >= kDvPackSequences) return {};
    return frame.subspan(static_cast<std::size_t>(index) * kDvSequenceBytes, kDvSequenceBytes);
}

bool hasAudioSourcePack(std::span<const std::uint8_t> sequence0) {
    return !sequence0.empty() && sequence0[kAudioSourcePack] == kAudioSourceId;
}

std::uint8_t audioSourceFormat(std::span<const std::uint8_t> sequence0) {
    return sequence0[kAudioSourcePack + 4];  // bits 3-5 frequency code, bits 0-2 quantisation code
}

}  // namespace

std::uint32_t TDvTimecode::word() const {
    return static_cast<std::uint32_t>(hours) | (static_cast<std::uint32_t>(minutes) << 8) |
           (static_cast<std::uint32_t>(seconds) << 16) | (static_cast<std::uint32_t>(frames) << 24);
}

TDvTimecode TDvTimecode::fromWord(std::uint32_t word) {
    return TDvTimecode{static_cast<std::uint8_t>(word), static_cast<std::uint8_t>(word >> 8),
                       static_cast<std::uint8_t>(word >> 16), static_cast<std::uint8_t>(word >> 24)};
}

TDvTimecode DvReadTimecode(std::span<const std::uint8_t> frame, int sequence) {
    const auto seq = packSequence(frame, sequence);
    // Both subcode blocks carry the pack; a frame whose second copy lacks the id has no usable timecode.
    if (seq.empty() || seq[kTimecodePack] != kTimecodeId || seq[kTimecodeCopyPack] != kTimecodeId) return {};
    return TDvTimecode{readBcd(seq, kTcHours), readBcd(seq, kTcMinutes), readBcd(seq, kTcSeconds),
                       readBcd(seq, kTcFrames)};
}

TDvRecDate DvReadRecDate(std::span<const std::uint8_t> frame, int sequence) {
    const auto seq = packSequence(frame, sequence);
    if (seq.empty()) return {};
    // Zeroed packs count as present: some recorders leave the ids zero and still fill the digits.
    const std::uint8_t dateId = seq[kRecDatePack];
    const std::uint8_t timeId = seq[kRecTimePack];
    if ((dateId != kRecDateId && dateId != 0) || (timeId != kRecTimeId && timeId != 0)) return {};

    // The pack stores two year digits; camcorders date from after 1940, so 00-39 belong to this century.
    const std::int32_t shortYear = readBcd(seq, kYear);
    TDvRecDate date;
    date.year = shortYear < 40 ? 2000 + shortYear : 1900 + shortYear;
    date.month = readBcd(seq, kMonth);
    date.day = readBcd(seq, kDay);
    date.hour = readBcd(seq, kHour);
    date.minute = readBcd(seq, kMinute);
    date.second = readBcd(seq, kSecond);
    return date;
}

void DvWriteRecDate(std::span<std::uint8_t> frame, const TDvRecDate& value, int sequence) {
    const auto seq = packSequence(frame, sequence);
    // An absent date has no digits to store; writing it would corrupt the packs.
    if (seq.empty() || !value.isPresent()) return;
    seq[kRecTimePack] = kRecTimeId;
    writeBcd(seq, kSecond, value.second);
    writeBcd(seq, kMinute, value.minute);
    writeBcd(seq, kHour, value.hour);
    seq[kRecDatePack] = kRecDateId;
    writeBcd(seq, kDay, value.day);
    writeBcd(seq, kMonth, value.month);
    writeBcd(seq, kYear, static_cast<unsigned>(value.year % 100));  // the century is not stored
}

void DvWriteTimecode(std::span<std::uint8_t> frame, const TDvTimecode& value, int sequence) {
    const auto seq = packSequence(frame, sequence);
    if (seq.empty() || !value.isPresent()) return;
    for (const std::size_t block : {std::size_t{1}, std::size_t{2}}) {
        for (const std::size_t syncBlock : {std::size_t{0}, std::size_t{3}}) {
            // The BCD fields are described at sync block 3 of the first subcode block; move them.
            const std::size_t shift = subcodePackOffset(block, syncBlock) - kTimecodePack;
            const auto moved = [shift](BcdField field) { return BcdField{field.offset + shift, field.tensMask}; };
            seq[kTimecodePack + shift] = kTimecodeId;
            writeBcd(seq, moved(kTcFrames), value.frames);
            writeBcd(seq, moved(kTcSeconds), value.seconds);
            writeBcd(seq, moved(kTcMinutes), value.minutes);
            writeBcd(seq, moved(kTcHours), value.hours);
        }
    }
}

namespace {

// Calls `visit` with the offset (from the start of the sequence) of every VAUX pack slot of a sequence, in
// order, until it answers false.
template <typename Visit>
void forEachVauxPack(Visit visit) {
    constexpr std::size_t kFirstVauxBlock = 3;
    constexpr std::size_t kVauxBlocks = 3;
    constexpr std::size_t kPacksPerVauxBlock = 15;
    for (std::size_t block = kFirstVauxBlock; block < kFirstVauxBlock + kVauxBlocks; ++block) {
        for (std::size_t pack = 0; pack < kPacksPerVauxBlock; ++pack) {
            if (!visit(vauxPackOffset(block, pack))) return;
        }
    }
}

}  // namespace

std::uint32_t DvVauxPackWord(std::span<const std::uint8_t> frame, std::uint8_t id) {
    const auto seq = packSequence(frame, 0);
    if (seq.empty()) return 0;
    std::uint32_t word = 0;
    forEachVauxPack([&](std::size_t at) {
        if (seq[at] != id) return true;
        word = u32le(seq, at + 1);
        return false;
    });
    return word;
}

namespace {
constexpr std::uint8_t kDsfBit = 0x80;              // header block byte 3
constexpr std::size_t kSourcePackSystemByte = 3;    // VAUX source pack byte 3: 50/60 (bit 5), STYPE (bits 0-4)
constexpr std::uint8_t kSourcePackSystemBits = 0x3F;
constexpr std::uint8_t kSourcePack50Bit = 0x20;
}  // namespace

DvSystemBits DvReadSystemBits(std::span<const std::uint8_t> frame) {
    const auto seq = packSequence(frame, 0);
    DvSystemBits bits;
    if (seq.empty()) return bits;
    bits.dsf625 = (seq[kSystemByte] & kDsfBit) != 0;
    forEachVauxPack([&](std::size_t at) {
        if (seq[at] != kDvVauxSourcePackId) return true;
        bits.hasSourcePack = true;
        bits.sourcePackBits = seq[at + kSourcePackSystemByte] & kSourcePackSystemBits;
        return false;
    });
    return bits;
}

void DvWriteSystemBits(std::span<std::uint8_t> frame, const DvSystemBits& bits) {
    const auto seq = packSequence(frame, 0);
    if (seq.empty()) return;
    seq[kSystemByte] = static_cast<std::uint8_t>((seq[kSystemByte] & ~kDsfBit) | (bits.dsf625 ? kDsfBit : 0));
    const std::uint8_t packBits =
        bits.hasSourcePack ? static_cast<std::uint8_t>(bits.sourcePackBits & kSourcePackSystemBits)
                           : (bits.dsf625 ? kSourcePack50Bit : std::uint8_t{0});
    forEachVauxPack([&](std::size_t at) {
        std::uint8_t& byte = seq[at + kSourcePackSystemByte];
        if (seq[at] == kDvVauxSourcePackId) {
            byte = static_cast<std::uint8_t>((byte & ~kSourcePackSystemBits) | packBits);
        }
        return true;
    });
}

bool DvHasSourceControl(std::span<const std::uint8_t> frame) {
    const auto seq = packSequence(frame, 0);
    return !seq.empty() && seq[kSourceControlPack] == kSourceControlId;
}

std::vector<std::uint8_t> DvBlankFrame(DvSystem system) {
    if (system == DvSystem::Unknown) return {};
    const bool pal = system == DvSystem::Pal625;
    std::vector<std::uint8_t> frame(pal ? kDvPalFrameBytes : kDvNtscFrameBytes, 0);
    for (std::size_t at = 0; at + kDvSequenceBytes <= frame.size(); at += kDvSequenceBytes)
        frame[at + kSystemByte] = pal ? 0xBF : 0x3F;
    return frame;
}

DvSystem DvSystemOf(std::span<const std::uint8_t> frame) {
    const auto seq = packSequence(frame, 0);
    if (seq.empty()) return DvSystem::Unknown;
    switch (seq[kSystemByte]) {
        case 0xBF:
            return DvSystem::Pal625;
        case 0x3F:
            return DvSystem::Ntsc525;
        default:
            return DvSystem::Unknown;
    }
}

bool DvIsWholeFrameOf(std::span<const std::uint8_t> frame, DvSystem system) {
    if (system == DvSystem::Unknown) return false;
    const std::size_t bytes = system == DvSystem::Pal625 ? kDvPalFrameBytes : kDvNtscFrameBytes;
    return frame.size() >= bytes && DvSystemOf(frame) == system;
}

std::int32_t DvAudioFrequency(std::span<const std::uint8_t> frame) {
    const auto seq = packSequence(frame, 0);
    if (!hasAudioSourcePack(seq)) return kDvNoAudioPack;
    switch ((audioSourceFormat(seq) >> 3) & 7) {
        case 0:
            return 48000;
        case 1:
            return 44100;
        case 2:
            return 32000;
        default:
            return 0;
    }
}

std::int32_t DvAudioQuantization(std::span<const std::uint8_t> frame) {
    const auto seq = packSequence(frame, 0);
    if (!hasAudioSourcePack(seq)) return kDvNoAudioPack;
    switch (audioSourceFormat(seq) & 7) {
        case 0:
            return 16;
        case 1:
            return 12;
        default:
            return 0;
    }
}

bool DvIs16x9(std::span<const std::uint8_t> frame) {
    for (int k = 0; k < kDvPackSequences; ++k) {
        const auto seq = packSequence(frame, k);
        if (seq.empty()) return false;
        if (seq[kSourceControlPack] != kSourceControlId) continue;
        const int display = seq[kSourceControlPack + 2] & 7;
        const int ap3 = seq[kAp3Byte] & 7;
        // Display select 2 is 16:9 in every variant; 7 counts as 16:9 only where AP3 is 0 (IEC 61834).
        return display == 2 || (ap3 == 0 && display == 7);
    }
    return false;
}

DvFoundRecDate DvFindRecDate(std::span<const std::uint8_t> frame) {
    for (int k = 0; k < kDvPackSequences; ++k) {
        const TDvRecDate date = DvReadRecDate(frame, k);
        if (date.isPresent()) return DvFoundRecDate{date, k};
    }
    return {};
}

TDvTimecode DvFindTimecode(std::span<const std::uint8_t> frame) {
    for (int k = 0; k < kDvPackSequences; ++k) {
        const TDvTimecode timecode = DvReadTimecode(frame, k);
        if (timecode.hours < 128) return timecode;
    }
    return {};
}

}  // namespace moraven
