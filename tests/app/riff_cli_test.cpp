#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "formats/riffunit.h"
#include "support/external_tools.h"
#include "support/riff_builder.h"
#include "support/temp_dir.h"

namespace moraven {
namespace {

using Lines = std::vector<std::string>;

constexpr std::size_t kTimeLine = 4;  // "analysed on ... at ...", the only line that depends on the clock

Lines splitLines(const std::string& text) {
    Lines lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

test::ProgramResult moraven(std::vector<std::string> args) {
    args.insert(args.begin(), MORAVEN_EXECUTABLE);
    return test::runProgram(args);
}

// The builder's report with the time line replaced by the program's own, after checking that line's form.
void expectSameReport(const Lines& printed, Lines expected) {
    ASSERT_GT(printed.size(), kTimeLine);
    ASSERT_EQ(printed.size(), expected.size());
    static const std::regex timeLine(R"( +analysed on \d{4}/\d{2}/\d{1,2} at \d{1,2}:\d{2}:\d{2} +)");
    EXPECT_TRUE(std::regex_match(printed[kTimeLine], timeLine)) << printed[kTimeLine];
    EXPECT_EQ(printed[kTimeLine].size(), expected[kTimeLine].size());
    expected[kTimeLine] = printed[kTimeLine];
    EXPECT_EQ(printed, expected);
}

TEST(RiffCommandTest, PrintsTheReportLineForLine) {
    test::TempDir dir;
    const std::string path = dir.write("clip.avi", test::dvType2Avi(3, 100));
    const auto result = moraven({"--riff", path});
    EXPECT_EQ(result.exitCode, 0) << result.errors;
    EXPECT_EQ(result.errors, "");
    ASSERT_FALSE(result.output.empty());
    EXPECT_EQ(result.output.back(), '\n');
    EXPECT_EQ(result.output.find('\r'), std::string::npos);

    RiffReportBuilder builder;
    expectSameReport(splitLines(result.output), builder.BuildRiffReport(path));
}

TEST(RiffCommandTest, MissingFilesAndFoldersAreToldAndFailTheRun) {
    test::TempDir dir;
    const std::string good = dir.write("good.avi", test::dvType1Avi(2, 64));
    const std::string missing = dir.file("missing.avi");
    RiffReportBuilder builder;
    const Lines goodReport = builder.BuildRiffReport(good);

    {
        const auto result = moraven({"--riff", missing});
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.output, "") << "a missing file has an empty report";
        EXPECT_NE(result.errors.find(missing), std::string::npos) << result.errors;
        EXPECT_NE(result.errors.find("does not exist"), std::string::npos) << result.errors;
    }
    {
        // A folder cannot be opened: its report holds only the header lines made before the open.
        const auto result = moraven({"--riff", dir.path().string()});
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_NE(result.errors.find(dir.path().string()), std::string::npos) << result.errors;
        EXPECT_NE(result.errors.find("not a regular file"), std::string::npos) << result.errors;
        const Lines printed = splitLines(result.output);
        ASSERT_EQ(printed.size(), 11u);
        EXPECT_EQ(printed.back(), "--------------- Start of Avi RIFF ---------------");
    }
    {
        // The other files of the call are still reported, in order.
        const auto result = moraven({"--riff", missing, good});
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_NE(result.errors.find(missing), std::string::npos) << result.errors;
        expectSameReport(splitLines(result.output), goodReport);
    }
    {
        const auto result = moraven({"--riff", good, good});
        EXPECT_EQ(result.exitCode, 0) << result.errors;
        const Lines printed = splitLines(result.output);
        ASSERT_EQ(printed.size(), 2 * goodReport.size());
        const auto half = printed.begin() + static_cast<std::ptrdiff_t>(goodReport.size());
        expectSameReport(Lines(printed.begin(), half), goodReport);
        expectSameReport(Lines(half, printed.end()), goodReport);
    }
}

// A name that holds a newline or a stray byte is printed escaped, as --info prints it: every line of the
// report stays one line.
TEST(RiffCommandTest, NamesWithControlCharactersOrStrayBytesAreEscaped) {
    test::TempDir dir;
    const std::string rawName = "two\nlines\xFF.avi";
    const std::string escapedName = "two\\x0Alines\\xFF.avi";
    const std::string path = dir.write(rawName, test::dvType1Avi(2, 64));
    const auto result = moraven({"--riff", path});
    EXPECT_EQ(result.exitCode, 0) << result.errors;
    RiffReportBuilder builder;
    Lines expected = builder.BuildRiffReport(path);
    ASSERT_GE(expected.size(), 3u);
    for (std::string& line : expected) {
        for (std::size_t at; (at = line.find(rawName)) != std::string::npos;)
            line.replace(at, rawName.size(), escapedName);
    }
    expectSameReport(splitLines(result.output), expected);
    EXPECT_NE(result.output.find("Header of the file " + escapedName), std::string::npos);
}

TEST(RiffCommandTest, VersionHelpAndUsage) {
    const auto version = moraven({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.output, "Moraven 6.0.4\n");

    const auto help = moraven({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.output.find("--riff FILE..."), std::string::npos);

    const auto noFile = moraven({"--riff"});
    EXPECT_EQ(noFile.exitCode, 2);
    EXPECT_EQ(noFile.output, "");
    EXPECT_NE(noFile.errors.find("--riff"), std::string::npos);

    // Switches without the letter h need the window, which is not there yet.
    const auto other = moraven({"+dN", "some.avi"});
    EXPECT_EQ(other.exitCode, 2);
    EXPECT_EQ(other.output, "");
}

}  // namespace
}  // namespace moraven
