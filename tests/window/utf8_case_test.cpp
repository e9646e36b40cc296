#include "window/utf8_case.h"

#include <string>

#include <gtest/gtest.h>

namespace moraven {
namespace {

TEST(Utf8CaseTest, LowersTheLettersOfEachCoveredScriptAndLeavesOtherBytesAsTheyAre) {
    struct Case {
        const char* what;
        std::string text;
        std::string lowered;
    };
    const Case cases[] = {
        {"ASCII", "CLIP_01.AVI", "clip_01.avi"},
        {"Latin-1", "ÉTÉ ÀÖØÞ ×", "été àöøþ ×"},
        {"Latin-1 small letters stay", "ßÿéà", "ßÿéà"},
        {"Latin Extended-A pairs", "ĀĞŁŃŒŠŽ", "āğłńœšž"},
        {"Latin Extended-A singles", "İĸŉŸſ", "iĸŉÿſ"},
        {"Greek", "ΆΈΌΏΑΣΩΪ ς", "άέόώασωϊ ς"},
        {"Cyrillic", "ЁЂЏАЯЖ Ѡ Ґ Ӂ Ӑ Ԯ", "ёђџаяж ѡ ґ ӂ ӑ ԯ"},
        {"other scripts stay", "日本 ÅΩ", "日本 åω"},
        {"a stray lead byte stays", "A\xC3", "a\xC3"},
        {"a truncated sequence stays",
         "\xC3"
         "A",
         "\xC3"
         "a"},
        {"overlong forms stay", "\xC1\x81", "\xC1\x81"},
        {"bytes of no sequence stay", "\xFF\xFE\x80Ä", "\xFF\xFE\x80ä"},
        {"a lone continuation before a valid pair", "\x89\xC3\x89", "\x89\xC3\xA9"},
        {"empty", "", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(lowerUtf8(c.text), c.lowered) << c.what;
}

}  // namespace
}  // namespace moraven
