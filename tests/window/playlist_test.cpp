#include "window/playlist.h"

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "formats/binary_file.h"
#include "support/fake_list_record.h"
#include "support/scripted_interaction.h"
#include "support/temp_dir.h"

namespace moraven {
namespace {

std::vector<std::string> crlfLines(const std::vector<std::uint8_t>& bytes) {
    const std::string text(bytes.begin(), bytes.end());
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start) + "<no CR LF>");
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

class PlaylistTest : public ::testing::Test {
protected:
    std::string file(const std::string& name) { return dir.write(name, {'R', 'I', 'F', 'F'}); }
    void load(const std::vector<std::string>& paths) {
        list.BeginListLoad("Loading files");
        for (const auto& path : paths) list.AddFile(path);
        list.EndListLoad();
    }
    std::vector<std::string> captions() const {
        std::vector<std::string> names;
        for (int i = 0; i < list.rowCount(); ++i) names.push_back(list.caption(i));
        return names;
    }
    std::vector<std::string> written(const std::string& path) {
        WritePlaylist(list, path, "ddddd hh:nn:ss", locale, *encodeDateTime({2007, 1, 2, 3, 4, 5, 0}));
        return crlfLines(test::readWholeFile(path));
    }

    test::TempDir dir;
    WindowState state;
    Settings settings;
    DateFormatLocale locale = englishDateFormatLocale();
    test::ScriptedInteraction ui;
    test::FakeRecordFactory records;
    FileList list{state, settings, ui, records.factory()};
};

const std::string kRule = "# -------------------------------------------------------------";

TEST_F(PlaylistTest, TwoFilesGiveThirteenLinesWithHeaderAndFooter) {
    settings.ordreDeLaListe = kOrderDatecode;
    const std::string a = file("a.avi");
    const std::string b = file("b.avi");
    load({b, a});
    const std::vector<std::string> expected{
        kRule,
        "#",
        "# Playlist of Moraven version 6.0.4 En",
        "#",
        kRule,
        "# Visit my website : https://moraven.example.org/",
        "",
        "     " + list.record(0).fullPath(),
        "     " + list.record(1).fullPath(),
        "",
        kRule,
        "# 2 files sorted by datecode",
        "# Done on 1/2/2007 03:04:05",
    };
    EXPECT_EQ(written(dir.file("list.txt")), expected);
}

TEST_F(PlaylistTest, NoPluralForZeroAndOneAndTheOrderIsNamed) {
    struct Case {
        int order;
        int files;
        std::size_t lineCount;
        std::string countLine;
    };
    for (const Case& c : {Case{kOrderDatecode, 0, 11, "# 0 file sorted by datecode"},
                          Case{kOrderAlphabetical, 1, 12, "# 1 file sorted by alphabetical order"},
                          Case{kOrderFileSize, 3, 14, "# 3 files sorted by filesize"},
                          Case{kOrderFileDate, 1, 12, "# 1 file sorted by filedate"}}) {
        list.EmptyList();
        settings.ordreDeLaListe = static_cast<std::uint8_t>(c.order);
        std::vector<std::string> paths;
        for (int i = 0; i < c.files; ++i) paths.push_back(file("f" + std::to_string(i) + ".avi"));
        load(paths);
        const auto lines = written(dir.file("list.txt"));
        ASSERT_EQ(lines.size(), c.lineCount) << c.order;
        EXPECT_EQ(lines[lines.size() - 2], c.countLine);
        EXPECT_EQ(lines[lines.size() - 3], kRule);
    }
}

TEST_F(PlaylistTest, ReadingBackAddsTheFilesThatStillExistInTheListsOrder) {
    settings.ordreDeLaListe = kOrderAlphabetical;
    const std::string a = file("a.avi");
    const std::string b = file("b.avi");
    const std::string c = file("c.avi");
    load({a, b, c});
    const std::string playlist = dir.file("list.txt");
    written(playlist);
    list.EmptyList();
    std::filesystem::remove(b);
    load({c});
    const int readsBefore = records.reads();
    ReadPlaylist(list, state, ui, playlist);
    EXPECT_EQ(captions(), (std::vector<std::string>{"a.avi", "c.avi"}));
    EXPECT_EQ(records.reads() - readsBefore, 2) << "c.avi is read again";
}

TEST_F(PlaylistTest, CommentsBlanksTabsAndRefusedEntriesAreSkipped) {
    settings.ordreDeLaListe = kOrderAlphabetical;
    const std::string a = file("a.avi");
    const std::string b = file("b.avi");
    const std::string notes = file("notes.txt");
    const std::string text =
        "# a comment\n"
        "   # an indented comment naming " +
        a +
        "\r\n"
        "\t\r\n"
        "\t" +
        b +
        "   \r\n"
        "\n"
        "  " +
        notes + "\r\n" + dir.file("missing.avi") + "\r\n" + a;  // the last line without a line end
    const std::string playlist = dir.write("hand.txt", std::vector<std::uint8_t>(text.begin(), text.end()));
    ReadPlaylist(list, state, ui, playlist);
    EXPECT_EQ(captions(), (std::vector<std::string>{"a.avi", "b.avi"}));
    EXPECT_EQ(trimPlaylistLine(" \t\x01 x y \r\n"), "x y");
}

TEST_F(PlaylistTest, EscStopsTheReadingAfterTheCurrentLineAndKeepsWhatWasAdded) {
    settings.ordreDeLaListe = kOrderAlphabetical;
    std::string text;
    for (const char* name : {"a.avi", "b.avi", "c.avi", "d.avi"}) text += file(name) + "\r\n";
    const std::string playlist = dir.write("list.txt", std::vector<std::uint8_t>(text.begin(), text.end()));
    ui.onPendingEvents = [this](int round) {
        if (round == 2) state.AbortRequested = true;
    };
    ReadPlaylist(list, state, ui, playlist);
    EXPECT_EQ(captions(), (std::vector<std::string>{"a.avi", "b.avi"}));
    EXPECT_FALSE(state.ListLoading);
    EXPECT_FALSE(state.AbortRequested) << "the end of the load clears it";

    // Already set before the reading: nothing is read.
    list.EmptyList();
    ui.onPendingEvents = nullptr;
    state.AbortRequested = true;
    ReadPlaylist(list, state, ui, playlist);
    EXPECT_EQ(list.rowCount(), 0);
}

TEST_F(PlaylistTest, AMissingPlaylistDoesNothingAndAnUnwritableOneThrows) {
    ReadPlaylist(list, state, ui, dir.file("missing.txt"));
    EXPECT_TRUE(ui.statusTexts.empty());
    EXPECT_THROW(written(dir.file("no/such/folder/list.txt")), FileError);
    EXPECT_EQ(defaultPlaylistPath("/home/me/lists/"), "/home/me/lists/PlayList.txt");
}

}  // namespace
}  // namespace moraven
