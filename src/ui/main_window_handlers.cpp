// What the window's own actions do, and the file sources that need the window: dialogs, the clipboard and
// drag and drop.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QMenu>
#include <QMimeData>
#include <QUrl>

#include "formats/binary_file.h"
#include "ui/about_panel.h"
#include "ui/action_binder.h"
#include "ui/info_panel.h"
#include "ui/main_window.h"
#include "ui/options_panel.h"
#include "ui/preview_player.h"
#include "ui/ui_text.h"
#include "window/playlist.h"

namespace moraven {

namespace {

// The local files of a list of URLs (the clipboard's or a drop's file list), in order.
std::vector<std::string> localFiles(const QList<QUrl>& urls) {
    std::vector<std::string> paths;
    for (const QUrl& url : urls) {
        if (url.isLocalFile()) paths.push_back(filePath(url.toLocalFile()));
    }
    return paths;
}

}  // namespace

void TUIForm::executeAction(const std::string& name) {
    reportFailures([&] {
        if (!runOwnAction(name)) {
            if (Action* action = m_core->al.find(name)) m_core->runner.executeAction(*action);
        }
    });
    updateAndRefresh();
}

bool TUIForm::runOwnAction(const std::string& name) {
    FileList& list = m_core->list;
    const Settings& settings = m_preferences.settings();
    // A shortcut can reach a source of files while a command runs (a scene scan processes window events);
    // the run holds the list, so nothing is added until it ends.
    if (addsFilesToList(name) && list.additionsRefused()) return true;
    if (name == "afOuvrirFichiers") {
        openFilesDialog();
    } else if (name == "afCollerFichiers") {
        pasteFiles();
    } else if (name == "afOuvrirunDossier") {
        chooseAndOpenFolder();
    } else if (name == "afOuvrirDossierPrefere") {
        m_sources->OpenPreferredFolder();
    } else if (name == "afOuvrirTout") {
        m_sources->OpenAll(localFileSystemRoots());
    } else if (name == "afOuvrirPlayList") {
        openPlaylistDialog();
    } else if (name == "afOuvrirDefaultPlayList") {
        readPlaylist(defaultPlaylistPath(settings.dossierDesPlayList));
    } else if (name == "afSauverListe") {
        savePlaylistDialog();
    } else if (name == "afBasculerListe") {
        list.ToggleList();
    } else if (name == "afOrdreAlpha") {
        list.SortList(kOrderAlphabetical);
    } else if (name == "alTriDatecode") {
        list.SortList(kOrderDatecode);
    } else if (name == "alTriTaille") {
        list.SortList(kOrderFileSize);
    } else if (name == "alTrierModify") {
        list.SortList(kOrderFileDate);
    } else if (name == "afSelectionnerTout") {
        list.SelectAll();
    } else if (name == "afViderListe") {
        list.EmptyList();
    } else if (name == "afInterrompre") {
        abort(false);
    } else if (name == "afInterrompreTous") {
        abort(true);
    } else if (name == "afOptions") {
        togglePanel(Panel::Settings);
    } else if (name == "afApropos") {
        togglePanel(Panel::About);
    } else if (name == "afQuitter") {
        close();
    } else if (m_player->runAction(name)) {
        return true;
    } else {
        // The commands run through their runners.
        return m_core->tch.commandOfAction(name) == nullptr;
    }
    return true;
}

void TUIForm::abort(bool all) {
    m_core->state.AbortRequested = true;
    if (all) m_core->state.AbortAllRequested = true;
    m_sources->stopScan();
}

void TUIForm::openFilesDialog() {
    if (m_core->state.AbortRequested) return;
    const QStringList chosen = QFileDialog::getOpenFileNames(
        this, QString(), uiPath(m_preferences.settings().dossierPourOuvrirFichiers),
        "Files avi (*.avi *.AVI)");
    std::vector<std::string> paths;
    for (const QString& path : chosen) paths.push_back(filePath(path));
    if (!paths.empty()) m_sources->addFiles(paths, "Loading files");
}

void TUIForm::pasteFiles() {
    const QMimeData* clipboardData = QApplication::clipboard()->mimeData();
    if (!clipboardData || !clipboardData->hasUrls()) return;
    try {
        m_sources->addFiles(localFiles(clipboardData->urls()), "Paste files");
    } catch (const std::exception&) {
        // Pasting ends quietly at a file it cannot read.
    }
}

void TUIForm::chooseAndOpenFolder() {
    QString start = uiPath(m_preferences.settings().dossierPourOuvrirFichiers);
    if (!QDir(start).exists()) start = QDir::homePath();
    const QString folder = QFileDialog::getExistingDirectory(
        this, "Select the folder containing the AVI files to open", start, QFileDialog::ShowDirsOnly);
    if (!folder.isEmpty()) m_sources->OpenFolder(filePath(folder));
}

void TUIForm::openPlaylistDialog() {
    const QString path = QFileDialog::getOpenFileName(
        this, QString(), uiPath(m_preferences.settings().dossierDesPlayList), "playlist (*.txt)");
    if (!path.isEmpty()) readPlaylist(filePath(path));
}

void TUIForm::readPlaylist(const std::string& path) {
    ReadPlaylist(m_core->list, m_core->state, m_interaction, path);
}

void TUIForm::savePlaylistDialog() {
    QFileDialog dialog(this, QString(), uiPath(m_preferences.settings().dossierDesPlayList),
                       "playlist (*.txt)");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix("txt");
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    WritePlaylist(m_core->list, filePath(dialog.selectedFiles().front()),
                  m_preferences.settings().formatPourAfficherDatecode, m_locale);
}

void TUIForm::setPanelShown(Panel panel, bool shown) {
    WindowState& state = m_core->state;
    if (panel == Panel::Settings) {
        state.settingsPanelShown = shown;
        shown ? m_optionsFrame->ShowPanel() : m_optionsFrame->HidePanel();
    } else {
        state.aboutPanelShown = shown;
        shown ? m_aboutFrame->ShowAbout() : m_aboutFrame->HideAbout();
    }
}

void TUIForm::togglePanel(Panel panel) {
    const Panel other = panel == Panel::Settings ? Panel::About : Panel::Settings;
    Action* own = m_core->al.find(panel == Panel::Settings ? "afOptions" : "afApropos");
    Action* others = m_core->al.find(other == Panel::Settings ? "afOptions" : "afApropos");
    // One panel at a time: the other one goes first.
    const bool otherShown =
        other == Panel::Settings ? m_core->state.settingsPanelShown : m_core->state.aboutPanelShown;
    if (otherShown) {
        setPanelShown(other, false);
        if (others) others->checked = false;
    }
    setPanelShown(panel, own && own->checked);
    m_core->list.SelectionRefresh();
    m_core->runner.UpdateActionStates();
}

void TUIForm::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls() && !m_core->list.additionsRefused()) event->acceptProposedAction();
}

void TUIForm::dropEvent(QDropEvent* event) {
    if (m_core->list.additionsRefused()) {
        event->ignore();  // a running command holds the list
        return;
    }
    const std::vector<std::string> paths = localFiles(event->mimeData()->urls());
    event->acceptProposedAction();
    reportFailures([&] { m_sources->addFiles(paths, "Open drag-and-dropped files"); });
    updateAndRefresh();
}

void TUIForm::contextMenuEvent(QContextMenuEvent* event) { m_mainPopup->popup(event->globalPos()); }

}  // namespace moraven
