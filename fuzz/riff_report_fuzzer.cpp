// The RIFF structure report on arbitrary bytes: every walk must end, never read outside the file, and give
// a complete report (header block, chunk lines, trailer), also when cancelled part way.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "formats/riffunit.h"
#include "memory_file.h"

namespace {

moraven::DateTime fixedClock() { return moraven::DateTime(38183.5); }  // 2004-07-15 12:00

void checkComplete(const std::vector<std::string>& lines) {
    const std::string rule(moraven::RiffReportBuilder::kLineWidth, '-');
    if (lines.size() < 11 + 5 || lines.front() != rule || lines.back() != rule) std::abort();
    for (const auto& line : lines) {
        if (line.find('\0') != std::string::npos) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const MemoryFile file(data, size);
    moraven::RiffReportBuilder builder(fixedClock);

    // Chunk headers are read at positions at least 8 bytes apart inside the file, and the first read that
    // comes up short ends the walk: the pump, called once per chunk, runs at most size / 8 + 1 times.
    std::size_t calls = 0;
    builder.setMessagePump([&] { ++calls; });
    checkComplete(builder.BuildRiffReport(file.path()));
    if (calls > size / 8 + 1 || builder.cancelRequested()) std::abort();

    // Cancelled after a few chunks: the walk stops at once and the report still ends properly.
    const std::size_t cancelAt = size % 8 + 1;
    std::size_t cancelledCalls = 0;
    builder.setMessagePump([&] {
        if (++cancelledCalls == cancelAt) builder.requestCancel();
    });
    checkComplete(builder.BuildRiffReport(file.path()));
    if (cancelledCalls > cancelAt) std::abort();
    return 0;
}
