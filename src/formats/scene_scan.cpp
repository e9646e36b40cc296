#include "formats/scene_scan.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <exception>
#include <utility>
#include <vector>

#include "formats/avi_demuxer.h"
#include "formats/binary_file.h"
#include "formats/dv_frame_analysis.h"
#include "formats/dvcodes.h"

namespace moraven {

namespace {

// A break is a jump of more than this between the dates of two frames.
constexpr std::int64_t kBreakMilliseconds = 2000;
// A break closes the scene being collected only when it has run for more than this many frames.
constexpr std::uint32_t kShortestClosedScene = 12;

constexpr double kMillisecondsPerDay = 86'400'000.0;

double roundHalfToEven(double value) {
    const double below = std::floor(value);
    const double fraction = value - below;
    if (fraction < 0.5) return below;
    if (fraction > 0.5) return below + 1.0;
    return std::fmod(below, 2.0) == 0.0 ? below : below + 1.0;
}

std::string fourNumbers(std::int64_t a, std::int64_t b, std::int64_t c, std::int64_t d) {
    char text[96];
    std::snprintf(text, sizeof text, "%.2" PRId64 ".%.2" PRId64 ".%.2" PRId64 ".%.2" PRId64, a, b, c, d);
    return text;
}

// Dates are whole seconds, so their distance in milliseconds is exact once rounded.
std::int64_t millisecondsApart(DateTime a, DateTime b) {
    return std::llround(std::fabs(a.days() - b.days()) * kMillisecondsPerDay);
}

// The timecode as the scene keeps it: hours taken as a signed 8-bit number, so an absent timecode (hours
// 255) gives a text that begins with "-".
std::string sceneTimecodeText(const TDvTimecode& timecode) {
    return fourNumbers(static_cast<std::int8_t>(timecode.hours), timecode.minutes, timecode.seconds,
                       timecode.frames);
}

}  // namespace

std::string FrameToText(std::int64_t frame, double fps) {
    constexpr double kLargestSeconds = 9.0e18;  // within std::int64_t
    if (!(fps > 0.0) || !std::isfinite(fps)) return "0:00:00:00";
    const double quotient = static_cast<double>(frame) / fps;
    if (!(std::fabs(quotient) < kLargestSeconds)) return "0:00:00:00";
    const auto seconds = static_cast<std::int64_t>(quotient);  // truncated toward zero
    const double rest = static_cast<double>(frame) - static_cast<double>(seconds) * fps;
    const auto frames = static_cast<std::int64_t>(roundHalfToEven(rest));
    return fourNumbers(seconds / 3600, (seconds / 60) % 60, seconds % 60, frames);
}

std::string sceneListBodyLine(std::int32_t counter, const TSceneInfo& scene) {
    return "  " + std::to_string(counter) + "," + scene.StartText + "," + scene.EndText + "," +
           scene.DatecodeText + "," + scene.TimecodeText + "," + scene.DurationText;
}

SceneCutter::SceneCutter(TSceneWriter& writer, const SceneVideo& video, std::string datePattern,
                         const DateFormatLocale& locale, DateTime& previousDate)
    : m_writer(writer),
      m_fps(video.fps),
      m_datePattern(std::move(datePattern)),
      m_locale(locale),
      m_previousDate(previousDate),
      m_startText(FrameToText(0, video.fps)),
      m_sceneDate(video.datecode),
      m_sceneTimecodeText(video.timecodeText) {}

TSceneInfo SceneCutter::makeScene(std::int32_t endFrame, const std::string& endText) const {
    TSceneInfo scene;
    scene.StartFrame = m_startFrame;
    scene.EndFrame = endFrame;
    if (m_sceneDate.days() > 0) {
        scene.DatecodeText = formatDateTime(m_datePattern, m_sceneDate, m_locale).value_or(std::string());
    }
    // "-" (a frame without timecode, or a file that is not DV) and "N/A" mean no timecode.
    if (!m_sceneTimecodeText.empty() && m_sceneTimecodeText[0] != '-' && m_sceneTimecodeText[0] != 'N') {
        scene.TimecodeText = m_sceneTimecodeText;
    }
    scene.StartText = m_startText;
    scene.EndText = endText;
    scene.DurationText = FrameToText(static_cast<std::int64_t>(endFrame) - m_startFrame, m_fps);
    return scene;
}

void SceneCutter::frame(Bytes sample, std::int64_t graphPosition) {
    try {
        // Only sequence 0: its subcode and VAUX packs lie within the first 480 bytes of the frame.
        const TDvTimecode timecode = DvReadTimecode(sample, 0);
        const TDvRecDate date = DvReadRecDate(sample, 0);
        DateTime current;
        if (date.isPresent()) {
            const auto value = dvRecDateTime(date);
            if (!value) return;  // an impossible date: this frame is neither compared nor kept
            current = *value;
        }

        if (millisecondsApart(current, m_previousDate) > kBreakMilliseconds) {
            // The scene ends with the frame before this one, which is where the graph stands.
            if (onSceneStart) onSceneStart(graphPosition + 1);
            const auto endFrame = static_cast<std::int32_t>(graphPosition);
            const std::uint32_t length =
                static_cast<std::uint32_t>(endFrame) - static_cast<std::uint32_t>(m_startFrame);
            if (length > kShortestClosedScene) {
                const std::string endText = FrameToText(endFrame, m_fps);
                m_writer.WriteScene(makeScene(endFrame, endText));
                m_sceneDate = current;
                m_sceneTimecodeText = sceneTimecodeText(timecode);
                m_startFrame = static_cast<std::int32_t>(static_cast<std::uint32_t>(endFrame) + 1u);
                m_startText = FrameToText(m_startFrame, m_fps);
            }
            // A shorter stretch stays in the scene being collected, with its start, date and timecode.
        }
        m_previousDate = current;
    } catch (...) {
        // A failure inside the callback only ends the handling of this sample; the scan goes on.
    }
}

void SceneCutter::finish(std::int64_t graphPosition) {
    if (onSceneStart) {
        try {
            onSceneStart(graphPosition + 1);
        } catch (...) {
            // Showing where the scan is never stops the scan.
        }
    }
    const auto endFrame = static_cast<std::int32_t>(graphPosition);
    m_writer.WriteScene(makeScene(endFrame, FrameToText(endFrame, m_fps)));
}

TdmScenes::TdmScenes(std::string datePattern, DateFormatLocale locale)
    : m_datePattern(std::move(datePattern)), m_locale(std::move(locale)) {}

void TdmScenes::setDateFormat(std::string datePattern, DateFormatLocale locale) {
    m_datePattern = std::move(datePattern);
    m_locale = std::move(locale);
}

SceneScanResult TdmScenes::ScanScenes(const SceneVideo& video, TSceneWriter& writer,
                                      const std::atomic<bool>& abortRequested) {
    return scan(video, nullptr, writer, abortRequested);
}

SceneScanResult TdmScenes::ScanScenes(const SceneVideo& video, const AviDemuxer& demuxer, TSceneWriter& writer,
                                      const std::atomic<bool>& abortRequested) {
    return scan(video, &demuxer, writer, abortRequested);
}

SceneScanResult TdmScenes::scan(const SceneVideo& video, const AviDemuxer* demuxer, TSceneWriter& writer,
                                const std::atomic<bool>& abortRequested) {
    SceneScanResult result;
    m_position.store(0, std::memory_order_relaxed);
    m_duration.store(0, std::memory_order_relaxed);
    SceneCutter cutter(writer, video, m_datePattern, m_locale, m_previousDate);
    cutter.onSceneStart = sceneStarts;
    if (!writer.OpenScenes(video)) {
        result.outcome = SceneScanOutcome::NotOpened;
    } else {
        result.outcome = SceneScanOutcome::NotLoaded;
        try {
            if (demuxer != nullptr) {
                scanFrames(*demuxer, cutter, abortRequested, result);
            } else {
                const AviDemuxer own(video.fullPath);
                scanFrames(own, cutter, abortRequested, result);
            }
        } catch (const std::exception& error) {
            // The outcome says how far the scan had come: the file not loaded, or failed while scanning.
            result.message = error.what();
        }
    }
    writer.CloseScenes();
    return result;
}

void TdmScenes::scanFrames(const AviDemuxer& demuxer, SceneCutter& cutter,
                           const std::atomic<bool>& abortRequested, SceneScanResult& result) {
    const std::string& path = demuxer.path();
    struct CountBytes {
        const AviDemuxer& demuxer;
        SceneScanResult& result;
        ~CountBytes() { result.bytesRead = demuxer.bytesRead(); }
    } countBytes{demuxer, result};
    if (!demuxer.isAvi() || demuxer.streamCount() == 0) {
        result.message = path + (demuxer.isAvi() ? " has no stream" : " is not an AVI file");
        return;
    }
    result.outcome = SceneScanOutcome::Failed;
    // The first stream: the video of a DV type 2 file, the interleaved stream of a type 1 file.
    const AviStream& stream = demuxer.streams().front();
    const std::size_t frames = stream.sampleCount();
    m_duration.store(static_cast<std::int64_t>(frames), std::memory_order_relaxed);
    if (frames == 0) {
        result.outcome = SceneScanOutcome::Empty;
        return;
    }

    // The packs are read from a frame-sized buffer of which only the first 480 bytes are ever filled: the
    // pack readers take a whole frame's size, and the bytes that the callback reads lie in that prefix.
    std::vector<std::uint8_t> frame(kDvMinFrameBytes, 0);
    // The frames are read in file order: one hint for the run lets the kernel read ahead.
    demuxer.willReadInOrder();
    const MutableBytes prefix = MutableBytes(frame).first(kDvHistoryHeaderBytes);
    for (std::size_t index = 0; index < frames; ++index) {
        if (abortRequested.load(std::memory_order_relaxed)) {
            result.outcome = SceneScanOutcome::Aborted;
            return;
        }
        Bytes sample;  // a sample shorter than a DV frame holds no packs
        if (stream.samples[index].size >= kDvMinFrameBytes) {
            const std::uint64_t refused = demuxer.refusedSamples();
            if (demuxer.readSamplePrefix(0, index, prefix) == prefix.size()) {
                sample = frame;
            } else if (demuxer.refusedSamples() == refused) {
                result.message = path + ": frame " + std::to_string(index) + " can no longer be read";
                return;
            }
            // An index entry that does not point at its own chunk holds no frame: it counts as a sample
            // without packs, as a short one does.
        }
        // While this frame is examined, the frame before it is the last one that has left the graph.
        cutter.frame(sample, index == 0 ? 0 : static_cast<std::int64_t>(index) - 1);
        ++result.framesScanned;
        m_position.store(static_cast<std::int64_t>(index) + 1, std::memory_order_relaxed);
    }
    cutter.finish(static_cast<std::int64_t>(frames) - 1);
    result.outcome = SceneScanOutcome::Completed;
}

}  // namespace moraven
