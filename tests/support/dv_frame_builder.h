#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "formats/dvcodes.h"

// Builds synthetic DV frames (consumer DV, IEC 61834) for tests: every DIF block of every sequence carries a
// valid id, in the standard block order, and packs can be placed in any sequence, well-formed or malformed.
//
//   auto frame = DvFrameBuilder(DvSystem::Pal625).recDate(1, 2004, 7, 15, 13, 5, 9).bytes();
//
// Layout of one 12000-byte sequence (150 blocks of 80 bytes, each starting with 3 id bytes): block 0 header,
// 1 and 2 subcode, 3 to 5 VAUX, then 9 times one audio block followed by 15 video blocks. Pack slots that no
// call fills hold 0xFF ("no information"), as cameras leave them; audio and video data are zero.
namespace moraven::test {

class DvFrameBuilder {
  public:
    using Pack = std::array<std::uint8_t, 5>;  // pack id, then the 4 pack bytes

    // PAL frames have 12 sequences (144000 bytes), NTSC frames 10 (120000 bytes). DvSystem::Unknown is
    // not a frame shape and is taken as PAL.
    explicit DvFrameBuilder(DvSystem system = DvSystem::Pal625);

    // Timecode pack (id 0x13) with the 4 raw bytes frames, seconds, minutes, hours, in sync block 3 of the
    // first subcode block and, when `bothCopies`, of the second one too.
    DvFrameBuilder& timecodeBytes(int sequence, std::array<std::uint8_t, 4> bytes, bool bothCopies = true);
    // The same from numbers, with the pack's flag bits set as cameras often leave them (they are not digits).
    DvFrameBuilder& timecode(int sequence, int hours, int minutes, int seconds, int frames,
                             bool bothCopies = true);

    // Recording date and time packs (VAUX block 5, pack slots 11 and 12) as raw bytes, ids included.
    DvFrameBuilder& recDatePacks(int sequence, const Pack& date, const Pack& time);
    // The same from numbers (two-digit year stored), reserved and unknown bits set to 1.
    DvFrameBuilder& recDate(int sequence, int year, int month, int day, int hour, int minute, int second);

    // VAUX source control pack (id 0x61, VAUX block 5, slot 10) with display select `display` (0..7).
    DvFrameBuilder& sourceControl(int sequence, std::uint8_t display);
    // The AP3 field (low three bits of header block byte 7) of one sequence; 0 by default.
    DvFrameBuilder& ap3(int sequence, std::uint8_t value);
    // AAUX source pack (id 0x50) in audio block 3 of sequence 0; `formatByte` is its byte 4 (bits 3-5
    // sampling frequency code, bits 0-2 quantisation code).
    DvFrameBuilder& audioSource(std::uint8_t formatByte);

    // A raw AAUX pack (id included) in the pack slot of audio block `block` (0..8) of `sequence`.
    DvFrameBuilder& audioPack(int sequence, int block, const Pack& pack);
    // Offset in the frame of audio block `block` (0..8) of `sequence`: its id, then the pack slot (bytes
    // 3..7), then 72 bytes of samples.
    static std::size_t audioBlockAt(int sequence, int block) {
        return at(sequence, (6 + static_cast<std::size_t>(block) * 16) * 80);
    }

    int sequenceCount() const { return m_sequences; }
    // Offset in the frame of byte `offset` of sequence `sequence`.
    static std::size_t at(int sequence, std::size_t offset) {
        return static_cast<std::size_t>(sequence) * kDvSequenceBytes + offset;
    }

    std::vector<std::uint8_t>& bytes() { return m_frame; }
    const std::vector<std::uint8_t>& bytes() const { return m_frame; }

  private:
    void put(int sequence, std::size_t offset, const std::uint8_t* data, std::size_t count);

    int m_sequences;
    std::vector<std::uint8_t> m_frame;
};

}  // namespace moraven::test
