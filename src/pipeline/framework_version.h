#pragma once

#include <string>

namespace moraven {

// The version of one FFmpeg library: major, minor and micro as the library reports them at run time.
struct LibraryVersion {
    unsigned major = 0;
    unsigned minor = 0;
    unsigned micro = 0;

    friend bool operator==(const LibraryVersion&, const LibraryVersion&) = default;
};

// The versions of the media framework's libraries as loaded at run time (which may differ from those the
// program was built with).
struct MediaFrameworkVersions {
    std::string release;  // FFmpeg's own version text, such as "5.1.6-0+deb12u1"
    LibraryVersion avutil;
    LibraryVersion avcodec;
    LibraryVersion avformat;
};

MediaFrameworkVersions mediaFrameworkVersions();

// The media framework's version for the About panel, in place of a DirectX version:
// "FFmpeg 5.1.6-0+deb12u1 (libavutil 57.28.100, libavcodec 59.37.100, libavformat 59.27.100)".
std::string MediaFrameworkVersion();

}  // namespace moraven
