#pragma once

#include <string>

// The media framework as the rest of the program sees it: an interface without any FFmpeg type. Its
// implementation lives in the codec module (pipeline/ffmpeg/), a shared object that is loaded the first time
// something asks for the framework, so that the command-line paths which never decode a picture do not pay
// for loading FFmpeg's libraries.
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

// What the codec module provides. One instance lives as long as the process; every member may be called from
// any thread.
class MediaFramework {
public:
    // Bumped whenever this class changes, so that a codec module built against another layout is refused
    // instead of being called through a wrong vtable.
    static constexpr unsigned kInterfaceVersion = 1;

    virtual ~MediaFramework() = default;
    virtual MediaFrameworkVersions versions() const = 0;
};

// The codec module's entry point, looked up by this name: answers its framework when `interfaceVersion` is
// the one it was built with, else nullptr.
inline constexpr const char* kMediaFrameworkEntryPoint = "moravenMediaFramework";
using MediaFrameworkEntry = MediaFramework* (*)(unsigned interfaceVersion);

}  // namespace moraven
