#include "formats/list_scan.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "formats/binary_file.h"
#include "formats/dvcodes.h"

namespace moraven {

namespace {

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
    Scanner(const AviDemuxer& demuxer, TListScanResult& result, std::optional<FourCC> videoHandler)
        : m_demuxer(demuxer), m_result(result) {
        if (!videoHandler) return;
        // The header patcher writes the handler of the last video stream header; the scan reads that stream
        // as if it had been written, with a copy of its header and type.
        const auto& streams = demuxer.streams();
        for (auto it = streams.rbegin(); it != streams.rend(); ++it) {
            const AviStreamKind kind = it->kind();
            if (kind != AviStreamKind::Video && kind != AviStreamKind::Interleaved) continue;
            m_amended = *it;
            m_amended->header.handler = *videoHandler;
            m_amended->mediaType = MediaType::fromStreamHeader(m_amended->header, copyOf(it->mediaType.format()));
            m_amendedNumber = it->number;
            break;
        }
    }

    bool run() {
        m_result.StreamCount = static_cast<std::int32_t>(m_demuxer.streamCount());
        for (const AviStream& original : m_demuxer.streams()) {
            const AviStream& stream =
                m_amended && original.number == m_amendedNumber ? *m_amended : original;
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
        if (m_result.VideoFormat || !stream.mediaType.bitmap()) return;
        const MediaTime duration = stream.duration();
        MediaType type = stream.mediaType;
        type.setBitRate(bitsPerSecond(stream.totalBytes, duration));
        m_result.VideoFormat = std::move(type);
        m_result.VideoDuration = duration;
    }

    void takeAudio(const AviStream& stream) {
        if (m_result.AudioFormat || !stream.mediaType.wave()) return;
        m_result.AudioFormat = stream.mediaType;
        m_result.AudioDuration = stream.duration();
    }

    // The interleaved stream, then what the DV splitter makes of it. False when the splitter refuses it.
    bool takeInterleaved(const AviStream& stream) {
        if (m_result.InterleavedFormat || !stream.mediaType.dvInfo()) return true;
        const MediaTime duration = stream.duration();
        m_result.InterleavedFormat = stream.mediaType;
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
        if (!m_result.VideoFormat && system != DvSystem::Unknown) m_result.VideoFormat = MediaType::dvVideo(system);
        const std::int32_t frequency = DvAudioFrequency(m_frame);
        const std::int32_t quantization = DvAudioQuantization(m_frame);
        // 12-bit non-linear sound is expanded: the splitter delivers 16-bit samples in every case. DV carries
        // its sound in pairs of channels (the four-channel 32 kHz mode as two pairs); the splitter's first
        // sound output is one stereo pair.
        if (!m_result.AudioFormat && frequency > 0 && (quantization == 16 || quantization == 12)) {
            m_result.AudioFormat = MediaType::pcm(2, static_cast<std::uint32_t>(frequency), 16);
        }
        return true;
    }

    static std::vector<std::uint8_t> copyOf(Bytes bytes) { return {bytes.begin(), bytes.end()}; }

    const AviDemuxer& m_demuxer;
    TListScanResult& m_result;
    // The stream whose handler the caller replaced, as the scan reads it (its samples copied too: a file
    // that needs this is small enough, one type 1 stream), and its number.
    std::optional<AviStream> m_amended;
    int m_amendedNumber = -1;
    std::vector<std::uint8_t> m_frame;  // the first frame of the stream being looked at
    bool m_haveFrame = false;
};

}  // namespace

bool ScanFile(const AviDemuxer& demuxer, TListScanResult& result, std::optional<FourCC> videoHandler) {
    result = TListScanResult{};
    if (!demuxer.isAvi()) return false;
    return Scanner(demuxer, result, videoHandler).run();
}

bool ScanFile(const std::string& path, TListScanResult& result, std::optional<FourCC> videoHandler) {
    result = TListScanResult{};
    try {
        const AviDemuxer demuxer(path);
        return ScanFile(demuxer, result, videoHandler);
    } catch (const FileError&) {
        return false;
    }
}

}  // namespace moraven
