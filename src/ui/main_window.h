#pragma once

#include <memory>
#include <string>
#include <vector>

#include <QElapsedTimer>
#include <QMainWindow>

#include "commands/command_line.h"
#include "platform/list_sources.h"
#include "settings/preferences.h"
#include "ui/widget_interaction.h"

class QLabel;
class QMenu;
class QProgressBar;
class QToolBar;

namespace moraven {

class ActionBinder;
class FileListView;
class PlaceholderFrame;
class PreviewPlayer;
class RepairDialogs;
class TAproposFrame;
class TBaseFrame;
class TOptionsFrame;
class TRiffForm;

// The main window: the information panel at the left, the file list, the placeholder of the empty list,
// the settings and About panels that cover the window, two tool bars, the menus and the status bar. It
// draws the state of the core (list, window state, actions) and hands the user's actions to it; it
// changes its width to show or hide its parts. Window thread only.
class TUIForm : public QMainWindow {
    Q_OBJECT

public:
    // The client widths: the panel column alone, with the list, and under the two panels.
    static constexpr int kPanelColumnWidth = 280;
    static constexpr int kWithListWidth = 577;
    static constexpr int kSettingsWidth = 592;
    static constexpr int kAboutWidth = 324;

    // `preferences` holds the loaded settings and outlives the window; `parameters` are the command line's
    // file paths and switches, handled at the first paint.
    TUIForm(Preferences& preferences, std::vector<std::string> parameters, QWidget* parent = nullptr);
    ~TUIForm() override;

    // What a menu entry, a tool button or a shortcut of the action `name` does.
    void executeAction(const std::string& name);

    // Copies the core's state into the widgets: rows, selection, texts, widths, actions and menus.
    void refreshView();
    // The availability of the actions (as at every paint), then refreshView.
    void updateAndRefresh();

    CommandCore& core() { return *m_core; }
    FileListView& listView() { return *m_listView; }
    TBaseFrame& baseFrame() { return *m_baseFrame; }
    TOptionsFrame& optionsFrame() { return *m_optionsFrame; }
    // The player of the information panel (the preview graph, its timers and actions).
    PreviewPlayer& player() { return *m_player; }
    TAproposFrame& aboutFrame() { return *m_aboutFrame; }
    ActionBinder& actions() { return *m_binder; }
    QLabel& statusLabel() { return *m_statusLabel; }
    QLabel& labFichiers() { return *m_labFichiers; }
    QWidget& client() { return *m_client; }
    int clientWidth() const;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // Construction.
    void buildClient();
    void buildMenus();
    void buildToolBars();
    void bindCore();
    void ApplyEnglishTexts();

    // Start-up, first paint, idle and shut-down.
    void FormShow();
    void FirstPaint();
    // Writes the About panel's system page and the settings panel's mail lines.
    void WriteSystemPage();
    void ApplySettings();
    // The settings panel's controls and the window's place back into the settings.
    void collectSettings();
    void onIdle();

    // Handlers.
    bool runOwnAction(const std::string& name);
    void openFilesDialog();
    void pasteFiles();
    void chooseAndOpenFolder();
    void openPlaylistDialog();
    void savePlaylistDialog();
    void readPlaylist(const std::string& path);
    enum class Panel { Settings, About };
    // Shows or hides a panel after its action's check mark, hiding the other one first.
    void togglePanel(Panel panel);
    void setPanelShown(Panel panel, bool shown);
    void abort(bool all);
    void showCurrent(const ListRecord* record);
    // Runs `work`; a failure is shown in an error box (the default error report).
    void reportFailures(const std::function<void()>& work);

    void layoutClient();
    void updateMenus();
    bool clipboardHasFiles() const;
    void setStatusText(const std::string& text);

    Preferences& m_preferences;
    std::vector<std::string> m_parameters;
    // The user's date names and forms, read once: the records, the commands and the playlists use them.
    const DateFormatLocale m_locale;
    bool m_pendingParameters = false;
    bool m_restorePlaylistPending = false;
    bool m_shown = false;
    bool m_closing = false;
    bool m_listLoadedOnce = false;
    QElapsedTimer m_sinceRefresh;

    WidgetInteraction m_interaction;
    std::unique_ptr<CommandCore> m_core;
    std::unique_ptr<FileListSources> m_sources;

    // Made with the panel it draws into, and gone before it (members go before the window's child widgets).
    std::unique_ptr<PreviewPlayer> m_player;
    QWidget* m_client = nullptr;
    QToolBar* m_toolBar1 = nullptr;
    QToolBar* m_toolBar2 = nullptr;
    TBaseFrame* m_baseFrame = nullptr;
    FileListView* m_listView = nullptr;
    QLabel* m_labFichiers = nullptr;
    PlaceholderFrame* m_placeholder = nullptr;
    TOptionsFrame* m_optionsFrame = nullptr;
    TAproposFrame* m_aboutFrame = nullptr;
    QWidget* m_volumePanel = nullptr;
    QProgressBar* m_volumeGauge = nullptr;
    QLabel* m_statusLabel = nullptr;
    ActionBinder* m_binder = nullptr;
    TRiffForm* m_riffForm = nullptr;
    std::unique_ptr<RepairDialogs> m_repairDialogs;
    std::vector<QMenu*> m_topMenus;
    QMenu* m_mainPopup = nullptr;
    QMenu* m_listPopup = nullptr;
    QMenu* m_videoPopup = nullptr;
};

}  // namespace moraven
