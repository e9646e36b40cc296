#include "settings/preferences.h"

#include <type_traits>
#include <utility>

#include "formats/program_info.h"

namespace moraven {
namespace {

constexpr StoredSetting kStoredSettings[] = {
    {"Top", &Settings::top},
    {"Left", &Settings::left},
    {"Ordre de la Liste", &Settings::ordreDeLaListe},
    {"Sauver préférences en quittant", &Settings::sauverPreferencesEnQuittant},
    {"Sélectionner à l'ouverture", &Settings::selectionnerALOuverture},
    {"Sauver Liste en quittant", &Settings::sauverListeEnQuittant},
    {"Sauver dans le même dossier", &Settings::sauverDansLeMemeDossier},
    {"Dossier pour Ouvrir Fichiers", &Settings::dossierPourOuvrirFichiers},
    {"Dossier à ouverture auto", &Settings::dossierAOuvertureAuto},
    {"Dossier pour Sauver", &Settings::dossierPourSauver},
    {"Dossier des PlayList", &Settings::dossierDesPlayList},
    {"Fichier Snapwick", &Settings::fichierSnapwick},
    {"Fichier F3", &Settings::fichierF3},
    {"Fichier F4", &Settings::fichierF4},
    {"Standard par défaut", &Settings::standardParDefaut},
    {"Frequence DV", &Settings::frequenceDV},
    {"Volume", &Settings::volume},
    {"Format pour Ajouter Datecode", &Settings::formatPourAjouterDatecode},
    {"Format pour Afficher Datecode", &Settings::formatPourAfficherDatecode},
    {"Format pour Incruster Datecode1", &Settings::formatPourIncrusterDatecode1},
    {"Format pour Incruster Datecode2", &Settings::formatPourIncrusterDatecode2},
    {"Format pour Renommer", &Settings::formatPourRenommer},
    {"Racine pour Renommer", &Settings::racinePourRenommer},
    {"Standard FontSize", &Settings::standardFontSize},
    {"Mode Auto Incrust", &Settings::modeAutoIncrust},
    {"Auto Incrust", &Settings::autoIncrust},
    {"What Incrust", &Settings::whatIncrust},
    {"Alignement", &Settings::alignement},
    {"Sendto", &Settings::sendto},
    {"Duréee Incrustation", &Settings::dureeIncrustation},
    {"Décalage Horaire", &Settings::decalageHoraire},
    {"Incrust positionX", &Settings::incrustPositionX},
    {"Incrust positionY", &Settings::incrustPositionY},
    {"is Mute on", &Settings::isMuteOn},
    {"is Incrust On", &Settings::isIncrustOn},
    {"Incrust Sliders Visible", &Settings::incrustSlidersVisible},
};

constexpr const char* kVersionValue = "version";
constexpr const char* kLastSaveValue = "Dernière Sauvegarde";
constexpr const char* kExenameValue = "Exename";
constexpr const char* kLastSavePattern = "yyyy/mm/dd hh:nn:ss am/pm";
constexpr const char* kSnapwickExenameValue = "exename";

constexpr const char* kFontSizeValue = "Size";
constexpr const char* kFontColorValue = "Color";
constexpr const char* kFontNameValue = "Name";
constexpr const char* kFontBoldValue = "Bold";
constexpr const char* kFontItalicValue = "Italic";
constexpr const char* kFontUnderlineValue = "Underline";
constexpr const char* kFontStrikeOutValue = "StrikeOut";

bool isInlayPattern(std::string Settings::*member) {
    return member == &Settings::formatPourIncrusterDatecode1 ||
           member == &Settings::formatPourIncrusterDatecode2;
}

std::string withTrailingSeparator(std::string folder) {
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

// Reads one setting of the open key into `settings`. Integers and booleans that are missing or not
// integers keep the default already in `settings`; a string that is missing or not a string reads as empty
// (empty strings take their defaults afterwards).
void readSetting(const Registry& registry, const StoredSetting& setting, Settings& settings) {
    std::visit(
        [&](auto member) {
            using Value = std::remove_reference_t<decltype(settings.*member)>;
            if constexpr (std::is_same_v<Value, std::string>) {
                settings.*member = registry.readString(setting.valueName).value_or(std::string());
            } else if (const auto stored = registry.readInteger(setting.valueName)) {
                if constexpr (std::is_same_v<Value, bool>) {
                    settings.*member = *stored != 0;
                } else if constexpr (std::is_enum_v<Value>) {
                    // Any byte is kept, an item or not: it is written back as it was read.
                    settings.*member = choiceFromStored<Value>(*stored);
                } else {
                    // The 8-bit settings keep the low byte: 259 reads as 3.
                    settings.*member = static_cast<Value>(*stored);
                }
            }
        },
        setting.member);
}

void writeSetting(Registry& registry, const StoredSetting& setting, const Settings& settings) {
    std::visit(
        [&](auto member) {
            using Value = std::remove_cvref_t<decltype(settings.*member)>;
            if constexpr (std::is_same_v<Value, std::string>) {
                const std::string& text = settings.*member;
                const bool marker = text.empty() && isInlayPattern(member);
                registry.writeString(setting.valueName,
                                     marker ? std::string_view(kEmptyPatternMarker) : std::string_view(text));
            } else if constexpr (std::is_same_v<Value, bool>) {
                registry.writeInteger(setting.valueName, settings.*member ? 1 : 0);
            } else if constexpr (std::is_enum_v<Value>) {
                registry.writeInteger(setting.valueName, storedValue(settings.*member));
            } else {
                registry.writeInteger(setting.valueName, static_cast<std::int32_t>(settings.*member));
            }
        },
        setting.member);
}

bool readBoolean(const Registry& registry, std::string_view name, bool fallback) {
    const auto stored = registry.readInteger(name);
    return stored ? *stored != 0 : fallback;
}

}  // namespace

std::span<const StoredSetting> storedSettings() { return kStoredSettings; }

std::string settingsVersionText() {
    return std::string(kProgramName) + " " + kProgramVersion + " " + "En" + " by " + kMakerName;
}

std::string deleteSettingsQuestion() {
    return std::string("Do you really want to delete the preferences of ") + kProgramName + "\r\n" +
           "from your registry?";
}

std::string settingsNotFoundMessage() {
    return std::string("The preferences of ") + kProgramName + " were not found in the registry.";
}

std::string settingsDeletedMessage() {
    return std::string(kProgramName) + " has been completely deleted from your registry.";
}

std::string settingsNotDeletedMessage() {
    return std::string("The preferences of ") + kProgramName + " could not be deleted from your registry.";
}

Preferences::Preferences(Registry& registry, SettingsEnvironment environment)
    : m_registry(registry), m_environment(std::move(environment)) {}

void Preferences::LoadSettings() {
    Settings loaded;
    loaded.top = m_environment.defaultTop;
    loaded.left = m_environment.defaultLeft;

    if (m_registry.openKey(kMainKeyPath, false)) {
        for (const StoredSetting& setting : kStoredSettings) readSetting(m_registry, setting, loaded);
    } else {
        // A first run: the defaults, with the Send To entry on; the strings start empty and take their
        // defaults below like any empty string.
        loaded.sendto = true;
        for (const StoredSetting& setting : kStoredSettings) {
            if (auto* member = std::get_if<std::string Settings::*>(&setting.member)) loaded.** member = {};
        }
    }

    if (m_registry.openKey(kActionsKeyPath, false)) {
        for (const std::string& name : m_registry.valueNames()) {
            // A value that is no integer says nothing about its action; it is passed over.
            if (const auto value = m_registry.readInteger(name)) loaded.actions.push_back({name, *value});
        }
    }

    IncrustFont& font = loaded.incrustFont;
    const IncrustFont defaultFont;
    FontStyle style = defaultFont.style;
    if (m_registry.openKey(kIncrustFontKeyPath, false)) {
        font.size = m_registry.readInteger(kFontSizeValue).value_or(defaultFont.size);
        font.color = m_registry.readInteger(kFontColorValue).value_or(defaultFont.color);
        font.name = m_registry.readString(kFontNameValue).value_or(defaultFont.name);
        style.bold = readBoolean(m_registry, kFontBoldValue, defaultFont.style.bold);
        style.italic = readBoolean(m_registry, kFontItalicValue, defaultFont.style.italic);
        style.underline = readBoolean(m_registry, kFontUnderlineValue, defaultFont.style.underline);
        style.strikeOut = readBoolean(m_registry, kFontStrikeOutValue, defaultFont.style.strikeOut);
    }

    // Empty values take their defaults.
    const Settings defaults;
    for (std::string* folder : {&loaded.dossierPourOuvrirFichiers, &loaded.dossierAOuvertureAuto,
                                &loaded.dossierPourSauver, &loaded.dossierDesPlayList}) {
        if (folder->empty()) *folder = m_environment.documentsFolder;
        // Folder settings end with a separator, so that a file name can be appended.
        *folder = withTrailingSeparator(std::move(*folder));
    }
    for (std::string Settings::*pattern :
         {&Settings::formatPourAjouterDatecode, &Settings::formatPourAfficherDatecode,
          &Settings::formatPourIncrusterDatecode1, &Settings::formatPourIncrusterDatecode2}) {
        if ((loaded.*pattern).empty()) loaded.*pattern = defaults.*pattern;
    }
    for (std::string Settings::*pattern :
         {&Settings::formatPourIncrusterDatecode1, &Settings::formatPourIncrusterDatecode2}) {
        if (loaded.*pattern == kEmptyPatternMarker) (loaded.*pattern).clear();
    }
    if (loaded.formatPourRenommer.empty()) loaded.formatPourRenommer = defaults.formatPourRenommer;
    if (loaded.racinePourRenommer.empty()) loaded.racinePourRenommer = defaults.racinePourRenommer;
    if (font.name.empty()) font.name = defaultFont.name;

    font.style = style;

    // Snapwick tells where it is installed in its own key.
    if (loaded.fichierSnapwick.empty() && m_registry.openKey(kSnapwickKeyPath, false)) {
        loaded.fichierSnapwick = m_registry.readString(kSnapwickExenameValue).value_or(std::string());
    }

    m_registry.close();
    m_settings = std::move(loaded);
}

bool Preferences::SaveSettings() {
    const Settings& settings = m_settings;
    if (m_registry.openKey(kMainKeyPath, true)) {
        m_registry.writeString(kVersionValue, settingsVersionText());
        m_registry.writeString(kLastSaveValue,
                               formatDateTime(kLastSavePattern, m_environment.now(), m_environment.dateLocale)
                                   .value_or(std::string()));
        m_registry.writeString(kExenameValue, m_environment.executablePath);
        for (const StoredSetting& setting : kStoredSettings) writeSetting(m_registry, setting, settings);
    }

    // Made again from scratch, so that the values of actions that no longer exist disappear.
    m_registry.deleteKey(kActionsKeyPath);
    if (m_registry.openKey(kActionsKeyPath, true)) {
        for (const ActionSetting& action : settings.actions)
            m_registry.writeInteger(action.name, action.value);
    }

    if (m_registry.openKey(kIncrustFontKeyPath, true)) {
        const IncrustFont& font = settings.incrustFont;
        m_registry.writeInteger(kFontSizeValue, font.size);
        m_registry.writeInteger(kFontColorValue, font.color);
        m_registry.writeString(kFontNameValue, font.name);
        m_registry.writeInteger(kFontBoldValue, font.style.bold ? 1 : 0);
        m_registry.writeInteger(kFontItalicValue, font.style.italic ? 1 : 0);
        m_registry.writeInteger(kFontUnderlineValue, font.style.underline ? 1 : 0);
        m_registry.writeInteger(kFontStrikeOutValue, font.style.strikeOut ? 1 : 0);
    }
    return m_registry.close();
}

void Preferences::DeleteSettings(SettingsDialogs& dialogs) {
    if (!dialogs.askYesNo(deleteSettingsQuestion())) return;
    if (!m_registry.openKey(kMakerKeyPath, false)) {
        m_registry.close();
        dialogs.warn(settingsNotFoundMessage());
        return;
    }
    m_registry.deleteKey(kProgramName);
    // The maker's key goes too when no other program of the maker keeps settings in it.
    if (!m_registry.hasSubKeys()) m_registry.deleteKey(kMakerKeyPath);
    if (!m_registry.close()) {
        dialogs.warn(settingsNotDeletedMessage());
        return;
    }
    dialogs.inform(settingsDeletedMessage());
}

}  // namespace moraven
