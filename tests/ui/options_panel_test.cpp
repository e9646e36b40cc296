#include "ui/options_panel.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include "platform/system_services.h"
#include "settings/registry_file.h"
#include "support/recording_inlay.h"
#include "support/scoped_environment.h"
#include "support/temp_dir.h"
#include "ui/incrust_font_dialog.h"
#include "ui/when_modal.h"

namespace moraven {
namespace {

using test::whenModal;

std::string readText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// How a setting shows in its control: a check box as "1" or "0", a radio group as its checked item index,
// a field as its text, the spin field as its value.
struct ControlCase {
    const char* control;
    std::function<QString(const Settings&)> shown;
};

QString flag(bool value) { return value ? QStringLiteral("1") : QStringLiteral("0"); }
QString text(const std::string& value) { return QString::fromStdString(value); }

const ControlCase kControls[] = {
    // "Preferences"
    {"cbPrefsQuittant", [](const Settings& s) { return flag(s.sauverPreferencesEnQuittant); }},
    {"cbSendTo", [](const Settings& s) { return flag(s.sendto); }},
    {"cbSelection", [](const Settings& s) { return flag(s.selectionnerALOuverture); }},
    {"cbListe", [](const Settings& s) { return flag(s.sauverListeEnQuittant); }},
    {"rgStandard", [](const Settings& s) { return QString::number(storedValue(s.standardParDefaut) - 1); }},
    {"rgfrequenceDV", [](const Settings& s) { return QString::number(storedValue(s.frequenceDV)); }},
    {"feFichierSnapwick", [](const Settings& s) { return text(s.fichierSnapwick); }},
    {"feFichierF3", [](const Settings& s) { return text(s.fichierF3); }},
    {"feFichierF4", [](const Settings& s) { return text(s.fichierF4); }},
    // "Formats"
    {"edAjouter", [](const Settings& s) { return text(s.formatPourAjouterDatecode); }},
    {"edAfficherDatecode", [](const Settings& s) { return text(s.formatPourAfficherDatecode); }},
    {"edAfficher1", [](const Settings& s) { return text(s.formatPourIncrusterDatecode1); }},
    {"edAfficher2", [](const Settings& s) { return text(s.formatPourIncrusterDatecode2); }},
    {"edRenommer", [](const Settings& s) { return text(s.formatPourRenommer); }},
    {"edRacine", [](const Settings& s) { return text(s.racinePourRenommer); }},
    // "Folders"
    {"edDossierOuvrir", [](const Settings& s) { return text(s.dossierPourOuvrirFichiers); }},
    {"edDossierAuto", [](const Settings& s) { return text(s.dossierAOuvertureAuto); }},
    {"edDossierPlayList", [](const Settings& s) { return text(s.dossierDesPlayList); }},
    {"cbsameFolder", [](const Settings& s) { return flag(s.sauverDansLeMemeDossier); }},
    {"edDossierSave", [](const Settings& s) { return text(s.dossierPourSauver); }},
    // "Inlay"
    {"cbAutoFontSize", [](const Settings& s) { return flag(s.standardFontSize); }},
    {"rgAlign", [](const Settings& s) { return QString::number(storedValue(s.alignement)); }},
    {"rgWhatIncrust", [](const Settings& s) { return QString::number(storedValue(s.whatIncrust)); }},
    {"cbAuto", [](const Settings& s) { return flag(s.autoIncrust); }},
    {"rgAuto", [](const Settings& s) { return QString::number(storedValue(s.modeAutoIncrust)); }},
    {"edDureeIncrust", [](const Settings& s) { return QString::number(s.dureeIncrustation); }},
    {"RxSpinEdit1", [](const Settings& s) { return QString::number(s.decalageHoraire); }},
};

// The registry file, the desktop entry and the file dialog's own settings go to temporary folders. Made
// before anything that reads these paths.
struct IsolatedEnvironment {
    IsolatedEnvironment() {
        environment.set("MORAVEN_CONFIG_HOME", config.path().string());
        environment.set("XDG_CONFIG_HOME", config.path().string());
        environment.set("XDG_DATA_HOME", data.path().string());
    }
    test::TempDir config;
    test::TempDir data;
    test::ScopedEnvironment environment;
};

class OptionsPanelTest : public ::testing::Test {
protected:
    OptionsPanelTest() {
        // Three of the commands' actions beside the window's own.
        const std::pair<const char*, const char*> commands[] = {
            {"amAjouterDatecode", "Add datecode"},
            {"amOterFichier", "Remove the file from list"},
            {"amOpenFichierF4", "Open with "}};
        for (const auto& [name, caption] : commands) {
            Action command;
            command.name = name;
            command.category = "mono";
            command.caption = caption;
            m_al.append(command);
        }
        m_al.find("amAjouterDatecode")->shortcut = "Ctrl+D";
        m_al.find("amOterFichier")->shortcut = "Del";
    }

    QWidget* control(const char* name) {
        QWidget* found = m_panel.findChild<QWidget*>(QString::fromLatin1(name));
        if (found == nullptr) ADD_FAILURE() << "no control " << name;
        return found;
    }
    QButtonGroup* group(const char* name) {
        return m_panel.findChild<QButtonGroup*>(QString::fromLatin1(name));
    }
    QAbstractButton* button(const char* name) { return qobject_cast<QAbstractButton*>(control(name)); }
    QLineEdit* field(const char* name) { return qobject_cast<QLineEdit*>(control(name)); }

    QString shownIn(const char* name) {
        if (QButtonGroup* radio = group(name)) return QString::number(radio->checkedId());
        QWidget* widget = control(name);
        if (auto* box = qobject_cast<QCheckBox*>(widget)) return flag(box->isChecked());
        if (auto* edit = qobject_cast<QLineEdit*>(widget)) return edit->text();
        if (auto* spin = qobject_cast<QSpinBox*>(widget)) return QString::number(spin->value());
        ADD_FAILURE() << "unknown control " << name;
        return {};
    }

    void setIn(const char* name, const QString& value) {
        if (QButtonGroup* radio = group(name)) return radio->button(value.toInt())->setChecked(true);
        QWidget* widget = control(name);
        if (auto* box = qobject_cast<QCheckBox*>(widget))
            return box->setChecked(value == QStringLiteral("1"));
        if (auto* edit = qobject_cast<QLineEdit*>(widget)) return edit->setText(value);
        if (auto* spin = qobject_cast<QSpinBox*>(widget)) return spin->setValue(value.toInt());
    }

    // Gives the field the focus, types `typed` over its text and moves the focus on, as the user leaves it.
    void typeAndLeave(const char* name, const QString& typed) {
        QLineEdit* edit = field(name);
        m_pages()->setCurrentWidget(pageOf(edit));
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, typed);
        m_panel.findChild<QTabWidget*>()->setFocus();
    }

    QTabWidget* m_pages() { return m_panel.findChild<QTabWidget*>(QStringLiteral("PageControl1")); }
    QWidget* pageOf(QWidget* widget) {
        while (widget != nullptr && m_pages()->indexOf(widget) < 0) widget = widget->parentWidget();
        return widget;
    }

    void showActive() {
        m_panel.ShowPanel();
        QApplication::setActiveWindow(&m_panel);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&m_panel));
    }

    IsolatedEnvironment m_isolated;
    test::TempDir m_folders;
    RegistryFile m_registry{defaultRegistryFilePath()};
    Preferences m_preferences{m_registry, SettingsEnvironment{}};
    ActionList m_al{windowActions()};
    CommandCheckList m_checkList;
    TOptionsFrame m_panel{m_preferences, m_al, m_checkList};
};

// Settings unlike the defaults in every value the panel shows, and a second set unlike the first.
Settings firstSettings(const std::string& folder) {
    Settings s;
    s.sauverPreferencesEnQuittant = false;
    s.sendto = true;
    s.selectionnerALOuverture = true;
    s.sauverListeEnQuittant = true;
    s.standardParDefaut = TvStandard::Ntsc;
    s.frequenceDV = DvSampleRate::Hz32000;
    s.fichierSnapwick = "/opt/snapwick/snapwick";
    s.fichierF3 = "/usr/bin/mpv";
    s.fichierF4 = "/usr/bin/vlc";
    s.formatPourAjouterDatecode = "yyyy";
    s.formatPourAfficherDatecode = "dddddd";
    s.formatPourIncrusterDatecode1 = "";
    s.formatPourIncrusterDatecode2 = "hh:nn";
    s.formatPourRenommer = "yymmdd";
    s.racinePourRenommer = "Holidays_";
    s.dossierPourOuvrirFichiers = folder + "open/";
    s.dossierAOuvertureAuto = folder + "auto/";
    s.dossierDesPlayList = folder + "lists/";
    s.sauverDansLeMemeDossier = false;
    s.dossierPourSauver = folder;
    s.standardFontSize = false;
    s.alignement = InlayAlignment::Left;
    s.whatIncrust = InlayContent::Timecode;
    s.autoIncrust = true;
    s.modeAutoIncrust = AutoInlayMode::EachDay;
    s.dureeIncrustation = 9;
    s.decalageHoraire = -7;
    return s;
}

Settings secondSettings() {
    Settings s;
    s.sendto = false;
    s.standardParDefaut = TvStandard::Pal;
    s.frequenceDV = DvSampleRate::Hz44100;
    s.fichierSnapwick = "/a/b";
    s.fichierF3 = "/c/d";
    s.fichierF4 = "/e/f";
    s.formatPourAjouterDatecode = "mm";
    s.formatPourAfficherDatecode = "ddddd";
    s.formatPourIncrusterDatecode1 = "dd-mm-yy";
    s.formatPourIncrusterDatecode2 = "";
    s.formatPourRenommer = "hh";
    s.racinePourRenommer = "Clip";
    s.dossierPourOuvrirFichiers = "/media/card/";
    s.dossierAOuvertureAuto = "/media/favourites/";
    s.dossierDesPlayList = "/media/lists/";
    s.dossierPourSauver = "/media/out/";
    s.alignement = InlayAlignment::Centred;
    s.whatIncrust = InlayContent::Datecode;
    s.modeAutoIncrust = AutoInlayMode::Once;
    s.dureeIncrustation = 12;
    s.decalageHoraire = 23;
    return s;
}

TEST_F(OptionsPanelTest, EveryControlShowsItsSettingAndGivesItBack) {
    const std::string folder = m_folders.path().string() + "/";
    const Settings first = firstSettings(folder);
    const Settings second = secondSettings();
    for (const ControlCase& c : kControls) ASSERT_NE(c.shown(first), c.shown(second)) << c.control;

    m_preferences.settings() = first;
    m_panel.loadControls();
    for (const ControlCase& c : kControls) EXPECT_EQ(shownIn(c.control), c.shown(first)) << c.control;
    EXPECT_FALSE(field("edDossierSave")->isEnabled() != !first.sauverDansLeMemeDossier);

    for (const ControlCase& c : kControls) setIn(c.control, c.shown(second));
    m_panel.collectControls();
    for (const ControlCase& c : kControls) {
        EXPECT_EQ(c.shown(m_preferences.settings()), c.shown(second)) << c.control;
    }
}

TEST_F(OptionsPanelTest, AStoredChoiceOutsideTheItemsChecksNoItemAndSurvivesCollecting) {
    // Known choices first, so that every group has a checked item to lose.
    m_panel.loadControls();
    Settings& s = m_preferences.settings();
    s.standardParDefaut = TvStandard{0};
    s.frequenceDV = DvSampleRate{3};
    s.alignement = InlayAlignment{255};
    s.whatIncrust = InlayContent{2};
    s.modeAutoIncrust = AutoInlayMode{9};
    const Settings stored = s;
    m_panel.loadControls();
    const char* groups[] = {"rgStandard", "rgfrequenceDV", "rgAlign", "rgWhatIncrust", "rgAuto"};
    for (const char* name : groups) EXPECT_EQ(shownIn(name), QStringLiteral("-1")) << name;

    m_panel.collectControls();
    EXPECT_EQ(s.standardParDefaut, stored.standardParDefaut);
    EXPECT_EQ(s.frequenceDV, stored.frequenceDV);
    EXPECT_EQ(s.alignement, stored.alignement);
    EXPECT_EQ(s.whatIncrust, stored.whatIncrust);
    EXPECT_EQ(s.modeAutoIncrust, stored.modeAutoIncrust);

    // A click on an item replaces the unknown value with the item's own.
    showActive();
    button("rgStandard_0")->click();
    button("rgAlign_2")->click();
    EXPECT_EQ(s.standardParDefaut, TvStandard::Pal);
    EXPECT_EQ(s.alignement, InlayAlignment::Right);
}

TEST_F(OptionsPanelTest, CollectingAddsFolderSeparatorsAndTakesFiveForABadDuration) {
    m_panel.loadControls();
    setIn("edDossierPlayList", QStringLiteral("/media/lists"));
    setIn("edDossierOuvrir", QString());  // an empty folder field keeps the setting
    m_preferences.settings().dossierPourOuvrirFichiers = "/kept/";
    setIn("edDureeIncrust", QStringLiteral("ten"));
    m_panel.collectControls();
    EXPECT_EQ(m_preferences.settings().dossierDesPlayList, "/media/lists/");
    EXPECT_EQ(m_preferences.settings().dossierPourOuvrirFichiers, "/kept/");
    EXPECT_EQ(m_preferences.settings().dureeIncrustation, 5);
}

TEST_F(OptionsPanelTest, AMissingConversionFolderSendsConversionsBesideTheSourceForThisRun) {
    m_preferences.settings().sauverDansLeMemeDossier = false;
    m_preferences.settings().dossierPourSauver = m_folders.path().string() + "/gone/";
    m_panel.loadControls();
    EXPECT_TRUE(m_preferences.settings().sauverDansLeMemeDossier);
    EXPECT_EQ(shownIn("cbsameFolder"), QStringLiteral("0"));  // the box keeps the stored state
    m_panel.collectControls();
    EXPECT_FALSE(m_preferences.settings().sauverDansLeMemeDossier);
}

TEST_F(OptionsPanelTest, ControlsWriteTheirSettingAtOnceAndInlayControlsSayTheInlayChanged) {
    m_panel.loadControls();
    showActive();
    QSignalSpy inlay(&m_panel, &TOptionsFrame::inlayChanged);
    const Settings& s = m_preferences.settings();
    struct Step {
        const char* what;
        std::function<void()> act;
        std::function<bool()> written;
        bool inlay;
    };
    const Step steps[] = {
        {"cbPrefsQuittant", [&] { button("cbPrefsQuittant")->click(); },
         [&] { return !s.sauverPreferencesEnQuittant; }, false},
        {"cbSelection", [&] { button("cbSelection")->click(); }, [&] { return s.selectionnerALOuverture; },
         false},
        {"cbListe", [&] { button("cbListe")->click(); }, [&] { return s.sauverListeEnQuittant; }, false},
        {"rgStandard", [&] { button("rgStandard_1")->click(); },
         [&] { return s.standardParDefaut == TvStandard::Ntsc; }, false},
        {"rgfrequenceDV", [&] { button("rgfrequenceDV_0")->click(); },
         [&] { return s.frequenceDV == DvSampleRate::Hz32000; }, false},
        {"cbsameFolder", [&] { button("cbsameFolder")->click(); },
         [&] { return !s.sauverDansLeMemeDossier && field("edDossierSave")->isEnabled(); }, false},
        {"edAjouter", [&] { typeAndLeave("edAjouter", "yy"); },
         [&] { return s.formatPourAjouterDatecode == "yy"; }, false},
        {"edAfficherDatecode", [&] { typeAndLeave("edAfficherDatecode", "dd"); },
         [&] { return s.formatPourAfficherDatecode == "dd"; }, false},
        {"edRenommer", [&] { typeAndLeave("edRenommer", "mm"); },
         [&] { return s.formatPourRenommer == "mm"; }, false},
        {"edRacine", [&] { typeAndLeave("edRacine", "Root"); },
         [&] { return s.racinePourRenommer == "Root"; }, false},
        {"edDossierOuvrir", [&] { typeAndLeave("edDossierOuvrir", "/media/a"); },
         [&] { return s.dossierPourOuvrirFichiers == "/media/a/"; }, false},
        {"edDossierAuto", [&] { typeAndLeave("edDossierAuto", "/media/b"); },
         [&] { return s.dossierAOuvertureAuto == "/media/b/"; }, false},
        {"edDossierSave", [&] { typeAndLeave("edDossierSave", "/media/c"); },
         [&] { return s.dossierPourSauver == "/media/c/"; }, false},
        {"edAfficher2", [&] { typeAndLeave("edAfficher2", "nn"); },
         [&] { return s.formatPourIncrusterDatecode2 == "nn" && s.formatPourIncrusterDatecode1 == "ddddd"; },
         true},
        {"cbAutoFontSize", [&] { button("cbAutoFontSize")->click(); }, [&] { return !s.standardFontSize; },
         true},
        {"rgAlign", [&] { button("rgAlign_1")->click(); },
         [&] { return s.alignement == InlayAlignment::Centred; }, true},
        {"rgWhatIncrust", [&] { button("rgWhatIncrust_1")->click(); },
         [&] { return s.whatIncrust == InlayContent::Timecode; }, true},
        {"cbAuto", [&] { button("cbAuto")->click(); }, [&] { return s.autoIncrust; }, true},
        {"rgAuto", [&] { button("rgAuto_2")->click(); },
         [&] { return s.modeAutoIncrust == AutoInlayMode::EachDay; }, true},
        {"edDureeIncrust letters", [&] { typeAndLeave("edDureeIncrust", "abc"); },
         [&] { return s.dureeIncrustation == 5; }, true},
        {"edDureeIncrust", [&] { typeAndLeave("edDureeIncrust", "8"); },
         [&] { return s.dureeIncrustation == 8; }, true},
        {"RxSpinEdit1", [&] { qobject_cast<QSpinBox*>(control("RxSpinEdit1"))->stepUp(); },
         [&] { return s.decalageHoraire == 1; }, true},
        {"RxSpinEdit1 bounded", [&] { qobject_cast<QSpinBox*>(control("RxSpinEdit1"))->setValue(40); },
         [&] { return s.decalageHoraire == 23; }, true},
    };
    for (const Step& step : steps) {
        inlay.clear();
        step.act();
        EXPECT_TRUE(step.written()) << step.what;
        EXPECT_EQ(inlay.count() > 0, step.inlay) << step.what;
    }

    // Fields read only when the settings are collected.
    const Settings before = s;
    typeAndLeave("edDossierPlayList", "/media/lists");
    typeAndLeave("feFichierF3", "/usr/bin/true");
    EXPECT_EQ(s, before);
}

TEST_F(OptionsPanelTest, InlayControlsHandTheirSettingToTheInlayStage) {
    m_panel.loadControls();
    showActive();
    std::vector<std::string> calls;
    test::RecordingInlay stage(calls);
    double shownFrameRate = 25.0;
    m_panel.setInlayStage(&stage, [&shownFrameRate] { return shownFrameRate; });
    QSignalSpy redraw(&m_panel, &TOptionsFrame::inlayChanged);
    using Calls = std::vector<std::string>;
    struct Step {
        const char* what;
        std::function<void()> act;
        Calls expected;
    };
    const Step steps[] = {
        {"edAfficher1", [&] { typeAndLeave("edAfficher1", "dd"); }, {"SetFormats dd|tt"}},
        {"edAfficher2", [&] { typeAndLeave("edAfficher2", "nn"); }, {"SetFormats dd|nn"}},
        {"cbAutoFontSize", [&] { button("cbAutoFontSize")->click(); }, {"SetAutoFontSize 0"}},
        {"rgAlign", [&] { button("rgAlign_0")->click(); }, {"SetAlign 0"}},
        {"rgWhatIncrust", [&] { button("rgWhatIncrust_1")->click(); }, {"SetContent 1"}},
        {"cbAuto", [&] { button("cbAuto")->click(); }, {"SetAutoShow 1"}},
        {"rgAuto", [&] { button("rgAuto_2")->click(); }, {"SetAutoKind 2"}},
        {"edDureeIncrust", [&] { typeAndLeave("edDureeIncrust", "7"); }, {"SetShowFrames 175"}},
        {"edDureeIncrust letters", [&] { typeAndLeave("edDureeIncrust", "x"); }, {"SetShowFrames 125"}},
        {"edDureeIncrust at the NTSC rate",
         [&] {
             shownFrameRate = 30000.0 / 1001.0;
             typeAndLeave("edDureeIncrust", "3");
         },
         {"SetShowFrames 90"}},
        {"edDureeIncrust without a shown file",
         [&] {
             shownFrameRate = 0.0;
             typeAndLeave("edDureeIncrust", "4");
         },
         {"SetShowFrames 0"}},
        {"RxSpinEdit1",
         [&] { qobject_cast<QSpinBox*>(control("RxSpinEdit1"))->stepDown(); },
         {"SetHourShift -1"}},
        {"RxSpinEdit1 bounded",
         [&] { qobject_cast<QSpinBox*>(control("RxSpinEdit1"))->setValue(-40); },
         {"SetHourShift -23"}},
        // Cancel too: the stage takes the inlay font again, whole.
        {"sbIncrustFont",
         [&] {
             whenModal<IncrustFontDialog>([](IncrustFontDialog& dialog) { dialog.reject(); });
             button("sbIncrustFont")->click();
         },
         {"SetFontSize 48", "SetFontName Arial", "SetFontColor 16777215", "SetBold 1", "SetItalic 0",
          "SetUnderline 0", "SetStrikeOut 0"}},
    };
    for (const Step& step : steps) {
        calls.clear();
        redraw.clear();
        step.act();
        EXPECT_EQ(calls, step.expected) << step.what;
        EXPECT_EQ(redraw.count(), 1) << step.what << ": the preview is told to draw its frame again";
    }

    // Controls of other settings leave the stage alone; without a stage the settings are still written.
    showActive();  // the font dialog took the activation away
    calls.clear();
    typeAndLeave("edAfficherDatecode", "dd");
    button("cbListe")->click();
    EXPECT_TRUE(calls.empty());
    m_panel.setInlayStage(nullptr, {});
    typeAndLeave("edDureeIncrust", "9");
    EXPECT_EQ(m_preferences.settings().dureeIncrustation, 9);
    EXPECT_TRUE(calls.empty());
}

TEST_F(OptionsPanelTest, UncheckingACommandChangesItsMarkButTheWindowsOwnStayChecked) {
    m_preferences.settings().actions = {{"amAjouterDatecode", 0}};
    m_panel.FillCommandList();
    m_panel.ApplySavedMarks();
    auto* list = qobject_cast<QListWidget*>(control("RxCheckListBox1"));
    ASSERT_EQ(list->count(), static_cast<int>(m_checkList.rows().size()));
    const auto rowOf = [&](const std::string& name) { return m_al[*m_al.indexOf(name)].tag; };
    const int ajouter = rowOf("amAjouterDatecode");
    const int oter = rowOf("amOterFichier");
    const int options = rowOf("afOptions");
    EXPECT_EQ(list->item(ajouter)->text(), QStringLiteral("Add datecode (Ctrl+D)"));
    EXPECT_EQ(list->item(ajouter)->checkState(), Qt::Unchecked);
    EXPECT_EQ(list->item(oter)->checkState(), Qt::Checked);

    QSignalSpy marks(&m_panel, &TOptionsFrame::commandMarksChanged);
    list->item(oter)->setCheckState(Qt::Unchecked);
    EXPECT_FALSE(m_checkList.marked(oter));
    EXPECT_EQ(marks.count(), 1);

    EXPECT_FALSE(list->item(options)->flags().testFlag(Qt::ItemIsUserCheckable));
    list->item(options)->setCheckState(Qt::Unchecked);
    EXPECT_TRUE(m_checkList.marked(options));
    EXPECT_EQ(list->item(options)->checkState(), Qt::Checked);
    EXPECT_EQ(marks.count(), 1);

    m_panel.collectControls();
    const auto& actions = m_preferences.settings().actions;
    const auto valueOf = [&](const std::string& name) {
        for (const ActionSetting& a : actions) {
            if (a.name == name) return a.value;
        }
        return -2;
    };
    EXPECT_EQ(valueOf("amOterFichier"), 0);
    EXPECT_EQ(valueOf("amAjouterDatecode"), 0);
    EXPECT_EQ(valueOf("afOptions"), 1);

    button("SpeedButton3")->click();  // "Check all"
    EXPECT_EQ(marks.count(), 2);
    for (int row = 0; row < list->count(); ++row) {
        EXPECT_EQ(list->item(row)->checkState(), Qt::Checked) << row;
        EXPECT_TRUE(m_checkList.marked(row));
    }
}

TEST_F(OptionsPanelTest, SavingNowWritesTheRegistryFileAndTurnsTheExitSaveOff) {
    m_panel.loadControls();
    m_panel.FillCommandList();
    QSignalSpy windowPart(&m_panel, &TOptionsFrame::collectWindowSettings);
    setIn("edRacine", QStringLiteral("Typed_"));  // not yet left: saving collects it
    button("SpeedButton1")->click();

    EXPECT_EQ(windowPart.count(), 1);
    EXPECT_FALSE(m_preferences.settings().sauverPreferencesEnQuittant);
    EXPECT_TRUE(button("cbPrefsQuittant")->isChecked());
    ASSERT_EQ(defaultRegistryFilePath(), m_isolated.config.file("registry.reg"));
    const std::string file = readText(defaultRegistryFilePath());
    EXPECT_NE(file.find("\"Racine pour Renommer\"=\"Typed_\""), std::string::npos) << file;
    EXPECT_NE(file.find("\"Sauver préférences en quittant\"=dword:00000001"), std::string::npos);
    EXPECT_NE(file.find("\"amAjouterDatecode\"=dword:00000001"), std::string::npos);
}

TEST_F(OptionsPanelTest, DeletingAsksThenRemovesTheSettingsAndTurnsTheExitSaveOff) {
    m_panel.loadControls();
    ASSERT_TRUE(m_preferences.SaveSettings());
    QString question;
    QString report;
    whenModal<QMessageBox>([&](QMessageBox& box) {
        question = box.text();
        box.button(QMessageBox::Yes)->click();
        whenModal<QMessageBox>([&](QMessageBox& done) {
            report = done.text();
            done.button(QMessageBox::Ok)->click();
        });
    });
    button("SpeedButton2")->click();

    EXPECT_EQ(question,
              QStringLiteral("Do you really want to delete the preferences of Moraven\nfrom your registry?"));
    EXPECT_EQ(report, QStringLiteral("Moraven has been completely deleted from your registry."));
    EXPECT_FALSE(button("cbPrefsQuittant")->isChecked());
    EXPECT_FALSE(m_preferences.settings().sauverPreferencesEnQuittant);
    EXPECT_EQ(readText(defaultRegistryFilePath()).find("Moraven]"), std::string::npos);
}

TEST_F(OptionsPanelTest, TheSendToBoxWritesAndRemovesTheDesktopEntry) {
    const std::filesystem::path entry = sendToEntryPath("Moraven");
    ASSERT_EQ(entry.string().rfind(m_isolated.data.path().string(), 0), 0U);
    m_preferences.settings().sendto = true;
    m_panel.loadControls();  // at start the entry follows the setting
    EXPECT_TRUE(std::filesystem::exists(entry));

    button("cbSendTo")->click();
    EXPECT_FALSE(m_preferences.settings().sendto);
    EXPECT_FALSE(std::filesystem::exists(entry));
    button("cbSendTo")->click();
    EXPECT_TRUE(m_preferences.settings().sendto);
    EXPECT_NE(readText(entry).find("video/x-msvideo"), std::string::npos);
}

TEST_F(OptionsPanelTest, AChosenProgramBecomesTheSettingAndRecaptionsItsAction) {
    m_panel.loadControls();
    const std::string program = m_folders.write("VirtualDub.sh", {'#'});
    QSignalSpy actions(&m_panel, &TOptionsFrame::actionsChanged);
    whenModal<QFileDialog>([&](QFileDialog& dialog) {
        dialog.selectFile(QString::fromStdString(program));
        static_cast<QDialog&>(dialog).accept();
    });
    button("feFichierF4Btn")->click();
    EXPECT_EQ(m_preferences.settings().fichierF4, program);
    EXPECT_EQ(field("feFichierF4")->text().toStdString(), program);
    ASSERT_NE(m_al.find("amOpenFichierF4"), nullptr);
    EXPECT_EQ(m_al.find("amOpenFichierF4")->caption, "Open with VirtualDub");
    EXPECT_EQ(actions.count(), 1);
}

TEST_F(OptionsPanelTest, AFolderChosenForConversionsIsStoredAtOnce) {
    m_preferences.settings().sauverDansLeMemeDossier = false;  // the field and its chooser are enabled
    m_panel.loadControls();
    whenModal<QFileDialog>([&](QFileDialog& dialog) {
        dialog.setDirectory(QString::fromStdString(m_folders.path().string()));
        dialog.selectFile(QString::fromStdString(m_folders.path().string()));
        static_cast<QDialog&>(dialog).accept();
    });
    button("edDossierSaveBtn")->click();
    EXPECT_EQ(m_preferences.settings().dossierPourSauver, m_folders.path().string() + "/");
}

TEST_F(OptionsPanelTest, TheFontDialogSetsTheInlayFontAndTheInlayAlwaysTakesItAgain) {
    QSignalSpy inlay(&m_panel, &TOptionsFrame::inlayChanged);
    whenModal<IncrustFontDialog>([](IncrustFontDialog& dialog) {
        EXPECT_EQ(dialog.currentColor(), QColor(255, 255, 255));
        EXPECT_TRUE(dialog.currentFont().bold());
        dialog.reject();
    });
    button("sbIncrustFont")->click();
    EXPECT_EQ(m_preferences.settings().incrustFont, IncrustFont{});
    EXPECT_EQ(inlay.count(), 1);

    whenModal<IncrustFontDialog>([](IncrustFontDialog& dialog) {
        QFont chosen(dialog.currentFont().family(), 30);
        chosen.setItalic(true);
        dialog.setCurrentFont(chosen);
        dialog.setCurrentColor(QColor(0x11, 0x22, 0x33));
        dialog.accept();
    });
    button("sbIncrustFont")->click();
    const IncrustFont& font = m_preferences.settings().incrustFont;
    EXPECT_EQ(font.name, "Arial");  // shown as its substitute, and not chosen otherwise
    EXPECT_EQ(font.size, 30);
    EXPECT_EQ(font.color, 0x332211);
    EXPECT_EQ(font.style, (FontStyle{false, true, false, false}));
    EXPECT_EQ(inlay.count(), 2);
}

TEST_F(OptionsPanelTest, ShowingSetsTheTitleAndMailSubjectAndKeepsThePageLastShown) {
    EXPECT_EQ(m_pages()->tabText(m_pages()->currentIndex()), QStringLiteral("Formats"));
    m_al.find("avPlayStop")->shortcut = "Space";
    m_panel.setSystemLines(
        {{"Linux"}, {"FFmpeg 5.1"}, {"no deinterlacer", TextEmphasis::Plain, LineColour::Red}});
    m_panel.ShowPanel();
    EXPECT_EQ(qobject_cast<QLabel*>(control("RxLabel1"))->text(), QStringLiteral("Moraven 6.0.4 En"));
    EXPECT_EQ(m_panel.mailUrl(), QStringLiteral("mailto:?subject=About%20Moraven%206.0.4%20En&body=Linux%20%"
                                                "20%2F%20%20FFmpeg%205.1%20%20%2F%20%20"));
    EXPECT_EQ(m_al.find("avPlayStop")->shortcut, "");
    EXPECT_EQ(m_al.find("amOterFichier")->shortcut, "");

    m_pages()->setCurrentIndex(4);
    QSignalSpy close(&m_panel, &TOptionsFrame::closeRequested);
    button("FermerBtn")->click();
    EXPECT_EQ(close.count(), 1);
    m_panel.HidePanel();
    EXPECT_FALSE(m_panel.isVisible());
    EXPECT_EQ(m_al.find("avPlayStop")->shortcut, "Space");
    EXPECT_EQ(m_al.find("amOterFichier")->shortcut, "Del");
    m_panel.ShowPanel();
    EXPECT_EQ(m_pages()->tabText(m_pages()->currentIndex()), QStringLiteral("Inlay"));
}

TEST_F(OptionsPanelTest, TextsFollowTheDesignWithLineBreaks) {
    QStringList tabs;
    for (int page = 0; page < m_pages()->count(); ++page) tabs.append(m_pages()->tabText(page));
    EXPECT_EQ(tabs, (QStringList{"Preferences", "Commands", "Formats", "Folders", "Inlay"}));
    EXPECT_EQ(control("FermerBtn")->toolTip(),
              QStringLiteral("Close the Settings window.\nYou may also type F10."));
    EXPECT_EQ(button("cbsameFolder")->text(), QStringLiteral("Convert into the same folder"));
    EXPECT_EQ(m_panel.findChild<QGroupBox*>(QStringLiteral("GroupBox3"))->title(),
              QStringLiteral("Rename à la  Scenalyser"));
    EXPECT_EQ(button("rgfrequenceDV_2")->text(), QStringLiteral("48000"));
    EXPECT_EQ(control("Label8")->toolTip(), control("RxSpinEdit1")->toolTip());
    EXPECT_EQ(m_panel.size(), QSize(592, 480));
}

}  // namespace
}  // namespace moraven
