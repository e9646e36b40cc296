#include "app/window_launch.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace moraven {
namespace {

// The running executable's path, from /proc/self/exe; empty when it cannot be read.
std::string executablePath() {
    std::vector<char> buffer(4096);
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= buffer.size()) return {};
    return std::string(buffer.data(), static_cast<std::size_t>(length));
}

}  // namespace

bool displayAvailable(std::FILE* errors) {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return true;
    }
    std::fprintf(errors,
                 "moraven: no display is available for the window (neither DISPLAY nor WAYLAND_DISPLAY is "
                 "set); to run commands without the window, add the letter h to the switches, for "
                 "example: moraven +hd FILE...\n");
    return false;
}

int startWindow(char** argv, std::FILE* errors) {
    if (!displayAvailable(errors)) return 2;
    const std::string self = executablePath();
    const std::size_t slash = self.rfind('/');
    const std::string program =
        (slash == std::string::npos ? std::string(".") : self.substr(0, slash)) + "/" + kWindowProgramName;
    std::fflush(nullptr);
    ::execv(program.c_str(), argv);
    std::fprintf(errors, "moraven: cannot start the window (%s: %s)\n", program.c_str(), std::strerror(errno));
    return 2;
}

}  // namespace moraven
