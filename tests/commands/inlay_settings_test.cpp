#include "commands/inlay_settings.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/recording_inlay.h"

namespace moraven {
namespace {

using Calls = std::vector<std::string>;

TEST(InlayShowFrames, IsTheDurationTimesTheRateRoundedHalfToEven) {
    struct Case {
        std::int32_t seconds;
        double fps;
        std::int32_t frames;
    };
    for (const Case& c :
         {Case{5, 25.0, 125}, Case{5, 30000.0 / 1001.0, 150}, Case{1, 29.97, 30}, Case{1, 2.5, 2},
          Case{1, 3.5, 4}, Case{5, 0.5, 2}, Case{3, 0.5, 2}, Case{1, 2.49, 2}, Case{1, 2.51, 3},
          Case{0, 25.0, 0}, Case{-3, 2.5, -8}, Case{5, 0.0, 0}, Case{5, -25.0, 0}, Case{5, std::nan(""), 0},
          Case{5, std::numeric_limits<double>::infinity(), 0},
          Case{std::numeric_limits<std::int32_t>::max(), 25.0, std::numeric_limits<std::int32_t>::max()},
          Case{std::numeric_limits<std::int32_t>::min(), 25.0, std::numeric_limits<std::int32_t>::min()}}) {
        EXPECT_EQ(inlayShowFrames(c.seconds, c.fps), c.frames) << c.seconds << " s at " << c.fps;
    }
}

// Settings that differ from every default, so that a value taken from the wrong setting shows.
Settings inlaySettings() {
    Settings s;
    s.whatIncrust = InlayContent::Timecode;
    s.standardFontSize = false;
    s.incrustFont.size = 33;
    s.incrustFont.name = "DejaVu Sans";
    s.incrustFont.color = 0x00FF8040;
    s.incrustFont.style = {false, true, true, true};
    s.incrustPositionX = 120;
    s.incrustPositionY = 870;
    s.alignement = InlayAlignment::Centred;
    s.autoIncrust = true;
    s.modeAutoIncrust = AutoInlayMode::EachDay;
    s.dureeIncrustation = 7;
    s.formatPourIncrusterDatecode1 = "dd-mm-yy";
    s.formatPourIncrusterDatecode2 = "";
    s.decalageHoraire = -4;
    return s;
}

// The setters of `inlaySettings()` in their order, SetEnabled left out.
const Calls kSettingCalls{"SetDateLocale dd.mm.yyyy",
                          "SetContent 1",
                          "SetAutoFontSize 0",
                          "SetFontSize 33",
                          "SetFontName DejaVu Sans",
                          "SetFontColor 16744512",
                          "SetBold 0",
                          "SetItalic 1",
                          "SetUnderline 1",
                          "SetStrikeOut 1",
                          "SetPosition 120 870 1",
                          "SetAutoShow 1",
                          "SetAutoKind 2",
                          "SetShowFrames 175",
                          "SetFormats dd-mm-yy|",
                          "SetHourShift -4"};

TEST(ApplyInlaySettings, SetsEveryInlaySettingInOrderWithEnabledWhereTheCallerWantsIt) {
    DateFormatLocale locale = englishDateFormatLocale();
    locale.shortDateFormat = "dd.mm.yyyy";
    struct Case {
        bool enabled;
        InlayEnabledAt at;
        std::size_t position;  // index of SetEnabled among the calls
    };
    // Between the styles and the position (preview build, inlay conversion), or last (display command).
    for (const Case& c :
         {Case{true, InlayEnabledAt::AfterStyles, 10}, Case{false, InlayEnabledAt::AfterStyles, 10},
          Case{true, InlayEnabledAt::Last, kSettingCalls.size()}}) {
        Calls calls;
        test::RecordingInlay stage(calls);
        ApplyInlaySettings(stage, inlaySettings(), 25.0, locale, c.enabled, c.at);
        Calls expected = kSettingCalls;
        expected.insert(expected.begin() + static_cast<std::ptrdiff_t>(c.position),
                        c.enabled ? "SetEnabled 1" : "SetEnabled 0");
        EXPECT_EQ(calls, expected) << c.position;
    }
}

TEST(ApplyInlaySettings, HandsAnUnknownStoredChoiceOverAsItsNumber) {
    Settings s;
    s.whatIncrust = choiceFromStored<InlayContent>(7);
    s.alignement = choiceFromStored<InlayAlignment>(9);
    s.modeAutoIncrust = choiceFromStored<AutoInlayMode>(5);
    Calls calls;
    test::RecordingInlay stage(calls);
    ApplyInlaySettings(stage, s, 25.0, englishDateFormatLocale(), true);
    for (const char* call : {"SetContent 7", "SetPosition 920 920 9", "SetAutoKind 5"})
        EXPECT_NE(std::find(calls.begin(), calls.end(), call), calls.end()) << call;
}

}  // namespace
}  // namespace moraven
