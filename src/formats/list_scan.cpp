#include "formats/list_scan.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <vector>

#include "formats/binary_file.h"
#include "formats/dvcodes.h"

namespace moraven {

namespace {

// Offsets in the video-info header.
constexpr std::size_t kBitRateOffset = 32;
constexpr std::size_t kFrameDurationOffset = 40;
constexpr std::size_t kBitmapOffset = 48;
constexpr std::size_t kBitmapBytes = 40;

constexpr std::uint16_t kPcmTag = 1;

// The bits per second of `bytes` played in `duration`; 0 without a duration, at most 2^32 - 1.
std::uint32_t bitRate(std::uint64_t bytes, MediaTime duration) {
    if (duration.ticks() <= 0) return 0;
    const double rate = static_cast<double>(bytes) * 8.0 / duration.seconds();
    return rate >= 4294967295.0 ? std::numeric_limits<std::uint32_t>::max()
                                : static_cast<std::uint32_t>(rate);
}

// The video-info header of a stream whose bitmap header is `bitmap` (at least its 40 bytes).
std::array<std::uint8_t, kVideoInfoBytes> videoInfo(Bytes bitmap, MediaTime frameDuration,
                                                    std::uint32_t bitsPerSecond) {
    std::array<std::uint8_t, kVideoInfoBytes> block{};
    putU32le(block, kBitRateOffset, bitsPerSecond);
    putU64le(block, kFrameDurationOffset, static_cast<std::uint64_t>(frameDuration.ticks()));
    std::copy_n(bitmap.begin(), kBitmapBytes, block.begin() + kBitmapOffset);
    return block;
}

// The video a DV splitter delivers for frames of `system`: "dvsd" at the system's size and frame time.
std::array<std::uint8_t, kVideoInfoBytes> dvVideoInfo(DvSystem system) {
    const bool pal = system == DvSystem::Pal625;
    const std::uint32_t frameBytes = pal ? kDvPalFrameBytes : kDvNtscFrameBytes;
    const MediaTime frameTime = pal ? kPalFrameDuration : kNtscFrameDuration;
    std::array<std::uint8_t, kBitmapBytes> bitmap{};
    putU32le(bitmap, 0, kBitmapBytes);
    putU32le(bitmap, 4, 720);
    putU32le(bitmap, 8, pal ? 576 : 480);
    putU16le(bitmap, 12, 1);   // planes
    putU16le(bitmap, 14, 24);  // bit count
    putU32le(bitmap, 16, FourCC::of("dvsd").value());
    putU32le(bitmap, 20, frameBytes);
    return videoInfo(bitmap, frameTime, bitRate(frameBytes, frameTime));
}

// The 16-bit PCM wave format a DV splitter delivers for `samplesPerSecond`. DV carries its sound in pairs of
// channels (the four-channel 32 kHz mode as two pairs); the splitter's first sound output is one stereo pair.
std::array<std::uint8_t, kAudioFormatBytes> dvAudioFormat(std::uint32_t samplesPerSecond) {
    constexpr std::uint16_t kChannels = 2;
    constexpr std::uint16_t kBlockAlign = kChannels * 2;
    std::array<std::uint8_t, kAudioFormatBytes> block{};
    putU16le(block, 0, kPcmTag);
    putU16le(block, 2, kChannels);
    putU32le(block, 4, samplesPerSecond);
    putU32le(block, 8, samplesPerSecond * kBlockAlign);
    putU16le(block, 12, kBlockAlign);
    putU16le(block, 14, 16);
    return block;  // extra size 0
}

// Sequence 0 up to the end of its AAUX source pack (audio block 3 starts at byte 4320): the header, subcode
// and VAUX blocks whose packs the frame analysis reads first, and the sound format the DV splitter reads.
constexpr std::size_t kFirstFramePrefixBytes = 4328;

// True when sequence 0 of `frame` holds a date, a timecode and the source control pack. The frame analysis
// takes each of them from the first sequence that holds it, so it then reads nothing past sequence 0.
bool sequence0HasEveryPack(Bytes frame) {
    constexpr std::size_t kSourceControlPack = 453;
    return DvReadRecDate(frame, 0).isPresent() && DvReadTimecode(frame, 0).hours < 128 &&
           frame[kSourceControlPack] == 0x61;
}

// Reads the first frame of `stream` into `frame`, sized as the whole frame: its first 4328 bytes when
// sequence 0 holds every pack that the frame analysis looks for (the rest of the buffer is then zero and
// never read), else the whole frame. False when the stream has no frame or it cannot be read.
bool readFirstFrame(const AviDemuxer& demuxer, const AviStream& stream, std::vector<std::uint8_t>& frame) {
    if (stream.samples.empty()) return false;
    const auto number = static_cast<std::size_t>(stream.number);
    const std::size_t size = stream.samples.front().size;
    if (size >= kDvMinFrameBytes) {
        frame.assign(size, 0);
        const auto prefix = MutableBytes(frame).first(kFirstFramePrefixBytes);
        if (demuxer.readSamplePrefix(number, 0, prefix) < prefix.size()) return false;
        if (sequence0HasEveryPack(frame)) return true;
    }
    return demuxer.readSample(number, 0, frame);
}

// The facts of one frame as the frame analysis finds them.
TDvFrameInfo frameFacts(Bytes frame, MediaTime duration) {
    // The ring of the analysis is large; keep it off the stack.
    auto analysis = std::make_unique<DvFrameAnalysis>();
    analysis->analyseFrame(frame, MediaTime(), duration);
    return analysis->CurrentInfo();
}

class Scanner {
public:
    Scanner(const AviDemuxer& demuxer, TListScanResult& result) : m_demuxer(demuxer), m_result(result) {}

    bool run() {
        m_result.StreamCount = static_cast<std::int32_t>(m_demuxer.streamCount());
        for (const AviStream& stream : m_demuxer.streams()) {
            const bool analysed = DvFrameAnalysis::accepts(stream.header.type, stream.header.handler);
            m_haveFrame = (analysed || stream.kind() == AviStreamKind::Interleaved) &&
                          readFirstFrame(m_demuxer, stream, m_frame);
            if (analysed && m_haveFrame) m_result.Dv = frameFacts(m_frame, stream.frameDuration());
            switch (stream.kind()) {
                case AviStreamKind::Video:
                    takeVideo(stream);
                    break;
                case AviStreamKind::Audio:
                    takeAudio(stream);
                    break;
                case AviStreamKind::Interleaved:
                    if (!takeInterleaved(stream)) return false;
                    break;
                default:
                    break;
            }
        }
        return true;
    }

private:
    void takeVideo(const AviStream& stream) {
        if (m_result.HasVideoFormat || stream.format.size() < kBitmapBytes) return;
        const MediaTime duration = stream.duration();
        m_result.VideoFormat =
            videoInfo(stream.format, stream.frameDuration(), bitRate(stream.totalBytes, duration));
        m_result.HasVideoFormat = true;
        m_result.VideoDuration = duration;
    }

    void takeAudio(const AviStream& stream) {
        // A 16-byte PCM format (no extra-size field) is delivered as an 18-byte one with extra size 0.
        if (m_result.HasAudioFormat || !stream.wave) return;
        m_result.AudioFormat.fill(0);
        std::copy_n(stream.format.begin(), std::min(stream.format.size(), kAudioFormatBytes),
                    m_result.AudioFormat.begin());
        m_result.HasAudioFormat = true;
        m_result.AudioDuration = stream.duration();
    }

    // The interleaved stream, then what the DV splitter makes of it. False when the splitter refuses it.
    bool takeInterleaved(const AviStream& stream) {
        if (m_result.HasDvInfo || stream.format.size() < kDvInfoBytes) return true;
        const MediaTime duration = stream.duration();
        std::copy_n(stream.format.begin(), kDvInfoBytes, m_result.DvInfo.begin());
        m_result.HasDvInfo = true;
        m_result.VideoDuration = duration;
        m_result.AudioDuration = duration;

        // The DV splitter takes standard-definition DV only, announced by the handler in lower case.
        if (stream.header.handler != FourCC::of("dvsd")) return false;
        if (!m_haveFrame) return true;
        DvSystem system = DvSystemOf(m_frame);
        if (system == DvSystem::Unknown) {
            if (m_frame.size() == kDvPalFrameBytes) system = DvSystem::Pal625;
            if (m_frame.size() == kDvNtscFrameBytes) system = DvSystem::Ntsc525;
        }
        if (!m_result.HasVideoFormat && system != DvSystem::Unknown) {
            m_result.VideoFormat = dvVideoInfo(system);
            m_result.HasVideoFormat = true;
        }
        const std::int32_t frequency = DvAudioFrequency(m_frame);
        const std::int32_t quantization = DvAudioQuantization(m_frame);
        // 12-bit non-linear sound is expanded: the splitter delivers 16-bit samples in every case.
        if (!m_result.HasAudioFormat && frequency > 0 && (quantization == 16 || quantization == 12)) {
            m_result.AudioFormat = dvAudioFormat(static_cast<std::uint32_t>(frequency));
            m_result.HasAudioFormat = true;
        }
        return true;
    }

    const AviDemuxer& m_demuxer;
    TListScanResult& m_result;
    std::vector<std::uint8_t> m_frame;  // the first frame of the stream being looked at
    bool m_haveFrame = false;
};

}  // namespace

std::int32_t TListScanResult::videoWidth() const {
    return HasVideoFormat ? s32le(VideoFormat, kBitmapOffset + 4) : 0;
}

std::int32_t TListScanResult::videoHeight() const {
    return HasVideoFormat ? s32le(VideoFormat, kBitmapOffset + 8) : 0;
}

MediaTime TListScanResult::videoFrameDuration() const {
    return HasVideoFormat
               ? MediaTime::fromTicks(static_cast<std::int64_t>(u64le(VideoFormat, kFrameDurationOffset)))
               : MediaTime();
}

FourCC TListScanResult::videoCompression() const {
    return HasVideoFormat ? FourCC::at(VideoFormat, kBitmapOffset + 16) : FourCC();
}

std::uint16_t TListScanResult::audioFormatTag() const { return HasAudioFormat ? u16le(AudioFormat, 0) : 0; }
std::uint16_t TListScanResult::audioChannels() const { return HasAudioFormat ? u16le(AudioFormat, 2) : 0; }
std::uint32_t TListScanResult::audioSamplesPerSecond() const {
    return HasAudioFormat ? u32le(AudioFormat, 4) : 0;
}
std::uint32_t TListScanResult::audioAverageBytesPerSecond() const {
    return HasAudioFormat ? u32le(AudioFormat, 8) : 0;
}
std::uint16_t TListScanResult::audioBitsPerSample() const {
    return HasAudioFormat ? u16le(AudioFormat, 14) : 0;
}
std::uint32_t TListScanResult::dvInfoVauxSource() const { return HasDvInfo ? u32le(DvInfo, 16) : 0; }

bool ScanFile(const std::string& path, TListScanResult& result) {
    result = TListScanResult{};
    try {
        const AviDemuxer demuxer(path);
        if (!demuxer.isAvi()) return false;
        return Scanner(demuxer, result).run();
    } catch (const FileError&) {
        return false;
    }
}

}  // namespace moraven
