#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "formats/byte_order.h"
#include "formats/dvcodes.h"
#include "formats/fourcc.h"
#include "formats/media_time.h"
#include "pipeline/video/picture_format.h"

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

// ---- codecs ----
//
// Every codec object below belongs to one thread at a time (it is not safe for concurrent calls; several
// objects may work in parallel, one per worker). Objects are made by the framework and released by deleting
// them; none throws. Pictures are handed over in the tight plane layout of pipeline/video/picture_format.h.

// Sound samples as the codecs exchange them: interleaved signed 16-bit little-endian.
struct PcmFormat {
    int channels = 0;
    int samplesPerSecond = 0;

    friend bool operator==(const PcmFormat&, const PcmFormat&) = default;
};

// What a decoder needs to know of a compressed stream, decoded from its media type by the caller (the
// codec module reads no header layout of its own).
struct CodecStreamInfo {
    bool video = true;
    FourCC codecTag;                          // video: the bitmap header's compression; sound: the wave format tag
    int width = 0;                            // video
    int height = 0;                           // video; negative for a top-down bitmap
    int bitsPerPixel = 0;                     // video: the bitmap header's bit count
    int channels = 0;                         // sound
    int samplesPerSecond = 0;                 // sound
    int bitsPerSample = 0;                    // sound
    int blockAlign = 0;                       // sound
    std::uint32_t averageBytesPerSecond = 0;  // sound
    std::vector<std::uint8_t> extradata;      // the bytes that follow the bitmap header or the wave format
    MediaTime frameDuration;                  // video; zero when not known
};

// DV video: one whole DV frame (120000 or 144000 bytes) into one picture, in the codec's own layout (PAL
// 4:2:0, NTSC 4:1:1), bottom field first, with the frame's 4:3 or 16:9 shape.
class DvVideoDecoder {
public:
    virtual ~DvVideoDecoder() = default;
    // False when the frame cannot be decoded at all; a damaged frame decodes to what the codec makes of it.
    // `picture` is resized to the picture's bytes and overwritten.
    virtual bool decode(Bytes frame, std::vector<std::uint8_t>& picture, PictureFormat& format) = 0;
};

// DV video ("dvsd", 25 Mbit/s) of one system from pictures of that system's format (dvPictureFormat()):
// one picture in, one DV frame out, with the 4:3 or 16:9 shape the encoder was made with. The frame's
// header, subcode and VAUX blocks hold what the encoder writes (no recording date, no timecode); its audio
// blocks hold no sound.
class DvVideoEncoder {
public:
    virtual ~DvVideoEncoder() = default;
    // False when `picture` is not of the encoder's format or the codec fails; `frame` is resized to the DV
    // frame's bytes and overwritten.
    virtual bool encode(Bytes picture, std::vector<std::uint8_t>& frame) = 0;
};

// Any video codec that FFmpeg decodes. Packets go in in file order with their start times; pictures come
// out in display order, each with its own format (which may change within a stream) and start time.
class VideoDecoder {
public:
    virtual ~VideoDecoder() = default;
    // False when the codec refuses the packet (it is then dropped; decoding goes on with the next).
    virtual bool send(Bytes packet, MediaTime start) = 0;
    // No more packets: the pictures still held come out.
    virtual void sendEnd() = 0;
    // The next picture, or false when none is ready (send more, or after sendEnd(): the end).
    virtual bool receive(std::vector<std::uint8_t>& picture, PictureFormat& format, MediaTime& start) = 0;
    // Forgets every packet and picture still held (pictures the codec delays for reordering, pictures not yet
    // received), as after a seek: the next packet sent is decoded as if it were the first, and no picture from
    // before the flush comes out. Packets may be sent again after sendEnd().
    virtual void flush() = 0;
};

// Any sound codec that FFmpeg decodes (PCM of other depths included), into 16-bit samples.
class AudioDecoder {
public:
    virtual ~AudioDecoder() = default;
    virtual bool send(Bytes packet, MediaTime start) = 0;
    virtual void sendEnd() = 0;
    // The next block of samples (whole sample frames), or false when none is ready.
    virtual bool receive(std::vector<std::uint8_t>& pcm, PcmFormat& format) = 0;
    // Forgets every byte and sample still held (a parser's partial frame, the codec's delay, blocks not yet
    // received), as after a seek. Packets may be sent again after sendEnd().
    virtual void flush() = 0;
};

// Pictures of any format made into pictures of one target format: scaled to fit inside the target's
// shape with black bars where the shapes differ, converted to the target's layout, de-interlaced first
// when an interlaced picture changes height, and retimed to the target's frame rate (pictures repeated or
// dropped by their start times; the first output starts at the first input's start).
class PictureConformer {
public:
    virtual ~PictureConformer() = default;
    virtual bool push(const PictureFormat& format, Bytes picture, MediaTime start) = 0;
    virtual void pushEnd() = 0;
    // The next picture of the target format, or false when none is ready.
    virtual bool pull(std::vector<std::uint8_t>& picture, MediaTime& start) = 0;
};

// Pictures of any layout made into BGR24 (PixelLayout::Bgr24) at the same size, for display: one picture
// in, one out, at once. YUV is taken as limited range BT.601, as DV and most AVI codecs carry it; the chroma
// is interpolated by swscale's unscaled path.
class BgrConverter {
public:
    virtual ~BgrConverter() = default;
    // False when `format` has no size or `picture` holds less than one picture of it; `bgr` is resized to
    // width × 3 × height bytes and overwritten (its rows tight, top-down).
    virtual bool convert(const PictureFormat& format, Bytes picture, std::vector<std::uint8_t>& bgr) = 0;
};

// Sound from one rate and channel count to another (16-bit in and out).
class Resampler {
public:
    virtual ~Resampler() = default;
    // Converts `input` (whole sample frames) and appends what is ready to `output`.
    virtual bool convert(Bytes input, std::vector<std::uint8_t>& output) = 0;
    // Appends the samples still held.
    virtual void flush(std::vector<std::uint8_t>& output) = 0;
};

// What the codec module provides. One instance lives as long as the process; every member may be called from
// any thread. Makers answer nullptr, with the reason in `error` when it is given, when the codec or format
// is not available.
class MediaFramework {
public:
    // Bumped whenever this class changes, so that a codec module built against another layout is refused
    // instead of being called through a wrong vtable.
    static constexpr unsigned kInterfaceVersion = 4;

    virtual ~MediaFramework() = default;
    virtual MediaFrameworkVersions versions() const = 0;

    virtual std::unique_ptr<DvVideoDecoder> createDvVideoDecoder(std::string* error = nullptr) const = 0;
    virtual std::unique_ptr<DvVideoEncoder> createDvVideoEncoder(DvSystem system, bool wide,
                                                                 std::string* error = nullptr) const = 0;
    virtual std::unique_ptr<VideoDecoder> createVideoDecoder(const CodecStreamInfo& stream,
                                                             std::string* error = nullptr) const = 0;
    virtual std::unique_ptr<AudioDecoder> createAudioDecoder(const CodecStreamInfo& stream,
                                                             std::string* error = nullptr) const = 0;
    virtual std::unique_ptr<PictureConformer> createPictureConformer(const PictureFormat& target,
                                                                     std::string* error = nullptr) const = 0;
    virtual std::unique_ptr<Resampler> createResampler(PcmFormat from, PcmFormat to,
                                                       std::string* error = nullptr) const = 0;
    virtual std::unique_ptr<BgrConverter> createBgrConverter(std::string* error = nullptr) const = 0;
};

// The codec module's entry point, looked up by this name: answers its framework when `interfaceVersion` is
// the one it was built with, else nullptr.
inline constexpr const char* kMediaFrameworkEntryPoint = "moravenMediaFramework";
using MediaFrameworkEntry = MediaFramework* (*)(unsigned interfaceVersion);

}  // namespace moraven
