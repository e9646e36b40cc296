#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "formats/fourcc.h"

// The AVI header patcher: rewrites, in place, the frame rate or the four-character handler (the codec
// code) of an AVI file's video stream header. Only the "strh" chunk of the video stream (type "vids" or
// "iavs") is written; the main header, the OpenDML headers, the stream format and the indexes stay as
// they are. Nothing else in the file changes.
namespace moraven {

class BinaryFile;

// One patcher holds the offsets found by its last walk; they are valid for that file only. Use it from
// one thread at a time. Every operation walks the file first, then opens it again for its own access and
// closes it before returning.
class AviHeaderPatcher {
  public:
    // Called before every chunk of a walk, so that a long walk can let the window process its messages.
    using MessagePump = std::function<void()>;

    // dwRate written by SetFrameRate; dwScale carries the frame rate against it.
    static constexpr std::uint32_t kRate = 1000000;
    // Lists nested deeper than this are skipped whole instead of visited (an AVI file nests three deep).
    static constexpr int kMaxListDepth = 64;

    explicit AviHeaderPatcher(MessagePump pumpMessages = {});

    // Walks the file and records where the last video stream header's fccHandler and dwScale fields are.
    // A missing path (or one that is not a regular file) finds nothing. Throws FileError when the file
    // exists but cannot be opened for reading. The walk stops at the first read that comes up short;
    // what it found before stays valid.
    void LocateVideoHeader(const std::string& path);

    // The video stream's handler code (bytes lowest first = the characters in file order), or nullopt
    // when the file has no video stream header. Throws FileError when the file cannot be opened or read.
    std::optional<std::uint32_t> GetVideoCodec(const std::string& path);

    // Writes `code` over the video stream's handler, lowest byte first. True when the four bytes were
    // written; false on any error and when the file has no video stream header. Never throws.
    bool SetVideoCodec(const std::string& path, std::uint32_t code);

    // Writes dwScale = scaleForFrameRate(framesPerSecond) and dwRate = kRate into the video stream header.
    // Writes nothing when the file has no video stream header. Throws std::invalid_argument for a frame
    // rate that cannot be written (before the file is touched) and FileError when the file cannot be
    // opened or written.
    void SetFrameRate(const std::string& path, double framesPerSecond);

    // dwScale for a rate against kRate: 1000000 / framesPerSecond rounded to the nearest integer, halves
    // to even (25 -> 40000, 29.97 -> 33367, 24 -> 41667). Throws std::invalid_argument when
    // framesPerSecond is not a positive finite number or the scale would be 0 or not fit 32 bits.
    static std::uint32_t scaleForFrameRate(double framesPerSecond);

    // Results of the last walk.
    bool found() const { return m_handlerOffset.has_value(); }
    // File offset of fccHandler: the "strh" chunk's start + 12.
    std::optional<std::uint64_t> handlerOffset() const { return m_handlerOffset; }
    // File offset of dwScale: the "strh" chunk's start + 28; dwRate follows at + 4.
    std::optional<std::uint64_t> scaleOffset() const { return m_scaleOffset; }
    // The walk stopped at a read that came up short (a truncated file).
    bool shortRead() const { return m_shortRead; }

  private:
    std::int64_t VisitChunk(BinaryFile& file, bool topLevel, int depth);
    bool readFully(BinaryFile& file, std::uint8_t* bytes, std::size_t count);

    MessagePump m_pumpMessages;
    std::optional<std::uint64_t> m_handlerOffset;
    std::optional<std::uint64_t> m_scaleOffset;
    bool m_shortRead = false;
    // Type of the stream header met last: decides how much of the next "strf" chunk is read.
    FourCC m_streamType;
};

}  // namespace moraven
