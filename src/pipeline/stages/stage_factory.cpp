#include "pipeline/stages/stage_factory.h"

#include "pipeline/stages/acm_wrapper_stage.h"
#include "pipeline/stages/avi_mux_stage.h"
#include "pipeline/stages/avi_splitter_stage.h"
#include "pipeline/stages/audio_decoder_stage.h"
#include "pipeline/stages/color_space_converter_stage.h"
#include "pipeline/stages/deinterlacer_stage.h"
#include "pipeline/stages/dv_video_decoder_stage.h"
#include "pipeline/stages/dv_video_encoder_stage.h"
#include "pipeline/stages/video_decoder_stage.h"
#include "pipeline/stages/dv_muxer_stage.h"
#include "pipeline/stages/dv_splitter_stage.h"
#include "pipeline/stages/file_source_stage.h"
#include "pipeline/stages/file_writer_stage.h"
#include "pipeline/stages/infinite_tee_stage.h"
#include "pipeline/stages/null_renderer_stage.h"
#include "pipeline/stages/sample_grabber_stage.h"
#include "pipeline/stages/scene_detect_stage.h"
#include "pipeline/stages/wav_dest_stage.h"

namespace moraven {

namespace {

template <typename T>
std::unique_ptr<Stage> make() {
    return std::make_unique<T>();
}

struct Entry {
    std::string_view name;
    std::unique_ptr<Stage> (*make)();
};

constexpr Entry kStages[] = {
    {FileSourceStage::kDisplayName, &make<FileSourceStage>},
    {AviSplitterStage::kDisplayName, &make<AviSplitterStage>},
    {AviMuxStage::kDisplayName, &make<AviMuxStage>},
    {DvSplitterStage::kDisplayName, &make<DvSplitterStage>},
    {DvMuxerStage::kDisplayName, &make<DvMuxerStage>},
    {FileWriterStage::kDisplayName, &make<FileWriterStage>},
    {WavDestStage::kDisplayName, &make<WavDestStage>},
    {AcmWrapperStage::kDisplayName, &make<AcmWrapperStage>},
    {InfiniteTeeStage::kDisplayName, &make<InfiniteTeeStage>},
    {NullRendererStage::kDisplayName, &make<NullRendererStage>},
    {SampleGrabberStage::kDisplayName, &make<SampleGrabberStage>},
    {Tdv_sceneDetect::kDisplayName, &make<Tdv_sceneDetect>},
    {DeinterlacerStage::kDisplayName, &make<DeinterlacerStage>},
    // The codec stages, on the codec module loaded when a run first needs it.
    {DvVideoDecoderStage::kDisplayName, &make<DvVideoDecoderStage>},
    {DvVideoEncoderStage::kDisplayName, &make<DvVideoEncoderStage>},
    {ColorSpaceConverterStage::kDisplayName, &make<ColorSpaceConverterStage>},
    {VideoDecoderStage::kDisplayName, &make<VideoDecoderStage>},
    {AudioDecoderStage::kDisplayName, &make<AudioDecoderStage>},
};

}  // namespace

std::unique_ptr<Stage> createStage(std::string_view displayName) {
    for (const Entry& entry : kStages) {
        if (entry.name == displayName) return entry.make();
    }
    return nullptr;
}

}  // namespace moraven
