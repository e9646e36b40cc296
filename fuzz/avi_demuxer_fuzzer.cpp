// Opens the input as an AVI file (through an in-memory file, since the demuxer reads a path), lists its
// streams and reads a few samples of each, whole and by their first bytes.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "formats/avi_demuxer.h"

namespace {

// A memory-backed file holding the input, closed on every path.
class MemoryFile {
public:
    MemoryFile(const std::uint8_t* data, std::size_t size) : m_fd(::memfd_create("avi", MFD_CLOEXEC)) {
        std::size_t done = 0;
        while (m_fd >= 0 && done < size) {
            const ssize_t n = ::write(m_fd, data + done, size - done);
            if (n <= 0) std::abort();
            done += static_cast<std::size_t>(n);
        }
    }
    ~MemoryFile() {
        if (m_fd >= 0) ::close(m_fd);
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    bool ok() const { return m_fd >= 0; }
    std::string path() const { return "/proc/self/fd/" + std::to_string(m_fd); }

private:
    int m_fd;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MemoryFile file(data, size);
    if (!file.ok()) return 0;
    const moraven::AviDemuxer avi(file.path());
    for (std::size_t s = 0; s < avi.streamCount(); ++s) {
        const moraven::AviStream& stream = avi.streams()[s];
        // Every sample was checked to lie in the file.
        std::uint64_t bytes = 0;
        for (const auto& sample : stream.samples) {
            if (sample.offset > size || sample.size > size - sample.offset) std::abort();
            bytes += sample.size;
        }
        if (bytes != stream.totalBytes) std::abort();
        (void)stream.kind();
        (void)stream.duration();
        (void)stream.frameDuration();
        // The views decode the format block within its bytes, whatever it holds.
        (void)stream.mediaType.videoInfo();
        (void)stream.mediaType.wave();
        (void)stream.mediaType.dvInfo();
        std::vector<std::uint8_t> whole;
        std::array<std::uint8_t, 480> head{};
        const std::size_t count = stream.sampleCount();
        // A sample in the file is read whole unless its chunk header does not match, and then the refusal is
        // counted; a sample past the end of the stream is never read.
        for (const std::size_t i : {std::size_t{0}, count / 2, count - 1, count}) {
            const std::uint64_t refusedBefore = avi.refusedSamples();
            const bool read = avi.readSample(s, i, whole);
            const bool refused = avi.refusedSamples() != refusedBefore;
            if (i >= count && (read || refused)) std::abort();
            if (i < count && read == refused) std::abort();
            if (read && whole.size() != stream.samples[i].size) std::abort();
            const std::size_t got = avi.readSamplePrefix(s, i, head);
            const std::size_t expected = read ? std::min<std::size_t>(head.size(), stream.samples[i].size) : 0;
            if (got != expected) std::abort();
        }
    }
    (void)avi.firstStream(moraven::AviStreamKind::Video);
    return 0;
}
