#include "pipeline/stages/superposer_stage.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "formats/date_time.h"
#include "pipeline/graph/graph.h"
#include "pipeline/stages/sample_grabber_stage.h"
#include "pipeline/text/text_blend.h"
#include "pipeline/text/text_module.h"
#include "support/dv_frame_builder.h"

namespace moraven {
namespace {

using test::DvFrameBuilder;
using FrameFacts = std::shared_ptr<const DvFrameFacts>;

// A rasterizer whose lines are solid boxes: 10 pixels wide per byte, the cell as tall as asked for (plus an
// eighth for internal leading when the character height is asked for), every pixel fully covered. Counts its
// renders.
class BoxRasterizer final : public TextRasterizer {
public:
    explicit BoxRasterizer(int* renders) : m_renders(renders) {}
    static constexpr int kPixelsPerByte = 10;
    static int cellOf(const TextFont& font) {
        return font.heightKind == TextHeight::Cell ? font.pixelHeight : font.pixelHeight + font.pixelHeight / 8;
    }
    TextMetrics measure(const TextFont& font, std::string_view utf8) override {
        return {static_cast<int>(utf8.size()) * kPixelsPerByte, cellOf(font), cellOf(font) * 3 / 4};
    }
    TextMask render(const TextFont& font, std::string_view utf8, int fromX, int toX) override {
        ++*m_renders;
        TextMask mask;
        mask.metrics = measure(font, utf8);
        const int left = std::max(0, fromX);
        const int right = std::min(mask.metrics.width, toX);
        if (left >= right) return mask;
        mask.offsetX = left;
        mask.width = right - left;
        mask.height = mask.metrics.cellHeight;
        mask.coverage.assign(static_cast<std::size_t>(mask.width) * static_cast<std::size_t>(mask.height), 255);
        return mask;
    }

private:
    int* m_renders;
};

CalendarDateTime at(int year, int month, int day, int hour, int minute, int second) {
    return {year, month, day, hour, minute, second, 0};
}

PictureFormat pictureFormat(PixelLayout layout, int width, int height) {
    PictureFormat format;
    format.layout = layout;
    format.width = width;
    format.height = height;
    return format;
}

// A picture of `format` with varied bytes, so that any change shows.
MediaSample pictureSample(const PictureFormat& format) {
    MediaSample sample;
    sample.data.resize(pictureBytes(format));
    for (std::size_t i = 0; i < sample.data.size(); ++i) sample.data[i] = static_cast<std::uint8_t>(20 + i * 37 % 200);
    return sample;
}

// A detector fed with DV frames, and an inlay stage over it drawing boxes.
struct Rig {
    Tdv_sceneDetect detector;
    Tdv_Superposer stage{detector};
    int renders = 0;
    std::int64_t nextFrame = 0;

    explicit Rig(bool boxes = true) {
        if (boxes) stage.useRasterizer(std::make_unique<BoxRasterizer>(&renders));
    }
    // Analyses one DV frame; returns its facts, as the detection attaches them to the frame's sample.
    FrameFacts frame(std::optional<CalendarDateTime> date, std::optional<TDvTimecode> timecode = {}) {
        DvFrameBuilder builder;
        if (date) builder.recDate(0, date->year, date->month, date->day, date->hour, date->minute, date->second);
        if (timecode) builder.timecode(0, timecode->hours, timecode->minutes, timecode->seconds, timecode->frames);
        const MediaTime start = MediaTime::fromTicks(nextFrame * 400'000);
        ++nextFrame;
        detector.analysis().analyseFrame(builder.bytes(), start, start + kPalFrameDuration);
        return detector.analysis().LatestFacts();
    }
    // Draws on a fresh picture of `format` made from frame `source`; returns the picture.
    MediaSample draw(const PictureFormat& format, FrameFacts source) {
        MediaSample sample = pictureSample(format);
        sample.frameFacts = std::move(source);
        stage.process(sample, format);
        return sample;
    }
};

struct Box {
    std::int64_t left, top, right, bottom;  // [left, right) × [top, bottom), picture coordinates
    bool holds(std::int64_t x, std::int64_t y) const { return x >= left && x < right && y >= top && y < bottom; }
};

bool inAny(const std::vector<Box>& boxes, std::int64_t x, std::int64_t y) {
    return std::any_of(boxes.begin(), boxes.end(), [&](const Box& box) { return box.holds(x, y); });
}

bool between(int value, int a, int b) { return value >= std::min(a, b) && value <= std::max(a, b); }

// Every pixel inside `boxes` has the colour, every pixel outside is unchanged; a chroma sample is the colour
// when all the luma pixels it covers are inside, unchanged when none is, and between the two otherwise.
// Answers the first difference, or an empty text.
std::string differenceFromBoxes(const PictureFormat& format, const std::vector<std::uint8_t>& before,
                                const std::vector<std::uint8_t>& after, const std::vector<Box>& boxes,
                                const TextColour& colour) {
    const auto old = viewPicture(format, std::span<const std::uint8_t>(before)).value();
    const auto now = viewPicture(format, std::span<const std::uint8_t>(after)).value();
    std::ostringstream out;
    if (format.layout == PixelLayout::Bgr24) {
        const std::uint8_t bgr[3] = {colour.blue, colour.green, colour.red};
        for (int y = 0; y < format.height; ++y) {
            for (int x = 0; x < format.width * 3; ++x) {
                const int value = now.planes[0][y * now.strides[0] + x];
                const int expected = inAny(boxes, x / 3, y) ? bgr[x % 3] : old.planes[0][y * old.strides[0] + x];
                if (value != expected) return (out << "BGR byte " << x << "," << y << ": " << value, out.str());
            }
        }
        return {};
    }
    for (int y = 0; y < format.height; ++y) {
        for (int x = 0; x < format.width; ++x) {
            const int value = now.planes[0][y * now.strides[0] + x];
            const int expected = inAny(boxes, x, y) ? colour.y : old.planes[0][y * old.strides[0] + x];
            if (value != expected) return (out << "luma " << x << "," << y << ": " << value << " not " << expected, out.str());
        }
    }
    const int across = format.layout == PixelLayout::Yuv411p ? 4 : 2;
    const int down = format.layout == PixelLayout::Yuv420p ? 2 : 1;
    const PlaneGeometry chroma = planeGeometry(format, 1);
    for (int cy = 0; cy < chroma.height; ++cy) {
        for (int cx = 0; cx < chroma.width; ++cx) {
            int inside = 0;
            int total = 0;
            for (int y = cy * down; y < std::min(format.height, (cy + 1) * down); ++y) {
                for (int x = cx * across; x < std::min(format.width, (cx + 1) * across); ++x) {
                    ++total;
                    inside += inAny(boxes, x, y) ? 1 : 0;
                }
            }
            for (int plane = 1; plane <= 2; ++plane) {
                const int target = plane == 1 ? colour.cb : colour.cr;
                const int was = old.planes[plane][cy * old.strides[plane] + cx];
                const int value = now.planes[plane][cy * now.strides[plane] + cx];
                const bool good = inside == total ? value == target : inside == 0 ? value == was : between(value, was, target);
                if (!good) {
                    return (out << "chroma " << plane << " " << cx << "," << cy << ": " << value << " (was " << was
                                << ", " << inside << "/" << total << " inside)",
                            out.str());
                }
            }
        }
    }
    return {};
}

// A sample that stands for the DV frame `source`, as the DV video decoder asks about it.
MediaSample frameSample(FrameFacts source) {
    MediaSample sample;
    sample.frameFacts = std::move(source);
    return sample;
}

// The first byte of `after` that differs from `before` outside `region` (a chroma sample counts as inside when
// the first luma pixel it covers is), or an empty text.
std::string changeOutside(const PictureFormat& format, const std::vector<std::uint8_t>& before,
                          const std::vector<std::uint8_t>& after, const std::optional<PictureRect>& region) {
    const auto old = viewPicture(format, std::span<const std::uint8_t>(before)).value();
    const auto now = viewPicture(format, std::span<const std::uint8_t>(after)).value();
    const bool bgr = format.layout == PixelLayout::Bgr24;
    const int across = bgr ? 1 : format.layout == PixelLayout::Yuv411p ? 4 : 2;
    const int down = format.layout == PixelLayout::Yuv420p ? 2 : 1;
    for (int plane = 0; plane < (bgr ? 1 : 3); ++plane) {
        const PlaneGeometry geometry = planeGeometry(format, plane);
        const int scaleX = plane == 0 ? 1 : across;
        const int scaleY = plane == 0 ? 1 : down;
        for (int y = 0; y < geometry.height; ++y) {
            for (int x = 0; x < geometry.width; ++x) {
                const auto p = static_cast<std::size_t>(plane);
                if (old.planes[p][y * old.strides[p] + x] == now.planes[p][y * now.strides[p] + x]) continue;
                const int lumaX = (bgr ? x / 3 : x) * scaleX;
                const int lumaY = y * scaleY;
                if (!region || !region->intersects({lumaX, lumaY, 1, 1})) {
                    std::ostringstream out;
                    out << "plane " << plane << " " << x << "," << y << " changed outside the region";
                    return out.str();
                }
            }
        }
    }
    return {};
}

TEST(SuperposerTest, TurnsColourReferencesIntoLimitedRangeBt601) {
    struct Case {
        std::uint32_t colorref;
        TextColour expected;
    };
    const Case cases[] = {
        {0x00FFFFFF, {235, 128, 128, 255, 255, 255}},
        {0x00000000, {16, 128, 128, 0, 0, 0}},
        {0x000000FF, {81, 90, 240, 0, 0, 255}},   // red
        {0x0000FF00, {145, 54, 34, 0, 255, 0}},   // green
        {0x00FF0000, {41, 240, 110, 255, 0, 0}},  // blue
    };
    for (const Case& c : cases) EXPECT_EQ(textColourOf(c.colorref), c.expected) << std::hex << c.colorref;
}

// The layout rules on pictures of every layout: where the two lines go (line 1 "ABCD" 40 pixels wide, line 2
// "XY" 20 pixels), and that nothing else of the picture changes.
TEST(SuperposerTest, PlacesBothLinesAndChangesNothingElse) {
    struct Case {
        std::string name;
        PictureFormat format;
        std::function<void(Tdv_Superposer&)> set;
        std::vector<Box> lines;  // line 1, line 2; none when nothing shows
    };
    const PictureFormat pal = pictureFormat(PixelLayout::Yuv420p, 720, 576);
    const std::vector<Case> cases = {
        {"PAL defaults: automatic cell 28", pal, {}, {{608, 462, 648, 490}, {628, 490, 648, 518}}},
        {"NTSC 4:1:1 352 wide: 13 raised to 16", pictureFormat(PixelLayout::Yuv411p, 352, 240), {},
         {{276, 184, 316, 200}, {296, 200, 316, 216}}},
        {"fixed 48 points: 64 pixels, lines 128 and 64 above the anchor", pal,
         [](Tdv_Superposer& s) { s.SetAutoFontSize(false), s.SetFontSize(48); },
         {{608, 390, 648, 462}, {628, 454, 648, 526}}},
        {"corner, right-aligned: ends at the right edge, sits on the bottom", pal,
         [](Tdv_Superposer& s) { s.SetPosition(1000, 1000, 2); }, {{680, 520, 720, 548}, {700, 548, 720, 576}}},
        {"left-aligned", pal, [](Tdv_Superposer& s) { s.SetPosition(100, 500, 0); },
         {{72, 232, 112, 260}, {72, 260, 92, 288}}},
        {"centred", pal, [](Tdv_Superposer& s) { s.SetPosition(500, 500, 1); },
         {{340, 232, 380, 260}, {350, 260, 370, 288}}},
        {"clamped to the top: above the picture, nothing shows", pal,
         [](Tdv_Superposer& s) { s.SetPosition(1500, -3, 1); }, {}},
        {"clipped at the left edge", pal, [](Tdv_Superposer& s) { s.SetPosition(10, 900, 2); },
         {{-33, 462, 7, 490}, {-13, 490, 7, 518}}},
        {"16:9 square pixels 4:2:2", pictureFormat(PixelLayout::Yuv422p, 1024, 576), {},
         {{881, 440, 921, 479}, {901, 479, 921, 518}}},
        {"BGR24 of odd size", pictureFormat(PixelLayout::Bgr24, 355, 201),
         [](Tdv_Superposer& s) { s.SetFontColor(0x00336699); }, {{279, 148, 319, 164}, {299, 164, 319, 180}}},
        {"4:2:0 of odd size, into the last half chroma samples", pictureFormat(PixelLayout::Yuv420p, 721, 577),
         [](Tdv_Superposer& s) { s.SetPosition(1000, 1000, 2), s.SetFontColor(0x000000FF); },
         {{681, 521, 721, 549}, {701, 549, 721, 577}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.stage.SetFormats("\"ABCD\"", "\"XY\"");
        if (c.set) c.set(rig.stage);
        const MediaSample before = pictureSample(c.format);
        const FrameFacts source = rig.frame(at(2004, 7, 15, 13, 5, 9));
        const auto region = rig.stage.textRegion(frameSample(source), c.format.width, c.format.height);
        const MediaSample after = rig.draw(c.format, source);
        // The region asked before drawing holds every change and lies within the lines' boxes widened to whole
        // chroma samples.
        EXPECT_EQ(changeOutside(c.format, before.data, after.data, region), "");
        EXPECT_EQ(region.has_value(), !c.lines.empty());
        if (region) {
            Box bounds{c.lines[0]};
            for (const Box& line : c.lines) {
                bounds = {std::min(bounds.left, line.left), std::min(bounds.top, line.top),
                          std::max(bounds.right, line.right), std::max(bounds.bottom, line.bottom)};
            }
            EXPECT_GE(region->left, std::max<std::int64_t>(0, bounds.left) - 3);
            EXPECT_GE(region->top, std::max<std::int64_t>(0, bounds.top) - 1);
            EXPECT_LE(region->left + region->width, bounds.right + 3);
            EXPECT_LE(region->top + region->height, bounds.bottom + 1);
        }
        EXPECT_EQ(differenceFromBoxes(c.format, before.data, after.data, c.lines,
                                      textColourOf(rig.stage.settings().fontColor)),
                  "");
        for (std::size_t line = 0; line < c.lines.size(); ++line) {
            ASSERT_TRUE(rig.stage.placements()[line]);
            EXPECT_EQ(rig.stage.placements()[line]->left, c.lines[line].left) << line;
            EXPECT_EQ(rig.stage.placements()[line]->top, c.lines[line].top) << line;
        }
    }
}

// What the region answers when the text cannot be foreseen or will not be drawn, when the line moves, and
// while pictures are drawn on another thread.
TEST(SuperposerTest, TheTextRegionWithoutTextUnforeseenOrMoving) {
    const PictureFormat format = pictureFormat(PixelLayout::Yuv411p, 720, 480);
    const PictureRect whole{0, 0, 720, 480};
    struct Case {
        std::string name;
        std::function<void(Rig&)> set;
        bool dated;
        bool numbered;
        std::optional<PictureRect> expected;  // nothing: a rectangle that holds what is drawn, checked below
        bool none;
    };
    const std::vector<Case> cases{
        {"disabled", [](Rig& r) { r.stage.SetEnabled(false); }, true, true, {}, true},
        {"nothing to show", [](Rig& r) { r.stage.SetContent(3); }, true, true, {}, true},
        {"a frame without a datecode", {}, false, true, {}, true},
        {"the computer's clock", [](Rig& r) { r.stage.SetContent(2); }, true, true, whole, false},
        {"an unknown content: the previous picture's lines",
         [](Rig& r) { r.draw(pictureFormat(PixelLayout::Yuv411p, 720, 480), r.frame(at(2004, 7, 15, 13, 5, 9))), r.stage.SetContent(7); }, true, true, whole, false},
        {"a picture without frame facts: no date to draw", {}, true, false, {}, true},
        {"the timecode: line 2 only", [](Rig& r) { r.stage.SetContent(1); }, true, true, {}, false},
        {"show for a while", [](Rig& r) { r.stage.SetAutoShow(true), r.stage.SetShowFrames(5); }, true, true, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        if (c.set) c.set(rig);
        const FrameFacts source =
            c.dated ? rig.frame(at(2004, 7, 15, 13, 5, 9), TDvTimecode{1, 2, 3, 4}) : rig.frame({});
        const auto region = rig.stage.textRegion(frameSample(c.numbered ? source : nullptr), format.width, format.height);
        if (c.none) {
            EXPECT_FALSE(region);
            continue;
        }
        ASSERT_TRUE(region);
        if (c.expected) {
            EXPECT_EQ(*region, *c.expected);
        }
        const MediaSample before = pictureSample(format);
        const MediaSample after = rig.draw(format, c.numbered ? source : nullptr);
        EXPECT_NE(after.data, before.data);
        EXPECT_EQ(changeOutside(format, before.data, after.data, region), "");
        if (c.name.find("timecode") != std::string::npos) {
            EXPECT_GE(region->top, 432 - 28 - 1);
        }
    }

    // The same line moved: the region follows it.
    Rig rig;
    const FrameFacts source = rig.frame(at(2004, 7, 15, 13, 5, 9));
    for (const int x : {900, 300, 0, 1000, 300}) {
        SCOPED_TRACE(x);
        rig.stage.SetPosition(x, 500, 1);
        const auto region = rig.stage.textRegion(frameSample(source), format.width, format.height);
        const MediaSample before = pictureSample(format);
        EXPECT_EQ(changeOutside(format, before.data, rig.draw(format, source).data, region), "");
        ASSERT_TRUE(region);
        EXPECT_LT(region->width, 200);
    }

    // Asked on another thread while pictures are drawn: the same answer each time.
    const auto first = rig.stage.textRegion(frameSample(source), format.width, format.height);
    std::thread asker([&] {
        for (int k = 0; k < 200; ++k) EXPECT_EQ(rig.stage.textRegion(frameSample(source), format.width, format.height), first);
    });
    for (int k = 0; k < 200; ++k) rig.draw(format, source);
    asker.join();
}

TEST(SuperposerTest, SetPositionClampsAndEmptyPatternsBecomeOneBlank) {
    Rig rig;
    rig.stage.SetPosition(1500, -3, 1);
    rig.stage.SetFormats("yyyy", "");
    const InlaySettings settings = rig.stage.settings();
    EXPECT_EQ(settings.posX, 1000);
    EXPECT_EQ(settings.posY, 0);
    EXPECT_EQ(settings.align, 1);
    rig.draw(pictureFormat(PixelLayout::Yuv420p, 720, 576), rig.frame(at(2004, 7, 15, 13, 5, 9)));
    EXPECT_EQ(rig.stage.lines()[0], "2004");
    EXPECT_EQ(rig.stage.lines()[1], " ");
}

// The two lines by Content, for a frame with and without its facts.
TEST(SuperposerTest, WritesTheLinesOfEachContent) {
    struct Case {
        std::string name;
        std::function<void(Tdv_Superposer&)> set;
        std::optional<CalendarDateTime> date;
        std::optional<TDvTimecode> timecode;
        std::string line1, line2;
    };
    const auto date = at(2004, 7, 15, 13, 5, 9);
    const std::vector<Case> cases = {
        {"datecode", {}, date, {}, "2004-07-15", "13:05:09"},
        {"datecode two hours later", [](Tdv_Superposer& s) { s.SetHourShift(2); }, date, {}, "2004-07-15", "15:05:09"},
        {"datecode shifted past midnight", [](Tdv_Superposer& s) { s.SetHourShift(11); }, date, {}, "2004-07-16",
         "00:05:09"},
        {"datecode shifted back", [](Tdv_Superposer& s) { s.SetHourShift(-14); }, date, {}, "2004-07-14", "23:05:09"},
        {"no recording date: no text", {}, {}, TDvTimecode{1, 2, 3, 4}, "", ""},
        {"timecode on line 2", [](Tdv_Superposer& s) { s.SetContent(1); }, date, TDvTimecode{1, 2, 3, 4}, "",
         "1:02:03:04"},
        {"timecode hours in as many digits as needed", [](Tdv_Superposer& s) { s.SetContent(1); }, {},
         TDvTimecode{23, 59, 0, 29}, "", "23:59:00:29"},
        {"no timecode", [](Tdv_Superposer& s) { s.SetContent(1); }, date, {}, "", ""},
        {"nothing", [](Tdv_Superposer& s) { s.SetContent(3); }, date, TDvTimecode{1, 2, 3, 4}, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.stage.SetFormats("yyyy-mm-dd", "hh:nn:ss");
        if (c.set) c.set(rig.stage);
        const PictureFormat format = pictureFormat(PixelLayout::Yuv420p, 720, 576);
        const MediaSample after = rig.draw(format, rig.frame(c.date, c.timecode));
        EXPECT_EQ(rig.stage.lines()[0], c.line1);
        EXPECT_EQ(rig.stage.lines()[1], c.line2);
        if (c.line1.empty() && c.line2.empty()) {
            EXPECT_EQ(after.data, pictureSample(format).data);
        }
    }
}

TEST(SuperposerTest, TheComputerClockAndAnUnknownContent) {
    Rig rig;
    rig.stage.SetFormats("yyyy", "\"clock\"");
    rig.stage.SetContent(2);
    const PictureFormat format = pictureFormat(PixelLayout::Yuv420p, 720, 576);
    const int yearBefore = decodeDateTime(currentDateTime())->year;
    rig.draw(format, rig.frame({}));  // no facts needed
    const int yearAfter = decodeDateTime(currentDateTime())->year;
    EXPECT_TRUE(rig.stage.lines()[0] == std::to_string(yearBefore) || rig.stage.lines()[0] == std::to_string(yearAfter));
    EXPECT_EQ(rig.stage.lines()[1], "clock");
    // An unknown content keeps the previous picture's lines, and draws them.
    rig.stage.SetContent(9);
    const MediaSample after = rig.draw(format, rig.frame({}));
    EXPECT_EQ(rig.stage.lines()[1], "clock");
    EXPECT_NE(after.data, pictureSample(format).data);
}

TEST(SuperposerTest, DisabledPicturesPassUnchangedAndTheShownFrameFollows) {
    Rig rig;
    rig.stage.SetEnabled(false);
    rig.stage.SetAutoShow(true);
    rig.stage.SetShowFrames(10);
    const PictureFormat format = pictureFormat(PixelLayout::Yuv411p, 720, 480);
    // A picture without facts names no frame: what is on show stays as it was.
    for (int k = 0; k < 3; ++k) {
        rig.frame(at(2004, 7, 15, 13, 5, 9 + k));
        EXPECT_EQ(rig.draw(format, nullptr).data, pictureSample(format).data);
        EXPECT_EQ(rig.detector.analysis().ShownFrame(), 0u);
    }
    // With facts, that frame, even when later frames were analysed meanwhile (pictures still in a decoder).
    const FrameFacts earlier = rig.frame(at(2004, 7, 15, 13, 6, 0));
    rig.frame(at(2004, 7, 15, 13, 6, 1));
    rig.draw(format, earlier);
    EXPECT_EQ(rig.detector.analysis().ShownFrame(), earlier->Frame);
    // Nothing counted, nothing remembered.
    EXPECT_EQ(rig.stage.Remaining(), 9);
    EXPECT_EQ(rig.stage.LastRecordedAt(), DateTime());
}

TEST(SuperposerTest, ThePicturesFactsComeFromItsOwnFrame) {
    Rig rig;
    rig.stage.SetFormats("hh:nn:ss", "\"x\"");
    const FrameFacts first = rig.frame(at(2004, 7, 15, 13, 5, 9));
    rig.frame(at(2004, 7, 15, 18, 0, 0));
    rig.draw(pictureFormat(PixelLayout::Yuv420p, 720, 576), first);
    EXPECT_EQ(rig.stage.lines()[0], "13:05:09");
    // Long after the detection's ring moved on (many pictures in flight in parallel codecs), the picture
    // still draws its own frame's date.
    for (int k = 0; k < 250; ++k) rig.frame(at(2004, 7, 16, 9, k / 60, k % 60));
    rig.draw(pictureFormat(PixelLayout::Yuv420p, 720, 576), first);
    EXPECT_EQ(rig.stage.lines()[0], "13:05:09");
}

// Showing for a while: which pictures get text ('S') and which do not ('-'), from a start of streaming.
TEST(SuperposerTest, ShowsForAWhileAfterEachTrigger) {
    struct Case {
        std::string name;
        std::int32_t showFrames;
        int autoKind;
        std::vector<std::optional<CalendarDateTime>> frames;
        std::string shown;
    };
    const auto t = [](int day, int hour, int minute, int second) {
        return std::optional<CalendarDateTime>(at(2004, 7, day, hour, minute, second));
    };
    const std::optional<CalendarDateTime> none;
    const std::vector<Case> cases = {
        {"once: ShowFrames - 2 pictures after the start, then never", 5, 0,
         {t(5, 10, 0, 0), t(5, 10, 0, 0), t(5, 10, 0, 1), t(5, 10, 0, 1), t(5, 10, 0, 9), t(4, 10, 0, 0)}, "SSS---"},
        {"each scene: the same second and the next never trigger", 3, 1,
         {t(5, 10, 0, 0), t(5, 10, 0, 0), t(5, 10, 0, 0), t(5, 10, 0, 1), t(5, 10, 0, 2)}, "S----"},
        {"each scene: two seconds forward trigger, for ShowFrames - 1 pictures", 3, 1,
         {t(5, 10, 0, 0), t(5, 10, 0, 0), t(5, 10, 0, 2), t(5, 10, 0, 2), t(5, 10, 0, 2)}, "S-SS-"},
        {"each scene: any step back triggers", 3, 1,
         {t(5, 10, 0, 0), t(5, 10, 0, 0), t(5, 9, 59, 59), t(5, 9, 59, 59), t(5, 9, 59, 59)}, "S-SS-"},
        {"each scene: a frame without a date neither triggers nor counts as the last date", 3, 1,
         {t(5, 10, 0, 0), t(5, 10, 0, 0), none, t(5, 10, 0, 1), t(5, 10, 0, 3)}, "S---S"},
        {"each day: midnight triggers, a later hour of the same day does not", 3, 2,
         {t(5, 23, 0, 0), t(5, 23, 0, 0), t(5, 23, 59, 59), t(6, 0, 0, 0), t(6, 0, 0, 0), t(6, 0, 0, 0)}, "S--SS-"},
        {"ShowFrames 1: never", 1, 1, {t(5, 10, 0, 0), t(5, 12, 0, 0), t(4, 10, 0, 0)}, "---"},
        {"ShowFrames 0: always", 0, 1, {t(5, 10, 0, 0), t(5, 10, 0, 0), none, t(5, 10, 0, 0)}, "SS-S"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.stage.SetFormats("\"a\"", "\"b\"");
        rig.stage.SetShowFrames(c.showFrames);
        rig.stage.SetAutoKind(c.autoKind);
        rig.stage.SetAutoShow(true);
        rig.stage.start();
        std::string shown;
        for (const auto& date : c.frames) {
            rig.draw(pictureFormat(PixelLayout::Yuv420p, 720, 576), rig.frame(date));
            shown += rig.stage.placements()[1] ? 'S' : '-';
        }
        EXPECT_EQ(shown, c.shown);
    }
}

TEST(SuperposerTest, EachDayTriggersOnTheSameDayOfAnotherMonth) {
    Rig rig;
    rig.stage.SetShowFrames(2);
    rig.stage.SetAutoKind(2);
    rig.stage.SetAutoShow(true);
    rig.stage.start();
    const PictureFormat format = pictureFormat(PixelLayout::Yuv420p, 720, 576);
    rig.draw(format, rig.frame(at(2004, 7, 5, 10, 0, 0)));  // Remaining 1 -> 0
    rig.draw(format, rig.frame(at(2004, 7, 5, 10, 0, 0)));
    EXPECT_EQ(rig.stage.Remaining(), 0);
    EXPECT_FALSE(rig.stage.placements()[1]);
    rig.draw(format, rig.frame(at(2004, 8, 5, 10, 0, 0)));  // 31 days on: more than a day
    EXPECT_EQ(rig.stage.Remaining(), 1);
    EXPECT_TRUE(rig.stage.placements()[1]);
    EXPECT_EQ(rig.stage.LastRecordedAt(), encodeDateTime(at(2004, 8, 5, 10, 0, 0)));
}

TEST(SuperposerTest, RendersALineOnlyWhenItsTextOrFontChanged) {
    Rig rig;
    rig.stage.SetFormats("yyyy", "hh:nn:ss");
    const PictureFormat format = pictureFormat(PixelLayout::Yuv420p, 720, 576);
    for (int k = 0; k < 3; ++k) rig.draw(format, rig.frame(at(2004, 7, 15, 13, 5, 9)));
    EXPECT_EQ(rig.renders, 2);
    rig.draw(format, rig.frame(at(2004, 7, 15, 13, 5, 10)));  // line 2 only
    EXPECT_EQ(rig.renders, 3);
    rig.stage.SetPosition(880, 900, 2);  // a small move reuses both
    rig.draw(format, rig.frame(at(2004, 7, 15, 13, 5, 10)));
    EXPECT_EQ(rig.renders, 3);
    rig.stage.SetItalic(true);
    rig.draw(format, rig.frame(at(2004, 7, 15, 13, 5, 10)));
    EXPECT_EQ(rig.renders, 5);
}

TEST(SuperposerTest, AcceptsDecodedPicturesOnlyAndDrawsInAGraph) {
    Tdv_sceneDetect detector;
    Tdv_Superposer stage(detector);
    for (PixelLayout layout : {PixelLayout::Yuv420p, PixelLayout::Yuv411p, PixelLayout::Yuv422p, PixelLayout::Bgr24}) {
        EXPECT_TRUE(stage.acceptsInput(*stage.input(0), pictureMediaType(pictureFormat(layout, 720, 576))));
    }
    EXPECT_FALSE(stage.acceptsInput(*stage.input(0), MediaType::dvVideo(DvSystem::Pal625)));
    EXPECT_FALSE(stage.acceptsInput(*stage.input(0), MediaType(FourCC::of("vids"), FourCC::of("I420"), {})));

    // A source of NTSC pictures, each naming the DV frame it came from.
    class PictureSource final : public Stage {
    public:
        PictureSource(PictureFormat format, std::vector<FrameFacts> frames)
            : Stage("Picture Source"), m_format(format), m_frames(std::move(frames)) {
            addPin(PinDirection::Output, "Out");
        }
        std::vector<MediaType> outputTypes(const Pin&) const override { return {pictureMediaType(m_format)}; }
        bool isSource() const override { return true; }
        bool produce() override {
            if (m_next == m_frames.size()) {
                deliverEndOfStream(*output(0));
                return false;
            }
            MediaSample sample = pictureSample(m_format);
            sample.frameFacts = m_frames[m_next++];
            deliver(*output(0), sample);
            return true;
        }

    private:
        PictureFormat m_format;
        std::vector<FrameFacts> m_frames;
        std::size_t m_next = 0;
    };
    Rig rig;
    rig.stage.SetAutoShow(true);
    rig.stage.SetShowFrames(3);  // Remaining 2
    const FrameFacts dated = rig.frame(at(2004, 7, 15, 13, 5, 9));
    const PictureFormat format = pictureFormat(PixelLayout::Yuv411p, 720, 480);
    rig.draw(format, dated);
    rig.draw(format, dated);  // Remaining 0: hidden until the start resets it
    EXPECT_EQ(rig.stage.Remaining(), 0);
    PictureSource source(format, {dated, dated});
    SampleGrabberStage grabber;
    std::vector<std::vector<std::uint8_t>> out;
    grabber.setCallback([&](const MediaSample& sample) { out.push_back(sample.data); });
    Graph graph;
    graph.add(source, "source");
    graph.add(rig.stage, "Superposer");
    graph.add(grabber, "grabber");
    ASSERT_TRUE(graph.connect(*source.output(0), *rig.stage.input(0)));
    ASSERT_TRUE(graph.connect(*rig.stage.output(0), *grabber.input(0)));
    EXPECT_EQ(rig.stage.outputTypes(*rig.stage.output(0)), std::vector<MediaType>{pictureMediaType(format)});
    graph.run();
    ASSERT_TRUE(graph.waitForEnd(std::chrono::seconds(30)));
    graph.stop();
    ASSERT_EQ(out.size(), 2u);
    EXPECT_NE(out[0], pictureSample(format).data);  // shown again after the start
    EXPECT_EQ(out[1], pictureSample(format).data);
}

// ---- with the text module ----

const TextModuleLoad& textModule() {
    const TextModuleLoad& load = loadTextModule();
    EXPECT_NE(load.module, nullptr) << load.error;
    return load;
}

TEST(SuperposerTextModuleTest, ChoosesFontsByCellOrByCharacterHeight) {
    const TextModuleLoad& load = textModule();
    ASSERT_NE(load.module, nullptr);
    auto rasterizer = load.module->createRasterizer();
    struct Case {
        InlaySettings settings;
        int width;
        int h;
    };
    InlaySettings automatic;
    InlaySettings fixed;
    fixed.autoFontSize = false;
    fixed.fontSize = 48;
    for (const Case& c : {Case{automatic, 720, 28}, Case{automatic, 352, 16}, Case{fixed, 720, 64}}) {
        SCOPED_TRACE(c.h);
        ASSERT_EQ(Tdv_Superposer::textHeight(c.settings, c.width), c.h);
        TextFont font;
        font.pixelHeight = c.h;
        font.bold = true;
        font.heightKind = c.settings.autoFontSize ? TextHeight::Cell : TextHeight::Character;
        const TextMetrics metrics = rasterizer->measure(font, "12:34:56");
        if (c.settings.autoFontSize) {
            // The largest font whose cell fits; a font's metrics grow in steps of a pixel or two.
            EXPECT_LE(metrics.cellHeight, c.h);
            EXPECT_GE(metrics.cellHeight, c.h - 2);
        } else {
            // The characters are h tall: the cell adds the internal leading.
            EXPECT_GT(metrics.cellHeight, c.h);
            EXPECT_LT(metrics.cellHeight, c.h * 13 / 10);
        }
        EXPECT_GT(metrics.width, c.h);
        EXPECT_GT(metrics.ascent, metrics.cellHeight / 2);
    }
}

// The stage's drawing against the same lines drawn by the test at the places the layout rule gives, on DV
// and other picture shapes; outside the lines' masks nothing changes, inside them text shows.
TEST(SuperposerTextModuleTest, DrawsTheReferenceLinesAndNothingElse) {
    const TextModuleLoad& load = textModule();
    ASSERT_NE(load.module, nullptr);
    const PictureFormat formats[] = {
        pictureFormat(PixelLayout::Yuv420p, 720, 576),   // PAL DV, 4:3 or 16:9 alike
        pictureFormat(PixelLayout::Yuv411p, 720, 480),   // NTSC DV
        pictureFormat(PixelLayout::Yuv420p, 1024, 576),  // 16:9 square pixels
        pictureFormat(PixelLayout::Yuv411p, 352, 240),
    };
    for (const PictureFormat& format : formats) {
        SCOPED_TRACE(format.width);
        Rig rig(false);
        rig.stage.SetFormats("dddd d mmmm yyyy", "hh:nn:ss");
        rig.stage.SetFontColor(0x0000FFFF);  // yellow
        rig.stage.SetItalic(true);
        rig.stage.start();
        const FrameFacts source = rig.frame(at(2004, 7, 15, 13, 5, 9));
        const auto region = rig.stage.textRegion(frameSample(source), format.width, format.height);
        const MediaSample drawn = rig.draw(format, source);
        EXPECT_EQ(changeOutside(format, pictureSample(format).data, drawn.data, region), "");
        const std::string lines[] = {"Thursday 15 July 2004", "13:05:09"};

        auto rasterizer = load.module->createRasterizer();
        const std::int64_t h = std::max(16, format.width * 28 / 720);
        MediaSample expected = pictureSample(format);
        const auto view = viewPicture(format, std::span<std::uint8_t>(expected.data)).value();
        std::vector<Box> masks;
        std::vector<PlacedTextMask> placed;
        std::vector<TextMask> rendered;
        for (int line = 0; line < 2; ++line) {
            TextFont font;
            font.pixelHeight = static_cast<int>(h);
            font.bold = true;
            font.italic = true;
            const TextMetrics metrics = rasterizer->measure(font, lines[line]);
            const std::int64_t left = format.width * 900 / 1000 - metrics.width;
            const std::int64_t top = format.height * 900 / 1000 - (line == 0 ? 2 * h : h);
            const TextMask mask = rasterizer->render(font, lines[line], -100000, 100000);
            ASSERT_GT(mask.width, 0);
            placed.push_back(PlacedTextMask{nullptr, left + mask.offsetX, top + mask.offsetY});
            rendered.push_back(mask);
            masks.push_back({left + mask.offsetX, top + mask.offsetY, left + mask.offsetX + mask.width,
                             top + mask.offsetY + mask.height});
        }
        for (std::size_t line = 0; line < placed.size(); ++line) placed[line].mask = &rendered[line];
        blendTextMasks(view, placed, textColourOf(0x0000FFFF));
        EXPECT_TRUE(drawn.data == expected.data);

        const MediaSample original = pictureSample(format);
        int changedInside = 0;
        for (int y = 0; y < format.height; ++y) {
            for (int x = 0; x < format.width; ++x) {
                const std::size_t at = static_cast<std::size_t>(y) * format.width + x;
                if (inAny(masks, x, y)) {
                    changedInside += drawn.data[at] != original.data[at] ? 1 : 0;
                } else {
                    ASSERT_EQ(drawn.data[at], original.data[at]) << x << "," << y;
                }
            }
        }
        EXPECT_GT(changedInside, 20 * h);  // glyph strokes of two lines of text
    }
}

}  // namespace
}  // namespace moraven
