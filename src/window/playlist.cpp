#include "window/playlist.h"

#include <cerrno>
#include <fstream>
#include <vector>

#include "formats/binary_file.h"
#include "formats/program_info.h"

namespace moraven {

namespace {

const std::string kRuleLine = "# " + std::string(61, '-');

const char* orderText(int order) {
    switch (normalizedSortOrder(order)) {
        case kOrderAlphabetical:
            return " by alphabetical order";
        case kOrderFileSize:
            return " by filesize";
        case kOrderFileDate:
            return " by filedate";
        default:
            return " by datecode";
    }
}

}  // namespace

std::string defaultPlaylistPath(const std::string& playlistFolder) {
    return playlistFolder + kDefaultPlaylistName;
}

std::string trimPlaylistLine(std::string_view line) {
    auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    while (!line.empty() && isBlank(line.front())) line.remove_prefix(1);
    while (!line.empty() && isBlank(line.back())) line.remove_suffix(1);
    return std::string(line);
}

void WritePlaylist(const FileList& list, const std::string& path, const std::string& datePattern,
                   const DateFormatLocale& locale, DateTime now) {
    const int n = list.rowCount();
    std::vector<std::string> lines{
        kRuleLine,
        "#",
        std::string("# Playlist of ") + kProgramName + " version " + kProgramVersion + " En",
        "#",
        kRuleLine,
        std::string("# Visit my website : ") + kWebsiteAddress,
        "",
    };
    for (int row = 0; row < n; ++row) lines.push_back("     " + list.record(row).fullPath());
    lines.push_back("");
    lines.push_back(kRuleLine);
    lines.push_back("# " + std::to_string(n) + " file" + (n >= 2 ? "s" : "") + " sorted" +
                    orderText(list.order()));
    lines.push_back("# Done on " + formatDateTime(datePattern, now, locale).value_or(std::string()));

    errno = 0;
    std::ofstream file(path, std::ios::binary | std::ios::out | std::ios::trunc);
    if (!file.is_open()) throw FileError(FileErrorCode::Other, path, errno);
    for (const std::string& line : lines) {
        file.write(line.data(), static_cast<std::streamsize>(line.size()));
        file.write("\r\n", 2);
    }
    file.flush();
    if (!file.good()) throw FileError(FileErrorCode::WriteFailed, path, errno);
}

void ReadPlaylist(FileList& list, const WindowState& state, Interaction& interaction,
                  const std::string& path) {
    if (!fileExists(path)) return;
    list.BeginListLoad("Open the playlist " + path);
    try {
        if (!state.AbortRequested) {
            std::ifstream file(path, std::ios::binary);
            std::string line;
            while (file.good() && file.peek() != std::ifstream::traits_type::eof() && !state.AbortRequested) {
                interaction.processPendingEvents();
                if (!std::getline(file, line)) break;
                const std::string entry = trimPlaylistLine(line);
                if (entry.empty() || entry.front() == '#') continue;
                try {
                    list.AddFile(entry);
                } catch (const FileError&) {
                    // A listed file that cannot be read is passed over like a missing one.
                }
            }
        }
    } catch (const std::exception&) {
        // A failure while reading ends the reading; the files added so far stay.
    }
    list.EndListLoad();
}

}  // namespace moraven
