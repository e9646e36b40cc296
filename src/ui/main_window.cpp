#include "ui/main_window.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFont>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

#include "commands/housekeeping_commands.h"
#include "pipeline/media_framework_module.h"
#include "pipeline/stage_registry.h"
#include "platform/system_locale.h"
#include "platform/system_services.h"
#include "ui/about_panel.h"
#include "ui/action_binder.h"
#include "ui/desktop_launch.h"
#include "ui/file_list_view.h"
#include "ui/info_panel.h"
#include "ui/options_panel.h"
#include "ui/placeholder_frame.h"
#include "pipeline/preview/tviewdm.h"
#include "ui/preview_player.h"
#include "ui/repair_dialogs.h"
#include "ui/riff_form.h"
#include "ui/ui_text.h"
#include "window/video_record.h"

namespace moraven {

namespace {

constexpr int kToolBarHeight = 36;
constexpr int kToolButtonWidth = 32;
constexpr int kDesignClientHeight = 446;
constexpr int kLoadedClientHeight = 40 + 361 + 48;  // the list's top and height, and room under it
constexpr int kStatusBarHeight = 19;

// Makes the records of the list from the settings' datecode pattern and the user's date names; pending
// events are processed before each file is read, so Esc and repainting act during long additions.
RecordFactory windowRecordFactory(const Settings& settings, const DateFormatLocale& locale,
                                  Interaction& interaction) {
    return [&settings, &locale, &interaction](const std::string& path) -> std::unique_ptr<ListRecord> {
        interaction.processPendingEvents();
        FileRecordOptions options;
        options.datecodePattern = settings.formatPourAfficherDatecode;
        options.locale = locale;
        return std::make_unique<VideoFileRecord>(path, options);
    };
}

}  // namespace

TUIForm::TUIForm(Preferences& preferences, std::vector<std::string> parameters, QWidget* parent)
    : QMainWindow(parent),
      m_preferences(preferences),
      m_parameters(std::move(parameters)),
      m_locale(systemDateFormatLocale()),
      m_interaction(this, {[this](const std::string& text) { setStatusText(text); },
                           [this] { m_baseFrame->showProgress(); },
                           [this](int percent) { m_baseFrame->setProgress(percent); },
                           [this] { m_baseFrame->hideProgress(); }}) {
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFont(QFont("Arial", 8));
    setAcceptDrops(true);
    RunnerHooks hooks;
    hooks.showCurrent = [this](const ListRecord* record) { showCurrent(record); };
    // A command lets the player release the file it works on, and the next showing loads it again.
    hooks.SuspendPreview = [this] {
        if (m_player) m_player->suspend();
    };
    hooks.EndSuspend = [this] {
        if (m_player) m_player->endSuspend();
    };
    hooks.MoveToRecycleBin = MoveToRecycleBin;
    hooks.mediaFramework = loadMediaFramework;
    m_core = std::make_unique<CommandCore>(
        preferences.settings(), m_locale, m_interaction,
        windowRecordFactory(preferences.settings(), m_locale, m_interaction), hooks);
    m_sources =
        std::make_unique<FileListSources>(m_core->list, m_core->state, m_interaction, preferences.settings());
    m_interaction.afterPendingEvents = [this] {
        // A long loop redraws what it changed, a few times a second.
        if (m_sinceRefresh.isValid() && m_sinceRefresh.elapsed() < 100) return;
        refreshView();
    };

    buildClient();
    m_binder = new ActionBinder(m_core->al, this, [this](const std::string& name) { executeAction(name); });
    buildMenus();
    buildToolBars();
    bindCore();
    ApplyEnglishTexts();

    connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
            [this] { onIdle(); });
    connect(QApplication::clipboard(), &QClipboard::dataChanged, this, [this] { updateAndRefresh(); });
}

TUIForm::~TUIForm() {
    // The panels go with the window's children, after its members: the settings panel must not reach the
    // preview's inlay or the core once they are gone.
    m_optionsFrame->setInlayStage(nullptr, {});
    disconnect(m_optionsFrame, nullptr, this, nullptr);
}

void TUIForm::buildClient() {
    m_client = new QWidget(this);
    m_client->setObjectName("client");
    setCentralWidget(m_client);

    m_baseFrame = new TBaseFrame(m_preferences.settings(), m_client);
    m_baseFrame->setObjectName("BaseFrame");
    m_baseFrame->move(0, kToolBarHeight);
    PreviewPlayer::Hooks playerHooks;
    playerHooks.actionsChanged = [this] {
        if (m_binder) m_binder->sync();
    };
    playerHooks.setVolumeGauge = [this](int percent) { m_volumeGauge->setValue(percent); };
    playerHooks.setVolumePanelShown = [this](bool shown) { m_volumePanel->setVisible(shown); };
    playerHooks.windowActions = [this] { return QWidget::actions(); };
    m_player = std::make_unique<PreviewPlayer>(*m_baseFrame, m_preferences.settings(), m_locale, m_core->al,
                                               std::move(playerHooks));

    m_listView = new FileListView(m_core->list, m_client);
    m_listView->setObjectName("lb");
    m_listView->setGeometry(280, 40, 281, 361);
    m_listView->onUserRefresh = [this] {
        m_core->runner.FullRefresh();
        refreshView();
    };
    m_listView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_listView, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { m_listPopup->popup(m_listView->viewport()->mapToGlobal(at)); });

    m_labFichiers = new QLabel(m_client);
    m_labFichiers->setObjectName("labFichiers");
    m_labFichiers->setGeometry(312, 408, 241, 15);
    m_labFichiers->setAlignment(Qt::AlignCenter);
    QFont times("Times New Roman");
    times.setPixelSize(13);
    m_labFichiers->setFont(times);
    m_labFichiers->setStyleSheet("color: navy");

    m_volumePanel = new QWidget(m_client);
    m_volumePanel->setObjectName("Panel1");
    m_volumePanel->setGeometry(4, 404, 49, 21);
    m_volumeGauge = new QProgressBar(m_volumePanel);
    m_volumeGauge->setObjectName("Gauge2");
    m_volumeGauge->setGeometry(0, 0, 48, 20);
    m_volumeGauge->setRange(0, 100);
    m_volumeGauge->setTextVisible(false);

    m_placeholder = new PlaceholderFrame(m_client);
    m_placeholder->move(0, kToolBarHeight);
    m_placeholder->setContextMenuPolicy(Qt::DefaultContextMenu);

    m_statusLabel = new QLabel(m_client);
    m_statusLabel->setObjectName("StatusBar1");
    m_statusLabel->setAlignment(Qt::AlignCenter);
    m_statusLabel->setFrameShape(QFrame::Panel);
    m_statusLabel->setFrameShadow(QFrame::Sunken);

    m_optionsFrame = new TOptionsFrame(m_preferences, m_core->al, m_core->checkList, m_client);
    m_optionsFrame->setObjectName("OptionsFrame");
    m_optionsFrame->hide();
    m_optionsFrame->setInlayStage(&m_player->setters(), [this] {
        const ListRecord* shown = m_core->state.CurrentFichier;
        return shown ? shown->fps() : 0.0;
    });
    m_aboutFrame = new TAproposFrame(
        StageLookup{[](std::string_view name) { return FindFilter(name); },
                    [](std::string_view name) { return FindFilterIn(StageCategory::VideoCompressor, name); }},
        m_client);
    m_aboutFrame->setObjectName("AproposFrame");
    m_aboutFrame->hide();

    m_riffForm = new TRiffForm(this);
    m_riffForm->setWindowFlag(Qt::Window);
    m_repairDialogs = std::make_unique<RepairDialogs>(this);

    connect(m_baseFrame, &TBaseFrame::parentFolderRequested, this,
            [this] { executeAction("amDossierParent"); });
    connect(m_baseFrame, &TBaseFrame::inlaySlidersToggleRequested, this,
            [this] { executeAction("amAfficherSliders"); });
    // The player keeps the settings of the inlay position (the sliders and the click on the picture).
    connect(m_baseFrame, &TBaseFrame::panelCleared, this, [this] { m_player->clear(); });
    connect(m_baseFrame, &TBaseFrame::videoMenuRequested, this,
            [this](const QPoint& at) { m_videoPopup->popup(at); });
    // "Close" on a panel is its action: the action's check mark goes off and the panel is hidden.
    connect(m_optionsFrame, &TOptionsFrame::closeRequested, this,
            [this] { m_binder->action("afOptions")->trigger(); });
    connect(m_optionsFrame, &TOptionsFrame::commandMarksChanged, this, [this] { updateAndRefresh(); });
    connect(m_optionsFrame, &TOptionsFrame::actionsChanged, this, [this] { refreshView(); });
    connect(m_optionsFrame, &TOptionsFrame::inlayChanged, this, [this] { m_player->redraw(); });
    connect(
        m_optionsFrame, &TOptionsFrame::collectWindowSettings, this,
        [this] {
            m_preferences.settings().left = x();
            m_preferences.settings().top = y();
        },
        Qt::DirectConnection);
    connect(m_aboutFrame, &TAproposFrame::closeRequested, this,
            [this] { m_binder->action("afApropos")->trigger(); });
}

void TUIForm::bindCore() {
    CommandContext& context = m_core->context;
    context.decimalSeparator = QLocale().decimalPoint().toStdString();
    // The scene scan runs beside the window: the move reaches the player on the window's thread.
    context.showPreviewFrame = [this](std::int64_t frame) {
        QMetaObject::invokeMethod(this, [this, frame] { m_player->showFrame(frame); }, Qt::QueuedConnection);
    };
    PlayerHooks& player = context.player;
    player.settings = &m_preferences.settings();
    player.inlay = [this] { return &m_player->setters(); };
    player.redraw = [this] { m_player->redraw(); };
    player.showSliders = [this](bool shown) { m_baseFrame->setInlaySlidersVisible(shown); };
    player.showVolumePanel = [this](bool shown) { m_volumePanel->setVisible(shown); };
    player.setActionLook = [this](const std::string& name, const std::string& caption, int image) {
        if (Action* action = m_core->al.find(name)) {
            action->caption = caption;
            if (image >= 0) action->imageIndex = image;
        }
        m_binder->sync();
    };
    context.openWithDesktop = openWithDesktop;
    context.startProgram = [](const std::string& program, const std::vector<std::string>& arguments) {
        startProgram(program, arguments);
    };
    context.showRiffReport = [this](const std::string& path) { return m_riffForm->showRiffReport(path); };
    context.askFrameRate = [this](ChoiceDialogState& dialog) {
        return m_repairDialogs->runFrequenceDialog(dialog);
    };
    context.askCodec = [this](ChoiceDialogState& dialog) { return m_repairDialogs->runCodecDialog(dialog); };
}

void TUIForm::buildMenus() {
    auto add = [this](QMenu* menu, const char* name) {
        if (QAction* action = m_binder->action(name)) menu->addAction(action);
    };
    auto addAll = [&](QMenu* menu, std::initializer_list<const char*> names) {
        for (const char* name : names) {
            if (std::string_view(name) == "-") {
                menu->addSeparator();
            } else {
                add(menu, name);
            }
        }
    };
    auto sortMenu = [&](QMenu* parent) {
        QMenu* sort = parent->addMenu("Sort the list");
        addAll(sort, {"afOrdreAlpha", "alTriDatecode", "alTriTaille", "alTrierModify"});
    };
    QMenuBar* bar = menuBar();
    QMenu* files = bar->addMenu("Files");
    addAll(files, {"afOuvrirFichiers", "afCollerFichiers", "afOuvrirunDossier", "afOuvrirDossierPrefere",
                   "afOuvrirTout", "-", "afOuvrirPlayList", "afSauverListe", "afOuvrirDefaultPlayList", "-",
                   "afBasculerListe"});
    sortMenu(files);
    addAll(files, {"-", "afQuitter"});
    QMenu* video = bar->addMenu("Video");
    addAll(video, {"avPlayStop", "avFullscreen", "avMute", "-", "afSnapwick", "amOpenFichierF3",
                   "amOpenFichierF4", "amDefaultPlayer", "-", "amRiffHeader", "amCorrigerFps",
                   "amCorrigerCodec", "-", "amDossierParent", "amOterFichier", "amSupprimerFichier"});
    QMenu* rename = bar->addMenu("Rename");
    addAll(rename,
           {"amAjouterDatecode", "amAjouterTimecode", "amRenameScAn", "-", "amPurgerNom", "amFileDate"});
    QMenu* convert = bar->addMenu("Convert");
    addAll(convert, {"amDVType1", "amDVType2", "amConvertirDV", "amCorrigertype2", "-", "amNTSC", "amPal",
                     "-", "amIncrusterDatecode", "amDecalerHoraire", "amExtraireAudio"});
    QMenu* scenes = bar->addMenu("Scenes");
    addAll(scenes, {"amCreerScenes", "amSupprimerScenes", "amScenesText"});
    QMenu* help = bar->addMenu("?");
    addAll(help, {"afOptions", "afApropos"});
    m_topMenus = {files, video, rename, convert, scenes, help};

    m_mainPopup = new QMenu(this);
    m_mainPopup->setObjectName("mainPopup");
    addAll(m_mainPopup, {"afOuvrirFichiers", "afCollerFichiers", "afOuvrirDossierPrefere", "-", "afOptions",
                         "afApropos", "afQuitter"});
    m_videoPopup = new QMenu(this);
    m_videoPopup->setObjectName("vwpopup");
    addAll(m_videoPopup, {"avPlayStop", "avFullscreen", "-", "avMute", "afIncVolume", "afDecVolume", "-",
                          "amAfficherIncrustation", "amAfficherSliders"});
    m_listPopup = new QMenu(this);
    m_listPopup->setObjectName("listpopup");
    addAll(m_listPopup, {"afOuvrirFichiers", "afCollerFichiers", "afOuvrirunDossier",
                         "afOuvrirDossierPrefere", "afOuvrirTout", "-", "afBasculerListe"});
    sortMenu(m_listPopup);
    addAll(m_listPopup, {"afSelectionnerTout", "-", "afSauverListe", "afViderListe", "afQuitter"});
}

void TUIForm::buildToolBars() {
    auto makeBar = [this](const char* name) {
        auto* bar = new QToolBar(m_client);
        bar->setObjectName(name);
        bar->setMovable(false);
        bar->setFloatable(false);
        bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
        bar->setIconSize(QSize(25, 25));
        bar->setStyleSheet(
            "QToolBar { border: 0px; spacing: 0px; padding: 0px; }"
            "QToolButton { min-width: 30px; max-width: 30px; min-height: 29px; max-height: 29px; }");
        return bar;
    };
    auto addButton = [this](QToolBar* bar, const char* name, const char* hint) {
        QAction* action = m_binder->action(name);
        if (!action) return;
        bar->addAction(action);
        if (QWidget* button = bar->widgetForAction(action); button && hint) button->setToolTip(hint);
    };
    m_toolBar1 = makeBar("ToolBar1");
    m_toolBar1->setGeometry(0, 0, 593, kToolBarHeight);
    addButton(m_toolBar1, "afOuvrirFichiers",
              "Add files to the list of avi videos.\nOnly avi files will be processed.");
    addButton(m_toolBar1, "afCollerFichiers",
              "Paste files from the clipboard.\nOnly avi files will be processed.");
    addButton(m_toolBar1, "afOuvrirDossierPrefere", "Add all avi files from the preferred folder.");
    addButton(m_toolBar1, "amDossierParent", "Open the parent folder.");
    addButton(m_toolBar1, "avMute", nullptr);
    addButton(m_toolBar1, "amAfficherIncrustation", "Display the datecode or timecode on the video. ");
    m_toolBar2 = makeBar("ToolBar2");
    m_toolBar2->setGeometry(408, 0, 169, kToolBarHeight);
    addButton(m_toolBar2, "afViderListe", nullptr);
    addButton(m_toolBar2, "afSelectionnerTout", "Select all files.");
    addButton(m_toolBar2, "afOptions", "Change the settings and preferences.");
    addButton(m_toolBar2, "afApropos", "help and About...");
    addButton(m_toolBar2, "afQuitter", "Quit");
}

void TUIForm::ApplyEnglishTexts() {
    setWindowTitle("Moraven by Velloran");
    if (Action* quit = m_core->al.find("afQuitter")) quit->hint = "Quit Moraven";
    m_statusLabel->setToolTip("Type Esc to cancel a command.");
    m_volumePanel->setToolTip("Volume of audio.\nType + or - on the numeric keypad to change it.");
    m_volumeGauge->setToolTip(m_volumePanel->toolTip());
}

int TUIForm::clientWidth() const { return m_client->width(); }

void TUIForm::layoutClient() {
    const WindowState& state = m_core->state;
    if (state.ListLoading || !m_core->list.empty()) m_listLoadedOnce = true;
    int width = state.listShown ? kWithListWidth : kPanelColumnWidth;
    int height = m_listLoadedOnce ? kLoadedClientHeight : kDesignClientHeight;
    if (state.settingsPanelShown) {
        width = kSettingsWidth;  // the panel covers the whole client area; its empty bottom is cut off
    } else if (state.aboutPanelShown) {
        width = kAboutWidth;
    } else if (state.placeholderShown) {
        width = kPanelColumnWidth;
    }
    if (m_client->size() != QSize(width, height)) {
        m_client->setFixedSize(width, height);
        setFixedSize(sizeHint());
    }
    m_statusLabel->setGeometry(0, height - kStatusBarHeight, width, kStatusBarHeight);
    int visibleButtons = 0;
    for (QAction* action : m_toolBar2->actions()) visibleButtons += action->isVisible() ? 1 : 0;
    m_toolBar2->move(width - visibleButtons * kToolButtonWidth, 0);
    m_toolBar2->raise();
    // The placeholder covers the information panel; the two panels cover everything.
    const bool panelShown = state.settingsPanelShown || state.aboutPanelShown;
    m_placeholder->setVisible(state.placeholderShown && !panelShown);
    if (m_placeholder->isVisible()) m_placeholder->raise();
    m_optionsFrame->setVisible(state.settingsPanelShown);
    if (state.settingsPanelShown) m_optionsFrame->raise();
    m_aboutFrame->setVisible(state.aboutPanelShown);
    if (state.aboutPanelShown) m_aboutFrame->raise();
}

void TUIForm::updateMenus() {
    const bool panelShown = m_core->state.settingsPanelShown || m_core->state.aboutPanelShown;
    for (QMenu* menu : m_topMenus) {
        bool any = false;
        for (QAction* action : menu->actions()) {
            any = any || (!action->isSeparator() && action->isVisible() &&
                          (action->menu() == nullptr || !action->menu()->isEmpty()));
        }
        menu->menuAction()->setVisible(any && !panelShown);
    }
}

bool TUIForm::clipboardHasFiles() const {
    const QMimeData* clipboardData = QApplication::clipboard()->mimeData();
    if (!clipboardData || !clipboardData->hasUrls()) return false;
    for (const QUrl& url : clipboardData->urls()) {
        if (url.isLocalFile()) return true;
    }
    return false;
}

void TUIForm::refreshView() {
    m_sinceRefresh.start();
    m_listView->syncFromList();
    m_listView->setEnabled(m_core->state.listEnabled);
    m_labFichiers->setText(uiText(m_core->list.labFichiersText()));
    m_listView->setToolTip(uiText(m_core->list.listHint()));
    // "Paste" is offered exactly when the clipboard holds files (the availability rule leaves it alone).
    // While a run holds the list, nothing is pasted.
    if (Action* paste = m_core->al.find("afCollerFichiers"))
        paste->enabled = clipboardHasFiles() && !m_core->list.additionsRefused();
    m_binder->sync();
    updateMenus();
    layoutClient();
}

void TUIForm::updateAndRefresh() {
    m_core->runner.UpdateActionStates();
    refreshView();
}

void TUIForm::setStatusText(const std::string& text) {
    const QString shown = uiText(text);
    if (m_statusLabel->text() != shown) m_statusLabel->setText(shown);
}

void TUIForm::showCurrent(const ListRecord* record) {
    const auto* video = dynamic_cast<const VideoFileRecord*>(record);
    if (video) {
        m_baseFrame->ShowFile(video->fichier());
        m_player->load(video->fichier());
    } else {
        // No file: the panel empties, the player lets go, and the picture area says the video is interrupted.
        m_baseFrame->ClearPanel();
        m_player->showMessageMode(kPreviewInterrupted);
    }
}

void TUIForm::onIdle() {
    if (!m_shown || m_closing) return;
    WindowState& state = m_core->state;
    state.AbortRequested = false;
    state.AbortAllRequested = false;
    state.ListLoading = false;
    setStatusText("Ready");
    updateAndRefresh();
    if (isActiveWindow() && state.listEnabled && !state.settingsPanelShown && !state.aboutPanelShown &&
        m_listView->isVisible() && !m_listView->hasFocus() && QApplication::activeModalWidget() == nullptr &&
        QApplication::activePopupWidget() == nullptr) {
        m_listView->setFocus();
    }
}

void TUIForm::reportFailures(const std::function<void()>& work) {
    try {
        work();
    } catch (const std::exception& error) {
        m_interaction.showMessage(error.what(), MessageKind::Error);
    }
}

}  // namespace moraven
