#include "formats/avi_fichier.h"

#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

#include "formats/avi_demuxer.h"
#include "formats/aviinfo.h"
#include "formats/binary_file.h"
#include "formats/ds_functions.h"
#include "formats/fourcc.h"
#include "formats/fpsunit.h"
#include "formats/list_scan.h"
#include "formats/scene_file.h"

namespace moraven {

namespace {

constexpr double kTicksPerSecond = 1e7;
// The 50/60 flag of the VAUX source pack, in the VAUX source word of the DV information block: set for
// 625 lines and 50 fields.
constexpr std::uint32_t kVauxFiftyFieldsFlag = 0x00200000;

// Rounds to the nearest integer, halves to the even neighbour.
double roundHalfToEven(double value) {
    const double below = std::floor(value);
    const double fraction = value - below;
    if (fraction != 0.5) return std::round(value);
    return std::fmod(below, 2.0) == 0.0 ? below : below + 1.0;
}

std::string decimal(long long value) { return std::to_string(value); }

// " mono", " stereo", " stereo (6)"; "no channel" has no blank before it.
std::string channelsText(std::uint16_t channels) {
    switch (channels) {
        case 0:
            return "no channel";
        case 1:
            return " mono";
        case 2:
            return " stereo";
        default:
            return " stereo (" + decimal(channels) + ")";
    }
}

std::string timecodeText(const TDvTimecode& timecode) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2d.%.2d.%.2d.%.2d", timecode.hours, timecode.minutes,
                  timecode.seconds, timecode.frames);
    return text;
}

}  // namespace

TaviFichier::TaviFichier(const std::string& path, const FileRecordOptions& options) : TSRFichier(path) {
    readAviFacts(options, nullptr);
}

TaviFichier::TaviFichier(const std::string& path, const FileRecordOptions& options, const AviDemuxer& demuxer)
    : TSRFichier(path) {
    readAviFacts(options, &demuxer);
}

void TaviFichier::readAviFacts(const FileRecordOptions& options, const AviDemuxer* shared) {
    const std::string& fullPath = FullPath();

    // Until the file proves to be DV, it is a readable file that is not.
    m_datecodeText = "-";
    m_timecodeText = "-";
    m_datecodeKey = kNotDvDatecodeKey;
    m_tvSystem = 0;

    m_hasScenes = fileExists(sceneFilePath(fullPath));

    // The container reader: is this a readable AVI file, and what is its video handler?
    bool readable = false;
    try {
        const TFriendlyAviParam avi(fullPath);
        readable = avi.ok();
        if (readable) m_codec = avi.codecCode();
    } catch (const FileError&) {
        // A file that cannot be opened reads as a file that is not AVI; the handler read below tells the
        // caller when it exists but is closed to us.
    }
    if (!readable) {
        m_timecodeText.clear();
        m_datecodeText.clear();
        m_codec.clear();
        m_datecodeKey = kUnreadableDatecodeKey;
    }

    // The list scan, over the caller's demuxer or one of our own. A DV splitter takes only the handler
    // "dvsd": a DV file announced with another one ("CDVC", "dv25") is scanned again as if its video stream
    // header said "dvsd". The file is only read: the handler is replaced in memory.
    std::optional<AviDemuxer> own;
    const AviDemuxer* demuxer = shared;
    if (demuxer == nullptr) {
        try {
            own.emplace(fullPath);
            demuxer = &*own;
        } catch (const FileError&) {
            // Told below: the handler read throws for a file that exists but is closed to us.
        }
    }
    const auto scanWith = [&](std::optional<FourCC> handler, TListScanResult& result) {
        try {
            return demuxer != nullptr && ScanFile(*demuxer, result, handler);
        } catch (const FileError&) {
            return false;
        }
    };
    TListScanResult scan;
    if (!scanWith(std::nullopt, scan)) {
        AviHeaderPatcher patcher;
        const std::optional<std::uint32_t> handler = patcher.GetVideoCodec(fullPath);  // may throw FileError
        const FourCC dvsd = FourCC::of("dvsd");
        if (handler && *handler != dvsd.value() && !scanWith(dvsd, scan)) {
            m_timecodeText.clear();
            m_datecodeText.clear();
            m_datecodeKey = kUnreadableDatecodeKey;
        }
    }

    // Video.
    bool height525Lines = false;
    const std::optional<VideoInfo> video = scan.VideoFormat ? scan.VideoFormat->videoInfo() : std::nullopt;
    if (video) {
        m_width = video->bitmap.width;
        m_height = video->bitmap.height;
        m_imageText = decimal(m_width) + " x " + decimal(m_height);
        height525Lines = m_height % 60 == 0;
        // Frames per second to two decimals. A stream without a frame duration has no frame rate: its
        // durations are told in milliseconds.
        const std::int64_t frameDuration = video->frameDuration.ticks();
        if (frameDuration > 0) m_fps = roundHalfToEven(1e9 / static_cast<double>(frameDuration)) / 100.0;
        m_videoDurationText = FramesDurationText(frameDuration, scan.VideoDuration.ticks());
    } else {
        m_codec.clear();
        m_imageText = "N/A";
        m_fps = 0.0;
    }

    // Audio, its duration counted in frames of the video's rate.
    const std::optional<WaveFormat> audio = scan.AudioFormat ? scan.AudioFormat->wave() : std::nullopt;
    if (audio) {
        const std::uint16_t bits = audio->bitsPerSample;
        m_audioText = decimal(audio->samplesPerSecond) + "Hz ";
        if (bits >= 1) m_audioText += decimal(bits) + " bits ";
        m_audioText += channelsText(audio->channels);
        m_audioFormatText =
            AudioTagName(audio->formatTag) + " " + decimal(audio->averageBytesPerSecond) + " bytes/s";
        const std::int64_t audioDuration = scan.AudioDuration.ticks();
        if (m_fps != 0.0) {
            const auto frameDuration = static_cast<std::int64_t>(roundHalfToEven(kTicksPerSecond / m_fps));
            m_audioDurationText = FramesDurationText(frameDuration, audioDuration);
        } else {
            m_audioDurationText = MsDurationText(audioDuration);
        }
    } else {
        m_audioText = "N/A";
    }

    if (m_audioText == "N/A" && m_imageText == "N/A") m_datecodeKey = kUnreadableDatecodeKey;

    const std::string codec = lowerCaseKey(m_codec);
    m_isDv = codec == "dvsd" || codec == "dsvd" || codec == "cdvc";
    if (m_isDv) {
        // Type and TV system: from the DV information block of an interleaved stream, else from the height.
        const std::optional<DvInfo> dvInfo = scan.InterleavedFormat ? scan.InterleavedFormat->dvInfo() : std::nullopt;
        if (dvInfo) {
            m_dvType = scan.StreamCount >= 2 ? 2 : 1;
            m_type2Iavs = m_dvType == 2;
            if ((dvInfo->vauxSrc & kVauxFiftyFieldsFlag) != 0) {
                m_imageText += " (Pal";
                m_tvSystem = 1;
                m_fps = 25.0;
            } else {
                m_imageText += " (NTSC";
                m_tvSystem = 2;
                m_fps = 30000.0 / 1001.0;
            }
        } else {
            m_dvType = 2;
            m_imageText += height525Lines ? " (NTSC" : " (Pal";
            m_tvSystem = height525Lines ? 2 : 1;
        }

        // The picture shape, and the height that shows it at the picture's width.
        m_is16x9 = scan.Dv.Is16x9;
        m_imageText += m_is16x9 ? " 16x9)" : " 4x3)";
        const std::int64_t width = m_width;
        m_height = static_cast<std::int32_t>(m_is16x9 ? width * 9 / 16 : width * 3 / 4);

        if (scan.Dv.HasDate) {
            m_datecode = scan.Dv.RecordedAt;
            m_datecodeText = formatDateTime(options.datecodePattern, m_datecode, options.locale)
                                 .value_or(std::string("N/A"));
        } else {
            m_datecodeText = "N/A";
        }

        // DV's 12-bit non-linear sound is sampled at 32 kHz and reaches the program expanded to 16 bits.
        if (audio && audio->samplesPerSecond == 32000 && audio->bitsPerSample == 16) {
            m_audioText = "32000Hz 12(16) bits " + channelsText(audio->channels);
        }

        m_timecodeText = scan.Dv.HasTimecode ? timecodeText(scan.Dv.Timecode) : "N/A";

        std::optional<std::string> key;
        if (scan.Dv.HasDate) key = formatDateTime("yyyymmddhhnnss", m_datecode);
        m_datecodeKey = key.value_or(std::string("N/A"));
    }

    m_listKey = m_datecodeKey + lowerCaseKey(FileName() + fullPath);
}

}  // namespace moraven
