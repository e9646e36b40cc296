#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "settings/preferences.h"
#include "settings/setting_choices.h"

// What the settings panel decides without drawing anything: how the texts of its fields become settings,
// which radio item stands for which stored value, and the two buttons that save or delete the settings.
namespace moraven {

// "Duréee Incrustation" from the text of the duration field: the whole number of seconds it holds (blanks
// around it allowed), 5 when it holds anything else or a number beyond 32 bits.
std::int32_t dureeIncrustationFromText(std::string_view text);

// "Décalage Horaire" from the spin field's value: rounded to whole hours and kept within -23..23.
std::int32_t decalageHoraireFromValue(double hours);

// The setting of a folder field: the typed folder with a trailing "/". Nothing for an empty field, whose
// setting then keeps its value.
std::optional<std::string> folderSettingFromField(std::string_view text);

// The radio groups of the choices ("Standard par défaut": Pal, Ntsc; "Frequence DV"; "Alignement";
// "What Incrust"; "Mode Auto Incrust"): radio item i stands for choiceItems<Choice>()[i]. An item index of
// kNoRadioItem stands for no checked item: a stored value outside the items checks none, and collecting
// with none checked keeps the setting as it is, so an unknown stored value survives the panel.
inline constexpr int kNoRadioItem = -1;

template <SettingChoice Choice>
constexpr int radioItemCount() {
    return static_cast<int>(choiceItems<Choice>().size());
}

// The radio item that shows `choice`, or kNoRadioItem when it is none of the items.
template <SettingChoice Choice>
constexpr int radioItemOf(Choice choice) {
    const auto items = choiceItems<Choice>();
    for (std::size_t item = 0; item < items.size(); ++item)
        if (items[item] == choice) return static_cast<int>(item);
    return kNoRadioItem;
}

// The choice of radio item `itemIndex` into `setting`; kNoRadioItem, or any index that is no item, keeps
// the setting.
template <SettingChoice Choice>
constexpr void storeRadioItem(Choice& setting, int itemIndex) {
    if (itemIndex >= 0 && itemIndex < radioItemCount<Choice>())
        setting = choiceItems<Choice>()[static_cast<std::size_t>(itemIndex)];
}

// Whether conversions go into their source's folder during this run: the stored choice, or true when the
// folder for saving does not exist. The check box keeps showing the stored choice.
bool sameFolderForThisRun(bool storedSameFolder, bool saveFolderExists);

// "Save the preferences now": `collect` reads the panel's controls and the window's state into the
// settings; everything is written; then "Sauver préférences en quittant" is off for the rest of the run, so
// the end of the run does not save again (what was written keeps the state of the check box). Answers
// whether the registry stored the settings; the caller ignores a failure.
bool SaveSettingsNow(Preferences& preferences, const std::function<void(Settings&)>& collect);

// "Delete the preferences": "Sauver préférences en quittant" goes off, so nothing is written at the end of
// the run, then the deletion asks the user and deletes the program's key (Preferences::DeleteSettings).
void DeleteSettingsNow(Preferences& preferences, SettingsDialogs& dialogs);

}  // namespace moraven
