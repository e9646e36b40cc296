#pragma once

#include <cstdio>

namespace moraven {

// Whether a display can be reached: an X11 or Wayland display is set, or Qt is told which platform to use.
// When none can, says so on `errors`, with the hidden mode that needs none.
bool displayAvailable(std::FILE* errors);

// The file name of the window's program, which sits beside `moraven`.
inline constexpr const char* kWindowProgramName = "moraven-window";

// Starts the window in place of this process: replaces it (execv) with the window's program, found beside the
// running executable, handing on `argv` unchanged. Returns only on failure, with the exit status: 2, after
// saying on `errors` that no display is available (and how to run without the window) or that the window's
// program could not be started.
int startWindow(char** argv, std::FILE* errors);

}  // namespace moraven
