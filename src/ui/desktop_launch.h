#pragma once

#include <string>
#include <vector>

// Handing files to other programs of the desktop. Both need a running QGuiApplication (the window's).
namespace moraven {

// Opens a file or folder with the program that the desktop associates with it: a folder in the file
// manager, a video in the media player (xdg-open). Failures are not reported.
void openWithDesktop(const std::string& path);

// Starts `program` with `arguments` as they are (no shell, so no quoting is needed), without waiting for it.
// False when it could not be started.
bool startProgram(const std::string& program, const std::vector<std::string>& arguments);

}  // namespace moraven
