#include "pipeline/preview/media_sinks.h"

#include <gtest/gtest.h>

namespace moraven {
namespace {

TEST(VolumeTest, TheLinearLevelBecomesAnAttenuationOnALogarithmicScale) {
    struct Case {
        int level;
        int attenuation;  // hundredths of a decibel
    };
    for (const Case& c : {Case{0, -10000}, Case{10000, 0}, Case{1000, -2499}, Case{1, -9247}, Case{-5, -10000},
                          Case{20000, 0}}) {
        EXPECT_EQ(volumeAttenuation(c.level), c.attenuation) << c.level;
    }
    EXPECT_DOUBLE_EQ(volumeGain(10000), 1.0);
    EXPECT_NEAR(volumeGain(0), 0.00001, 1e-12);  // -100 dB
    EXPECT_NEAR(volumeGain(1000), 0.0563, 0.0001);  // about -25 dB
}

}  // namespace
}  // namespace moraven
