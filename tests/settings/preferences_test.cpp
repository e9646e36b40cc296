#include "settings/preferences.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "settings/registry_file.h"
#include "support/file_size_limit.h"
#include "support/temp_dir.h"

namespace moraven {
namespace {

const std::string kMainKey = "[HKEY_CURRENT_USER\\Software\\Velloran\\Moraven]\n";

std::string readText(const std::string& path) {
    const auto bytes = test::readWholeFile(path);
    return std::string(bytes.begin(), bytes.end());
}

// Answers the deletion's question and records what the user was shown.
class RecordingDialogs final : public SettingsDialogs {
public:
    explicit RecordingDialogs(bool answer) : m_answer(answer) {}

    bool askYesNo(const std::string& text) override {
        shown.push_back("question: " + text);
        return m_answer;
    }
    void warn(const std::string& text) override { shown.push_back("warning: " + text); }
    void inform(const std::string& text) override { shown.push_back("information: " + text); }

    std::vector<std::string> shown;

private:
    bool m_answer;
};

class PreferencesTest : public ::testing::Test {
protected:
    static SettingsEnvironment environment() {
        SettingsEnvironment environment;
        environment.documentsFolder = "/home/anne/Documents";
        environment.defaultTop = 100;
        environment.defaultLeft = 200;
        environment.executablePath = "/opt/moraven/bin/moraven";
        environment.now = [] { return encodeDateTime({2004, 7, 15, 13, 5, 9, 0}).value(); };
        return environment;
    }

    void store(const std::string& text) {
        std::ofstream out(m_path, std::ios::binary | std::ios::trunc);
        out << text;
    }

    Settings load() {
        RegistryFile registry(m_path);
        Preferences preferences(registry, environment());
        preferences.LoadSettings();
        return preferences.settings();
    }

    bool save(const Settings& settings) {
        RegistryFile registry(m_path);
        Preferences preferences(registry, environment());
        preferences.settings() = settings;
        return preferences.SaveSettings();
    }

    // The settings of a first run, as the tables give them.
    static Settings firstRunSettings() {
        Settings expected;
        expected.top = 100;
        expected.left = 200;
        expected.sendto = true;
        expected.dossierPourOuvrirFichiers = "/home/anne/Documents/";
        expected.dossierAOuvertureAuto = "/home/anne/Documents/";
        expected.dossierPourSauver = "/home/anne/Documents/";
        expected.dossierDesPlayList = "/home/anne/Documents/";
        return expected;
    }

    test::TempDir m_dir;
    std::string m_path = m_dir.file("registry.reg");
};

TEST_F(PreferencesTest, AFirstRunTakesEveryDefaultAndSavesThemUnderTheirNames) {
    const Settings loaded = load();
    const Settings expected = firstRunSettings();
    EXPECT_EQ(loaded, expected);
    EXPECT_EQ(loaded.frequenceDV, DvSampleRate::Hz48000);
    EXPECT_TRUE(loaded.sendto);
    EXPECT_EQ(loaded.incrustFont, IncrustFont{});
    EXPECT_TRUE(loaded.actions.empty());

    ASSERT_TRUE(save(loaded));
    EXPECT_EQ(readText(m_path),
              "REGEDIT4\n"
              "\n[HKEY_CURRENT_USER\\Software]\n"
              "\n[HKEY_CURRENT_USER\\Software\\Velloran]\n"
              "\n[HKEY_CURRENT_USER\\Software\\Velloran\\Moraven]\n"
              "\"version\"=\"Moraven 6.0.4 En by Velloran\"\n"
              "\"Dernière Sauvegarde\"=\"2004/07/15 01:05:09 pm\"\n"
              "\"Exename\"=\"/opt/moraven/bin/moraven\"\n"
              "\"Top\"=dword:00000064\n"
              "\"Left\"=dword:000000c8\n"
              "\"Ordre de la Liste\"=dword:00000000\n"
              "\"Sauver préférences en quittant\"=dword:00000001\n"
              "\"Sélectionner à l'ouverture\"=dword:00000000\n"
              "\"Sauver Liste en quittant\"=dword:00000000\n"
              "\"Sauver dans le même dossier\"=dword:00000001\n"
              "\"Dossier pour Ouvrir Fichiers\"=\"/home/anne/Documents/\"\n"
              "\"Dossier à ouverture auto\"=\"/home/anne/Documents/\"\n"
              "\"Dossier pour Sauver\"=\"/home/anne/Documents/\"\n"
              "\"Dossier des PlayList\"=\"/home/anne/Documents/\"\n"
              "\"Fichier Snapwick\"=\"\"\n"
              "\"Fichier F3\"=\"\"\n"
              "\"Fichier F4\"=\"\"\n"
              "\"Standard par défaut\"=dword:00000001\n"
              "\"Frequence DV\"=dword:00000002\n"
              "\"Volume\"=dword:00002710\n"
              "\"Format pour Ajouter Datecode\"=\"yyyy.mm.dd_hh.nn.ss_am/pm\"\n"
              "\"Format pour Afficher Datecode\"=\"ddddd hh:nn:ss\"\n"
              "\"Format pour Incruster Datecode1\"=\"ddddd\"\n"
              "\"Format pour Incruster Datecode2\"=\"tt\"\n"
              "\"Format pour Renommer\"=\"yyyymmdd_hh.nn.ss_am/pm\"\n"
              "\"Racine pour Renommer\"=\"ClipDV_\"\n"
              "\"Standard FontSize\"=dword:00000001\n"
              "\"Mode Auto Incrust\"=dword:00000001\n"
              "\"Auto Incrust\"=dword:00000000\n"
              "\"What Incrust\"=dword:00000000\n"
              "\"Alignement\"=dword:00000002\n"
              "\"Sendto\"=dword:00000001\n"
              "\"Duréee Incrustation\"=dword:00000005\n"
              "\"Décalage Horaire\"=dword:00000000\n"
              "\"Incrust positionX\"=dword:00000398\n"
              "\"Incrust positionY\"=dword:00000398\n"
              "\"is Mute on\"=dword:00000000\n"
              "\"is Incrust On\"=dword:00000000\n"
              "\"Incrust Sliders Visible\"=dword:00000000\n"
              "\n[HKEY_CURRENT_USER\\Software\\Velloran\\Moraven\\Actions]\n"
              "\n[HKEY_CURRENT_USER\\Software\\Velloran\\Moraven\\IncrustFont]\n"
              "\"Size\"=dword:00000030\n"
              "\"Color\"=dword:00ffffff\n"
              "\"Name\"=\"Arial\"\n"
              "\"Bold\"=dword:00000001\n"
              "\"Italic\"=dword:00000000\n"
              "\"Underline\"=dword:00000000\n"
              "\"StrikeOut\"=dword:00000000\n");
}

TEST_F(PreferencesTest, EverySettingComesBackAsItWasSaved) {
    Settings settings;
    settings.top = -20;
    settings.left = 1900;
    settings.ordreDeLaListe = 3;
    settings.sauverPreferencesEnQuittant = false;
    settings.selectionnerALOuverture = true;
    settings.sauverListeEnQuittant = true;
    settings.sauverDansLeMemeDossier = false;
    settings.dossierPourOuvrirFichiers = "/media/card/DCIM/";
    settings.dossierAOuvertureAuto = "/home/anne/Vidéos/été 2004/";
    settings.dossierPourSauver = "/srv/\"quoted\" \\ folder/";
    settings.dossierDesPlayList = std::string("/home/anne/\xff\xfe/");  // not UTF-8: bytes kept
    settings.fichierSnapwick = "/usr/bin/snapwick";
    settings.fichierF3 = "/usr/bin/vlc";
    settings.fichierF4 = "/usr/bin/mpv";
    settings.standardParDefaut = TvStandard::Ntsc;
    settings.frequenceDV = DvSampleRate::Hz32000;
    settings.volume = 2500;
    settings.formatPourAjouterDatecode = "yyyy-mm-dd";
    settings.formatPourAfficherDatecode = "dddddd tt";
    settings.formatPourIncrusterDatecode1 = "'Line\nbreak' d";
    settings.formatPourIncrusterDatecode2 = "hh:nn";
    settings.formatPourRenommer = "yyyymmdd";
    settings.racinePourRenommer = "Holiday_";
    settings.standardFontSize = false;
    settings.modeAutoIncrust = AutoInlayMode::EachDay;
    settings.autoIncrust = true;
    settings.whatIncrust = InlayContent::Timecode;
    settings.alignement = InlayAlignment::Left;
    settings.sendto = true;
    settings.dureeIncrustation = 12;
    settings.decalageHoraire = -23;
    settings.incrustPositionX = 15;
    settings.incrustPositionY = 999;
    settings.isMuteOn = true;
    settings.isIncrustOn = true;
    settings.incrustSlidersVisible = true;
    settings.incrustFont = IncrustFont{20, 0x0000FF, "Liberation Mono", FontStyle{false, true, true, true}};
    settings.actions = {{"amAjouterDatecode", 1}, {"amRenameScAn", 0}, {"amCorrigerFps", -1}};

    ASSERT_TRUE(save(settings));
    EXPECT_EQ(load(), settings);
}

TEST_F(PreferencesTest, AKeyWithoutSendtoLeavesTheEntryOff) {
    store("REGEDIT4\n" + kMainKey + "\"Volume\"=dword:00000064\n");
    const Settings loaded = load();
    EXPECT_FALSE(loaded.sendto);
    EXPECT_EQ(loaded.volume, 100);
    // Everything else is default, as on a first run.
    Settings expected = firstRunSettings();
    expected.sendto = false;
    expected.volume = 100;
    EXPECT_EQ(loaded, expected);
}

TEST_F(PreferencesTest, ValuesOfTheWrongTypeOrMissingTakeTheirDefaults) {
    store("REGEDIT4\n" + kMainKey +
          "\"Volume\"=\"loud\"\n"
          "\"Sendto\"=\"yes\"\n"
          "\"Top\"=hex:01,02\n"
          "\"Frequence DV\"=\"1\"\n"
          "\"Décalage Horaire\"=hex(4):05,00\n"  // four bytes make an integer; two do not
          "\"Dossier pour Sauver\"=dword:00000001\n"
          "\"Format pour Incruster Datecode1\"=dword:00000001\n"
          "\"Format pour Afficher Datecode\"=\"\"\n"
          "\"Format pour Ajouter Datecode\"=\"\"\n"
          "\"Racine pour Renommer\"=dword:00000000\n"
          "\"Fichier F3\"=dword:00000003\n");
    const Settings loaded = load();
    EXPECT_EQ(loaded.volume, 10000);
    EXPECT_FALSE(loaded.sendto);
    EXPECT_EQ(loaded.top, 100);
    EXPECT_EQ(loaded.frequenceDV, DvSampleRate::Hz48000);
    EXPECT_EQ(loaded.decalageHoraire, 0);
    EXPECT_EQ(loaded.dossierPourSauver, "/home/anne/Documents/");
    EXPECT_EQ(loaded.formatPourIncrusterDatecode1, "ddddd");
    EXPECT_EQ(loaded.formatPourAfficherDatecode, "ddddd hh:nn:ss");
    EXPECT_EQ(loaded.formatPourAjouterDatecode, "yyyy.mm.dd_hh.nn.ss_am/pm");
    EXPECT_EQ(loaded.racinePourRenommer, "ClipDV_");
    EXPECT_EQ(loaded.fichierF3, "");
}

TEST_F(PreferencesTest, EightBitSettingsKeepTheLowByteAndIntegersTheirSign) {
    store("REGEDIT4\n" + kMainKey +
          "\"Ordre de la Liste\"=dword:00000103\n"  // 259
          "\"Standard par défaut\"=dword:ffffffff\n"
          "\"Alignement\"=dword:00000200\n"
          "\"Décalage Horaire\"=dword:fffffffb\n"
          "\"is Mute on\"=dword:00000100\n");  // any integer but 0 is true
    const Settings loaded = load();
    EXPECT_EQ(loaded.ordreDeLaListe, 3);
    EXPECT_EQ(storedValue(loaded.standardParDefaut), 255);
    EXPECT_EQ(loaded.alignement, InlayAlignment::Left);
    EXPECT_EQ(loaded.decalageHoraire, -5);
    EXPECT_TRUE(loaded.isMuteOn);
}

// The line a setting of the main key was written as, or nothing.
std::string storedLine(const std::string& text, const std::string& valueName) {
    const std::string start = "\"" + valueName + "\"=";
    const std::size_t at = text.find("\n" + start);
    if (at == std::string::npos) return {};
    return text.substr(at + 1, text.find('\n', at + 1) - at - 1);
}

TEST_F(PreferencesTest, ChoicesKeepTheNumberTheyWereStoredWithKnownOrNot) {
    struct Case {
        const char* valueName;
        const char* stored;  // the dword as the file holds it
        std::function<std::uint8_t(const Settings&)> number;
        bool known;
        const char* written;
    };
    const auto frequence = [](const Settings& s) { return storedValue(s.frequenceDV); };
    const auto standard = [](const Settings& s) { return storedValue(s.standardParDefaut); };
    const auto what = [](const Settings& s) { return storedValue(s.whatIncrust); };
    const auto align = [](const Settings& s) { return storedValue(s.alignement); };
    const auto mode = [](const Settings& s) { return storedValue(s.modeAutoIncrust); };
    const Case cases[] = {
        {"Frequence DV", "00000000", frequence, true, "00000000"},
        {"Frequence DV", "00000001", frequence, true, "00000001"},
        {"Frequence DV", "00000003", frequence, false, "00000003"},
        {"Standard par défaut", "00000002", standard, true, "00000002"},
        {"Standard par défaut", "00000000", standard, false, "00000000"},
        {"Standard par défaut", "ffffffff", standard, false, "000000ff"},
        {"What Incrust", "00000001", what, true, "00000001"},
        {"What Incrust", "00000002", what, false, "00000002"},
        {"Alignement", "00000001", align, true, "00000001"},
        {"Alignement", "00000103", align, false, "00000003"},  // 259 keeps its low byte
        {"Alignement", "00000200", align, true, "00000000"},
        {"Mode Auto Incrust", "00000000", mode, true, "00000000"},
        {"Mode Auto Incrust", "000000ff", mode, false, "000000ff"},
    };
    for (const Case& c : cases) {
        const std::string line = std::string("\"") + c.valueName + "\"=dword:";
        store("REGEDIT4\n" + kMainKey + line + c.stored + "\n");
        const Settings loaded = load();
        const std::uint8_t expected = static_cast<std::uint8_t>(std::stoul(c.stored, nullptr, 16));
        EXPECT_EQ(c.number(loaded), expected) << c.valueName << " " << c.stored;
        // The other choices keep their defaults, so the five are known together exactly when this one is.
        const bool known = isKnown(loaded.frequenceDV) && isKnown(loaded.standardParDefaut) &&
                           isKnown(loaded.whatIncrust) && isKnown(loaded.alignement) &&
                           isKnown(loaded.modeAutoIncrust);
        EXPECT_EQ(known, c.known) << c.valueName << " " << c.stored;
        ASSERT_TRUE(save(loaded));
        EXPECT_EQ(storedLine(readText(m_path), c.valueName), line + c.written) << c.stored;
    }
}

TEST_F(PreferencesTest, AFileWithUnknownChoicesIsWrittenBackByteForByte) {
    Settings settings = firstRunSettings();
    settings.frequenceDV = DvSampleRate{7};
    settings.standardParDefaut = TvStandard{0};
    settings.whatIncrust = InlayContent{200};
    settings.alignement = InlayAlignment{3};
    settings.modeAutoIncrust = AutoInlayMode{255};
    ASSERT_TRUE(save(settings));
    const std::string before = readText(m_path);
    ASSERT_NE(storedLine(before, "What Incrust"), "");

    const Settings loaded = load();
    EXPECT_EQ(loaded, settings);
    ASSERT_TRUE(save(loaded));
    EXPECT_EQ(readText(m_path), before);
}

TEST_F(PreferencesTest, AnEmptyInlayPatternIsStoredAsTheMarker) {
    store("REGEDIT4\n" + kMainKey +
          "\"Format pour Incruster Datecode1\"=\"#vide#\"\n"
          "\"Format pour Incruster Datecode2\"=\"#vide#\"\n"
          "\"Format pour Renommer\"=\"#vide#\"\n");
    Settings loaded = load();
    EXPECT_EQ(loaded.formatPourIncrusterDatecode1, "");
    EXPECT_EQ(loaded.formatPourIncrusterDatecode2, "");
    EXPECT_EQ(loaded.formatPourRenommer, "#vide#");  // the marker belongs to the inlay patterns only

    loaded.formatPourIncrusterDatecode1 = "dddddd";
    RegistryFile registry(m_path);
    Preferences preferences(registry, environment());
    preferences.settings() = loaded;
    ASSERT_TRUE(preferences.SaveSettings());
    EXPECT_EQ(preferences.settings().formatPourIncrusterDatecode2, "");
    const std::string text = readText(m_path);
    EXPECT_NE(text.find("\"Format pour Incruster Datecode1\"=\"dddddd\"\n"), std::string::npos);
    EXPECT_NE(text.find("\"Format pour Incruster Datecode2\"=\"#vide#\"\n"), std::string::npos);
    EXPECT_EQ(load().formatPourIncrusterDatecode2, "");
}

TEST_F(PreferencesTest, FolderSettingsEndWithASeparator) {
    store("REGEDIT4\n" + kMainKey +
          "\"Dossier pour Ouvrir Fichiers\"=\"/media/card\"\n"
          "\"Dossier à ouverture auto\"=\"/media/card/\"\n"
          "\"Dossier des PlayList\"=\"\"\n");
    const Settings loaded = load();
    EXPECT_EQ(loaded.dossierPourOuvrirFichiers, "/media/card/");
    EXPECT_EQ(loaded.dossierAOuvertureAuto, "/media/card/");
    EXPECT_EQ(loaded.dossierDesPlayList, "/home/anne/Documents/");
    EXPECT_EQ(loaded.dossierPourSauver, "/home/anne/Documents/");
}

TEST_F(PreferencesTest, SnapwickIsFoundThroughItsOwnKeyWhenTheSettingIsEmpty) {
    const std::string snapwickKey = "[HKEY_CURRENT_USER\\Software\\Velloran\\Snapwick]\n";
    struct Case {
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        {"REGEDIT4\n" + snapwickKey + "\"exename\"=\"/opt/snapwick/snapwick\"\n", "/opt/snapwick/snapwick"},
        {"REGEDIT4\n" + kMainKey + "\"Fichier Snapwick\"=\"\"\n" + snapwickKey + "\"ExeName\"=\"/opt/s\"\n",
         "/opt/s"},
        {"REGEDIT4\n" + kMainKey + "\"Fichier Snapwick\"=\"/usr/bin/mine\"\n" + snapwickKey +
             "\"exename\"=\"/opt/s\"\n",
         "/usr/bin/mine"},
        {"REGEDIT4\n" + snapwickKey + "\"exename\"=dword:00000001\n", ""},
        {"REGEDIT4\n" + snapwickKey, ""},
        {"REGEDIT4\n" + kMainKey, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        store(c.text);
        EXPECT_EQ(load().fichierSnapwick, c.expected);
    }
}

TEST_F(PreferencesTest, TheActionsKeyIsReadInOrderAndRewrittenFromScratch) {
    store("REGEDIT4\n" + kMainKey +
          "[HKEY_CURRENT_USER\\Software\\Velloran\\Moraven\\Actions]\n"
          "\"amPurgerNom\"=dword:00000000\n"
          "\"amAjouterDatecode\"=dword:00000001\n"
          "\"amBroken\"=\"not an integer\"\n"
          "\"amCorrigerFps\"=dword:ffffffff\n");
    Settings loaded = load();
    EXPECT_EQ(loaded.actions, (std::vector<ActionSetting>{
                                  {"amPurgerNom", 0}, {"amAjouterDatecode", 1}, {"amCorrigerFps", -1}}));

    loaded.actions = {{"amAjouterDatecode", 0}, {"amNouveau", 1}};
    ASSERT_TRUE(save(loaded));
    ASSERT_TRUE(save(loaded));
    EXPECT_EQ(load().actions, loaded.actions);
    const std::string text = readText(m_path);
    EXPECT_EQ(text.find("amPurgerNom"), std::string::npos);
    EXPECT_EQ(text.find("amBroken"), std::string::npos);
}

TEST_F(PreferencesTest, TheInlayFontTakesItsDefaultsValueByValue) {
    store("REGEDIT4\n" + kMainKey +
          "[HKEY_CURRENT_USER\\Software\\Velloran\\Moraven\\IncrustFont]\n"
          "\"Size\"=\"big\"\n"
          "\"Color\"=dword:000000ff\n"
          "\"Name\"=\"\"\n"
          "\"Bold\"=dword:00000000\n"
          "\"StrikeOut\"=dword:00000001\n");
    const IncrustFont font = load().incrustFont;
    EXPECT_EQ(font.size, 48);
    EXPECT_EQ(font.color, 0xFF);
    EXPECT_EQ(font.name, "Arial");
    EXPECT_EQ(font.style, (FontStyle{false, false, false, true}));
}

TEST_F(PreferencesTest, ASaveThatCannotBeStoredKeepsTheOldFile) {
    store("REGEDIT4\n" + kMainKey + "\"Volume\"=dword:00000064\n");
    const std::string before = readText(m_path);
    // A file in the place of the folder: the temporary file cannot be made.
    const std::string blocked = m_dir.file("blocked") + "/registry.reg";
    std::ofstream(m_dir.file("blocked")) << "x";
    RegistryFile registry(blocked);
    Preferences preferences(registry, environment());
    preferences.LoadSettings();
    EXPECT_FALSE(preferences.SaveSettings());
    EXPECT_EQ(readText(m_dir.file("blocked")), "x");
    EXPECT_EQ(readText(m_path), before);
}

TEST_F(PreferencesTest, ASettingsFileThatCannotBeReadGivesDefaultsAndIsNeverReplaced) {
    std::filesystem::create_directories(m_path);  // a folder in the file's place
    std::vector<std::string> reports;
    RegistryFile registry(m_path, [&](const std::string& line) { reports.push_back(line); });
    Preferences preferences(registry, environment());
    preferences.LoadSettings();
    EXPECT_EQ(preferences.settings(), firstRunSettings());
    EXPECT_FALSE(preferences.SaveSettings());
    EXPECT_TRUE(std::filesystem::is_directory(m_path));
    EXPECT_EQ(reports.size(), 1u);
}

TEST_F(PreferencesTest, DeletionAsksFirstAndRemovesOnlyTheProgramsKey) {
    const std::string question =
        "question: Do you really want to delete the preferences of Moraven\r\nfrom your registry?";
    const std::string withSnapwick =
        "REGEDIT4\n" + kMainKey + "\"Volume\"=dword:00000064\n" +
        "[HKEY_CURRENT_USER\\Software\\Velloran\\Moraven\\Actions]\n" +
        "[HKEY_CURRENT_USER\\Software\\Velloran\\Snapwick]\n\"exename\"=\"/s\"\n";

    // Answering No changes nothing.
    store(withSnapwick);
    {
        RegistryFile registry(m_path);
        Preferences preferences(registry, environment());
        preferences.LoadSettings();
        RecordingDialogs no(false);
        preferences.DeleteSettings(no);
        EXPECT_EQ(no.shown, std::vector<std::string>{question});
        EXPECT_EQ(preferences.settings().volume, 100);
    }
    EXPECT_EQ(load().volume, 100);

    // Another program of the maker keeps its key, and so does the maker's key.
    {
        RegistryFile registry(m_path);
        Preferences preferences(registry, environment());
        preferences.LoadSettings();
        RecordingDialogs yes(true);
        preferences.DeleteSettings(yes);
        EXPECT_EQ(yes.shown, (std::vector<std::string>{question,
                                                       "information: Moraven has been completely "
                                                       "deleted from your registry."}));
        EXPECT_EQ(preferences.settings().volume, 100);  // the settings in memory stay
    }
    EXPECT_EQ(readText(m_path),
              "REGEDIT4\n"
              "\n[HKEY_CURRENT_USER\\Software]\n"
              "\n[HKEY_CURRENT_USER\\Software\\Velloran]\n"
              "\n[HKEY_CURRENT_USER\\Software\\Velloran\\Snapwick]\n"
              "\"exename\"=\"/s\"\n");

    // The maker's key goes with the program's when nothing else is left in it.
    store("REGEDIT4\n" + kMainKey);
    {
        RegistryFile registry(m_path);
        Preferences preferences(registry, environment());
        RecordingDialogs yes(true);
        preferences.DeleteSettings(yes);
        EXPECT_EQ(yes.shown.size(), 2u);
    }
    EXPECT_EQ(readText(m_path), "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software]\n");

    // Nothing left to delete.
    {
        RegistryFile registry(m_path);
        Preferences preferences(registry, environment());
        RecordingDialogs yes(true);
        preferences.DeleteSettings(yes);
        EXPECT_EQ(yes.shown,
                  (std::vector<std::string>{
                      question, "warning: The preferences of Moraven were not found in the registry."}));
    }
}

TEST_F(PreferencesTest, ADeletionThatCannotBeStoredIsNotReportedAsDone) {
    store("REGEDIT4\n" + kMainKey);
    const std::string before = readText(m_path);
    RegistryFile registry(m_path);
    Preferences preferences(registry, environment());
    RecordingDialogs yes(true);
    {
        test::FileSizeLimit fullDisk(1);
        ASSERT_TRUE(fullDisk.ok());
        preferences.DeleteSettings(yes);
    }
    ASSERT_EQ(yes.shown.size(), 2u);
    EXPECT_EQ(yes.shown[1], "warning: The preferences of Moraven could not be deleted from your registry.");
    EXPECT_EQ(readText(m_path), before);
}

}  // namespace
}  // namespace moraven
