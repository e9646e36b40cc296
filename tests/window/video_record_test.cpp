#include "window/video_record.h"

#include <gtest/gtest.h>

#include "support/external_tools.h"
#include "support/scripted_interaction.h"
#include "support/temp_dir.h"
#include "window/file_list.h"

namespace moraven {
namespace {

TEST(VideoRecordTest, RealFilesSortByTheirRecordsKeysInEveryOrder) {
    if (!test::programAvailable("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    test::TempDir dir;
    test::DvClipOptions late;
    late.creationTime = "2006-03-12T15:46:37Z";
    test::DvClipOptions early;
    early.creationTime = "2004-07-15T13:05:09Z";
    early.frames = 20;
    const std::string lateClip = test::makeDvAviWithFfmpeg(dir.path().string(), "A.AVI", late);
    const std::string earlyClip = test::makeDvAviWithFfmpeg(dir.path().string(), "b.avi", early);
    const std::string broken = dir.write("0broken.avi", {'n', 'o', 't', ' ', 'a', 'v', 'i'});

    WindowState state;
    Settings settings;
    test::ScriptedInteraction ui;
    FileList list(state, settings, ui, videoRecordFactory({}));
    for (const auto& path : {lateClip, broken, earlyClip}) EXPECT_GE(list.AddFile(path), 0) << path;
    ASSERT_EQ(list.rowCount(), 3);

    auto captions = [&] {
        std::vector<std::string> names;
        for (int i = 0; i < list.rowCount(); ++i) names.push_back(list.caption(i));
        return names;
    };
    // Recording order first, the file that could not be read last.
    EXPECT_EQ(captions(), (std::vector<std::string>{"b.avi", "A.AVI", "0broken.avi"}));
    const ListRecord& first = list.record(0);
    EXPECT_EQ(first.datecodeText().empty(), false);
    EXPECT_NE(first.datecodeText(), "N/A");
    EXPECT_EQ(*decodeDateTime(first.datecode()), (CalendarDateTime{2004, 7, 15, 13, 5, 9, 0}));
    EXPECT_EQ(list.record(2).sortKey(kOrderDatecode).front(), '\xFF');

    list.SortList(kOrderAlphabetical);
    EXPECT_EQ(captions(), (std::vector<std::string>{"0broken.avi", "A.AVI", "b.avi"}));
    list.SortList(kOrderFileSize);
    EXPECT_EQ(captions(), (std::vector<std::string>{"0broken.avi", "A.AVI", "b.avi"}));
    for (int i = 0; i < list.rowCount(); ++i)
        EXPECT_EQ(list.sortKey(i), list.record(i).sortKey(kOrderFileSize));
}

// Names sort by their whole lower case, not by their ASCII letters only: with ASCII lowering "ÉTÉ" keys as
// "ÉtÉ" and "Étude" sorts before "éclair".
TEST(VideoRecordTest, NamesSortWithoutRegardToTheCaseOfTheirAccentedLetters) {
    test::TempDir dir;
    const std::vector<std::string> names = {"Étude.avi", "ÉTÉ.avi", "éclair.avi", "Ωmega2.avi", "ωmega.avi"};
    WindowState state;
    Settings settings;
    settings.ordreDeLaListe = kOrderAlphabetical;
    test::ScriptedInteraction ui;
    FileList list(state, settings, ui, videoRecordFactory({}));
    for (const std::string& name : names) ASSERT_GE(list.AddFile(dir.write(name, {'x'})), 0) << name;

    std::vector<std::string> captions;
    for (int i = 0; i < list.rowCount(); ++i) captions.push_back(list.caption(i));
    EXPECT_EQ(captions,
              (std::vector<std::string>{"éclair.avi", "Étude.avi", "ÉTÉ.avi", "ωmega.avi", "Ωmega2.avi"}));
    const int ete = list.indexOfPath(dir.file("ÉTÉ.avi"));
    ASSERT_GE(ete, 0);
    EXPECT_EQ(list.record(ete).sortKey(kOrderAlphabetical).rfind("été.avi", 0), 0u);
    // Every key ends with the path lowered whole; the datecode key keeps the mark of an unreadable file.
    const std::string loweredPath = "/été.avi";
    for (int order = 0; order < 4; ++order) {
        const std::string& key = list.record(ete).sortKey(order);
        EXPECT_EQ(key.substr(key.size() - loweredPath.size()), loweredPath) << "order " << order;
    }
    EXPECT_EQ(list.record(ete).sortKey(kOrderDatecode).front(), '\xFF');
}

}  // namespace
}  // namespace moraven
