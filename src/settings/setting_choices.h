#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <type_traits>

// The settings that hold one choice among a few items: "Frequence DV", "Standard par défaut", "What Incrust",
// "Alignement" and "Mode Auto Incrust". Each is an enum class whose enumerators carry the numbers stored in
// the registry.
//
// The registry is a text file that anyone may edit, so a stored number can be none of the items. Such a
// value is kept as it was read (the enums are 8-bit and hold any byte, the low byte of the stored integer)
// and written back unchanged; the settings panel then checks no radio item, and collecting the panel with
// no item checked keeps it. Code that acts on a choice must treat an unknown value on purpose: isKnown()
// tells, and a switch over the enumerators needs a default.
namespace moraven {

// "Frequence DV": the audio sampling rate of conversions to DV type 2.
enum class DvSampleRate : std::uint8_t { Hz32000 = 0, Hz44100 = 1, Hz48000 = 2 };

// "Standard par défaut": the television standard of conversions to DV type 2 (the same numbers as the file
// record's television system: 1 PAL, 2 NTSC).
enum class TvStandard : std::uint8_t { Pal = 1, Ntsc = 2 };

// "What Incrust": what the inlay shows.
enum class InlayContent : std::uint8_t { Datecode = 0, Timecode = 1 };

// "Alignement": how the inlay's lines are aligned on its anchor.
enum class InlayAlignment : std::uint8_t { Left = 0, Centred = 1, Right = 2 };

// "Mode Auto Incrust": what shows the automatic inlay again.
enum class AutoInlayMode : std::uint8_t { Once = 0, EachScene = 1, EachDay = 2 };

// The items of each choice in the order of the settings panel's radio buttons.
template <class Choice>
struct ChoiceItems;
template <>
struct ChoiceItems<DvSampleRate> {
    static constexpr std::array items{DvSampleRate::Hz32000, DvSampleRate::Hz44100, DvSampleRate::Hz48000};
};
template <>
struct ChoiceItems<TvStandard> {
    static constexpr std::array items{TvStandard::Pal, TvStandard::Ntsc};
};
template <>
struct ChoiceItems<InlayContent> {
    static constexpr std::array items{InlayContent::Datecode, InlayContent::Timecode};
};
template <>
struct ChoiceItems<InlayAlignment> {
    static constexpr std::array items{InlayAlignment::Left, InlayAlignment::Centred, InlayAlignment::Right};
};
template <>
struct ChoiceItems<AutoInlayMode> {
    static constexpr std::array items{AutoInlayMode::Once, AutoInlayMode::EachScene, AutoInlayMode::EachDay};
};

template <class Choice>
concept SettingChoice = std::is_enum_v<Choice> && requires {
    ChoiceItems<Choice>::items;
};

template <SettingChoice Choice>
constexpr std::span<const Choice> choiceItems() {
    return ChoiceItems<Choice>::items;
}

// The number stored in the registry for `choice`, known or not.
template <SettingChoice Choice>
constexpr std::uint8_t storedValue(Choice choice) {
    return static_cast<std::uint8_t>(choice);
}

// The choice held by a stored integer: its low byte, as the 8-bit settings have always kept it (259 is 3),
// whether or not it names an item.
template <SettingChoice Choice>
constexpr Choice choiceFromStored(std::int32_t stored) {
    return static_cast<Choice>(static_cast<std::uint8_t>(stored));
}

// Whether `choice` is one of the items.
template <SettingChoice Choice>
constexpr bool isKnown(Choice choice) {
    for (const Choice item : choiceItems<Choice>())
        if (item == choice) return true;
    return false;
}

}  // namespace moraven
