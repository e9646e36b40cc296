#include "ui/options_panel.h"

#include <filesystem>
#include <system_error>

#include <QButtonGroup>
#include <QCheckBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <QUrl>

#include "formats/program_info.h"
#include "platform/system_services.h"
#include "settings/options_values.h"
#include "ui/incrust_font_dialog.h"
#include "ui/settings_message_boxes.h"
#include "window/program_session.h"

namespace moraven {
namespace {

constexpr int kPanelWidth = 592;
constexpr int kPanelHeight = 480;
constexpr int kFormatsPage = 2;

QString fromSetting(const std::string& text) { return QString::fromStdString(text); }
std::string toSetting(const QLineEdit* field) { return field->text().toStdString(); }

// Checks item `itemIndex` of `group`, or none when it is kNoRadioItem (an exclusive group cannot uncheck its
// last checked button by itself).
void checkItem(QButtonGroup* group, int itemIndex) {
    if (QAbstractButton* button = group->button(itemIndex)) {
        button->setChecked(true);
    } else if (QAbstractButton* checked = group->checkedButton()) {
        group->setExclusive(false);
        checked->setChecked(false);
        group->setExclusive(true);
    }
}

}  // namespace

TOptionsFrame::TOptionsFrame(Preferences& preferences, ActionList& al, CommandCheckList& checkList,
                             QWidget* parent)
    : QWidget(parent), m_preferences(preferences), m_al(al), m_checkList(checkList) {
    setObjectName(QStringLiteral("OptionsFrame"));
    setFixedSize(kPanelWidth, kPanelHeight);
    setAutoFillBackground(true);
    setContextMenuPolicy(Qt::NoContextMenu);
    QFont arial(QStringLiteral("Arial"));
    arial.setStyleHint(QFont::SansSerif);
    arial.setPixelSize(11);
    setFont(arial);

    m_pages = new QTabWidget(this);
    m_pages->setObjectName(QStringLiteral("PageControl1"));
    m_pages->setGeometry(4, 8, 383, 425);
    m_pages->addTab(buildPreferencesPage(), QString());
    m_pages->addTab(buildCommandsPage(), QString());
    m_pages->addTab(buildFormatsPage(), QString());
    m_pages->addTab(buildFoldersPage(), QString());
    m_pages->addTab(buildInlayPage(), QString());
    m_pages->setCurrentIndex(kFormatsPage);
    buildHeader();
    ApplyOptionsTexts();
    hide();
}

void TOptionsFrame::loadControls() {
    const Settings& s = settings();
    m_prefsQuittant->setChecked(s.sauverPreferencesEnQuittant);
    m_sendTo->setChecked(s.sendto);
    m_selection->setChecked(s.selectionnerALOuverture);
    m_liste->setChecked(s.sauverListeEnQuittant);
    checkItem(m_standard, radioItemOf(s.standardParDefaut));
    checkItem(m_frequenceDV, radioItemOf(s.frequenceDV));
    m_fichierSnapwick->setText(fromSetting(s.fichierSnapwick));
    m_fichierF3->setText(fromSetting(s.fichierF3));
    m_fichierF4->setText(fromSetting(s.fichierF4));

    m_ajouter->setText(fromSetting(s.formatPourAjouterDatecode));
    m_afficherDatecode->setText(fromSetting(s.formatPourAfficherDatecode));
    m_afficher1->setText(fromSetting(s.formatPourIncrusterDatecode1));
    m_afficher2->setText(fromSetting(s.formatPourIncrusterDatecode2));
    m_renommer->setText(fromSetting(s.formatPourRenommer));
    m_racine->setText(fromSetting(s.racinePourRenommer));

    m_dossierOuvrir->setText(fromSetting(s.dossierPourOuvrirFichiers));
    m_dossierAuto->setText(fromSetting(s.dossierAOuvertureAuto));
    m_dossierPlayList->setText(fromSetting(s.dossierDesPlayList));
    m_dossierSave->setText(fromSetting(s.dossierPourSauver));
    m_sameFolder->setChecked(s.sauverDansLeMemeDossier);
    m_dossierSave->setEnabled(!s.sauverDansLeMemeDossier);
    m_dossierSaveButton->setEnabled(!s.sauverDansLeMemeDossier);

    m_autoFontSize->setChecked(s.standardFontSize);
    checkItem(m_align, radioItemOf(s.alignement));
    checkItem(m_whatIncrust, radioItemOf(s.whatIncrust));
    m_auto->setChecked(s.autoIncrust);
    checkItem(m_autoMode, radioItemOf(s.modeAutoIncrust));
    m_dureeIncrust->setText(QString::number(s.dureeIncrustation));
    {
        // Filling the field is no change of the user's; the hour shift is already the setting's.
        const QSignalBlocker blocker(m_decalageHoraire);
        m_decalageHoraire->setValue(s.decalageHoraire);
    }

    cbSendToClick();
    std::error_code error;
    const bool saveFolderExists = std::filesystem::is_directory(s.dossierPourSauver, error);
    settings().sauverDansLeMemeDossier = sameFolderForThisRun(s.sauverDansLeMemeDossier, saveFolderExists);
}

void TOptionsFrame::collectControls() {
    Settings& s = settings();
    s.sauverPreferencesEnQuittant = m_prefsQuittant->isChecked();
    s.sendto = m_sendTo->isChecked();
    s.selectionnerALOuverture = m_selection->isChecked();
    s.sauverListeEnQuittant = m_liste->isChecked();
    storeRadioItem(s.standardParDefaut, m_standard->checkedId());
    storeRadioItem(s.frequenceDV, m_frequenceDV->checkedId());
    s.fichierSnapwick = toSetting(m_fichierSnapwick);
    s.fichierF3 = toSetting(m_fichierF3);
    s.fichierF4 = toSetting(m_fichierF4);

    s.formatPourAjouterDatecode = toSetting(m_ajouter);
    s.formatPourAfficherDatecode = toSetting(m_afficherDatecode);
    s.formatPourIncrusterDatecode1 = toSetting(m_afficher1);
    s.formatPourIncrusterDatecode2 = toSetting(m_afficher2);
    s.formatPourRenommer = toSetting(m_renommer);
    s.racinePourRenommer = toSetting(m_racine);

    const std::pair<QLineEdit*, std::string Settings::*> folders[] = {
        {m_dossierOuvrir, &Settings::dossierPourOuvrirFichiers},
        {m_dossierAuto, &Settings::dossierAOuvertureAuto},
        {m_dossierPlayList, &Settings::dossierDesPlayList},
        {m_dossierSave, &Settings::dossierPourSauver},
    };
    for (const auto& [field, setting] : folders) {
        if (auto folder = folderSettingFromField(toSetting(field))) s.*setting = std::move(*folder);
    }
    s.sauverDansLeMemeDossier = m_sameFolder->isChecked();

    s.standardFontSize = m_autoFontSize->isChecked();
    storeRadioItem(s.alignement, m_align->checkedId());
    storeRadioItem(s.whatIncrust, m_whatIncrust->checkedId());
    s.autoIncrust = m_auto->isChecked();
    storeRadioItem(s.modeAutoIncrust, m_autoMode->checkedId());
    s.dureeIncrustation = dureeIncrustationFromText(toSetting(m_dureeIncrust));
    s.decalageHoraire = decalageHoraireFromValue(m_decalageHoraire->value());

    s.actions = m_checkList.CollectMarks(m_al);
}

void TOptionsFrame::FillCommandList() {
    m_checkList.FillCommandList(m_al);
    showCommandRows();
}

void TOptionsFrame::ApplySavedMarks() {
    m_checkList.ApplySavedMarks(settings().actions, m_al);
    showCommandRows();
}

void TOptionsFrame::showCommandRows() {
    m_showingRows = true;
    m_commandList->clear();
    for (const CommandCheckList::Row& row : m_checkList.rows()) {
        auto* item = new QListWidgetItem(fromSetting(row.text), m_commandList);
        // The rows of the window's own actions keep their mark: the user cannot change it.
        Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        if (row.canUncheck) flags |= Qt::ItemIsUserCheckable;
        item->setFlags(flags);
        item->setCheckState(row.checked ? Qt::Checked : Qt::Unchecked);
    }
    m_showingRows = false;
}

void TOptionsFrame::commandRowChanged(QListWidgetItem* item) {
    if (m_showingRows) return;
    const int row = m_commandList->row(item);
    m_checkList.setChecked(row, item->checkState() == Qt::Checked);
    // The model may refuse (a row that cannot be unchecked): the row shows what the model holds.
    const bool marked = m_checkList.marked(row);
    if ((item->checkState() == Qt::Checked) != marked) {
        m_showingRows = true;
        item->setCheckState(marked ? Qt::Checked : Qt::Unchecked);
        m_showingRows = false;
        return;
    }
    emit commandMarksChanged();
}

void TOptionsFrame::checkAll() {
    m_checkList.CheckAll();
    showCommandRows();
    emit commandMarksChanged();
}

void TOptionsFrame::ShowPanel() {
    m_title->setText(fromSetting(aboutTitle()));
    m_mailUrl = QString::fromStdString(mailToUrl("", aboutMailSubject(), m_mailBody));
    m_shortcuts.suspend(m_al);
    if (parentWidget() != nullptr) move(0, 0);
    show();
    raise();
    emit actionsChanged();
}

void TOptionsFrame::HidePanel() {
    hide();
    m_shortcuts.restore(m_al);
    emit actionsChanged();
}

void TOptionsFrame::setSystemLines(const std::vector<ReportLine>& lines) {
    m_mailBody = settingsMailBody(lines);
}

void TOptionsFrame::openMailLink() {
    if (!m_mailUrl.isEmpty()) QDesktopServices::openUrl(QUrl(m_mailUrl, QUrl::StrictMode));
}

void TOptionsFrame::openHomepageLink() {
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(kWebsiteAddress)));
}

void TOptionsFrame::cbSendToClick() {
    settings().sendto = m_sendTo->isChecked();
    // A desktop entry that cannot be written or removed changes nothing else; the run goes on.
    applySendToSetting(settings(), {[] { return CreateSendToShortcut(kProgramName); },
                                    [] { return RemoveSendToShortcut(kProgramName); }});
}

void TOptionsFrame::cbsameFolderClick() {
    settings().sauverDansLeMemeDossier = m_sameFolder->isChecked();
    m_dossierSave->setEnabled(!m_sameFolder->isChecked());
    m_dossierSaveButton->setEnabled(!m_sameFolder->isChecked());
}

void TOptionsFrame::edDossierOuvrirExit() {
    if (auto folder = folderSettingFromField(toSetting(m_dossierOuvrir)))
        settings().dossierPourOuvrirFichiers = *folder;
}

void TOptionsFrame::edDossierAutoExit() {
    if (auto folder = folderSettingFromField(toSetting(m_dossierAuto)))
        settings().dossierAOuvertureAuto = *folder;
}

void TOptionsFrame::edDossierSaveExit() {
    if (auto folder = folderSettingFromField(toSetting(m_dossierSave)))
        settings().dossierPourSauver = *folder;
}

void TOptionsFrame::chooseFolder(QLineEdit* field, bool storeAtOnce) {
    QFileDialog dialog(this, QString(), field->text());
    dialog.setObjectName(QStringLiteral("FolderDialog"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    field->setText(dialog.selectedFiles().constFirst());
    if (!storeAtOnce) return;
    if (field == m_dossierOuvrir) edDossierOuvrirExit();
    if (field == m_dossierSave) edDossierSaveExit();
}

void TOptionsFrame::chooseProgram(Launcher launcher, QLineEdit* field) {
    QFileDialog dialog(this, QString(), QFileInfo(field->text()).path());
    dialog.setObjectName(QStringLiteral("ProgramDialog"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (!field->text().isEmpty()) dialog.selectFile(field->text());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    field->setText(dialog.selectedFiles().constFirst());
    chooseLauncherProgram(settings(), m_al, launcher, toSetting(field));
    emit actionsChanged();
}

void TOptionsFrame::setInlayStage(InlaySetters* stage, std::function<double()> shownFrameRate) {
    m_inlay = stage;
    m_shownFrameRate = std::move(shownFrameRate);
}

void TOptionsFrame::toInlay(const std::function<void(InlaySetters&)>& set) {
    if (m_inlay) set(*m_inlay);
    emit inlayChanged();
}

void TOptionsFrame::edAfficher1Exit() {
    Settings& s = settings();
    s.formatPourIncrusterDatecode1 = toSetting(m_afficher1);
    s.formatPourIncrusterDatecode2 = toSetting(m_afficher2);
    toInlay([&s](InlaySetters& stage) {
        stage.SetFormats(s.formatPourIncrusterDatecode1, s.formatPourIncrusterDatecode2);
    });
}

void TOptionsFrame::edDureeIncrustExit() {
    const std::int32_t seconds = dureeIncrustationFromText(toSetting(m_dureeIncrust));
    settings().dureeIncrustation = seconds;
    const double framesPerSecond = m_shownFrameRate ? m_shownFrameRate() : 0.0;
    toInlay([&](InlaySetters& stage) { stage.SetShowFrames(inlayShowFrames(seconds, framesPerSecond)); });
}

void TOptionsFrame::sbIncrustFontClick() {
    IncrustFontDialog dialog(this);
    dialog.run(settings().incrustFont);
    // OK or Cancel, the inlay takes the inlay font again.
    const IncrustFont& font = settings().incrustFont;
    toInlay([&font](InlaySetters& stage) {
        stage.SetFontSize(font.size);
        stage.SetFontName(font.name);
        stage.SetFontColor(static_cast<std::uint32_t>(font.color));
        stage.SetBold(font.style.bold);
        stage.SetItalic(font.style.italic);
        stage.SetUnderline(font.style.underline);
        stage.SetStrikeOut(font.style.strikeOut);
    });
}

void TOptionsFrame::SpeedButton1Click() {
    SaveSettingsNow(m_preferences, [this](Settings&) {
        collectControls();
        emit collectWindowSettings();
    });
}

void TOptionsFrame::SpeedButton2Click() {
    m_prefsQuittant->setChecked(false);
    SettingsMessageBoxes dialogs(this);
    DeleteSettingsNow(m_preferences, dialogs);
}

}  // namespace moraven
