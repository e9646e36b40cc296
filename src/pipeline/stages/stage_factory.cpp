#include "pipeline/stages/stage_factory.h"

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
#include "pipeline/stages/superposer_stage.h"
#include "pipeline/stages/video_decoder_stage.h"
#include "pipeline/stages/wav_dest_stage.h"

namespace moraven {

namespace {

template <typename T>
std::unique_ptr<Stage> make(const StageArguments&) {
    return std::make_unique<T>();
}

template <typename T>
std::unique_ptr<Stage> makeOnSceneDetection(const StageArguments& arguments) {
    if (arguments.sceneDetection == nullptr) return nullptr;
    return std::make_unique<T>(*arguments.sceneDetection);
}

struct Entry {
    std::string_view name;
    StageCategory category;
    std::unique_ptr<Stage> (*make)(const StageArguments&);
};

constexpr StageCategory kGeneral = StageCategory::General;

constexpr Entry kStages[] = {
    {FileSourceStage::kDisplayName, kGeneral, &make<FileSourceStage>},
    {AviSplitterStage::kDisplayName, kGeneral, &make<AviSplitterStage>},
    {DvSplitterStage::kDisplayName, kGeneral, &make<DvSplitterStage>},
    {DvMuxerStage::kDisplayName, kGeneral, &make<DvMuxerStage>},
    {AviMuxStage::kDisplayName, kGeneral, &make<AviMuxStage>},
    {FileWriterStage::kDisplayName, kGeneral, &make<FileWriterStage>},
    {AcmWrapperStage::kDisplayName, kGeneral, &make<AcmWrapperStage>},
    {WavDestStage::kDisplayName, kGeneral, &make<WavDestStage>},
    {InfiniteTeeStage::kDisplayName, kGeneral, &make<InfiniteTeeStage>},
    {NullRendererStage::kDisplayName, kGeneral, &make<NullRendererStage>},
    {SampleGrabberStage::kDisplayName, kGeneral, &make<SampleGrabberStage>},
    {DeinterlacerStage::kDisplayName, kGeneral, &make<DeinterlacerStage>},
    {Tdv_sceneDetect::kDisplayName, kGeneral, &make<Tdv_sceneDetect>},
    {Tdv_Superposer::kDisplayName, kGeneral, &makeOnSceneDetection<Tdv_Superposer>},
    {Tdv_DVheader::kDisplayName, kGeneral, &make<Tdv_DVheader>},
    // The codec stages, on the codec module loaded when a run first needs it.
    {DvVideoDecoderStage::kDisplayName, kGeneral, &make<DvVideoDecoderStage>},
    {ColorSpaceConverterStage::kDisplayName, kGeneral, &make<ColorSpaceConverterStage>},
    {VideoDecoderStage::kDisplayName, kGeneral, &make<VideoDecoderStage>},
    {AudioDecoderStage::kDisplayName, kGeneral, &make<AudioDecoderStage>},
    {DvVideoEncoderStage::kDisplayName, StageCategory::VideoCompressor, &make<DvVideoEncoderStage>},
};

}  // namespace

std::vector<StageListing> creatableStages() {
    std::vector<StageListing> listings;
    for (const Entry& entry : kStages) listings.push_back({entry.name, entry.category});
    return listings;
}

std::unique_ptr<Stage> createStage(std::string_view displayName, const StageArguments& arguments) {
    for (const Entry& entry : kStages) {
        if (entry.name == displayName) return entry.make(arguments);
    }
    return nullptr;
}

}  // namespace moraven
