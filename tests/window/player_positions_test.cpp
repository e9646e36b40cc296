#include "window/player_positions.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "formats/date_time.h"

namespace moraven {
namespace {

TEST(PlayPositionText, FramesAtTheFileRateAndMillisecondsWithoutPicture) {
    struct Case {
        std::int64_t position;
        double fps;
        const char* text;
    };
    const Case cases[] = {
        {25 * 3661 + 7, 25, "1:01:01:07"},
        {30, 29.97, "0:00:01:00"},  // 30 - 29.97 truncates to 0 frames
        {29, 29.97, "0:00:00:29"},
        {0, 25, "0:00:00:00"},
        {905'000'000, 0, "0:01:30:500"},
        {36'000'000'000LL * 10 + 1'234'567, 0, "10:00:00:123"},
    };
    for (const Case& c : cases) EXPECT_EQ(PlayPositionText(c.position, c.fps), c.text) << c.position;
}

TEST(PlaySlider, ValueTruncatesAndTargetScalesBack) {
    EXPECT_EQ(PlaySliderValue(1, 3), 333);
    EXPECT_EQ(PlaySliderValue(2999, 3000), 999);
    EXPECT_EQ(PlaySliderValue(3000, 3000), 1000);
    EXPECT_EQ(PlaySliderValue(5, 0), std::nullopt);
    // Positions in 100 ns units of a long file do not overflow.
    EXPECT_EQ(PlaySliderValue(36'000'000'000'000LL, 72'000'000'000'000LL), 500);
    EXPECT_EQ(PlaySliderTarget(500, 3001), 1500);
    EXPECT_EQ(PlaySliderTarget(1000, 3001), 3001);
    EXPECT_EQ(PlaySliderTarget(0, 3001), 0);
}

TEST(FrameStepDuration, OneFrameAtTheRecordsRate) {
    EXPECT_EQ(FrameStepDuration(25), 400'000);
    EXPECT_EQ(FrameStepDuration(29.97), 333'667);
    EXPECT_EQ(FrameStepDuration(30000.0 / 1001.0), 333'667);
    EXPECT_EQ(FrameStepDuration(0), 400'000);
}

TEST(SceneFrames, NextAndPreviousAroundTheBoundaries) {
    const std::vector<std::int32_t> boundaries{100, 250, 400};
    EXPECT_EQ(NextSceneFrame(boundaries, 0, 1000), 100);
    EXPECT_EQ(NextSceneFrame(boundaries, 100, 1000), 250);  // a move from a boundary goes past it
    EXPECT_EQ(NextSceneFrame(boundaries, 400, 1000), 1000);  // after the last: the end
    EXPECT_EQ(PreviousSceneFrame(boundaries, 250), 100);
    EXPECT_EQ(PreviousSceneFrame(boundaries, 260), 250);
    EXPECT_EQ(PreviousSceneFrame(boundaries, 100), 0);  // before the first: the start
    EXPECT_EQ(NextSceneFrame({}, 5, 77), 77);
    EXPECT_EQ(PreviousSceneFrame({}, 5), 0);
}

TEST(SteppedVolume, StaysWithinTheScale) {
    EXPECT_EQ(SteppedVolume(10000, true), 10000);
    EXPECT_EQ(SteppedVolume(0, false), 0);
    EXPECT_EQ(SteppedVolume(9500, true), 10000);
    EXPECT_EQ(SteppedVolume(5000, false), 4000);
}

TEST(FrameLabelTexts, FromTheFrameOnScreen) {
    EXPECT_EQ(FrameLabelTextsOf(std::nullopt, "dd/mm/yyyy", englishDateFormatLocale()), (FrameLabelTexts{"-", "-"}));

    DvFrameFacts frame;
    EXPECT_EQ(FrameLabelTextsOf(frame, "dd/mm/yyyy", englishDateFormatLocale()), (FrameLabelTexts{"N/A", "N/A"}));

    frame.Info.HasDate = true;
    frame.Info.RecordedAt = *encodeDateTime(CalendarDateTime{2004, 7, 15, 13, 5, 9, 0});
    frame.Info.HasTimecode = true;
    frame.Info.Timecode = TDvTimecode{1, 2, 3, 4};
    EXPECT_EQ(FrameLabelTextsOf(frame, "dd/mm/yyyy hh:nn:ss", englishDateFormatLocale()),
              (FrameLabelTexts{"15/07/2004 13:05:09", "01.02.03.04"}));
}

TEST(InlaySlidersForClick, ScalesThePointToTheSliders) {
    EXPECT_EQ(InlaySlidersForClick(120, 90, 240, 180), (InlaySliderValues{500, 500}));
    EXPECT_EQ(InlaySlidersForClick(0, 0, 240, 180), (InlaySliderValues{0, 1000}));
    EXPECT_EQ(InlaySlidersForClick(239, 179, 240, 180), (InlaySliderValues{995, 6}));
    EXPECT_EQ(InlaySlidersForClick(10, 10, 0, 180), std::nullopt);
}

}  // namespace
}  // namespace moraven
