#pragma once

#include <string>

#include "pipeline/media_framework.h"

namespace moraven {

// The versions of the loaded media framework's libraries; all zero and an empty release when the codec module
// cannot be loaded. Loads the module on first use.
MediaFrameworkVersions mediaFrameworkVersions();

// The media framework's version for the About panel, in place of a DirectX version:
// "FFmpeg 5.1.6-0+deb12u1 (libavutil 57.28.100, libavcodec 59.37.100, libavformat 59.27.100)", or
// "FFmpeg is not available (REASON)" when the codec module cannot be loaded.
std::string MediaFrameworkVersion();

}  // namespace moraven
