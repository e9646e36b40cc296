#include "support/dv_frame_builder.h"

#include <algorithm>
#include <stdexcept>

namespace moraven::test {

namespace {

constexpr std::size_t kBlockBytes = 80;
constexpr int kBlocksPerSequence = 150;

// Section types, the top three bits of a block id's byte 0.
enum class Section : std::uint8_t { Header = 0, Subcode = 1, Vaux = 2, Audio = 3, Video = 4 };

// Block id: byte 0 section type (bits 5-7), a reserved 1 (bit 4) and arbitrary bits (0-3, all 1 here);
// byte 1 DIF sequence number (bits 4-7), channel 0 (bit 3) and reserved 1s; byte 2 the block's number
// within its section.
void writeBlockId(std::uint8_t* block, Section section, int sequence, int number) {
    block[0] = static_cast<std::uint8_t>((static_cast<unsigned>(section) << 5) | 0x1F);
    block[1] = static_cast<std::uint8_t>((sequence << 4) | 0x07);
    block[2] = static_cast<std::uint8_t>(number);
}

std::uint8_t bcd(int value) { return static_cast<std::uint8_t>(((value / 10) % 10) << 4 | (value % 10)); }

constexpr std::size_t subcodePack(int block, int syncBlock) {
    return static_cast<std::size_t>(block) * kBlockBytes + 3 + static_cast<std::size_t>(syncBlock) * 8 + 3;
}
constexpr std::size_t vauxPack(int block, int slot) {
    return static_cast<std::size_t>(block) * kBlockBytes + 3 + static_cast<std::size_t>(slot) * 5;
}

}  // namespace

DvFrameBuilder::DvFrameBuilder(DvSystem system)
    : m_sequences(system == DvSystem::Ntsc525 ? 10 : 12),
      m_frame(static_cast<std::size_t>(m_sequences) * kDvSequenceBytes, 0x00) {
    const bool pal = m_sequences == 12;
    for (int s = 0; s < m_sequences; ++s) {
        std::uint8_t* seq = m_frame.data() + at(s, 0);
        auto block = [&](int index) { return seq + static_cast<std::size_t>(index) * kBlockBytes; };

        // Header: system byte, then track and application ids (APT, AP1, AP2, AP3 all 0 for consumer DV).
        std::uint8_t* header = block(0);
        writeBlockId(header, Section::Header, s, 0);
        std::fill(header + 3, header + kBlockBytes, 0xFF);
        header[3] = pal ? 0xBF : 0x3F;
        header[4] = 0xF8;
        header[5] = header[6] = header[7] = 0x78;

        // Subcode: 6 sync blocks of 8 bytes per block (numbers 0-5, then 6-11): 3 id bytes and an empty pack.
        // The FR bit marks the first half of the frame's sequences.
        const int firstHalf = s < m_sequences / 2 ? 1 : 0;
        for (int b = 0; b < 2; ++b) {
            std::uint8_t* subcode = block(1 + b);
            writeBlockId(subcode, Section::Subcode, s, b);
            std::fill(subcode + 3, subcode + kBlockBytes, 0xFF);
            for (int sync = 0; sync < 6; ++sync) {
                const int number = b * 6 + sync;
                std::uint8_t* id = subcode + 3 + sync * 8;
                id[0] = static_cast<std::uint8_t>((firstHalf << 7) | (number == 11 ? 0x7F : 0x0F));
                id[1] = static_cast<std::uint8_t>(0xF0 | number);
                id[2] = 0xFF;
            }
        }

        // VAUX: 15 pack slots and 2 reserved bytes, all empty.
        for (int b = 0; b < 3; ++b) {
            writeBlockId(block(3 + b), Section::Vaux, s, b);
            std::fill(block(3 + b) + 3, block(3 + b) + kBlockBytes, 0xFF);
        }

        // 9 groups of one audio block (an empty AAUX pack, then silent samples) and 15 video blocks.
        for (int a = 0; a < 9; ++a) {
            std::uint8_t* audio = block(6 + a * 16);
            writeBlockId(audio, Section::Audio, s, a);
            std::fill(audio + 3, audio + 8, 0xFF);
            for (int v = 0; v < 15; ++v) writeBlockId(block(7 + a * 16 + v), Section::Video, s, a * 15 + v);
        }
        static_assert(6 + 9 * 16 == kBlocksPerSequence);
    }
}

void DvFrameBuilder::put(int sequence, std::size_t offset, const std::uint8_t* data, std::size_t count) {
    if (sequence < 0 || sequence >= m_sequences) throw std::out_of_range("no such DIF sequence");
    std::copy(data, data + count, m_frame.begin() + static_cast<std::ptrdiff_t>(at(sequence, offset)));
}

DvFrameBuilder& DvFrameBuilder::timecodeBytes(int sequence, std::array<std::uint8_t, 4> bytes,
                                              bool bothCopies) {
    const Pack pack{0x13, bytes[0], bytes[1], bytes[2], bytes[3]};
    put(sequence, subcodePack(1, 3), pack.data(), pack.size());
    if (bothCopies) put(sequence, subcodePack(2, 3), pack.data(), pack.size());
    return *this;
}

DvFrameBuilder& DvFrameBuilder::timecode(int sequence, int hours, int minutes, int seconds, int frames,
                                         bool bothCopies) {
    // Flag bits: binary group and polarity bits set, colour frame and drop frame clear.
    return timecodeBytes(
        sequence,
        {bcd(frames), static_cast<std::uint8_t>(0x80 | bcd(seconds)),
         static_cast<std::uint8_t>(0x80 | bcd(minutes)), static_cast<std::uint8_t>(0xC0 | bcd(hours))},
        bothCopies);
}

DvFrameBuilder& DvFrameBuilder::recDatePacks(int sequence, const Pack& date, const Pack& time) {
    put(sequence, vauxPack(5, 11), date.data(), date.size());
    put(sequence, vauxPack(5, 12), time.data(), time.size());
    return *this;
}

DvFrameBuilder& DvFrameBuilder::recDate(int sequence, int year, int month, int day, int hour, int minute,
                                        int second) {
    // Date pack: time zone unknown, day with reserved bits, month with the day of week unknown (7), year.
    // Time pack: frame count unknown, then seconds, minutes, hours with their reserved bits.
    const Pack date{0x62, 0xFF, static_cast<std::uint8_t>(0xC0 | bcd(day)),
                    static_cast<std::uint8_t>(0xE0 | bcd(month)), bcd(year % 100)};
    const Pack time{0x63, 0xFF, static_cast<std::uint8_t>(0x80 | bcd(second)),
                    static_cast<std::uint8_t>(0x80 | bcd(minute)),
                    static_cast<std::uint8_t>(0xC0 | bcd(hour))};
    return recDatePacks(sequence, date, time);
}

DvFrameBuilder& DvFrameBuilder::sourceControl(int sequence, std::uint8_t display) {
    // Copy free, reserved bits 1; frame/field and interlace flags as a camera sets them.
    const Pack pack{0x61, 0x3F, static_cast<std::uint8_t>(0xC8 | (display & 7)), 0xFC, 0xFF};
    put(sequence, vauxPack(5, 10), pack.data(), pack.size());
    return *this;
}

DvFrameBuilder& DvFrameBuilder::ap3(int sequence, std::uint8_t value) {
    const std::uint8_t byte = static_cast<std::uint8_t>(0x78 | (value & 7));
    put(sequence, 7, &byte, 1);
    return *this;
}

DvFrameBuilder& DvFrameBuilder::audioSource(std::uint8_t formatByte) {
    // LF 1 (unlocked, as consumer cameras record) with the frame's sample count, stereo, the 50/60 field
    // flag, then the format byte.
    const bool pal = m_sequences == 12;
    const Pack pack{0x50, static_cast<std::uint8_t>(pal ? 0xD8 : 0xD4), 0x00,
                    static_cast<std::uint8_t>(pal ? 0xE0 : 0xC0), formatByte};
    put(0, 54 * kBlockBytes + 3, pack.data(), pack.size());
    return *this;
}

DvFrameBuilder& DvFrameBuilder::audioPack(int sequence, int block, const Pack& pack) {
    if (block < 0 || block >= 9) throw std::out_of_range("no such audio block");
    put(sequence, audioBlockAt(0, block) + 3, pack.data(), pack.size());
    return *this;
}

}  // namespace moraven::test
