#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QList>
#include <QObject>
#include <QString>

#include "commands/inlay_settings.h"
#include "formats/avi_fichier.h"
#include "formats/date_format.h"
#include "pipeline/graph/graph.h"
#include "pipeline/media_framework.h"
#include "settings/preferences.h"
#include "window/action_list.h"
#include "window/player_positions.h"

class QAction;
class QTimer;

namespace moraven {

class QtAudioOutput;
class TBaseFrame;
class Tviewdm;

// The player of the information panel: the preview graph (Tviewdm) drawing into the panel's video window and
// playing through the sound device, the two 40 ms timers that follow the frame on screen, and the player's
// actions (play and pause, steps, start and end, scenes, full screen, mute and volume), the inlay sliders and
// the click on the picture.
//
// The player keeps its own inlay stage for the program's lifetime, so the settings panel and the inlay commands
// set it (setters()) before any file plays and between files.
//
// What it changes outside the panel it does through the window's hooks: the captions, hints and images of its
// actions in `actions` (then actionsChanged), and the volume gauge panel. Window thread only; `panel`,
// `settings` and `actions` outlive the player, which must go before the panel's video window does.
class PreviewPlayer : public QObject {
    Q_OBJECT

public:
    struct Hooks {
        // The action list changed (captions, hints, images): the window draws it again.
        std::function<void()> actionsChanged;
        // The volume gauge panel: its level (0..100) and whether it shows.
        std::function<void(int percent)> setVolumeGauge;
        std::function<void(bool shown)> setVolumePanelShown;
        // The main window's actions, which must reach the picture while it is full screen.
        std::function<QList<QAction*>()> windowActions;
    };

    PreviewPlayer(TBaseFrame& panel, Settings& settings, const DateFormatLocale& locale, ActionList& actions,
                  Hooks hooks, const MediaFramework* framework = nullptr, QObject* parent = nullptr);
    ~PreviewPlayer() override;

    // Loads `record` into the preview paused on its first frame, with the inlay from the settings at the file's
    // rate, and puts the panel into the mode the preview chooses (video, sound only, or a message).
    void load(const TAfficherFichier& record);
    // No file any more: the timers stop, the graph is emptied and the file released.
    void clear();
    // A command is about to rewrite, rename or delete the file on screen: the file is let go and the panel
    // says the video is interrupted, until endSuspend(); the next showing of a file loads it again.
    void suspend();
    void endSuspend();
    // The panel's message mode with message `number`, the preview let go meanwhile.
    void showMessageMode(int number);
    // Stops the timers and the preview for good (the window closes).
    void shutDown();

    // Pauses on frame `frame` (at most the last): the scene scan shows where it found a scene.
    void showFrame(std::int64_t frame);

    // Runs the player action `name` (avPlayStop, avanceLow, ... afDecVolume); false when `name` is none of them.
    bool runAction(const std::string& name);
    static bool isPlayerAction(const std::string& name);

    // The inlay stage's setters (settings panel, inlay commands) and the whole inlay from the settings.
    InlaySetters& setters() { return *m_setters; }
    void applyInlaySettings();
    // After an inlay change: while paused, the frame on screen is drawn anew (a seek to where it is).
    void redraw();
    // Puts the mute state of the settings into effect (start-up).
    void applyMuteSetting();

    Tviewdm& preview() { return *m_preview; }
    // The texts the timers compute, as of the last tick (for tests).
    const FrameLabelTexts& frameTexts() const { return m_frameTexts; }
    const QString& positionText() const { return m_positionText; }
    int sliderValue() const { return m_sliderValue; }
    // Computes the texts now and copies them into the panel (what the two timers do every 40 ms).
    void updateNow();

private:
    void computeTexts();
    void copyTexts();
    void startTimers();
    void stopTimers();
    void setPlayCaption(const char* caption);
    bool hasFile() const { return m_hasFile; }

    void playStop();
    void stepBy(std::int64_t delta);
    void seekToFrame(std::int64_t frame);
    void moveToScene(bool next);
    void toggleFullScreen();
    void toggleMute();
    void changeVolume(bool up);
    // A notice of the preview's graph, on the window's thread.
    void onNotice(GraphNotice notice);
    void onGraphComplete();
    // A stage failed while the file played: the reason over the picture, the play action back to "Play".
    void onGraphFailed();
    void onPositionBarSet(int value);
    void onInlaySliderPressed();
    void onInlaySliderReleased();
    void onPictureClicked(int x, int y, int width, int height);
    void setInlayPosition(int x, int y);
    int playingVolume() const;

    TBaseFrame& m_panel;
    Settings& m_settings;
    const DateFormatLocale& m_locale;
    ActionList& m_actions;
    Hooks m_hooks;
    std::unique_ptr<QtAudioOutput> m_audio;
    std::unique_ptr<Tviewdm> m_preview;
    std::unique_ptr<InlaySetters> m_setters;

    bool m_hasFile = false;
    bool m_isDv = false;
    double m_fileFrameRate = 0;  // the record's rate: the size of one frame's step
    double m_playFps = 0;        // 0 when positions are in 100 ns units
    std::string m_path;
    bool m_hasScenes = false;

    // What timer1 computes and vclTimer copies.
    FrameLabelTexts m_frameTexts;
    int m_sliderValue = 0;
    std::int64_t m_playPosition = 0;
    QString m_positionText;
    QTimer* m_computeTimer = nullptr;
    QTimer* m_copyTimer = nullptr;
};

}  // namespace moraven
