#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "app/riff_command.h"
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
        "  --riff FILE...  print the RIFF structure report of each FILE on standard output; every\n"
        "                  argument after --riff is taken as a file\n"
        "  --help          show this help and exit\n"
        "  --version       show the version and exit\n",
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
    }
    // The window and the command switches come with the user interface; other parameters are ignored.
    return 0;
}
