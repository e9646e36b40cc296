#include "support/unprivileged.h"

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace moraven::test {

namespace {

constexpr int kCannotDrop = 125;

}  // namespace

std::optional<int> runUnprivileged(const std::function<int()>& body) {
    if (::geteuid() != 0) return body();
    const pid_t pid = ::fork();
    if (pid < 0) return std::nullopt;
    if (pid == 0) {
        constexpr uid_t kNobody = 65534;
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0 ||
            ::geteuid() == 0) {
            ::_exit(kCannotDrop);
        }
        int result = 1;
        try {
            result = body();
        } catch (...) {
            result = 124;
        }
        ::_exit(result);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return std::nullopt;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) == kCannotDrop) return std::nullopt;
    return WEXITSTATUS(status);
}

}  // namespace moraven::test
