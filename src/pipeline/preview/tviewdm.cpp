#include "pipeline/preview/tviewdm.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "pipeline/stages/dv_video_decoder_stage.h"
#include "pipeline/stages/stage_factory.h"

namespace moraven {

namespace {

constexpr int kTrackBarMaximum = 1000;

std::vector<Pin*> outputsOf(const Stage& stage) { return stage.pins(PinDirection::Output); }

MediaType offeredType(const Pin& output) {
    const std::vector<MediaType> types = output.stage().outputTypes(output);
    return types.empty() ? MediaType() : types.front();
}

}  // namespace

Tviewdm::Tviewdm(VideoSink& videoSink, AudioOutput& audioOutput, const MediaFramework* framework)
    : m_videoSink(videoSink),
      m_audioOutput(audioOutput),
      m_videoRenderer(videoSink, framework),
      m_audioRenderer(audioOutput) {
    m_graph.setNoticeHandler([this](GraphNotice notice) { onNotice(notice); });
    // The frame the panel reads is the one on the surface, not the one the inlay drew last.
    m_videoRenderer.setShownHook([this](std::uint64_t frame) { m_sceneDetect.analysis().SetShownFrame(frame); });
}

Tviewdm::~Tviewdm() {
    m_graph.stop();
    m_graph.clear();
}

void Tviewdm::onNotice(GraphNotice notice) {
    if (notice == GraphNotice::Paused) {
        // Handed on first: whoever waits until paused finds the handler's work done.
        handOn(GraphNotice::Paused);
        {
            std::lock_guard lock(m_noticeMutex);
            m_pausedShown = true;
        }
        m_noticeWake.notify_all();
        return;
    }
    if (notice == GraphNotice::Failed) {
        handOn(GraphNotice::Failed);
        return;
    }
    // A player that is paused at the end (moved there by the end key) completes only when it is asked to
    // play, as a paused renderer keeps its end of stream until then.
    if (m_graph.state() != GraphState::Running) {
        m_completeWhilePaused = true;
        return;
    }
    handOn(GraphNotice::Complete);
}

void Tviewdm::handOn(GraphNotice notice) {
    if (m_noticeHandler) m_noticeHandler(notice);
}

void Tviewdm::markUnpaused() {
    std::lock_guard lock(m_noticeMutex);
    m_pausedShown = false;
}

bool Tviewdm::WaitUntilPaused(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_noticeMutex);
    // A notice of an earlier move may still come after a newer one was asked: only the graph's word that the
    // latest is done counts.
    return m_noticeWake.wait_for(lock, timeout, [this] { return m_pausedShown && m_graph.prerolled(); });
}

void Tviewdm::setNoticeHandler(std::function<void(GraphNotice)> handler) { m_noticeHandler = std::move(handler); }

// ---- building ----

void Tviewdm::ResetPreviewGraph() {
    m_graph.stop();
    m_graph.clear();
    m_graph.setIntermediates({});
    m_graph.setClock(nullptr);
    m_graph.setPositionRenderer(nullptr);
    m_videoConnected = false;
    m_audioConnected = false;
    m_completeWhilePaused = false;
    markUnpaused();
    m_videoSink.clear();
}

bool Tviewdm::fail(int status) {
    m_status = status;
    return false;
}

Stage& Tviewdm::addNew(const char* displayName) {
    std::unique_ptr<Stage> stage = createStage(displayName);
    if (!stage) throw std::logic_error(std::string("no stage named ") + displayName);
    return m_graph.adopt(std::move(stage), displayName);
}

std::unique_ptr<Stage> Tviewdm::makeDvDecoder() const {
    auto decoder = std::make_unique<DvVideoDecoderStage>();
    decoder->setWorkerCount(m_codecWorkers);
    return decoder;
}

bool Tviewdm::renderOutput(Pin& output) {
    if (output.isConnected()) return false;
    const MediaType type = offeredType(output);
    if (!type.isAudio() && !m_videoRenderer.input(0)->isConnected() && m_graph.render(output, m_videoRenderer)) {
        m_videoConnected = true;
        return true;
    }
    if (type.isAudio() && !m_audioRenderer.input(0)->isConnected() && m_graph.render(output, m_audioRenderer)) {
        m_audioConnected = true;
        return true;
    }
    return false;
}

bool Tviewdm::BuildDvPreview(const std::string& path) {
    ResetPreviewGraph();
    if (path == "N/A") return fail(kPreviewInterrupted);
    m_graph.add(m_superposer, "superposer");
    Stage& dvSplitter = addNew("DV Splitter");
    Stage& aviSplitter = addNew("AVI Splitter");
    m_graph.add(m_sceneDetect, "scenedetect");
    Stage& decoder = m_graph.adopt(makeDvDecoder(), DvVideoDecoderStage::kDisplayName);
    m_graph.add(m_source, "source");
    m_graph.add(m_videoRenderer, "Video Renderer");
    m_graph.add(m_audioRenderer, "Audio Renderer");

    m_status = kPreviewFileNotFound;
    if (!m_source.load(path)) return false;
    m_status = kPreviewNotAnAvi;
    if (!m_graph.connect(*m_source.output(0), *aviSplitter.input(0))) return false;
    const std::vector<Pin*> outputs = outputsOf(aviSplitter);
    if (outputs.empty()) return false;

    // Only DV is taken by the scene detection: a type 2 file's "dvsd" video or a type 1 file's one stream,
    // wherever it stands among the streams.
    for (Pin* out : outputs) {
        if (m_graph.connect(*out, m_sceneDetect.inputPin())) break;
    }
    if (m_sceneDetect.inputPin().isConnected()) {
        if (m_graph.connect(m_sceneDetect.outputPin(), *dvSplitter.input(0))) {
            for (Pin* out : outputsOf(dvSplitter)) {
                if (m_graph.connect(*out, *decoder.input(0))) break;
            }
        } else {
            m_graph.connect(m_sceneDetect.outputPin(), *decoder.input(0));
        }
    }
    m_status = kPreviewNonStandardDv;
    if (!decoder.input(0)->isConnected()) return false;

    // The renderer converts the pictures for display: no converter between.
    m_videoConnected = m_graph.connect(*decoder.output(0), m_superposer.inputPin()) &&
                       m_graph.connect(m_superposer.outputPin(), *m_videoRenderer.input(0));

    // The sound: a type 2 file's own sound streams, else the sound the DV splitter takes out of the frames.
    m_graph.setIntermediates({
        [] { return createStage("Audio Decoder"); },
        [] { return createStage("ACM Wrapper"); },
    });
    const Stage* soundSource = outputsOf(aviSplitter).size() >= 2 ? &aviSplitter
                               : outputsOf(dvSplitter).size() >= 2 ? &dvSplitter
                                                                    : nullptr;
    if (soundSource != nullptr) {
        for (Pin* out : outputsOf(*soundSource)) {
            if (!out->isConnected() && offeredType(*out).isAudio() &&
                !m_audioRenderer.input(0)->isConnected() && m_graph.render(*out, m_audioRenderer)) {
                m_audioConnected = true;
            }
        }
    }
    m_graph.setTimeFormat(TimeFormat::Frame);
    return true;
}

bool Tviewdm::BuildPlainPreview(const std::string& path) {
    ResetPreviewGraph();
    m_graph.add(m_source, "source");
    Stage& splitter = addNew("AVI Splitter");
    m_graph.add(m_videoRenderer, "Video Renderer");
    m_graph.add(m_audioRenderer, "Audio Renderer");
    if (path == "N/A") return fail(kPreviewInterrupted);
    m_status = kPreviewFileNotFound;
    if (!m_source.load(path)) return false;
    m_status = kPreviewNotAnAvi;
    if (!m_graph.connect(*m_source.output(0), *splitter.input(0))) return false;
    const std::vector<Pin*> outputs = outputsOf(splitter);
    if (outputs.empty()) return false;
    // What the platform would put in: decoders of every kind; the video renderer converts for display.
    m_graph.setIntermediates({
        [] { return createStage("DV Splitter"); },
        [this] { return makeDvDecoder(); },
        [] { return createStage("Video Decoder"); },
        [] { return createStage("Audio Decoder"); },
        [] { return createStage("ACM Wrapper"); },
    });
    for (Pin* out : outputs) renderOutput(*out);
    return true;
}

bool Tviewdm::LoadPreview(const PreviewRecord& record, int volume) {
    m_show = PreviewShow{};
    const bool built = record.isDv ? BuildDvPreview(record.path) : BuildPlainPreview(record.path);
    const auto message = [this](int number) {
        m_status = number;
        m_show.mode = PreviewMode::Message;
        m_show.message = number;
        // The panel's message mode releases the file.
        ResetPreviewGraph();
        return false;
    };
    if (!built) {
        if (m_videoInterrupted) m_status = kPreviewInterrupted;
        return message(m_status);
    }
    m_show.frameRateCleared = !record.isDv && !m_videoConnected;
    if (record.hasPicture && m_videoConnected) {
        m_graph.setTimeFormat(TimeFormat::Frame);
        m_show.mode = PreviewMode::Video;
    } else if (!record.hasPicture || m_videoConnected) {
        if (record.hasPicture || !m_audioConnected) return message(kPreviewNotAnAvi);
        m_graph.setTimeFormat(TimeFormat::MediaTime);
        m_status = kPreviewAudioOnly;
        m_show.mode = PreviewMode::Audio;
        m_show.message = kPreviewAudioOnly;
    } else if (m_audioConnected) {
        m_graph.setTimeFormat(TimeFormat::MediaTime);
        m_status = kPreviewNoDecoderSound;
        m_show.mode = PreviewMode::Audio;
        m_show.message = kPreviewNoDecoderSound;
    } else {
        return message(record.soundKnown ? kPreviewNoDecoderUnknownAudio : kPreviewNoDecoder);
    }
    // The sound's clock leads while there is sound; the renderer falls back on the system clock itself when
    // the device does not play.
    m_graph.setClock(m_audioConnected ? &m_audioRenderer.clock() : nullptr);
    m_graph.setPositionRenderer(m_videoConnected ? &m_videoRenderer : nullptr);
    m_graph.setReferenceClock(true);
    m_graph.setPosition(0);
    SetVolume(volume);
    PauseAtPosition();
    return true;
}

// ---- control ----

bool Tviewdm::PauseAtPosition() {
    if (m_graph.state() == GraphState::Paused) return false;
    markUnpaused();
    m_graph.pause();
    return true;
}

void Tviewdm::Run() {
    if (m_completeWhilePaused.exchange(false) && m_graph.isComplete()) {
        handOn(GraphNotice::Complete);
        return;
    }
    m_graph.run();
}

void Tviewdm::Pause() {
    markUnpaused();
    m_graph.pause();
}

void Tviewdm::Stop() { m_graph.stop(); }

void Tviewdm::SetVolume(int level) {
    m_volume = std::clamp(level, 0, 10000);
    m_audioOutput.setVolume(m_volume);
}

bool Tviewdm::PlaysOnSoundClock() const {
    return m_audioConnected && &m_graph.clock() == &m_audioRenderer.clock() &&
           m_audioRenderer.soundPlaying();
}

void Tviewdm::SuspendPreview() {
    m_videoInterrupted = true;
    m_status = kPreviewInterrupted;
    ResetPreviewGraph();
}

// ---- seeking ----

bool Tviewdm::moveTo(std::int64_t position) {
    if (m_graph.state() != GraphState::Stopped) {
        m_completeWhilePaused = false;
        markUnpaused();
    }
    // The graph carries the move out on its streaming thread, from wherever it is (playing, paused, at the
    // end); a paused one says Paused once the new position's frame is shown.
    return m_graph.setPosition(position);
}

void Tviewdm::Redraw() {
    if (m_graph.state() != GraphState::Paused) return;
    moveTo(m_graph.positionInFormat());
}

bool Tviewdm::SetPosition(std::int64_t position) { return moveTo(position); }

std::int64_t Tviewdm::lastShownFrame() const {
    // Positions are frame starts: the frame at the duration does not exist, so the end shows the last one.
    return std::max<std::int64_t>(m_graph.durationInFormat() - 1, 0);
}

bool Tviewdm::SeekBy(std::int64_t delta) {
    const TimeFormat format = m_graph.timeFormat();
    m_graph.setTimeFormat(TimeFormat::MediaTime);
    const std::int64_t duration = m_graph.durationInFormat();
    const std::int64_t target =
        std::clamp<std::int64_t>(m_graph.positionInFormat() + delta, 0, std::max<std::int64_t>(duration, 0));
    const std::int64_t frameTicks = m_graph.frameDuration().ticks();
    bool moved = false;
    if (m_videoConnected && frameTicks > 0) {
        // Whole frames: the position read back is the shown frame's exact start, while a step is the frame
        // duration rounded to 100 ns; rounding to the nearest frame keeps a step from falling one frame short.
        m_graph.setTimeFormat(TimeFormat::Frame);
        const std::int64_t frame = (target + frameTicks / 2) / frameTicks;
        moved = moveTo(std::min(frame, lastShownFrame()));
    } else {
        moved = moveTo(target);
    }
    m_graph.setTimeFormat(format);
    return moved;
}

std::optional<int> Tviewdm::SeekToFrame(std::int64_t position) {
    if (m_videoConnected && m_graph.timeFormat() == TimeFormat::Frame) position = std::min(position, lastShownFrame());
    moveTo(std::max<std::int64_t>(position, 0));
    const std::int64_t duration = m_graph.durationInFormat();
    if (duration <= 0) return std::nullopt;
    const double ratio = static_cast<double>(kTrackBarMaximum) * static_cast<double>(m_graph.positionInFormat()) /
                         static_cast<double>(duration);
    return static_cast<int>(std::lround(ratio));
}

}  // namespace moraven
