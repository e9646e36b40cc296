// The window's start-up, its first paint, and its shut-down.
#include <QCloseEvent>
#include <QEvent>
#include <QProgressBar>
#include <QTimer>

#include "commands/housekeeping_commands.h"
#include "pipeline/framework_version.h"
#include "pipeline/stage_registry.h"
#include "platform/system_report.h"
#include "platform/system_services.h"
#include "ui/about_panel.h"
#include "ui/action_binder.h"
#include "ui/info_panel.h"
#include "ui/main_window.h"
#include "ui/options_panel.h"
#include "ui/preview_player.h"
#include "window/playlist.h"
#include "window/program_session.h"

namespace moraven {

namespace {

// What the "System" page reports, gathered once at start.
SystemFacts currentSystemFacts(const Settings& settings) {
    SystemFacts facts;
    facts.osName = OsName();
    facts.frameworkVersion = MediaFrameworkVersion();
    facts.deinterlacerFound = FindFilter("Pinnacle Video Deinterlacer");
    facts.wavDestFound = FindFilter("WAV Dest");
    facts.snapwickPath = existingFile(settings.fichierSnapwick);
    return facts;
}

}  // namespace

void TUIForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (m_shown) return;
    m_shown = true;
    FormShow();
    // The first paint comes once the window is on screen.
    QTimer::singleShot(0, this, [this] { FirstPaint(); });
}

void TUIForm::FormShow() {
    try {
        m_baseFrame->ApplyPanelTexts();
        m_optionsFrame->ApplyOptionsTexts();
        m_aboutFrame->ApplyAboutTexts();
        m_baseFrame->CentreInColumn(kPanelColumnWidth);
        ApplySettings();
        m_restorePlaylistPending = m_preferences.settings().sauverListeEnQuittant;
        m_core->list.setItemIndex(-1);
        // The core filled the command list, put the saved marks on it and made the switch table.
        m_optionsFrame->showCommandRows();
        m_aboutFrame->setCommandLineRows(commandLineHelpRows(m_core->switches, m_core->al));
        applyLauncherCaptions(m_core->al, m_preferences.settings());
        m_core->state.AbortRequested = m_core->state.AbortAllRequested = false;
        if (!m_parameters.empty()) {
            m_pendingParameters = true;
        } else {
            m_core->list.SelectionRefresh();
        }
    } catch (const std::exception&) {
        // Start-up goes on with what could be set up.
    }
    if (!m_pendingParameters) m_baseFrame->WriteWelcome();
    updateAndRefresh();
}

void TUIForm::WriteSystemPage() {
    try {
        const std::vector<ReportLine> system = systemPageLines(currentSystemFacts(m_preferences.settings()));
        m_aboutFrame->WriteSystemPage(system);
        m_optionsFrame->setSystemLines(system);
    } catch (const std::exception&) {
        // The page stays empty; the window works without it.
    }
}

void TUIForm::ApplySettings() {
    const Settings& settings = m_preferences.settings();
    if (settings.left != 0 || settings.top != 0) move(settings.left, settings.top);
    m_volumeGauge->setValue(settings.volume / 100);
    m_baseFrame->setInlayPosition(settings.incrustPositionX, settings.incrustPositionY);
    m_baseFrame->setInlaySlidersVisible(settings.incrustSlidersVisible);
    m_optionsFrame->loadControls();
    // The preview's inlay starts from the settings; the player sets it again for each file it shows.
    m_player->applyInlaySettings();
    m_player->applyMuteSetting();
    if (settings.incrustSlidersVisible) m_volumePanel->hide();
    // The two inlay actions say what they will do next.
    const PlayerHooks& player = m_core->context.player;
    if (settings.isIncrustOn) player.setActionLook("amAfficherIncrustation", "Hide the datecode", 21);
    if (settings.incrustSlidersVisible) player.setActionLook("amAfficherSliders", "Hide the sliders for Inlay", -1);
}

void TUIForm::FirstPaint() {
    // The system page names the media framework's version, which loads FFmpeg: done once the window is on
    // screen rather than before it shows.
    WriteSystemPage();
    if (m_restorePlaylistPending) {
        m_restorePlaylistPending = false;
        try {
            readPlaylist(defaultPlaylistPath(m_preferences.settings().dossierDesPlayList));
        } catch (const std::exception&) {
            // A missing or unreadable default playlist is no error at start.
        }
    }
    if (m_pendingParameters) {
        m_pendingParameters = false;
        const CommandCore::VisibleRun run = m_core->runVisible(m_parameters);
        if (run.showAbout) {
            if (Action* about = m_core->al.find("afApropos")) about->checked = true;
            togglePanel(Panel::About);
            m_aboutFrame->showOnPage(TAproposFrame::SystemPage);
        }
        if (run.closeAfter) {
            close();
            return;
        }
    }
    updateAndRefresh();
}

void TUIForm::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && m_shown) updateAndRefresh();  // paste availability
}

void TUIForm::closeEvent(QCloseEvent* event) {
    m_closing = true;
    m_player->shutDown();
    WindowState& state = m_core->state;
    state.ListLoading = false;
    state.AbortRequested = state.AbortAllRequested = true;  // running loops end
    m_sources->stopScan();
    // The end that the hidden mode shares: settings saved, then the default playlist written, as the settings
    // say; the window adds what only it holds (the panel's controls, its place) before the save.
    const SessionEnd end =
        endSession(m_preferences, m_core->list, m_locale, [this](Settings&) { collectSettings(); });
    if (end.playlistFailure) m_interaction.showMessage(*end.playlistFailure, MessageKind::Error);
    event->accept();
}

void TUIForm::collectSettings() {
    m_optionsFrame->collectControls();
    Settings& settings = m_preferences.settings();
    settings.left = x();
    settings.top = y();
}

}  // namespace moraven
