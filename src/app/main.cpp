#include <cstdio>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "app/command_line_mode.h"
#include "app/info_command.h"
#include "app/riff_command.h"
#include "app/samples_option.h"
#include "app/scenes_command.h"
#include "app/window_launch.h"
#include "commands/command_line.h"
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
        "  [+LETTERS] [FILE]...\n"
        "                    start the window with the FILEs that are AVI files and run the commands\n"
        "                    of the LETTERS on them: d add the datecode, t add the timecode, q shorten\n"
        "                    the name, b set the file date, r rename after the datecode, e move the\n"
        "                    file to the trash, 1 convert into DV type 1, 2 convert into DV type 2,\n"
        "                    n convert into NTSC, p convert into PAL, i inlay the datecode into the\n"
        "                    pictures, g recompress other AVI files into DV type 2, w extract the\n"
        "                    sound into a WAV file, s write the scene file, x export the scenes to\n"
        "                    text, z delete the scene file; c close the window afterwards, m ask no\n"
        "                    question, ? show the About panel, h run without the window (no display\n"
        "                    needed, no question asked); \"/\" may stand for \"+\" where the parameter\n"
        "                    names no file or folder\n"
        "  --samples         start the window on a few short sample recordings (PAL and NTSC, 4:3 and\n"
        "                    16:9), made into the user's cache folder the first time\n"
        "  --help            show this help and exit\n"
        "  --version         show the version and exit\n",
        moraven::kProgramName);
}

}  // namespace

namespace {

int run(int argc, char** argv) {
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
            return moraven::runInfoCommand(files, json, moraven::userFileRecordOptions(stderr), stdout,
                                           stderr);
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
        if (*arg == "--samples" && args.size() == 1) {
            if (!moraven::displayAvailable(stderr)) return 2;
            // The window takes the samples as the files of its command line.
            std::vector<std::string> samples = moraven::prepareSampleRecordings(stderr);
            std::vector<char*> windowArgs{argv[0]};
            for (std::string& path : samples) windowArgs.push_back(path.data());
            windowArgs.push_back(nullptr);
            return moraven::startWindow(windowArgs.data(), stderr);
        }
    }
    // File paths and switch letters ("+hd clip.avi", "/d /c clip.avi"): with the letter h the commands run
    // without the window; otherwise the window starts with them.
    const std::vector<std::string> parameters(args.begin(), args.end());
    if (moraven::switchesHold(parameters, 'h')) return moraven::runCommandLine(parameters, stderr);
    return moraven::startWindow(argv, stderr);
}

}  // namespace

int main(int argc, char** argv) {
    // Every command reads files whose sizes it does not trust; where memory still runs out, say so and fail
    // instead of dying.
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "moraven: not enough memory\n");
        return 1;
    }
}
