#pragma once

#include <optional>
#include <vector>

#include <QList>
#include <QRect>
#include <QWidget>

#include "formats/avi_fichier.h"
#include "window/info_texts.h"
#include "window/player_positions.h"

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QProgressBar;
class QSlider;
class QTextEdit;

namespace moraven {

struct Settings;
class VideoSurface;

// The information panel, the left column of the main window: the facts of the current file, the picture
// area (the video window, or a message in its place), the position bar with the running position, the
// inlay sliders, and the progress gauge that a running command shows in place of the position bar. The
// copy menu on the facts puts them on the clipboard.
//
// The panel only shows; what it cannot do itself it asks of the main window through its signals. It reads
// the datecode pattern from `settings` (owned by the main window, which outlives the panel) at each
// ShowFile. The video window is the player's picture surface, fitted to the picture's shape; the player
// (ui/preview_player.h) draws into it and sets the running texts. Window thread only.
class TBaseFrame : public QWidget {
    Q_OBJECT

public:
    // Design size of the frame in the main window.
    static constexpr int kWidth = 286;
    static constexpr int kHeight = 393;

    enum class DisplayMode { Video, Audio, Message };

    explicit TBaseFrame(const Settings& settings, QWidget* parent = nullptr);

    // The English texts, hints and fonts of the panel.
    void ApplyPanelTexts();
    // Centres the message area and the progress gauge in the column of `columnWidth` pixels.
    void CentreInColumn(int columnWidth);

    // Fills the facts from `record`, sets the panel's hint to the file's path, size and date, and fits the
    // video window to the picture's shape. The file's path, name and codec are kept: the messages and the
    // copy menu name this file until the next ShowFile or ClearPanel.
    void ShowFile(const TAfficherFichier& record);
    // Empties the facts and forgets the file; then panelCleared() asks the main window to forget its current
    // file and to stop and empty the preview.
    void ClearPanel();

    void ShowVideoMode();
    // Writes message `number` (1 to 8, see PanelMessageLines) over the picture area: in audio mode the
    // position bar and the running position stay, in message mode they are hidden.
    void ShowAudioMode(int number);
    void ShowMessageMode(int number);
    // Message mode with the reason why playing stopped (a stage failed) over the picture area.
    void ShowPlaybackFailure(const std::string& reason);
    DisplayMode displayMode() const { return m_mode; }
    // The start text in the message area, after ClearPanel.
    void WriteWelcome();

    // The progress gauge of a running command, shown at 0 in place of the position bar.
    void showProgress();
    void setProgress(int percent);
    // Hides the gauge and shows the position bar again.
    void hideProgress();

    // The inlay sliders from the settings "Incrust positionX", "Incrust positionY" (the vertical slider
    // shows 1000 − Y) and "Incrust Sliders Visible". Setting them emits nothing.
    void setInlayPosition(int x, int y);
    void setInlaySlidersVisible(bool visible);
    bool inlaySlidersVisible() const;

    // The player's picture surface (the video window).
    VideoSurface& videoSurface() { return *m_video; }
    // The texts of the frame on screen and the playing position: the datecode and timecode labels, the
    // position bar's value (0..1000) and the running position. Setting them emits nothing.
    void setPlayTexts(const FrameLabelTexts& frame, int sliderValue, const QString& position);
    int positionBarValue() const;
    bool positionBarDragged() const;

    // The video window over the whole screen, or back in the panel. While it is full screen, `actions` (the
    // main window's) reach it, so that their shortcuts work there; Esc and a double click bring it back.
    void setVideoFullScreen(bool fullScreen, const QList<QAction*>& actions = {});
    bool videoFullScreen() const { return m_videoFullScreen; }

signals:
    // A click on the file name: open the file's folder.
    void parentFolderRequested();
    // A click on the corner square: show or hide the inlay sliders.
    void inlaySlidersToggleRequested();
    // The user moved an inlay slider: the new "Incrust positionX" and "Incrust positionY" (0 to 1000).
    void inlayPositionChanged(int x, int y);
    // The video window's pop-up menu is asked for at `globalPos`.
    void videoMenuRequested(const QPoint& globalPos);
    // ClearPanel ran: the main window has no current file any more, and the preview must stop and empty.
    void panelCleared();
    // The user took the position bar (its mouse button went down), and let it go at a new value, or moved it
    // with the keyboard or a click beside the handle.
    void positionBarTaken();
    void positionBarSet(int value);
    // A mouse button went down on an inlay slider, and came up again.
    void inlaySliderPressed();
    void inlaySliderReleased();
    // A left click on the picture, in the picture's own coordinates (0 .. width, 0 .. height).
    void pictureClicked(int x, int y, int width, int height);
    // Esc or a double click on the full-screen picture.
    void fullScreenLeaveRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildCopyMenu();
    void copyToClipboard(const QString& text);
    void writeLines(const std::vector<MessageLine>& lines);
    void writeMessage(int number);
    void setMode(DisplayMode mode);
    void applyVideoLayout(const VideoAreaLayout& layout);
    void setFileName(const QString& name);
    bool filterVideoEvent(QEvent* event);

    const Settings& m_settings;
    InfoTextOptions m_textOptions;
    std::optional<MessageFile> m_file;
    DisplayMode m_mode = DisplayMode::Message;
    bool m_progressShown = false;

    QWidget* m_panel = nullptr;  // Panel1
    QFrame* m_bevel = nullptr;
    QLabel* m_name = nullptr;
    std::vector<QLabel*> m_captions;  // Label1 .. Label7
    QLabel* m_datecode = nullptr;
    QLabel* m_timecode = nullptr;
    QLabel* m_codec = nullptr;
    QLabel* m_image = nullptr;
    QLabel* m_duration = nullptr;
    QLabel* m_fps = nullptr;
    QLabel* m_audio1 = nullptr;
    QLabel* m_audio2 = nullptr;
    QLabel* m_scenes = nullptr;
    QProgressBar* m_gauge = nullptr;
    QSlider* m_positionBar = nullptr;
    VideoSurface* m_video = nullptr;
    bool m_videoFullScreen = false;
    QRect m_videoGeometry;  // its place in the panel while full screen
    QList<QAction*> m_fullScreenActions;
    QTextEdit* m_messages = nullptr;
    QLabel* m_timeStamp = nullptr;
    QSlider* m_inlayHorz = nullptr;
    QSlider* m_inlayVert = nullptr;
    QLabel* m_corner = nullptr;
    QMenu* m_copyMenu = nullptr;
};

}  // namespace moraven
