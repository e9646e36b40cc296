#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "formats/program_info.h"

namespace {

void printHelp() {
    std::printf(
        "Usage: moraven [OPTION]... [FILE]...\n"
        "%s reads the recording date and time and the timecode of DV camcorder recordings kept as AVI\n"
        "files, and renames, repairs, converts and cuts them.\n"
        "\n"
        "Options:\n"
        "  --riff FILE...  print the RIFF structure report of each FILE on standard output\n"
        "  --help          show this help and exit\n"
        "  --version       show the version and exit\n",
        moraven::kProgramName);
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    for (std::string_view arg : args) {
        if (arg == "--help" || arg == "-h") {
            printHelp();
            return 0;
        }
        if (arg == "--version") {
            std::printf("%s %s\n", moraven::kProgramName, moraven::kProgramVersion);
            return 0;
        }
    }
    // The window and the command switches come with the user interface; other parameters are ignored.
    return 0;
}
