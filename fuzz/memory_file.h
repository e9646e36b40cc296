#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

// The fuzz input as a file that the format layer can open by path: an anonymous in-memory file (memfd)
// reached through /proc/self/fd. Closed when the object goes, so no run leaks a descriptor.
class MemoryFile {
  public:
    MemoryFile(const std::uint8_t* data, std::size_t size) {
        m_fd = ::memfd_create("fuzz-input", MFD_CLOEXEC);
        if (m_fd < 0) std::abort();
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = ::write(m_fd, data + done, size - done);
            if (n <= 0) std::abort();
            done += static_cast<std::size_t>(n);
        }
        m_path = "/proc/self/fd/" + std::to_string(m_fd);
    }
    ~MemoryFile() { ::close(m_fd); }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    const std::string& path() const { return m_path; }

    // The file's bytes as they are now.
    std::vector<std::uint8_t> contents() const {
        const off_t size = ::lseek(m_fd, 0, SEEK_END);
        if (size < 0) std::abort();
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
        if (!bytes.empty() && ::pread(m_fd, bytes.data(), bytes.size(), 0) != size) std::abort();
        return bytes;
    }

  private:
    int m_fd = -1;
    std::string m_path;
};
