// Feeds arbitrary bytes to the DV pack readers and writer: as they come, and tiled into whole PAL and NTSC
// frames so that short inputs reach the packs. Nothing may crash or touch a byte outside the buffer; a
// written date must read back and must change no byte outside the date and time packs.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "formats/dvcodes.h"

namespace {

using moraven::TDvRecDate;

void readEverything(std::span<const std::uint8_t> frame) {
    for (int n = -1; n <= moraven::kDvPackSequences; ++n) {
        (void)moraven::DvReadTimecode(frame, n);
        (void)moraven::DvReadRecDate(frame, n);
    }
    const auto found = moraven::DvFindRecDate(frame);
    if (found.date.isPresent() != (found.sequence >= 0)) std::abort();
    (void)moraven::DvFindTimecode(frame);
    (void)moraven::DvHasSourceControl(frame);
    (void)moraven::DvSystemOf(frame);
    (void)moraven::DvAudioFrequency(frame);
    (void)moraven::DvAudioQuantization(frame);
    (void)moraven::DvIs16x9(frame);
}

// A date and a sequence index taken from the input's first bytes (any values, valid or not).
TDvRecDate dateFrom(std::span<const std::uint8_t> input, int& sequence) {
    auto at = [&](std::size_t i) -> std::uint8_t { return i < input.size() ? input[i] : 0; };
    TDvRecDate date;
    date.year = static_cast<std::int32_t>(
        static_cast<std::uint32_t>(at(0)) | (static_cast<std::uint32_t>(at(1)) << 8) |
        (static_cast<std::uint32_t>(at(2)) << 16) | (static_cast<std::uint32_t>(at(3)) << 24));
    date.month = at(4);
    date.day = at(5);
    date.hour = at(6);
    date.minute = at(7);
    date.second = at(8);
    sequence = static_cast<std::int8_t>(at(9)) % 12;
    return date;
}

bool digitsFit(const TDvRecDate& d) {
    return d.year >= 1940 && d.year <= 2039 && d.month <= 19 && d.day <= 39 && d.hour <= 39 &&
           d.minute <= 79 && d.second <= 79;
}

// True when `a` and `b` hold the same bytes in [from, to).
bool sameRange(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b, std::size_t from,
               std::size_t to) {
    return from >= to || std::memcmp(a.data() + from, b.data() + from, to - from) == 0;
}

void writeAndCheck(std::vector<std::uint8_t> frame, const TDvRecDate& date, int sequence) {
    const std::vector<std::uint8_t> before = frame;
    moraven::DvWriteRecDate(frame, date, sequence);
    const bool writes = frame.size() >= moraven::kDvMinFrameBytes && sequence >= 0 &&
                        sequence < moraven::kDvPackSequences && date.isPresent();
    if (!writes) {
        if (!sameRange(frame, before, 0, frame.size())) std::abort();
        readEverything(frame);
        return;
    }
    // Only bytes 458 to 467 of the sequence may change, and of those neither 459 nor 464.
    const std::size_t base = static_cast<std::size_t>(sequence) * moraven::kDvSequenceBytes;
    if (!sameRange(frame, before, 0, base + 458) || !sameRange(frame, before, base + 468, frame.size()) ||
        frame[base + 459] != before[base + 459] || frame[base + 464] != before[base + 464]) {
        std::abort();
    }
    if (digitsFit(date) && !(moraven::DvReadRecDate(frame, sequence) == date)) std::abort();
    readEverything(frame);
}

// The input repeated over `size` bytes (cut short when it is longer).
std::vector<std::uint8_t> tiled(std::span<const std::uint8_t> input, std::size_t size) {
    std::vector<std::uint8_t> frame(size, 0);
    if (input.empty()) return frame;
    for (std::size_t pos = 0; pos < size; pos += input.size()) {
        std::memcpy(frame.data() + pos, input.data(), std::min(input.size(), size - pos));
    }
    return frame;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);
    readEverything(input);

    int sequence = 0;
    const TDvRecDate date = dateFrom(input, sequence);
    writeAndCheck(std::vector<std::uint8_t>(input.begin(), input.end()), date, sequence);
    for (const std::size_t frameSize : {moraven::kDvPalFrameBytes, moraven::kDvNtscFrameBytes}) {
        const auto frame = tiled(input, frameSize);
        readEverything(frame);
        writeAndCheck(frame, date, sequence);
    }
    return 0;
}
