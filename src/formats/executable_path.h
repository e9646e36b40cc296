#pragma once

#include <string>

namespace moraven {

// The absolute path of the running executable (/proc/self/exe); empty when the kernel does not say.
std::string ownExecutablePath();

// The folder of the running executable, without a trailing "/"; empty when its path is unknown.
std::string ownExecutableFolder();

}  // namespace moraven
