// The AVI container reader on arbitrary bytes: it must end, never read outside the file, and report
// findings that agree with each other.
#include <cstdint>
#include <cstdlib>

#include "formats/aviinfo.h"
#include "memory_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const MemoryFile file(data, size);
    // Opening the in-memory file cannot fail: a FileError here is a fault and ends the run.
    const moraven::TFriendlyAviParam avi(file.path());
    if (avi.codecCode().size() != 4) std::abort();
    const auto streams = static_cast<std::int64_t>(avi.streams().size());
    if (avi.videoStreamIndex() < -1 || avi.videoStreamIndex() >= streams) std::abort();
    if (avi.streams().size() > moraven::TAviParam::kMaxStreams) std::abort();
    if (avi.videoStreamIndex() >= 0 &&
        avi.codecCode() !=
            avi.streams()[static_cast<std::size_t>(avi.videoStreamIndex())].fccHandler().text()) {
        std::abort();
    }
    return 0;
}
