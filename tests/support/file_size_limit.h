#pragma once

#include <signal.h>
#include <sys/resource.h>

namespace moraven::test {

// Makes every write of this process past `bytes` into a file fail with EFBIG, the way a full disk makes
// writes fail, for the life of the object (the file size limit, with SIGXFSZ ignored). Reads and pipes are
// not affected. ok() is false when the limit could not be set.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    bool ok() const { return m_ok; }

private:
    rlimit m_saved{};
    struct sigaction m_savedAction {};
    bool m_ok = false;
};

}  // namespace moraven::test
