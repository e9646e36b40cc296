#include "pipeline/stage_registry.h"

#include <gtest/gtest.h>

namespace moraven {
namespace {

TEST(StageRegistryTest, EveryStageTheGraphsAskForIsFound) {
    for (const char* name :
         {"File Source (Async.)", "AVI Splitter", "DV Splitter", "DV Video Decoder", "DV Muxer", "AVI Mux",
          "File writer", "ACM Wrapper", "WAV Dest", "Color Space Converter", "Infinite Pin Tee Filter",
          "Null Renderer", "Pinnacle Video Deinterlacer", "Velloran cf_Superposer", "Velloran dv_sceneDetect",
          "Velloran cf_DVHeader"}) {
        EXPECT_TRUE(FindFilter(name)) << name;
    }
    // The DV encoder is listed among the video compressors only.
    EXPECT_FALSE(FindFilter("DV Video Encoder"));
    EXPECT_TRUE(FindFilterIn(StageCategory::VideoCompressor, "DV Video Encoder"));
    EXPECT_FALSE(FindFilterIn(StageCategory::VideoCompressor, "AVI Mux"));
}

TEST(StageRegistryTest, NamesAreComparedExactly) {
    for (const char* name : {"WavDest", "wav dest", "WAV Dest ", "", "AVI"})
        EXPECT_FALSE(FindFilter(name)) << name;
}

TEST(StageRegistryTest, AStageIsListedOncePerCategory) {
    StageRegistry registry;
    registry.add(StageCategory::General, "Null Renderer");
    registry.add(StageCategory::General, "Null Renderer");
    registry.add(StageCategory::VideoCompressor, "Null Renderer");
    registry.add(StageCategory::General, "AVI Mux");
    EXPECT_EQ(registry.displayNames(StageCategory::General),
              (std::vector<std::string>{"Null Renderer", "AVI Mux"}));
    EXPECT_EQ(registry.displayNames(StageCategory::VideoCompressor),
              std::vector<std::string>{"Null Renderer"});
    EXPECT_TRUE(FindFilter("AVI Mux", registry));
    EXPECT_FALSE(FindFilter("WAV Dest", registry));
}

}  // namespace
}  // namespace moraven
