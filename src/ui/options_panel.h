#pragma once

#include <functional>
#include <string>
#include <vector>

#include <QString>
#include <QWidget>

#include "commands/check_list.h"
#include "commands/inlay_settings.h"
#include "commands/options_actions.h"
#include "platform/system_report.h"
#include "settings/preferences.h"
#include "window/action_list.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QToolButton;

namespace moraven {

// The settings panel of the main window, 592 x 480: five pages that edit the settings ("Preferences",
// "Commands", "Formats", "Folders", "Inlay") and a header on the right with the program's title, the
// maker's links and "Close". Most controls write their setting at once (on click, on change, or when a
// field loses the focus); loadControls() and collectControls() move every control from and into the
// settings. The panel decides nothing the window's core can decide: the rules live in
// settings/options_values.h and commands/options_actions.h; where the window must act it is told by a
// signal.
//
// The preferences, the action list and the command check list are the window's and must outlive the
// panel. Window thread only.
class TOptionsFrame : public QWidget {
    Q_OBJECT

public:
    TOptionsFrame(Preferences& preferences, ActionList& al, CommandCheckList& checkList,
                  QWidget* parent = nullptr);

    // The English captions, hints and memo texts of the panel. Run by the constructor, and again by the
    // window right after its own texts, so that where both set a hint this one stays.
    void ApplyOptionsTexts();

    // Settings into the controls (part of the window's ApplySettings): every field, check box, radio group
    // and the spin field; then the Send To box's click runs once, so the desktop entry follows "Sendto";
    // and when the folder of "Dossier pour Sauver" does not exist, "Sauver dans le même dossier" is on for
    // this run while the box keeps the stored state.
    void loadControls();

    // The controls back into the settings, for the window's CollectAndSaveSettings: every control,
    // including the fields that are read only here (the playlist folder and the program paths typed by
    // hand), and the marks of the command check list into the actions list.
    void collectControls();

    // The command check list of the "Commands" page: FillCommandList builds the rows from the action list
    // (giving each listed action its row as Tag); ApplySavedMarks puts the marks of the settings' actions
    // list on them. Both show the result.
    void FillCommandList();
    void ApplySavedMarks();
    // Shows the rows and marks that the command check list already holds.
    void showCommandRows();

    // Showing: the title and the mail subject are set, the play and remove actions lose their shortcuts
    // (actionsChanged), the panel has no pop-up menu, and is shown in front at its parent's top-left
    // corner. The page last shown stays. Hiding gives the shortcuts back. The window does the rest (its
    // width, scroll bars, menus and action categories).
    void ShowPanel();
    void HidePanel();

    // The inlay stage that the inlay controls set as they write their settings (the preview's), and the
    // frame rate of the file shown in the information panel, which turns the automatic inlay's seconds
    // into frames (0 when no file is shown). Without a stage the controls write their settings alone. The
    // stage must outlive the panel or be replaced before it goes.
    void setInlayStage(InlaySetters* stage, std::function<double()> shownFrameRate);

    // The system lines written at start (the About panel's "System" page): the body of the mail link.
    void setSystemLines(const std::vector<ReportLine>& lines);

    // What the mail link opens: a new mail with the subject set at the last showing and the system lines
    // as its body. The maker's address is fictitious, so the user fills it in.
    QString mailUrl() const { return m_mailUrl; }

signals:
    // "Close" was pressed: the window triggers afOptions, which hides the panel.
    void closeRequested();
    // A row of the command check list changed its mark (or "Check all"): the window runs
    // UpdateActionStates at once.
    void commandMarksChanged();
    // Captions, enabled states or shortcuts of actions in the action list changed (an external program
    // chosen, the panel shown or hidden): the window copies them to what it draws.
    void actionsChanged();
    // An inlay setting changed (font, size, alignment, content, automatic mode, duration, hour shift, or
    // the two inlay patterns) and the inlay stage was told: the preview draws its paused frame again.
    void inlayChanged();
    // Emitted while "Save the preferences now" collects the settings, after this panel's controls and
    // before anything is written: the window adds its position and the inlay position (connect directly).
    void collectWindowSettings();

private:
    void buildHeader();
    QWidget* buildPreferencesPage();
    QWidget* buildCommandsPage();
    QWidget* buildFormatsPage();
    QWidget* buildFoldersPage();
    QWidget* buildInlayPage();

    void commandRowChanged(QListWidgetItem* item);
    void checkAll();

    void cbSendToClick();
    void cbsameFolderClick();
    void edDossierOuvrirExit();
    void edDossierAutoExit();
    void edDossierSaveExit();
    void chooseFolder(QLineEdit* field, bool storeAtOnce);
    void chooseProgram(Launcher launcher, QLineEdit* field);
    // Calls `set` on the inlay stage, when there is one, then says that the inlay changed.
    void toInlay(const std::function<void(InlaySetters&)>& set);
    void edAfficher1Exit();
    void edDureeIncrustExit();
    void sbIncrustFontClick();
    void SpeedButton1Click();
    void SpeedButton2Click();
    void openMailLink();
    void openHomepageLink();

    Settings& settings() { return m_preferences.settings(); }

    Preferences& m_preferences;
    ActionList& m_al;
    CommandCheckList& m_checkList;
    PanelShortcuts m_shortcuts;
    InlaySetters* m_inlay = nullptr;
    std::function<double()> m_shownFrameRate;
    std::string m_mailBody;
    QString m_mailUrl;
    bool m_showingRows = false;

    QTabWidget* m_pages = nullptr;

    // Header.
    QLabel* m_title = nullptr;
    QLabel* m_picture = nullptr;
    QLabel* m_homepageLink = nullptr;
    QLabel* m_mailLink = nullptr;
    QPushButton* m_closeButton = nullptr;

    // "Preferences".
    QCheckBox* m_prefsQuittant = nullptr;
    QCheckBox* m_sendTo = nullptr;
    QCheckBox* m_selection = nullptr;
    QCheckBox* m_liste = nullptr;
    QButtonGroup* m_standard = nullptr;
    QButtonGroup* m_frequenceDV = nullptr;
    QLineEdit* m_fichierSnapwick = nullptr;
    QLineEdit* m_fichierF3 = nullptr;
    QLineEdit* m_fichierF4 = nullptr;

    // "Commands".
    QListWidget* m_commandList = nullptr;

    // "Formats".
    QLineEdit* m_ajouter = nullptr;
    QLineEdit* m_afficherDatecode = nullptr;
    QLineEdit* m_afficher1 = nullptr;
    QLineEdit* m_afficher2 = nullptr;
    QLineEdit* m_renommer = nullptr;
    QLineEdit* m_racine = nullptr;

    // "Folders".
    QLineEdit* m_dossierOuvrir = nullptr;
    QLineEdit* m_dossierAuto = nullptr;
    QLineEdit* m_dossierPlayList = nullptr;
    QCheckBox* m_sameFolder = nullptr;
    QLineEdit* m_dossierSave = nullptr;
    QToolButton* m_dossierSaveButton = nullptr;

    // "Inlay".
    QCheckBox* m_autoFontSize = nullptr;
    QButtonGroup* m_align = nullptr;
    QButtonGroup* m_whatIncrust = nullptr;
    QCheckBox* m_auto = nullptr;
    QButtonGroup* m_autoMode = nullptr;
    QLineEdit* m_dureeIncrust = nullptr;
    QSpinBox* m_decalageHoraire = nullptr;
};

}  // namespace moraven
