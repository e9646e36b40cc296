#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include "platform/settings_environment.h"
#include "settings/registry_file.h"
#include "support/dv_avi_file.h"
#include "support/dv_frame_builder.h"
#include "support/scoped_environment.h"
#include "support/temp_dir.h"
#include "ui/action_binder.h"
#include "ui/file_list_view.h"
#include "ui/main_window.h"
#include "ui/options_panel.h"
#include "when_modal.h"

namespace moraven {
namespace {

using test::whenModal;
using Names = std::vector<std::string>;

// A window over its own settings file, with DV files recorded on 15 July 2004 at 13:05:09.
class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest() {
        environment.set("MORAVEN_CONFIG_HOME", config.path().string());
        environment.set("XDG_DATA_HOME", data.path().string());
        startWindow();
    }

    void startWindow(Names parameters = {}) {
        window.reset();
        preferences.reset();
        registry = std::make_unique<RegistryFile>(defaultRegistryFilePath(), [](const std::string&) {});
        preferences = std::make_unique<Preferences>(*registry, systemSettingsEnvironment());
        preferences->LoadSettings();
        window = std::make_unique<TUIForm>(*preferences, std::move(parameters));
        window->show();
        settle();
    }
    static void settle() {
        for (int i = 0; i < 3; ++i) QApplication::processEvents();
    }

    std::string video(const std::string& name) {
        std::filesystem::create_directories(std::filesystem::path(dir.file(name)).parent_path());
        test::DvFrameBuilder frame;
        frame.recDate(0, 2004, 7, 15, 13, 5, 9).timecode(0, 1, 2, 3, 4);
        return test::writeRepeatedDvFrame(dir.file(name), frame.bytes(), 3);
    }
    Names rows() {
        Names names;
        for (int i = 0; i < list().rowCount(); ++i) names.push_back(list().caption(i));
        return names;
    }
    FileList& list() { return window->core().list; }
    WindowState& state() { return window->core().state; }
    QAction& action(const char* name) { return *window->actions().action(name); }
    void trigger(const char* name) {
        action(name).trigger();
        settle();
    }
    void drop(const Names& paths) {
        auto* mime = new QMimeData;
        QList<QUrl> urls;
        for (const std::string& path : paths) urls << QUrl::fromLocalFile(QString::fromStdString(path));
        mime->setUrls(urls);
        QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &enter);
        EXPECT_TRUE(enter.isAccepted());
        QDropEvent event(QPointF(100, 100), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &event);
        delete mime;
        settle();
    }

    test::TempDir config, data, dir;
    test::ScopedEnvironment environment;
    std::unique_ptr<RegistryFile> registry;
    std::unique_ptr<Preferences> preferences;
    std::unique_ptr<TUIForm> window;
};

TEST_F(MainWindowTest, StartsEmptyWithThePlaceholderAndOnlyPermanentAndEmptyListActions) {
    EXPECT_EQ(window->windowTitle(), "Moraven by Velloran");
    EXPECT_EQ(window->clientWidth(), TUIForm::kPanelColumnWidth);
    EXPECT_TRUE(window->findChild<QWidget*>("VideFrame")->isVisible());
    EXPECT_EQ(state().EnabledCategories, (CategorySet{Category::Permanent, Category::Vide}));
    EXPECT_TRUE(action("afOuvrirFichiers").isEnabled());
    EXPECT_FALSE(action("afViderListe").isVisible() && action("afViderListe").isEnabled());
    EXPECT_FALSE(action("amAjouterDatecode").isEnabled());
    EXPECT_EQ(action("afQuitter").shortcuts(),
              (QList<QKeySequence>{QKeySequence("Alt+F4"), QKeySequence("Ctrl+Q")}));
}

TEST_F(MainWindowTest, FilesComeFromADropThePasteAndThePreferredFolderAndShowTheList) {
    drop({video("a.avi"), dir.file("notes.txt")});
    EXPECT_EQ(rows(), Names{"a.avi"});
    EXPECT_EQ(state().EnabledCategories,
              (CategorySet{Category::Permanent, Category::Vide, Category::Mono, Category::Multi}));
    EXPECT_EQ(window->clientWidth(), TUIForm::kPanelColumnWidth);  // one file: the list stays cut off

    auto* mime = new QMimeData;
    mime->setUrls({QUrl::fromLocalFile(QString::fromStdString(video("b.avi")))});
    QApplication::clipboard()->setMimeData(mime);
    settle();
    ASSERT_TRUE(action("afCollerFichiers").isEnabled());
    trigger("afCollerFichiers");
    EXPECT_EQ(rows(), (Names{"a.avi", "b.avi"}));

    video("preferred/c.avi");
    video("preferred/deeper/d.avi");
    preferences->settings().dossierAOuvertureAuto = dir.file("preferred") + "/";
    trigger("afOuvrirDossierPrefere");
    EXPECT_EQ(list().rowCount(), 4);
    // A second file arriving while files load shows the list.
    EXPECT_EQ(window->clientWidth(), TUIForm::kWithListWidth);
    EXPECT_TRUE(state().EnabledCategories.contains(Category::Liste));
    EXPECT_EQ(window->labFichiers().text(), "1 file of 4 - sorted by datecode");
}

// Chooses `path` in the next file dialog and confirms it.
void chooseInFileDialog(const std::string& path) {
    whenModal<QFileDialog>([path](QFileDialog& dialog) {
        dialog.selectFile(QString::fromStdString(path));
        QMetaObject::invokeMethod(&dialog, "accept");
    });
}

TEST_F(MainWindowTest, TheOpenDialogTheFolderChooserAndPlaylistsAddFiles) {
    const std::string a = video("a.avi");
    video("folder/b.avi");
    video("folder/sub/c.avi");
    chooseInFileDialog(a);
    trigger("afOuvrirFichiers");
    EXPECT_EQ(rows(), Names{"a.avi"});

    chooseInFileDialog(dir.file("folder"));
    trigger("afOuvrirunDossier");
    EXPECT_EQ(rows(), (Names{"a.avi", "b.avi", "c.avi"}));

    // Saved as a playlist, emptied, read back.
    chooseInFileDialog(dir.file("mine.txt"));
    trigger("afSauverListe");
    ASSERT_TRUE(std::filesystem::exists(dir.file("mine.txt")));
    trigger("afViderListe");
    EXPECT_TRUE(rows().empty());
    EXPECT_EQ(window->clientWidth(), TUIForm::kPanelColumnWidth);
    chooseInFileDialog(dir.file("mine.txt"));
    trigger("afOuvrirPlayList");
    EXPECT_EQ(rows(), (Names{"a.avi", "b.avi", "c.avi"}));
}

TEST_F(MainWindowTest, EscDuringAFolderScanStopsTheAddition) {
    for (int i = 0; i < 6; ++i) video("many/sub" + std::to_string(i) + "/clip" + std::to_string(i) + ".avi");
    preferences->settings().dossierAOuvertureAuto = dir.file("many") + "/";
    // Esc comes with the first round of pending events that the addition lets through.
    QTimer::singleShot(0, window.get(), [this] { action("afInterrompre").trigger(); });
    trigger("afOuvrirDossierPrefere");
    EXPECT_LT(list().rowCount(), 6);
    EXPECT_FALSE(state().ListLoading);
    trigger("afOuvrirDossierPrefere");
    EXPECT_EQ(list().rowCount(), 6);
}

TEST_F(MainWindowTest, SortingSelectingTogglingAndThePanelsChangeTheWidthsAndCategories) {
    drop({video("b.avi"), video("c.avi"), video("a.avi")});
    trigger("afOrdreAlpha");
    EXPECT_EQ(rows(), (Names{"a.avi", "b.avi", "c.avi"}));
    trigger("afSelectionnerTout");
    EXPECT_EQ(window->labFichiers().text(), "3 files of 3 - sorted alphabetically");
    EXPECT_EQ(window->listView().selectionModel()->selectedRows().size(), 3);

    trigger("afBasculerListe");
    EXPECT_EQ(window->clientWidth(), TUIForm::kPanelColumnWidth);
    EXPECT_FALSE(action("afOrdreAlpha").isVisible());  // "liste" actions go with the list
    trigger("afBasculerListe");
    EXPECT_EQ(window->clientWidth(), TUIForm::kWithListWidth);

    trigger("afOptions");
    EXPECT_EQ(window->clientWidth(), TUIForm::kSettingsWidth);
    EXPECT_EQ(state().EnabledCategories, CategorySet{Category::Permanent});
    EXPECT_FALSE(action("amAjouterDatecode").isEnabled());
    window->optionsFrame().findChild<QPushButton*>("FermerBtn")->click();  // "Close"
    settle();
    EXPECT_FALSE(state().settingsPanelShown);
    EXPECT_FALSE(action("afOptions").isChecked());
    trigger("afOptions");
    trigger("afApropos");  // the About panel takes the settings panel's place
    EXPECT_EQ(window->clientWidth(), TUIForm::kAboutWidth);
    EXPECT_FALSE(action("afOptions").isChecked());
    trigger("afApropos");
    EXPECT_EQ(window->clientWidth(), TUIForm::kWithListWidth);
    EXPECT_TRUE(state().EnabledCategories.contains(Category::Multi));
}

TEST_F(MainWindowTest, ANamingCommandAsksInAWarningBoxAndRenamesAfterYes) {
    drop({video("clip.avi")});
    ASSERT_TRUE(action("amAjouterDatecode").isEnabled());
    QString asked;
    whenModal<QMessageBox>([&](QMessageBox& box) {
        asked = box.text();
        EXPECT_EQ(box.icon(), QMessageBox::Warning);
        box.button(QMessageBox::Yes)->click();
    });
    trigger("amAjouterDatecode");
    EXPECT_TRUE(asked.contains("clip_2004.07.15_01.05.09_pm.avi")) << asked.toStdString();
    EXPECT_EQ(rows(), Names{"clip_2004.07.15_01.05.09_pm.avi"});
    EXPECT_TRUE(std::filesystem::exists(dir.file("clip_2004.07.15_01.05.09_pm.avi")));
}

TEST_F(MainWindowTest, TheConvertMenuHoldsTheConversionsAndOffersThoseThatApplyToTheFile) {
    QMenu* convert = nullptr;
    for (QAction* entry : window->menuBar()->actions()) {
        if (entry->text() == QStringLiteral("Convert")) convert = entry->menu();
    }
    ASSERT_NE(convert, nullptr);
    Names entries;
    for (QAction* entry : convert->actions())
        entries.push_back(entry->isSeparator() ? "-" : entry->objectName().toStdString());
    EXPECT_EQ(entries, (Names{"amDVType1", "amDVType2", "amConvertirDV", "amCorrigertype2", "-", "amNTSC",
                              "amPal", "-", "amIncrusterDatecode", "amDecalerHoraire", "amExtraireAudio"}));

    // A PAL DV type 2 file: it may become NTSC and take the inlay; it is neither NTSC nor another codec.
    drop({video("clip.avi")});
    struct Expected {
        const char* action;
        const char* caption;
        const char* shortcut;
        bool enabled;
    };
    for (const Expected& e : {Expected{"amNTSC", "Convert in NTSC", "Ctrl+N", true},
                              Expected{"amPal", "Convert in Pal", "Ctrl+P", false},
                              Expected{"amIncrusterDatecode", "Inlay", "Ctrl+I", true},
                              Expected{"amConvertirDV", "Recompress in DV type 2", "Ctrl+G", false}}) {
        EXPECT_EQ(action(e.action).text(), QString::fromLatin1(e.caption)) << e.action;
        EXPECT_EQ(action(e.action).shortcut(), QKeySequence(QString::fromLatin1(e.shortcut))) << e.action;
        EXPECT_TRUE(action(e.action).isVisible()) << e.action;
        EXPECT_EQ(action(e.action).isEnabled(), e.enabled) << e.action;
    }
}

TEST_F(MainWindowTest, AnUncheckedCommandLosesItsActionAtOnceAndItsLetterAtTheNextStart) {
    drop({video("clip.avi")});
    auto* rowsList = window->findChild<QListWidget*>("RxCheckListBox1");
    ASSERT_NE(rowsList, nullptr);
    const auto found = rowsList->findItems("Add datecode (Ctrl+D)", Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1);
    found.front()->setCheckState(Qt::Unchecked);
    settle();
    EXPECT_FALSE(action("amAjouterDatecode").isVisible());
    auto letters = [this] {
        std::string result;
        for (const SwitchEntry& entry : window->core().switches) result += entry.letter;
        return result;
    };
    EXPECT_NE(letters().find('d'), std::string::npos);  // the switch table is made at start

    window->close();  // "Save the preferences when quit" is on by default
    startWindow();
    EXPECT_EQ(letters().find('d'), std::string::npos);
    EXPECT_FALSE(action("amAjouterDatecode").isVisible());
}

TEST_F(MainWindowTest, SettingsComeBackAfterARestartAndFilesGivenAtStartAreListed) {
    const std::string clip = video("clip.avi");
    trigger("afOptions");
    auto* pattern = window->findChild<QLineEdit*>("edAjouter");
    ASSERT_NE(pattern, nullptr);
    pattern->setText("yyyymmdd");
    trigger("afOptions");
    preferences->settings().ordreDeLaListe = kOrderFileSize;  // the list's own setting
    window->close();
    startWindow({clip, "+?"});
    EXPECT_EQ(preferences->settings().ordreDeLaListe, kOrderFileSize);
    EXPECT_EQ(preferences->settings().formatPourAjouterDatecode, "yyyymmdd");
    EXPECT_EQ(rows(), Names{"clip.avi"});
    // "?" shows the About panel.
    EXPECT_TRUE(state().aboutPanelShown);
    EXPECT_EQ(window->clientWidth(), TUIForm::kAboutWidth);
}

}  // namespace
}  // namespace moraven
