#include "ui/qt_audio_output.h"

#include <chrono>
#include <cstdint>
#include <future>
#include <string>
#include <vector>

#include <QTest>

#include <gtest/gtest.h>

namespace moraven {
namespace {

using namespace std::chrono_literals;

// A quiet tone (not silence, so that a device that skips silence still plays it), 16-bit stereo.
std::vector<std::uint8_t> tone(int samplesPerSecond, int milliseconds) {
    const int frames = samplesPerSecond * milliseconds / 1000;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(frames) * 4);
    for (int i = 0; i < frames; ++i) {
        const auto sample = static_cast<std::int16_t>((i % 100 < 50) ? 300 : -300);
        for (int channel = 0; channel < 2; ++channel) {
            const std::size_t at = static_cast<std::size_t>(i) * 4 + static_cast<std::size_t>(channel) * 2;
            bytes[at] = static_cast<std::uint8_t>(sample & 0xff);
            bytes[at + 1] = static_cast<std::uint8_t>((sample >> 8) & 0xff);
        }
    }
    return bytes;
}

// An output that did not open plays nothing and never blocks: the graph goes on silently on its own clock.
void expectSilentAndHarmless(QtAudioOutput& output) {
    EXPECT_FALSE(output.isOpen());
    const std::vector<std::uint8_t> sound = tone(48000, 1000);  // more than the queue's bound
    auto writer = std::async(std::launch::async, [&] { return output.write(sound); });
    ASSERT_EQ(writer.wait_for(30s), std::future_status::ready);
    EXPECT_FALSE(writer.get());
    MediaTime played;
    EXPECT_FALSE(output.playedTime(played));
    output.setPaused(true);
    output.setVolume(5000);
    output.flush();
    output.setPaused(false);
    EXPECT_FALSE(output.playedTime(played));
    output.close();
}

struct FormatCase {
    const char* name;
    int channels;
    int samplesPerSecond;
};

class QtAudioOutputFormatTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(QtAudioOutputFormatTest, RefusesFormatsNoDeviceTakes) {
    QtAudioOutput output;
    EXPECT_FALSE(output.open(GetParam().channels, GetParam().samplesPerSecond));
    expectSilentAndHarmless(output);
}

INSTANTIATE_TEST_SUITE_P(Formats, QtAudioOutputFormatTest,
                         ::testing::Values(FormatCase{"no_channel", 0, 48000}, FormatCase{"nine_channels", 9, 48000},
                                           FormatCase{"negative_channels", -2, 48000}, FormatCase{"no_rate", 2, 0},
                                           FormatCase{"rate_too_low", 2, 7999},
                                           FormatCase{"rate_too_high", 2, 192001}),
                         [](const ::testing::TestParamInfo<FormatCase>& test) { return std::string(test.param.name); });

// A device that is not there (unplugged since it was chosen) answers false like no device at all.
TEST(QtAudioOutputTest, AnUnknownDeviceDoesNotOpen) {
    QtAudioOutput output("no such device");
    EXPECT_FALSE(output.open(2, 48000));
    expectSilentAndHarmless(output);
}

// On this machine's default output: without a sound device, open() answers false and the output stays silent;
// with one, the clock moves once sound was written, a flush restarts it, and a writer blocked on the full queue
// returns when the output closes.
TEST(QtAudioOutputTest, TheDefaultOutputPlaysOrAnswersFalse) {
    QtAudioOutput output;
    if (!output.open(2, 48000)) {
        // No device, or one that does not take the format or start: open() said so, without hanging.
        expectSilentAndHarmless(output);
        return;
    }
    EXPECT_TRUE(output.isOpen());
    output.setVolume(0);
    MediaTime played;
    ASSERT_TRUE(output.playedTime(played));
    EXPECT_EQ(played, MediaTime());

    const std::vector<std::uint8_t> sound = tone(48000, 100);
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(output.write(sound));
    ASSERT_TRUE(QTest::qWaitFor([&] { return output.playedTime(played) && played > MediaTime(); }, 20'000))
        << "the device's clock did not move";
    EXPECT_LE(played, MediaTime::fromSeconds(20));

    output.flush();
    ASSERT_TRUE(output.playedTime(played));
    EXPECT_EQ(played, MediaTime());

    // A writer with far more than the queue holds blocks on it; closing the output lets it go.
    auto writer = std::async(std::launch::async, [&] {
        bool all = true;
        for (int i = 0; i < 200 && all; ++i) all = output.write(sound);
        return all;
    });
    output.close();
    ASSERT_EQ(writer.wait_for(30s), std::future_status::ready);
    EXPECT_FALSE(writer.get());
    EXPECT_FALSE(output.playedTime(played));
}

}  // namespace
}  // namespace moraven
