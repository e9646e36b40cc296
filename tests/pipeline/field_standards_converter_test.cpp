#include "pipeline/video/field_standards_converter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>

namespace moraven {
namespace {

constexpr double kPi = 3.14159265358979323846;

// A picture of `format` whose every sample is value(plane, x, row).
std::vector<std::uint8_t> makePicture(const PictureFormat& format, const std::function<int(int, int, int)>& value) {
    std::vector<std::uint8_t> bytes(pictureBytes(format));
    auto view = viewPicture(format, std::span<std::uint8_t>(bytes));
    for (int plane = 0; plane < 3; ++plane) {
        const PlaneGeometry geometry = planeGeometry(format, plane);
        for (int row = 0; row < geometry.height; ++row) {
            for (int x = 0; x < geometry.width; ++x) {
                view->planes[static_cast<std::size_t>(plane)][row * geometry.width + x] =
                    static_cast<std::uint8_t>(std::clamp(value(plane, x, row), 0, 255));
            }
        }
    }
    return bytes;
}

int sampleAt(const PictureFormat& format, const std::vector<std::uint8_t>& bytes, int plane, int x, int row) {
    const auto view = viewPicture(format, std::span<const std::uint8_t>(bytes));
    return view->planes[static_cast<std::size_t>(plane)][row * planeGeometry(format, plane).width + x];
}

// Facts that stand for the DV frame numbered `number`.
std::shared_ptr<const DvFrameFacts> factsOf(std::uint64_t number) {
    auto facts = std::make_shared<DvFrameFacts>();
    facts->Frame = number;
    return facts;
}

// The number of the frame whose facts a converted picture carries; 0 when none.
std::uint64_t frameOf(const ConvertedPictureInfo& info) { return info.frameFacts ? info.frameFacts->Frame : 0; }

struct Output {
    std::vector<std::uint8_t> picture;
    ConvertedPictureInfo info;
};

// Pushes `count` pictures made by `pictureOf(m)` (source frame numbers 100 + m, the first starting at
// `firstStart`), pulling after each push and after the end.
std::vector<Output> convert(FieldStandardsConverter& converter, int count,
                            const std::function<std::vector<std::uint8_t>(int)>& pictureOf,
                            MediaTime firstStart = MediaTime()) {
    std::vector<Output> outputs;
    const auto drain = [&] {
        Output output;
        while (converter.pull(output.picture, output.info)) outputs.push_back(output);
    };
    const MediaTime frame = converter.inputFormat().frameDuration;
    for (int m = 0; m < count; ++m) {
        EXPECT_TRUE(converter.push(Bytes(pictureOf(m)), firstStart + MediaTime::fromTicks(m * frame.ticks()),
                                   factsOf(100 + static_cast<std::uint64_t>(m))));
        drain();
    }
    converter.pushEnd();
    drain();
    return outputs;
}

// Field durations in 1/60000 s.
std::int64_t fieldUnits(DvSystem system) { return system == DvSystem::Pal625 ? 1200 : 1001; }

// The source field (2m: frame m's bottom field, 2m + 1: its top field) whose time is nearest `time` (in
// 1/60000 s), by search among the fields there are.
std::int64_t nearestField(std::int64_t time, std::int64_t field, std::int64_t fields) {
    std::int64_t best = 0;
    for (std::int64_t f = 1; f < fields; ++f) {
        if (std::llabs(f * field - time) < std::llabs(best * field - time)) best = f;
    }
    return best;
}

// A value per source field, far enough apart that a wrong field shows.
int fieldValue(std::int64_t field) { return 20 + static_cast<int>((field * 37) % 200); }

TEST(FieldStandardsConverterTest, EachOutputFieldComesFromTheNearestSourceFieldWithExactCountsAndTimes) {
    struct Case {
        DvSystem from;
        int frames;
        std::int64_t expected;
    };
    const Case cases[] = {
        {DvSystem::Pal625, 30, 36},  // 35.96
        {DvSystem::Ntsc525, 36, 30}, // 30.03
        {DvSystem::Pal625, 5, 6},    // 5.994
        {DvSystem::Ntsc525, 6, 5},   // 5.005
        {DvSystem::Pal625, 1, 1},
        {DvSystem::Ntsc525, 1, 1},
        {DvSystem::Pal625, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.from == DvSystem::Pal625 ? "PAL " : "NTSC ") << c.frames);
        FieldStandardsConverter converter(c.from, false);
        const PictureFormat in = converter.inputFormat();
        const PictureFormat out = converter.outputFormat();
        // Every plane: rows of parity 1 (the bottom field) carry the bottom field's value, the others the top's.
        const auto outputs = convert(
            converter, c.frames,
            [&](int m) {
                return makePicture(in, [m](int, int, int row) { return fieldValue(2 * m + (row % 2 == 1 ? 0 : 1)); });
            },
            MediaTime::fromTicks(12'345));
        ASSERT_EQ(static_cast<std::int64_t>(outputs.size()), c.expected);
        EXPECT_EQ(converter.outputCountFor(c.frames), c.expected);

        const std::int64_t inField = fieldUnits(c.from);
        const std::int64_t outField = fieldUnits(c.from == DvSystem::Pal625 ? DvSystem::Ntsc525 : DvSystem::Pal625);
        const std::int64_t outFrameTicks = out.frameDuration.ticks();
        for (std::size_t n = 0; n < outputs.size(); ++n) {
            SCOPED_TRACE(n);
            const auto& o = outputs[n];
            // Start n × the output frame, rounded to 100 ns, from the first source start.
            EXPECT_LE(std::llabs(o.info.start.ticks() - 12'345 - static_cast<std::int64_t>(n) * outFrameTicks),
                      static_cast<std::int64_t>(n) / 2 + 1);
            if (n + 1 < outputs.size()) {
                EXPECT_EQ(o.info.stop, outputs[n + 1].info.start);
            }
            const std::int64_t bottom = nearestField(2 * static_cast<std::int64_t>(n) * outField, inField, 2 * c.frames);
            const std::int64_t top =
                nearestField((2 * static_cast<std::int64_t>(n) + 1) * outField, inField, 2 * c.frames);
            EXPECT_EQ(frameOf(o.info), 100 + static_cast<std::uint64_t>(bottom / 2));
            for (int plane = 0; plane < 3; ++plane) {
                const PlaneGeometry geometry = planeGeometry(out, plane);
                for (int row = 0; row < geometry.height; ++row) {
                    const int expected = fieldValue(row % 2 == 1 ? bottom : top);
                    for (const int x : {0, geometry.width / 2, geometry.width - 1}) {
                        ASSERT_EQ(sampleAt(out, o.picture, plane, x, row), expected) << plane << " " << x << " " << row;
                    }
                }
            }
        }
        for (std::size_t n = 1; n < outputs.size(); ++n) {
            EXPECT_GE(frameOf(outputs[n].info), frameOf(outputs[n - 1].info));
        }
    }
}

// A still picture: luma a vertical wave of `period` frame lines (steep enough that half a line shows), chroma
// flat, luma columns a horizontal ramp added on top.
int wave(double line, double lines) { return static_cast<int>(std::lround(128 + 80 * std::sin(2 * kPi * line / 40 * 576 / lines))); }

TEST(FieldStandardsConverterTest, AStillPictureStaysStillAndInPlaceWhicheverFieldFeedsWhichField) {
    for (const DvSystem from : {DvSystem::Pal625, DvSystem::Ntsc525}) {
        SCOPED_TRACE(from == DvSystem::Pal625 ? "from PAL" : "from NTSC");
        FieldStandardsConverter converter(from, true);
        const PictureFormat in = converter.inputFormat();
        const PictureFormat out = converter.outputFormat();
        EXPECT_EQ(out.aspectX, 16u);
        EXPECT_EQ(out.aspectY, 9u);
        const auto still = makePicture(in, [&](int plane, int, int row) {
            return plane == 0 ? wave(row, in.height) : (plane == 1 ? 90 : 200);
        });
        const auto outputs = convert(converter, 8, [&](int) { return still; });
        ASSERT_GE(outputs.size(), 6u);
        // Away from the top and bottom edges (where the taps are clamped), every line is where it belongs:
        // the wave sampled at the line's place in the picture (same height fraction), in every output.
        int worst = 0;
        for (const auto& o : outputs) {
            for (int row = 8; row < out.height - 8; ++row) {
                const int expected = wave((row + 0.5) * in.height / out.height - 0.5, in.height);
                worst = std::max(worst, std::abs(sampleAt(out, o.picture, 0, 360, row) - expected));
            }
            for (int plane = 1; plane < 3; ++plane) {
                for (int row = 0; row < planeGeometry(out, plane).height; ++row) {
                    ASSERT_EQ(sampleAt(out, o.picture, plane, 7, row), plane == 1 ? 90 : 200);
                }
            }
        }
        EXPECT_LE(worst, 3);
        // No line jitter from one output to the next.
        for (std::size_t n = 1; n < outputs.size(); ++n) {
            for (int row = 8; row < out.height - 8; ++row) {
                ASSERT_LE(std::abs(sampleAt(out, outputs[n].picture, 0, 100, row) -
                                   sampleAt(out, outputs[0].picture, 0, 100, row)),
                          1)
                    << n << " " << row;
            }
        }
    }
}

TEST(FieldStandardsConverterTest, PalToNtscAndBackKeepsThePicture) {
    FieldStandardsConverter toNtsc(DvSystem::Pal625, false);
    FieldStandardsConverter toPal(DvSystem::Ntsc525, false);
    const PictureFormat pal = toNtsc.inputFormat();
    // Smooth in both directions, chroma too, with horizontal bars in luma of 16 lines.
    const auto original = makePicture(pal, [](int plane, int x, int row) {
        if (plane == 0) return (row / 16) % 2 == 0 ? 60 + x / 8 : 180 - x / 8;
        return 128 + static_cast<int>(60 * std::sin(2 * kPi * x / 90.0) * std::cos(2 * kPi * row / 72.0));
    });
    const auto ntsc = convert(toNtsc, 30, [&](int) { return original; });
    ASSERT_EQ(ntsc.size(), 36u);
    std::vector<Output> back;
    {
        Output output;
        for (const auto& o : ntsc) {
            ASSERT_TRUE(toPal.push(Bytes(o.picture), o.info.start, o.info.frameFacts));
            while (toPal.pull(output.picture, output.info)) back.push_back(output);
        }
        toPal.pushEnd();
        while (toPal.pull(output.picture, output.info)) back.push_back(output);
    }
    ASSERT_EQ(back.size(), 30u);
    for (std::size_t n = 0; n < back.size(); ++n) {
        // The source frame numbers went through both conversions in order.
        if (n > 0) {
            EXPECT_GE(frameOf(back[n].info), frameOf(back[n - 1].info));
        }
        EXPECT_LE(frameOf(back[n].info), 129u);
        for (int plane = 0; plane < 3; ++plane) {
            const PlaneGeometry geometry = planeGeometry(pal, plane);
            std::int64_t total = 0;
            std::int64_t count = 0;
            for (int row = 4; row < geometry.height - 4; ++row) {
                for (int x = 2; x < geometry.width - 2; x += 3) {
                    total += std::abs(sampleAt(pal, back[n].picture, plane, x, row) -
                                      sampleAt(pal, original, plane, x, row));
                    ++count;
                }
            }
            // Bars' edges are softened by two resamplings; the rest comes back within a step or two.
            EXPECT_LT(static_cast<double>(total) / static_cast<double>(count), plane == 0 ? 4.0 : 2.0)
                << n << " " << plane;
        }
    }
}

TEST(FieldStandardsConverterTest, RefusesWhatItCannotTakeAndStartsAfreshAfterReset) {
    EXPECT_THROW(FieldStandardsConverter(DvSystem::Unknown, false), std::invalid_argument);
    FieldStandardsConverter converter(DvSystem::Ntsc525, false);
    const auto picture = makePicture(converter.inputFormat(), [](int plane, int x, int row) {
        return plane == 0 ? (x + row) % 256 : 128;
    });
    const std::vector<std::uint8_t> shortPicture(picture.begin(), picture.end() - 1);
    EXPECT_FALSE(converter.push(Bytes(shortPicture), MediaTime(), factsOf(1)));
    const auto first = convert(converter, 3, [&](int) { return picture; });
    EXPECT_FALSE(converter.push(Bytes(picture), MediaTime(), factsOf(1))) << "after the end";
    converter.reset();
    const auto again = convert(converter, 3, [&](int) { return picture; });
    ASSERT_EQ(first.size(), again.size());
    ASSERT_EQ(first.size(), 3u);  // 3 × 1001 / 1200 = 2.5 -> 3
    for (std::size_t n = 0; n < first.size(); ++n) {
        EXPECT_EQ(first[n].picture, again[n].picture);
        EXPECT_EQ(first[n].info.start, again[n].info.start);
    }
}

}  // namespace
}  // namespace moraven
