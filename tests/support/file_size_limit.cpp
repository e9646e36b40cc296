#include "support/file_size_limit.h"

namespace moraven::test {

FileSizeLimit::FileSizeLimit(rlim_t bytes) {
    if (::getrlimit(RLIMIT_FSIZE, &m_saved) != 0) return;
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    if (::sigaction(SIGXFSZ, &ignore, &m_savedAction) != 0) return;
    rlimit limited = m_saved;
    limited.rlim_cur = bytes;
    m_ok = ::setrlimit(RLIMIT_FSIZE, &limited) == 0;
}

FileSizeLimit::~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &m_saved);
    ::sigaction(SIGXFSZ, &m_savedAction, nullptr);
}

}  // namespace moraven::test
