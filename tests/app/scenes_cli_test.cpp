#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/dv_avi_file.h"
#include "support/dv_frame_builder.h"
#include "support/external_tools.h"
#include "support/scoped_environment.h"
#include "support/temp_dir.h"

namespace moraven {
namespace {

test::ProgramResult moraven(std::vector<std::string> args) {
    args.insert(args.begin(), MORAVEN_EXECUTABLE);
    return test::runProgram(args);
}

// A PAL DV type 2 file: 40 frames recorded on 15 July 2004 from 13:05:09 with timecode 01:02:03:04, then
// 30 frames recorded on 12 March 2006 at 15:46:37 with timecode 05:06:07:08.
std::string twoRecordings(const test::TempDir& dir, const std::string& name) {
    test::DvFrameBuilder first;
    first.recDate(0, 2004, 7, 15, 13, 5, 9).timecode(0, 1, 2, 3, 4);
    test::DvFrameBuilder second;
    second.recDate(0, 2006, 3, 12, 15, 46, 37).timecode(0, 5, 6, 7, 8);
    const std::string path = dir.file(name);
    test::writeDvAvi(path, 70, [&](std::size_t i) -> const std::vector<std::uint8_t>& {
        return i < 40 ? first.bytes() : second.bytes();
    });
    return path;
}

class ScenesCommandTest : public testing::Test {
protected:
    // Dates in the French form, whatever the machine's locale.
    void SetUp() override { m_environment.set("LC_ALL", "fr_FR.UTF-8"); }

private:
    test::ScopedEnvironment m_environment;
};

TEST_F(ScenesCommandTest, PrintsOneBodyLinePerScene) {
    test::TempDir dir;
    const std::string path = twoRecordings(dir, "clip.avi");
    const auto result = moraven({"--scenes", path});
    EXPECT_EQ(result.exitCode, 0) << result.errors;
    EXPECT_EQ(result.errors, "");
    EXPECT_EQ(result.output, "// ***   " + path +
                                 "   ***\n"
                                 "  1,00.00.00.00,00.00.01.14,15/07/2004 13:05:09,01.02.03.04,00.00.01.14\n"
                                 "  2,00.00.01.15,00.00.02.19,12/03/2006 15:46:37,05.06.07.08,00.00.01.04\n");
}

// A name holding a newline is printed escaped, as --info prints it, so that the file's line stays one line.
TEST_F(ScenesCommandTest, ANameWithANewlineIsPrintedEscaped) {
    test::TempDir dir;
    const std::string path = twoRecordings(dir, "two\nlines.avi");
    const auto result = moraven({"--scenes", path});
    EXPECT_EQ(result.exitCode, 0) << result.errors;
    const std::string firstLine = "// ***   " + dir.file("two\\x0Alines.avi") + "   ***\n";
    EXPECT_EQ(result.output.substr(0, firstLine.size()), firstLine);
    EXPECT_EQ(std::count(result.output.begin(), result.output.end(), '\n'), 3);
}

TEST_F(ScenesCommandTest, FilesThatCannotBeScannedAreToldAndTheOthersStillPrinted) {
    test::TempDir dir;
    const std::string good = twoRecordings(dir, "good.avi");
    const std::string missing = dir.file("missing.avi");
    const std::string text = dir.write("text.avi", {'n', 'o', 't', ' ', 'A', 'V', 'I'});
    const auto result = moraven({"--scenes", missing, text, good});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.errors.find(missing), std::string::npos) << result.errors;
    EXPECT_NE(result.errors.find("does not exist"), std::string::npos) << result.errors;
    EXPECT_NE(result.errors.find(text + " is not an AVI file"), std::string::npos) << result.errors;
    EXPECT_EQ(result.output.find(missing), std::string::npos);
    EXPECT_EQ(result.output.find(text), std::string::npos);
    EXPECT_EQ(result.output.rfind("// ***   " + good + "   ***\n", 0), 0u) << result.output;

    const auto noFile = moraven({"--scenes"});
    EXPECT_EQ(noFile.exitCode, 2);
    EXPECT_EQ(noFile.output, "");
    EXPECT_NE(noFile.errors.find("--scenes"), std::string::npos);

    EXPECT_NE(moraven({"--help"}).output.find("--scenes FILE..."), std::string::npos);
}

}  // namespace
}  // namespace moraven
