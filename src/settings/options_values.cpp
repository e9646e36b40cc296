#include "settings/options_values.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace moraven {
namespace {

constexpr std::int32_t kDefaultDureeIncrustation = 5;
constexpr std::int32_t kMaxDecalageHoraire = 23;

std::string_view trimmedBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

}  // namespace

std::int32_t dureeIncrustationFromText(std::string_view text) {
    text = trimmedBlanks(text);
    // from_chars takes no "+"; a leading plus sign is still a valid integer.
    if (text.size() > 1 && text.front() == '+' && text[1] != '-') text.remove_prefix(1);
    std::int32_t seconds = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return kDefaultDureeIncrustation;
    return seconds;
}

std::int32_t decalageHoraireFromValue(double hours) {
    if (std::isnan(hours)) return 0;
    const double clamped =
        std::clamp(std::round(hours), double{-kMaxDecalageHoraire}, double{kMaxDecalageHoraire});
    return static_cast<std::int32_t>(clamped);
}

std::optional<std::string> folderSettingFromField(std::string_view text) {
    if (text.empty()) return std::nullopt;
    std::string folder(text);
    if (folder.back() != '/') folder += '/';
    return folder;
}

bool sameFolderForThisRun(bool storedSameFolder, bool saveFolderExists) {
    return storedSameFolder || !saveFolderExists;
}

bool SaveSettingsNow(Preferences& preferences, const std::function<void(Settings&)>& collect) {
    if (collect) collect(preferences.settings());
    const bool saved = preferences.SaveSettings();
    preferences.settings().sauverPreferencesEnQuittant = false;
    return saved;
}

void DeleteSettingsNow(Preferences& preferences, SettingsDialogs& dialogs) {
    preferences.settings().sauverPreferencesEnQuittant = false;
    preferences.DeleteSettings(dialogs);
}

}  // namespace moraven
