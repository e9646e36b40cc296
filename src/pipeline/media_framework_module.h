#pragma once

#include <string>

#include "pipeline/media_framework.h"

// Loading the codec module (FFmpeg behind the MediaFramework interface) on first use.
namespace moraven {

// The file name of the codec module, looked for in the folder named by the environment variable
// MORAVEN_MODULE_DIR when it is set, else in the folder of the running executable.
inline constexpr const char* kMediaFrameworkModuleName = "libmoraven_ffmpeg.so";

// The outcome of loading the module: the framework, or nullptr and the reason in words.
struct MediaFrameworkLoad {
    MediaFramework* framework = nullptr;
    std::string error;
};

// Loads the module the first time it is called (from any thread; later and concurrent calls wait for that
// first load and share its outcome, failure included) and keeps it loaded until the process ends.
const MediaFrameworkLoad& loadMediaFramework();

// The path the module is loaded from.
std::string mediaFrameworkModulePath();

}  // namespace moraven
