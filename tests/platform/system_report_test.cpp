#include "platform/system_report.h"

#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace moraven {
namespace {

constexpr auto kPlain = TextEmphasis::Plain;
constexpr auto kItalic = TextEmphasis::Italic;
constexpr auto kBold = TextEmphasis::Bold;
constexpr auto kBoldItalic = TextEmphasis::BoldItalic;
constexpr auto kBlack = LineColour::Black;
constexpr auto kRed = LineColour::Red;

SystemFacts someFacts() {
    SystemFacts facts;
    facts.osName = "Debian GNU/Linux 12 (bookworm) - kernel 6.1.0";
    facts.frameworkVersion = "FFmpeg 5.1.6";
    facts.deinterlacerFound = true;
    facts.wavDestFound = true;
    facts.snapwickPath = "/usr/bin/snapwick";
    return facts;
}

TEST(SystemReport, TheSystemPageNamesTheSystemTheFrameworkTheStagesAndTheGrabber) {
    const std::vector<ReportLine> expected = {
        {"Your operating system is: ", kItalic, kBlack},
        {"Debian GNU/Linux 12 (bookworm) - kernel 6.1.0. ", kBold, kBlack},
        {"", kPlain, kBlack},
        {"You are using:", kItalic, kBlack},
        {"DirectX version FFmpeg 5.1.6.", kBold, kBlack},
        {"", kPlain, kBlack},
        {"Additional filters:", kItalic, kBlack},
        {"The filter Pinnacle Video Deinterlacer is available.", kPlain, kBlack},
        {"The filter WavDest is available.", kPlain, kBlack},
        {"", kPlain, kBlack},
        {"Snapwick:", kItalic, kBlack},
        {"/usr/bin/snapwick", kPlain, kBlack},
    };
    EXPECT_EQ(systemPageLines(someFacts()), expected);
}

TEST(SystemReport, MissingStagesAreRedAndAMissingGrabberIsSaid) {
    SystemFacts facts = someFacts();
    facts.deinterlacerFound = false;
    facts.wavDestFound = false;
    facts.snapwickPath.reset();
    const auto lines = systemPageLines(facts);
    ASSERT_EQ(lines.size(), 12u);
    EXPECT_EQ(lines[7], (ReportLine{"The filter Pinnacle Video Deinterlacer is missing.", kPlain, kRed}));
    EXPECT_EQ(lines[8], (ReportLine{"The filter WavDest is missing.", kPlain, kRed}));
    EXPECT_EQ(lines[11], (ReportLine{"Snapwick not found", kPlain, kBlack}));
}

TEST(SystemReport, MailBodiesCollectBlackLinesWithSlashesAndRedLinesOnlyForTheAboutPanel) {
    const std::vector<ReportLine> lines = {
        {"Your system:", kItalic, kBlack},
        {"The filter WavDest is missing.", kPlain, kRed},
        {"", kPlain, kBlack},
        {"Snapwick not found", kPlain, kBlack},
    };
    EXPECT_EQ(aboutMailBody(lines),
              "Your system:  /  The filter WavDest is missing.\r\n  /  Snapwick not found  /  ");
    EXPECT_EQ(settingsMailBody(lines), "Your system:  /    /  Snapwick not found  /  ");
    EXPECT_EQ(aboutMailBody({}), "");
}

TEST(SystemReport, TitleAndSubjectCarryTheVersionAndLanguage) {
    EXPECT_EQ(aboutTitle(), "Moraven 6.0.4 En");
    EXPECT_EQ(aboutMailSubject(), "About Moraven 6.0.4 En");
}

TEST(SystemReport, MailUrlsEncodeSubjectAndBody) {
    EXPECT_EQ(mailToUrl("", "About Moraven 6.0.4 En", "a  /  b\r\nc&d=e?"),
              "mailto:?subject=About%20Moraven%206.0.4%20En&body=a%20%20%2F%20%20b%0D%0Ac%26d%3De%3F");
    EXPECT_EQ(mailToUrl("maker@example.org", "x", ""), "mailto:maker@example.org?subject=x&body=");
    // UTF-8 of a path in the body is kept as bytes.
    EXPECT_EQ(mailToUrl("", "", "\xC3\xA9"), "mailto:?subject=&body=%C3%A9");
}

TEST(SystemReport, OnlyAnExistingFileCountsAsTheGrabber) {
    test::TempDir dir;
    const std::string file = dir.write("snapwick", {0x7f});
    EXPECT_EQ(existingFile(file), file);
    EXPECT_EQ(existingFile(dir.path().string()), std::nullopt);  // a folder
    EXPECT_EQ(existingFile(dir.file("missing")), std::nullopt);
    EXPECT_EQ(existingFile(""), std::nullopt);
}

// Where the stage registry lists a stage: in general, or among the video compressors.
enum class Listed { General, Compressor };

// A lookup over a fixed set of (list, name) pairs, as the stage registry answers.
StageLookup lookupOf(std::set<std::pair<Listed, std::string>> stages) {
    auto listedIn = [stages = std::move(stages)](Listed list, std::string_view name) {
        return stages.count({list, std::string(name)}) > 0;
    };
    return {[listedIn](std::string_view name) { return listedIn(Listed::General, name); },
            [listedIn](std::string_view name) { return listedIn(Listed::Compressor, name); }};
}

std::set<std::pair<Listed, std::string>> everyTestedStage() {
    std::set<std::pair<Listed, std::string>> stages;
    for (const char* name :
         {"File Source (Async.)", "AVI Splitter", "Color Space Converter", "DV Video Decoder", "DV Splitter",
          "Null Renderer", "File writer", "ACM Wrapper", "AVI Mux", "DV Muxer", "Infinite Pin Tee Filter"}) {
        stages.insert({Listed::General, name});
    }
    stages.insert({Listed::Compressor, "DV Video Encoder"});
    return stages;
}

// The lines after the page's heading, texts only, with "(red)" after the red ones.
std::vector<std::string> testPageBody(const StageLookup& lookup) {
    const auto lines = filterTestLines(lookup);
    EXPECT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], (ReportLine{"", kBoldItalic, kBlack}));
    EXPECT_EQ(lines[1], (ReportLine{"Test of Directshow filters", kBoldItalic, kBlack}));
    std::vector<std::string> body;
    for (std::size_t i = 2; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].emphasis, kBoldItalic);
        body.push_back(lines[i].text + (lines[i].colour == kRed ? " (red)" : ""));
    }
    return body;
}

TEST(SystemReport, TheStageTestNamesWhatIsMissingAndConfirmsCompleteGroups) {
    struct Case {
        const char* what;
        std::vector<std::pair<Listed, std::string>> removed;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"everything there",
         {},
         {"All filters for Video are available", "All filters for Listing are available",
          "All filters for Converting are available"}},
        {"two video stages and a converting stage missing",
         {{Listed::General, "AVI Splitter"},
          {Listed::General, "DV Splitter"},
          {Listed::General, "AVI Mux"}},
         {"AVI Splitter is missing (red)", "DV Splitter is missing (red)",
          "All filters for Listing are available", "AVI Mux is missing (red)"}},
        {"no null renderer",
         {{Listed::General, "Null Renderer"}},
         {"All filters for Video are available", "Null Renderer is missing (red)",
          "All filters for Converting are available"}},
        {"no encoder among the compressors",
         {{Listed::Compressor, "DV Video Encoder"}},
         {"All filters for Video are available", "All filters for Listing are available",
          "DV Video Encoder is mising (red)"}},
    };
    for (const Case& c : cases) {
        auto stages = everyTestedStage();
        for (const auto& stage : c.removed) stages.erase(stage);
        EXPECT_EQ(testPageBody(lookupOf(stages)), c.expected) << c.what;
    }
}

TEST(SystemReport, TheEncoderCountsOnlyAmongTheCompressors) {
    auto stages = everyTestedStage();
    stages.erase({Listed::Compressor, "DV Video Encoder"});
    stages.insert({Listed::General, "DV Video Encoder"});
    const auto body = testPageBody(lookupOf(stages));
    ASSERT_FALSE(body.empty());
    EXPECT_EQ(body.back(), "DV Video Encoder is mising (red)");
}

TEST(SystemReport, WithNothingInstalledEveryStageIsNamedInTableOrder) {
    const std::vector<std::string> expected = {
        "File Source (Async.) is missing (red)",
        "AVI Splitter is missing (red)",
        "Color Space Converter is missing (red)",
        "DV Video Decoder is missing (red)",
        "DV Splitter is missing (red)",
        "Null Renderer is missing (red)",
        "File writer is missing (red)",
        "ACM Wrapper is missing (red)",
        "AVI Mux is missing (red)",
        "DV Muxer is missing (red)",
        "Infinite Pin Tee Filter is missing (red)",
        "DV Video Encoder is mising (red)",
    };
    EXPECT_EQ(testPageBody(lookupOf({})), expected);
}

TEST(SystemReport, TheAboutPageEndsItsFirstParagraphWithTheLastUpdate) {
    const std::string date = lastUpdateText(englishDateFormatLocale());
    EXPECT_EQ(date, "7/28/2006");
    DateFormatLocale dayFirst = englishDateFormatLocale();
    dayFirst.shortDateFormat = "dd/mm/yyyy";
    EXPECT_EQ(lastUpdateText(dayFirst), "28/07/2006");

    const auto lines = aboutPageLines(date);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 3], "Its last update was made on 7/28/2006.");
    EXPECT_EQ(lines[lines.size() - 2], "");
    EXPECT_EQ(lines.back(),
              "To get help, informations, or look for updates please visit my website. Besides an e-mail is "
              "appreciated, if you use this program or have suggestions to improve it.");
}

}  // namespace
}  // namespace moraven
