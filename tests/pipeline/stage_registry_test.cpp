#include "pipeline/stage_registry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pipeline/preview/audio_renderer_stage.h"
#include "pipeline/preview/video_renderer_stage.h"
#include "pipeline/stages/acm_wrapper_stage.h"
#include "pipeline/stages/audio_decoder_stage.h"
#include "pipeline/stages/avi_mux_stage.h"
#include "pipeline/stages/avi_splitter_stage.h"
#include "pipeline/stages/color_space_converter_stage.h"
#include "pipeline/stages/deinterlacer_stage.h"
#include "pipeline/stages/dv_header_stage.h"
#include "pipeline/stages/dv_muxer_stage.h"
#include "pipeline/stages/dv_splitter_stage.h"
#include "pipeline/stages/dv_video_decoder_stage.h"
#include "pipeline/stages/dv_video_encoder_stage.h"
#include "pipeline/stages/file_source_stage.h"
#include "pipeline/stages/file_writer_stage.h"
#include "pipeline/stages/infinite_tee_stage.h"
#include "pipeline/stages/null_renderer_stage.h"
#include "pipeline/stages/sample_grabber_stage.h"
#include "pipeline/stages/scene_detect_stage.h"
#include "pipeline/stages/stage_factory.h"
#include "pipeline/stages/superposer_stage.h"
#include "pipeline/stages/video_decoder_stage.h"
#include "pipeline/stages/wav_dest_stage.h"

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

TEST(StageRegistryTest, EveryListedStageCanBeMadeUnderItsName) {
    Tdv_sceneDetect detection;
    for (StageCategory category : {StageCategory::General, StageCategory::VideoCompressor}) {
        const std::vector<std::string> names = installedStages().displayNames(category);
        EXPECT_FALSE(names.empty());
        for (const std::string& name : names) {
            const auto stage = createStage(name, {&detection});
            ASSERT_NE(stage, nullptr) << name;
            EXPECT_EQ(stage->displayName(), name);
        }
    }
}

// The stage classes of the framework, by their own display names: each one the factory makes is listed in
// the category the factory gives, and only there; the player's renderers are neither made nor listed.
TEST(StageRegistryTest, EveryStageTheFactoryMakesIsListed) {
    Tdv_sceneDetect detection;
    struct Case {
        const char* name;
        bool made;
        StageCategory category;
    };
    constexpr StageCategory kGeneral = StageCategory::General;
    for (const Case& c : std::vector<Case>{
             {FileSourceStage::kDisplayName, true, kGeneral},
             {AviSplitterStage::kDisplayName, true, kGeneral},
             {DvSplitterStage::kDisplayName, true, kGeneral},
             {DvMuxerStage::kDisplayName, true, kGeneral},
             {AviMuxStage::kDisplayName, true, kGeneral},
             {FileWriterStage::kDisplayName, true, kGeneral},
             {AcmWrapperStage::kDisplayName, true, kGeneral},
             {WavDestStage::kDisplayName, true, kGeneral},
             {InfiniteTeeStage::kDisplayName, true, kGeneral},
             {NullRendererStage::kDisplayName, true, kGeneral},
             {SampleGrabberStage::kDisplayName, true, kGeneral},
             {DeinterlacerStage::kDisplayName, true, kGeneral},
             {Tdv_sceneDetect::kDisplayName, true, kGeneral},
             {Tdv_Superposer::kDisplayName, true, kGeneral},
             {Tdv_DVheader::kDisplayName, true, kGeneral},
             {DvVideoDecoderStage::kDisplayName, true, kGeneral},
             {ColorSpaceConverterStage::kDisplayName, true, kGeneral},
             {VideoDecoderStage::kDisplayName, true, kGeneral},
             {AudioDecoderStage::kDisplayName, true, kGeneral},
             {DvVideoEncoderStage::kDisplayName, true, StageCategory::VideoCompressor},
             {VideoRendererStage::kDisplayName, false, kGeneral},
             {AudioRendererStage::kDisplayName, false, kGeneral},
         }) {
        const auto stage = createStage(c.name, {&detection});
        EXPECT_EQ(stage != nullptr, c.made) << c.name;
        const StageCategory other =
            c.category == kGeneral ? StageCategory::VideoCompressor : StageCategory::General;
        EXPECT_EQ(FindFilterIn(c.category, c.name), c.made) << c.name;
        EXPECT_FALSE(FindFilterIn(other, c.name)) << c.name;
    }
    EXPECT_EQ(creatableStages().size(), 20u);  // the cases above that are made: no stage is listed unseen
}

TEST(StageRegistryTest, AStageThatReadsASceneDetectionIsMadeOnlyWithOne) {
    EXPECT_EQ(createStage(Tdv_Superposer::kDisplayName), nullptr);
    // The DV header stage reads each frame's facts from its samples: it needs no detection.
    EXPECT_NE(createStage(Tdv_DVheader::kDisplayName), nullptr);
    EXPECT_NE(createStage(Tdv_sceneDetect::kDisplayName), nullptr);
    EXPECT_EQ(createStage("Nothing"), nullptr);
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
