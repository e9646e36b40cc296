#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "formats/avi_writer.h"
#include "formats/wave_format.h"
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

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Sets the access and modification times of `path` to a local time, on the whole second.
void setFileTimes(const std::string& path, int year, int month, int day, int hour, int minute, int second) {
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    const timespec times[2] = {{std::mktime(&local), 0}, {std::mktime(&local), 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// A PAL DV file recorded on 15 July 2004 at 13:05:09 with timecode 01:02:03:04, 16:9, 48 kHz sound.
std::string writeClip(const test::TempDir& dir, const std::string& name, bool type1 = false) {
    test::DvFrameBuilder frame;
    frame.recDate(0, 2004, 7, 15, 13, 5, 9).timecode(0, 1, 2, 3, 4).sourceControl(0, 2).audioSource(0x00);
    const std::string path = dir.file(name);
    test::DvAviOptions options;
    options.type1 = type1;
    test::writeDvAvi(
        path, 30, [&](std::size_t) -> const std::vector<std::uint8_t>& { return frame.bytes(); }, options);
    return path;
}

class InfoCommandTest : public testing::Test {
protected:
    void SetUp() override {
        m_environment.set("MORAVEN_CONFIG_HOME", m_config.path().string());
        m_environment.set("LC_ALL", "fr_FR.UTF-8");
    }

    // Stores the setting "Format pour Afficher Datecode" in the registry file.
    void storeDatecodePattern(const std::string& pattern) {
        std::ofstream(m_config.file("registry.reg"))
            << "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Velloran\\Moraven]\n"
               "\"Format pour Afficher Datecode\"=\""
            << pattern << "\"\n";
    }

    test::TempDir m_config;

private:
    test::ScopedEnvironment m_environment;
};

TEST_F(InfoCommandTest, TextFormShowsEveryFactWithTheStoredDatecodePattern) {
    storeDatecodePattern("yyyy-mm-dd hh:nn:ss");
    test::TempDir dir;
    const std::string clip = writeClip(dir, "Clip.avi");
    dir.write("Clip.scn", {1});
    setFileTimes(clip, 2005, 3, 4, 5, 6, 7);
    const auto size = std::filesystem::file_size(clip);
    char sizeKey[40];
    std::snprintf(sizeKey, sizeof sizeKey, "%.32llX", static_cast<unsigned long long>(size));
    std::string path = clip;  // in the keys: lower case
    for (char& c : path) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);

    const auto result = moraven({"--info", clip});
    EXPECT_EQ(result.exitCode, 0) << result.errors;
    EXPECT_EQ(result.errors, "");
    const std::vector<std::string> expected = {
        "File           : Clip.avi",
        "Full path      : " + clip,
        "Size           : " + std::to_string(size),
        "Created        : ",  // the birth time of the file, or its last inode change: not known here
        "Modified       : 2005-03-04 05:06:07",
        "Accessed       : 2005-03-04 05:06:07",
        "Datecode       : 2004-07-15 13:05:09",
        "Timecode       : 01.02.03.04",
        "Codec          : dvsd (type 2)",
        "Image          : 720 x 576 (Pal 16x9)",
        "Width          : 720",
        "Height         : 405",
        "Fps            : 25",
        "Video duration : 1s 05fr",
        "Audio duration : 1s 05fr",
        "Audio          : 48000Hz 16 bits  stereo",
        "Audio format   : PCM 192000 bytes/s",
        "TV system      : PAL",
        "16:9           : yes",
        "Scene file     : yes",
        "Name key       : clip.avi" + path,
        "Size key       : " + std::string(sizeKey) + path,
        "Date key       : 20050304050607" + path,
        "Datecode key   : 20040715130509",
        "List key       : 20040715130509clip.avi" + path,
    };
    const auto lines = linesOf(result.output);
    ASSERT_EQ(lines.size(), expected.size()) << result.output;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i == 3) {
            EXPECT_EQ(lines[i].rfind(expected[i], 0), 0u) << lines[i];
            EXPECT_GT(lines[i].size(), expected[i].size()) << lines[i];
        } else {
            EXPECT_EQ(lines[i], expected[i]);
        }
    }
}

TEST_F(InfoCommandTest, DvTypesUnreadableFilesAndNamesThatAreNotUtf8) {
    test::TempDir dir;
    const std::string type1 = writeClip(dir, "one.avi", true);
    const std::string text = dir.write("back\\slash.avi", {'t', 'e', 'x', 't'});
    const std::string latin1 = dir.write("\xC9T\xC9.avi", {'x'});

    // No registry file: the pattern's default, "ddddd hh:nn:ss", with the French short date.
    const auto result = moraven({"--info", type1, text, latin1});
    EXPECT_EQ(result.exitCode, 0) << result.errors;
    const std::string out = result.output;
    EXPECT_NE(out.find("Datecode       : 15/07/2004 13:05:09\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Codec          : dvsd (type 1)\n"), std::string::npos) << out;
    // The file that is no AVI file: empty texts and the key byte 255, escaped.
    EXPECT_NE(out.find("File           : back\\\\slash.avi\n"
                       "Full path      : " +
                       dir.file("back\\\\slash.avi") + "\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("Codec          : \n"), std::string::npos) << out;
    EXPECT_NE(out.find("Image          : N/A\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Datecode key   : \\xFF\n"), std::string::npos) << out;
    EXPECT_NE(out.find("File           : \\xC9T\\xC9.avi\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Name key       : \\xC9t\\xC9.avi/"), std::string::npos) << out;
    // Files are set apart by one empty line.
    EXPECT_NE(out.find("\n\nFile           : back"), std::string::npos) << out;
}

TEST_F(InfoCommandTest, JsonFormIsValidUtf8WithTheRecordsFields) {
    storeDatecodePattern("dd.mm.yyyy");
    test::TempDir dir;
    const std::string type2 = writeClip(dir, "two.avi");
    const std::string type1 = writeClip(dir, "one.avi", true);
    const std::string iavs = dir.file("iavs.avi");
    {
        test::DvFrameBuilder frame;
        frame.timecode(0, 1, 2, 3, 4);
        AviWriter writer(iavs);
        writer.addInterleavedDvStream(DvSystem::Pal625, test::defaultDvInfoBlock(DvSystem::Pal625));
        writer.addAudioStream(WaveFormat::pcm(2, 48000, 16));
        writer.writeSample(0, frame.bytes());
        writer.writeSample(1, std::vector<std::uint8_t>(7680, 0));
        writer.close();
    }
    const std::string text = dir.write("quote\"\x01\xFE.avi", {'t'});
    const std::string missing = dir.file("missing.avi");

    const auto result = moraven({"--info", "--json", type2, missing, type1, iavs, text});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.errors.find(missing), std::string::npos) << result.errors;
    EXPECT_NE(result.errors.find("does not exist"), std::string::npos) << result.errors;
    EXPECT_EQ(result.output.find("missing.avi"), std::string::npos);

    const std::string json =
        dir.write("out.json", std::vector<std::uint8_t>(result.output.begin(), result.output.end()));
    const auto tool = test::runProgram({"python3", "-m", "json.tool", json});
    ASSERT_EQ(tool.exitCode, 0) << tool.errors << result.output;
    // Read strictly as UTF-8 and print one line per file.
    const auto fields = test::runProgram(
        {"python3", "-c",
         "import json, sys\n"
         "for o in json.load(open(sys.argv[1], encoding='utf-8', errors='strict')):\n"
         "    print('|'.join(str(o[k]) for k in ('FileName', 'CodecText', 'DatecodeText', 'Datecode',\n"
         "        'DatecodeKey', 'TimecodeText', 'Fps', 'Is16x9', 'HasScenes', 'DvType', 'Type2Iavs')))\n",
         json});
    ASSERT_EQ(fields.exitCode, 0) << fields.errors;
    EXPECT_EQ(
        fields.output,
        "two.avi|dvsd (type 2)|15.07.2004|2004-07-15T13:05:09.000|20040715130509|01.02.03.04|25|True|False"
        "|2|False\n"
        "one.avi|dvsd (type 1)|15.07.2004|2004-07-15T13:05:09.000|20040715130509|01.02.03.04|25|True|False"
        "|1|False\n"
        "iavs.avi|dvsd (type 2 iavs)|N/A|None|N/A|01.02.03.04|25|False|False|2|True\n"
        "quote\"\\x01\\xFE.avi|||None|\\xFF||0|False|False|0|False\n");
}

TEST_F(InfoCommandTest, WithoutFilesTheStatusIsTwo) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--info"}, {"--info", "--json"}}) {
        const auto result = moraven(args);
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_EQ(result.output, "");
        EXPECT_NE(result.errors.find("--info needs at least one file"), std::string::npos) << result.errors;
    }
    const auto none = moraven({"--info", "--json", m_config.file("missing.avi")});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_EQ(none.output, "[]\n");
    EXPECT_NE(moraven({"--help"}).output.find("--info [--json] FILE..."), std::string::npos);
}

}  // namespace
}  // namespace moraven
