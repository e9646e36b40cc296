// The window's program: `moraven` starts it in its own place (execv) with the same arguments when the
// window is wanted, so that the command-line paths never load Qt Widgets.
#include <cstdio>
#include <string>
#include <vector>

#include "app/window_mode.h"

int main(int argc, char** argv) {
    const std::vector<std::string> parameters(argv + 1, argv + argc);
    return moraven::runWindow(argc, argv, parameters, stderr);
}
