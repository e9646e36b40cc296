#include "app/window_launch.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "formats/executable_path.h"

namespace moraven {

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
    const std::string folder = ownExecutableFolder();
    const std::string program = (folder.empty() ? std::string(".") : folder) + "/" + kWindowProgramName;
    std::fflush(nullptr);
    ::execv(program.c_str(), argv);
    std::fprintf(errors, "moraven: cannot start the window (%s: %s)\n", program.c_str(), std::strerror(errno));
    return 2;
}

}  // namespace moraven
