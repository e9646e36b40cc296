#include "ui/preview_player.h"

#include <array>
#include <string_view>

#include <QAction>
#include <QMetaObject>
#include <QPointer>
#include <QTimer>

#include "formats/scene_file.h"
#include "pipeline/preview/tviewdm.h"
#include "ui/info_panel.h"
#include "ui/qt_audio_output.h"
#include "ui/ui_text.h"
#include "ui/video_surface.h"

namespace moraven {

namespace {

constexpr int kTimerMilliseconds = 40;

constexpr std::array<std::string_view, 15> kPlayerActions{
    "avPlayStop",    "avanceLow",   "reculeLow",   "avanceMedium", "ReculeMedium",
    "avanceHigh",    "ReculeHigh",  "avAvanceFin", "avReculeDebut", "AvanceScene",
    "ReculeScene",   "avFullscreen", "avMute",     "afIncVolume",  "afDecVolume"};


}  // namespace

PreviewPlayer::PreviewPlayer(TBaseFrame& panel, Settings& settings, const DateFormatLocale& locale,
                             ActionList& actions, Hooks hooks, const MediaFramework* framework, QObject* parent)
    : QObject(parent),
      m_panel(panel),
      m_settings(settings),
      m_locale(locale),
      m_actions(actions),
      m_hooks(std::move(hooks)),
      m_audio(std::make_unique<QtAudioOutput>()),
      m_preview(std::make_unique<Tviewdm>(panel.videoSurface(), *m_audio, framework)),
      m_setters(std::make_unique<SuperposerSetters>(m_preview->Superposer())),
      m_positionText(QStringLiteral("0:00:00:00")) {
    m_computeTimer = new QTimer(this);
    m_computeTimer->setInterval(kTimerMilliseconds);
    connect(m_computeTimer, &QTimer::timeout, this, &PreviewPlayer::computeTexts);
    m_copyTimer = new QTimer(this);
    m_copyTimer->setInterval(kTimerMilliseconds);
    connect(m_copyTimer, &QTimer::timeout, this, &PreviewPlayer::copyTexts);

    // The graph's notices come on its streaming thread; the player acts on them on its own.
    QPointer<PreviewPlayer> self(this);
    m_preview->setNoticeHandler([self](GraphNotice notice) {
        QMetaObject::invokeMethod(
            self.data(), [self, notice] { if (self) self->onNotice(notice); }, Qt::QueuedConnection);
    });

    connect(&m_panel, &TBaseFrame::positionBarTaken, this, &PreviewPlayer::stopTimers);
    connect(&m_panel, &TBaseFrame::positionBarSet, this, &PreviewPlayer::onPositionBarSet);
    connect(&m_panel, &TBaseFrame::inlayPositionChanged, this,
            [this](int x, int y) { setInlayPosition(x, y); });
    connect(&m_panel, &TBaseFrame::inlaySliderPressed, this, &PreviewPlayer::onInlaySliderPressed);
    connect(&m_panel, &TBaseFrame::inlaySliderReleased, this, &PreviewPlayer::onInlaySliderReleased);
    connect(&m_panel, &TBaseFrame::pictureClicked, this, &PreviewPlayer::onPictureClicked);
    connect(&m_panel, &TBaseFrame::fullScreenLeaveRequested, this, [this] {
        if (m_panel.videoFullScreen()) toggleFullScreen();
    });
}

PreviewPlayer::~PreviewPlayer() { shutDown(); }

void PreviewPlayer::shutDown() {
    stopTimers();
    if (m_panel.videoFullScreen()) m_panel.setVideoFullScreen(false);
    // The streaming thread ends first: it may be handing a notice to the handler right now.
    m_preview->ResetPreviewGraph();
    m_preview->setNoticeHandler({});
}

bool PreviewPlayer::isPlayerAction(const std::string& name) {
    for (std::string_view action : kPlayerActions) {
        if (action == name) return true;
    }
    return false;
}

// ---- files ----

void PreviewPlayer::applyInlaySettings() {
    ApplyInlaySettings(*m_setters, m_settings, m_hasFile ? m_fileFrameRate : 0.0, m_locale, m_settings.isIncrustOn,
                       InlayEnabledAt::AfterStyles);
}

void PreviewPlayer::load(const TAfficherFichier& record) {
    stopTimers();
    m_hasFile = true;
    m_isDv = record.IsDv();
    m_fileFrameRate = record.Fps();
    m_playFps = m_fileFrameRate;
    m_path = record.FullPath();
    m_hasScenes = record.HasScenes();
    m_sliderValue = 0;
    m_playPosition = 0;
    applyInlaySettings();

    PreviewRecord preview;
    preview.path = m_path;
    preview.isDv = m_isDv;
    preview.hasPicture = record.ImageText() != "N/A";
    preview.soundKnown = record.AudioText() != "N/A";
    preview.frameRate = m_fileFrameRate;
    m_preview->LoadPreview(preview, playingVolume());
    const PreviewShow& show = m_preview->LastShow();
    if (show.frameRateCleared) m_playFps = 0;
    switch (show.mode) {
        case PreviewMode::Video:
            m_panel.ShowVideoMode();
            break;
        case PreviewMode::Audio:
            m_panel.ShowAudioMode(show.message);
            break;
        case PreviewMode::Message:
            m_panel.ShowMessageMode(show.message);
            return;
    }
    setPlayCaption("Play");
    // The first frame is on its way: the labels follow it when the Paused notice comes, and every 40 ms.
    updateNow();
    startTimers();
}

void PreviewPlayer::clear() {
    stopTimers();
    m_hasFile = false;
    m_preview->ResetPreviewGraph();
    setPlayCaption("Play");
}

void PreviewPlayer::suspend() {
    stopTimers();
    if (m_panel.videoFullScreen()) toggleFullScreen();
    m_preview->SuspendPreview();
    m_panel.ShowMessageMode(kPreviewInterrupted);
}

void PreviewPlayer::endSuspend() { m_preview->EndSuspend(); }

void PreviewPlayer::showMessageMode(int number) {
    stopTimers();
    m_preview->SuspendPreview();
    m_panel.ShowMessageMode(number);
    m_preview->EndSuspend();
}

// ---- timers ----

void PreviewPlayer::startTimers() {
    m_computeTimer->start();
    m_copyTimer->start();
}

void PreviewPlayer::stopTimers() {
    m_computeTimer->stop();
    m_copyTimer->stop();
}

void PreviewPlayer::computeTexts() {
    // The frame on screen is known to the scene detection only while a DV file is in the graph.
    std::optional<DvFrameFacts> shown;
    if (m_isDv && m_preview->State() != GraphState::Stopped && m_preview->VideoConnected()) {
        shown = m_preview->SceneDetect().analysis().ShownEntry();
    }
    m_frameTexts = FrameLabelTextsOf(shown, m_settings.formatPourAfficherDatecode, m_locale);
    if (m_preview->State() != GraphState::Stopped || m_preview->VideoConnected() || m_preview->AudioConnected()) {
        const std::int64_t duration = m_preview->Duration();
        const std::int64_t position = m_preview->Position();
        if (const auto value = PlaySliderValue(position, duration)) {
            m_sliderValue = *value;
            m_playPosition = position;
        }
    }
    m_positionText = QString::fromStdString(PlayPositionText(m_playPosition, m_playFps));
}

void PreviewPlayer::copyTexts() { m_panel.setPlayTexts(m_frameTexts, m_sliderValue, m_positionText); }

void PreviewPlayer::updateNow() {
    computeTexts();
    copyTexts();
}

// ---- actions ----

bool PreviewPlayer::runAction(const std::string& name) {
    if (!isPlayerAction(name)) return false;
    if (name == "afIncVolume" || name == "afDecVolume") {
        changeVolume(name == "afIncVolume");
        return true;
    }
    if (name == "avMute") {
        toggleMute();
        return true;
    }
    if (name == "avFullscreen") {
        toggleFullScreen();
        return true;
    }
    if (!hasFile()) return true;
    if (name == "avPlayStop") {
        playStop();
    } else if (name == "avanceLow" || name == "reculeLow") {
        const std::int64_t step = FrameStepDuration(m_fileFrameRate);
        stepBy(name == "avanceLow" ? step : -step);
    } else if (name == "avanceMedium" || name == "ReculeMedium") {
        stepBy(name == "avanceMedium" ? kMediumStepDuration : -kMediumStepDuration);
    } else if (name == "avanceHigh" || name == "ReculeHigh") {
        stepBy(name == "avanceHigh" ? kHighStepDuration : -kHighStepDuration);
    } else if (name == "avAvanceFin") {
        seekToFrame(m_preview->Duration());
    } else if (name == "avReculeDebut") {
        seekToFrame(0);
    } else if (name == "AvanceScene" || name == "ReculeScene") {
        moveToScene(name == "AvanceScene");
    }
    return true;
}

void PreviewPlayer::setPlayCaption(const char* caption) {
    Action* action = m_actions.find("avPlayStop");
    if (!action || action->caption == caption) return;
    action->caption = caption;
    if (m_hooks.actionsChanged) m_hooks.actionsChanged();
}

void PreviewPlayer::playStop() {
    switch (m_preview->State()) {
        case GraphState::Running:
            // The graph holds the frame on screen, the sound device and the codecs as they are.
            m_preview->Pause();
            setPlayCaption("Play");
            break;
        case GraphState::Paused:
            m_preview->Run();
            setPlayCaption("Pause");
            break;
        case GraphState::Stopped:
            break;
    }
}

void PreviewPlayer::onNotice(GraphNotice notice) {
    if (!m_hasFile) return;
    if (notice == GraphNotice::Failed) {
        // Taken in any state: a stage that cannot start fails before the graph leaves the stopped one.
        onGraphFailed();
    } else if (m_preview->State() != GraphState::Stopped) {
        if (notice == GraphNotice::Complete) {
            onGraphComplete();
        } else {
            // The frame of a load, step, seek or pause is on screen: the labels follow it at once.
            updateNow();
        }
    }
}

void PreviewPlayer::onGraphComplete() {
    // A move asked after the end was reached plays on from there: this end is over.
    if (!m_preview->PreviewGraph().isComplete()) return;
    // Paused first, then moved: a move while running would play on from the start for a moment.
    m_preview->Pause();
    m_preview->SetPosition(0);
    setPlayCaption("Play");
    updateNow();
}

void PreviewPlayer::onGraphFailed() {
    const std::string reason = m_preview->Error();
    // The notice of a graph that has been started again since (the next file): nothing failed any more.
    if (reason.empty()) return;
    stopTimers();
    if (m_panel.videoFullScreen()) toggleFullScreen();
    // The graph has ended: the stages let go of the file and the sound device.
    m_preview->Stop();
    m_hasFile = false;
    m_panel.ShowPlaybackFailure(reason);
    setPlayCaption("Play");
}

void PreviewPlayer::stepBy(std::int64_t delta) {
    m_preview->SeekBy(delta);
    // The position is the step's at once; the frame's own texts follow with the Paused notice.
    computeTexts();
}

void PreviewPlayer::seekToFrame(std::int64_t frame) {
    if (const auto value = m_preview->SeekToFrame(frame)) {
        m_sliderValue = *value;
    }
    computeTexts();
    copyTexts();
}

void PreviewPlayer::showFrame(std::int64_t frame) {
    if (!m_hasFile || m_preview->State() == GraphState::Stopped || !m_preview->VideoConnected()) return;
    if (m_preview->PauseAtPosition()) setPlayCaption("Play");
    m_preview->PreviewGraph().setTimeFormat(TimeFormat::Frame);
    seekToFrame(frame);
}

void PreviewPlayer::moveToScene(bool next) {
    if (!m_hasScenes) return;
    if (m_preview->PauseAtPosition()) setPlayCaption("Play");
    m_preview->PreviewGraph().setTimeFormat(TimeFormat::Frame);
    const std::int64_t current = m_preview->Position();
    const auto scenes = readSceneFile(sceneFilePath(m_path));
    if (!scenes) return;
    seekToFrame(next ? NextSceneFrame(scenes->boundaries, current, m_preview->Duration())
                     : PreviousSceneFrame(scenes->boundaries, current));
}

void PreviewPlayer::toggleFullScreen() {
    const bool fullScreen = !m_panel.videoFullScreen();
    m_panel.setVideoFullScreen(fullScreen, m_hooks.windowActions ? m_hooks.windowActions() : QList<QAction*>{});
    if (Action* action = m_actions.find("avFullscreen")) {
        action->caption = fullScreen ? "Quit fullscreen" : "Fullscreen";
        if (m_hooks.actionsChanged) m_hooks.actionsChanged();
    }
}

int PreviewPlayer::playingVolume() const { return m_settings.isMuteOn ? 0 : m_settings.volume; }

void PreviewPlayer::applyMuteSetting() {
    Action* action = m_actions.find("avMute");
    const bool muted = m_settings.isMuteOn;
    if (action) {
        action->hint = muted ? "Sound is Off.\r\nClick to turn the sound On." : "Sound is On.\r\nClick to turn the sound Off.";
        action->caption = muted ? "Sound on" : "Sound off";
        action->imageIndex = muted ? 19 : 20;
    }
    m_preview->SetVolume(playingVolume());
    if (m_hooks.setVolumePanelShown) m_hooks.setVolumePanelShown(!muted);
    if (m_hooks.setVolumeGauge) m_hooks.setVolumeGauge(m_settings.volume / 100);
    if (m_hooks.actionsChanged) m_hooks.actionsChanged();
}

void PreviewPlayer::toggleMute() {
    m_settings.isMuteOn = !m_settings.isMuteOn;
    applyMuteSetting();
}

void PreviewPlayer::changeVolume(bool up) {
    m_settings.volume = SteppedVolume(m_settings.volume, up);
    if (!m_settings.isMuteOn) m_preview->SetVolume(m_settings.volume);
    if (m_hooks.setVolumeGauge) m_hooks.setVolumeGauge(m_settings.volume / 100);
}

// ---- position bar, inlay ----

void PreviewPlayer::onPositionBarSet(int value) {
    if (m_hasFile && (m_preview->VideoConnected() || m_preview->AudioConnected())) {
        m_preview->SetPosition(PlaySliderTarget(value, m_preview->Duration()));
        computeTexts();
    }
    if (m_hasFile && m_panel.displayMode() != TBaseFrame::DisplayMode::Message) startTimers();
}

void PreviewPlayer::setInlayPosition(int x, int y) {
    m_settings.incrustPositionX = x;
    m_settings.incrustPositionY = y;
    m_setters->SetPosition(x, y, static_cast<int>(m_settings.alignement));
}

void PreviewPlayer::onInlaySliderPressed() {
    if (!m_hasFile || m_preview->State() == GraphState::Running) return;
    // The picture moves, silently, while the user drags.
    m_preview->SetVolume(0);
    m_preview->Run();
}

void PreviewPlayer::onInlaySliderReleased() {
    if (!m_hasFile) return;
    m_preview->SetVolume(playingVolume());
    m_preview->Pause();
    setPlayCaption("Play");
}

void PreviewPlayer::onPictureClicked(int x, int y, int width, int height) {
    if (!m_settings.incrustSlidersVisible) return;
    const auto sliders = InlaySlidersForClick(x, y, width, height);
    if (!sliders) return;
    m_panel.setInlayPosition(sliders->horizontal, kPlayerSliderMaximum - sliders->vertical);
    setInlayPosition(sliders->horizontal, kPlayerSliderMaximum - sliders->vertical);
    if (!m_hasFile) return;
    // Paused and drawn again, so that the frame on screen shows the text at its new place.
    if (m_preview->PauseAtPosition()) setPlayCaption("Play");
    m_preview->Redraw();
}

void PreviewPlayer::redraw() {
    if (!m_hasFile || m_preview->State() != GraphState::Paused) return;
    m_preview->Redraw();
}

}  // namespace moraven
