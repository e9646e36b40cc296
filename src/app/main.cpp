#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "app/command_line_mode.h"
#include "app/info_command.h"
#include "app/riff_command.h"
#include "app/scenes_command.h"
#include "formats/program_info.h"
#include "platform/system_locale.h"

namespace {

void printHelp() {
    std::printf(
        "Usage: moraven [OPTION]... [FILE]...\n"
        "%s reads the recording date and time and the timecode of DV camcorder recordings kept as AVI\n"
        "files, and renames, repairs, converts and cuts them.\n"
        "\n"
        "Options:\n"
        "  --riff FILE...    print the RIFF structure report of each FILE on standard output; every\n"
        "                    argument after --riff is taken as a file\n"
        "  --info [--json] FILE...\n"
        "                    print every fact of each FILE that the information panel shows, as\n"
        "                    \"Label : value\" lines or, with --json, as one JSON array; bytes of names\n"
        "                    and keys that are no printable UTF-8 appear as \\xNN, a backslash as \\\\\n"
        "  --scenes FILE...  print the scenes of each FILE, one line each: number, start, end,\n"
        "                    datecode, timecode and duration; every argument after --scenes is\n"
        "                    taken as a file\n"
        "  +hLETTERS FILE... add the FILEs that are AVI files and run the commands of the LETTERS on\n"
        "                    them without the window: d add the datecode, t add the timecode,\n"
        "                    q shorten the name, b set the file date, r rename after the datecode;\n"
        "                    \"/\" may stand for \"+\" where the parameter names no file or folder\n"
        "  --help            show this help and exit\n"
        "  --version         show the version and exit\n",
        moraven::kProgramName);
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    for (auto arg = args.begin(); arg != args.end(); ++arg) {
        if (*arg == "--help" || *arg == "-h") {
            printHelp();
            return 0;
        }
        if (*arg == "--version") {
            std::printf("%s %s\n", moraven::kProgramName, moraven::kProgramVersion);
            return 0;
        }
        if (*arg == "--riff") {
            const std::vector<std::string> files(arg + 1, args.end());
            if (files.empty()) {
                std::fprintf(stderr, "moraven: --riff needs at least one file\n");
                return 2;
            }
            return moraven::runRiffCommand(files, moraven::systemDateFormatLocale(), stdout, stderr);
        }
        if (*arg == "--info") {
            const bool json = arg + 1 != args.end() && arg[1] == "--json";
            const std::vector<std::string> files(arg + (json ? 2 : 1), args.end());
            if (files.empty()) {
                std::fprintf(stderr, "moraven: --info needs at least one file\n");
                return 2;
            }
            return moraven::runInfoCommand(files, json, moraven::userFileRecordOptions(stderr), stdout, stderr);
        }
        if (*arg == "--scenes") {
            const std::vector<std::string> files(arg + 1, args.end());
            if (files.empty()) {
                std::fprintf(stderr, "moraven: --scenes needs at least one file\n");
                return 2;
            }
            // The datecodes are written as the information panel shows them: the user's pattern and locale.
            const auto options = moraven::userFileRecordOptions(stderr);
            return moraven::runScenesCommand(files, options.datecodePattern, options.locale, stdout, stderr);
        }
    }
    // File paths and switch letters ("+hd clip.avi", "/d /c clip.avi").
    if (!args.empty()) return moraven::runCommandLine(std::vector<std::string>(args.begin(), args.end()), stderr);
    return 0;
}
