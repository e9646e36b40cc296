#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "formats/date_format.h"
#include "formats/date_time.h"
#include "settings/registry.h"
#include "settings/setting_choices.h"

namespace moraven {

// Registry keys of the settings, absolute from the current user's root.
inline constexpr std::string_view kMakerKeyPath = "\\Software\\Velloran\\";
inline constexpr std::string_view kMainKeyPath = "\\Software\\Velloran\\Moraven";
inline constexpr std::string_view kActionsKeyPath = "\\Software\\Velloran\\Moraven\\Actions";
inline constexpr std::string_view kIncrustFontKeyPath = "\\Software\\Velloran\\Moraven\\IncrustFont";
inline constexpr std::string_view kSnapwickKeyPath = "\\Software\\Velloran\\Snapwick";

// What an empty inlay pattern is stored as, since an empty stored value stands for the default.
inline constexpr std::string_view kEmptyPatternMarker = "#vide#";

struct FontStyle {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;

    friend bool operator==(const FontStyle&, const FontStyle&) = default;
};

// The inlay font, stored in the IncrustFont subkey.
struct IncrustFont {
    std::int32_t size = 48;                      // "Size", points
    std::int32_t color = 0xFFFFFF;               // "Color", 0x00BBGGRR
    std::string name = "Arial";                  // "Name"
    FontStyle style{true, false, false, false};  // "Bold", "Italic", "Underline", "StrikeOut"

    friend bool operator==(const IncrustFont&, const IncrustFont&) = default;
};

// One value of the Actions subkey: an action's component name and -1 (not offered in the settings panel's
// list of commands), 1 (ticked) or 0 (unticked).
struct ActionSetting {
    std::string name;
    std::int32_t value = 0;

    friend bool operator==(const ActionSetting&, const ActionSetting&) = default;
};

// Every persistent setting, in memory. Each member is stored under the value name beside it; the member
// initializers are the defaults ("Top" and "Left" take theirs from the environment, the folders the
// documents folder). The six settings of 8 bits keep only the low 8 bits of what is stored; the five of
// them that name a choice keep a number outside their items as it was read (settings/setting_choices.h).
struct Settings {
    std::int32_t top = 0;                              // "Top"
    std::int32_t left = 0;                             // "Left"
    std::uint8_t ordreDeLaListe = 0;                   // "Ordre de la Liste"
    bool sauverPreferencesEnQuittant = true;           // "Sauver préférences en quittant"
    bool selectionnerALOuverture = false;              // "Sélectionner à l'ouverture"
    bool sauverListeEnQuittant = false;                // "Sauver Liste en quittant"
    bool sauverDansLeMemeDossier = true;               // "Sauver dans le même dossier"
    std::string dossierPourOuvrirFichiers;             // "Dossier pour Ouvrir Fichiers"
    std::string dossierAOuvertureAuto;                 // "Dossier à ouverture auto"
    std::string dossierPourSauver;                     // "Dossier pour Sauver"
    std::string dossierDesPlayList;                    // "Dossier des PlayList"
    std::string fichierSnapwick;                       // "Fichier Snapwick"
    std::string fichierF3;                             // "Fichier F3"
    std::string fichierF4;                             // "Fichier F4"
    TvStandard standardParDefaut = TvStandard::Pal;    // "Standard par défaut"
    DvSampleRate frequenceDV = DvSampleRate::Hz48000;  // "Frequence DV"
    std::int32_t volume = 10000;                       // "Volume"
    std::string formatPourAjouterDatecode = "yyyy.mm.dd_hh.nn.ss_am/pm";  // "Format pour Ajouter Datecode"
    std::string formatPourAfficherDatecode = "ddddd hh:nn:ss";            // "Format pour Afficher Datecode"
    std::string formatPourIncrusterDatecode1 = "ddddd";                   // "Format pour Incruster Datecode1"
    std::string formatPourIncrusterDatecode2 = "tt";                      // "Format pour Incruster Datecode2"
    std::string formatPourRenommer = "yyyymmdd_hh.nn.ss_am/pm";           // "Format pour Renommer"
    std::string racinePourRenommer = "ClipDV_";                           // "Racine pour Renommer"
    bool standardFontSize = true;                                         // "Standard FontSize"
    AutoInlayMode modeAutoIncrust = AutoInlayMode::EachScene;             // "Mode Auto Incrust"
    bool autoIncrust = false;                                             // "Auto Incrust"
    InlayContent whatIncrust = InlayContent::Datecode;                    // "What Incrust"
    InlayAlignment alignement = InlayAlignment::Right;                    // "Alignement"
    bool sendto = false;                                                  // "Sendto" (true on a first run)
    std::int32_t dureeIncrustation = 5;   // "Duréee Incrustation" (sic, three e)
    std::int32_t decalageHoraire = 0;     // "Décalage Horaire", -23..23
    std::int32_t incrustPositionX = 920;  // "Incrust positionX"
    std::int32_t incrustPositionY = 920;  // "Incrust positionY"
    bool isMuteOn = false;                // "is Mute on"
    bool isIncrustOn = false;             // "is Incrust On"
    bool incrustSlidersVisible = false;   // "Incrust Sliders Visible"

    IncrustFont incrustFont;
    std::vector<ActionSetting> actions;  // in the order read from the Actions subkey

    friend bool operator==(const Settings&, const Settings&) = default;
};

// A setting of the main key: its value name and the member that holds it. Every kind is stored as a
// registry integer except the strings.
struct StoredSetting {
    std::string_view valueName;
    std::variant<std::int32_t Settings::*, std::uint8_t Settings::*, bool Settings::*,
                 std::string Settings::*, DvSampleRate Settings::*, TvStandard Settings::*,
                 InlayContent Settings::*, InlayAlignment Settings::*, AutoInlayMode Settings::*>
        member;
};

// The settings of the main key that are read and written, in the order in which they are saved (after the
// three written-only values "version", "Dernière Sauvegarde" and "Exename").
std::span<const StoredSetting> storedSettings();

// What the settings take from the rest of the program; the platform layer fills it.
struct SettingsEnvironment {
    std::string documentsFolder;   // the default of empty folder settings (PersonalFolder)
    std::int32_t defaultTop = 0;   // (screen height - main window height) / 2
    std::int32_t defaultLeft = 0;  // (screen width - main window width) / 2
    std::string executablePath;    // stored as "Exename"
    DateFormatLocale dateLocale = englishDateFormatLocale();  // for "Dernière Sauvegarde"
    std::function<DateTime()> now = currentDateTime;
};

// The questions and messages of the deletion; the window shows them as message boxes.
class SettingsDialogs {
public:
    virtual ~SettingsDialogs() = default;
    // A warning with the buttons Yes and No; true when the user answers Yes.
    virtual bool askYesNo(const std::string& text) = 0;
    // A warning with the button OK.
    virtual void warn(const std::string& text) = 0;
    // An information with the button OK.
    virtual void inform(const std::string& text) = 0;
};

// The settings store: the settings in memory and their loading, saving and deletion in the registry.
// Main thread only. The registry and the environment are the caller's and must outlive the store.
class Preferences {
public:
    Preferences(Registry& registry, SettingsEnvironment environment);

    Settings& settings() { return m_settings; }
    const Settings& settings() const { return m_settings; }

    // Fills every setting, the inlay font and the actions list from the registry; missing values and values
    // of another type take their defaults without any message.
    void LoadSettings();

    // Writes every setting, the actions list (the Actions subkey is made again from scratch) and the inlay
    // font. The caller ignores failures; the result says whether the registry stored them (when it did
    // not, the registry keeps what it held before).
    bool SaveSettings();

    // Asks the user, then deletes the program's key, and the maker's key when nothing else is left in it.
    // The settings in memory stay as they are.
    void DeleteSettings(SettingsDialogs& dialogs);

private:
    Registry& m_registry;
    SettingsEnvironment m_environment;
    Settings m_settings;
};

// The texts of the deletion.
std::string deleteSettingsQuestion();
std::string settingsNotFoundMessage();
std::string settingsDeletedMessage();
std::string settingsNotDeletedMessage();

// "Moraven 6.0.4 En by Velloran": the value "version".
std::string settingsVersionText();

}  // namespace moraven
