#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pipeline/conversion/conversion_graphs.h"
#include "pipeline/graph/graph.h"
#include "pipeline/stages/acm_wrapper_stage.h"
#include "pipeline/stages/damaged_frames.h"
#include "pipeline/stages/dv_header_stage.h"
#include "pipeline/stages/dv_video_decoder_stage.h"
#include "pipeline/stages/scene_detect_stage.h"
#include "pipeline/stages/superposer_stage.h"
#include "pipeline/stages/file_source_stage.h"
#include "pipeline/stages/file_writer_stage.h"

// The conversion module: the one graph that writes new video and sound files, its builders and its run.
//
// Each builder starts from the same graph: the file source loads the input, the file writer names the output,
// every other stage of the previous conversion is taken out, and the builder adds fresh framework stages
// (splitters, muxers, sound adapters) and connects them. The program's own stages (scene detection and DV
// header) belong to the module and keep their settings from one run to the next.
//
// Builders answer false, with the reason in lastBuildError(), when the input cannot be read as an AVI file,
// when the graph's named cases fail (no stream, no DV stream, no sound), or when no stream reaches the output's
// multiplexer: a graph that would write an empty file is not built. A connection that fails on the sound side
// is no error: the output then has fewer sound streams.
//
// The stream-copy graphs built here use no codec: frames are copied, only the DV sound is (de)shuffled.
//
// Damaged frames (pipeline/stages/damaged_frames.h) never stop a run: the stages that meet one pass it on or
// replace it, and count it in one tally of the run, which ends the run's warnings with one note.
//
// Threads: the control thread only; the graph streams on its own thread while RunConversionGraph waits.
namespace moraven {

class TCdm final : public ConversionGraphs {
public:
    // `codecWorkers`: the threads of each DV decoder and encoder of the graphs that code pictures; 0: one per
    // hardware thread (at most 16).
    explicit TCdm(std::size_t codecWorkers = 0);
    ~TCdm() override;

    bool BuildType1Graph(const std::string& input, const std::string& output) override;
    bool BuildType2Graph(const std::string& input, const std::string& output) override;
    bool BuildRemuxGraph(const std::string& input, const std::string& output) override;
    bool BuildTimeShiftGraph(const std::string& input, const std::string& output) override;
    bool BuildAudioGraph(const std::string& input, const std::string& output) override;
    bool BuildNtscPalGraph(const std::string& input, const std::string& output, DvSystem system,
                           bool type1Source) override;
    bool BuildInlayGraph(const std::string& input, const std::string& output, DvSystem system,
                         bool type1Source) override;
    bool BuildRecompressGraph(const std::string& input, const std::string& output, DvSystem system,
                              int samplesPerSecond) override;
    std::string lastBuildError() const override { return m_buildError; }

    void setRestoreHeader(bool restore) override { m_dvHeader.RestoreHeader = restore; }
    void setHourShift(std::int32_t hours) override { m_dvHeader.SetHourShift(hours); }
    Tdv_Superposer& Superposer() override { return m_superposer; }

    ConversionResult RunConversionGraph(const std::function<bool(int percent)>& tick) override;

    // Takes every stage but the file source and the file writer out of the graph (the own stages too).
    void ResetConversionGraph();

    // The inlay codes again only the DV video segments its text touches (the DV video decoder decodes those
    // alone, the encoder puts its new segments into the source frame, every other byte of which is kept); off,
    // it decodes and codes whole pictures. On by default; frames of a layout without a segment map
    // (formats/dv_video_segments.h) are coded whole either way. Takes effect at the next BuildInlayGraph().
    void SetSegmentSplice(bool on) { m_segmentSplice = on; }
    bool SegmentSplice() const { return m_segmentSplice; }

    Tdv_sceneDetect& SceneDetect() { return m_sceneDetect; }
    Tdv_DVheader& DVHeader() { return m_dvHeader; }
    // What the progress reads: the multiplexer of the graph built last (the graph itself for sound
    // extraction); null when no graph is built.
    const Seeking* ConversionSeeking() const { return m_seeking; }
    // The state of the run, for whoever shows it (any thread): the input's duration read before the run,
    // the last percentage reported to the tick, and whether the run is over (completed, failed or
    // aborted; set by the graph's notice on its streaming thread). Cleared when a graph is built.
    MediaTime ConversionDuration() const { return MediaTime::fromTicks(m_conversionDuration.load()); }
    int ConversionProgress() const { return m_conversionProgress.load(); }
    bool ConversionDone() const { return m_conversionDone.load(); }

private:
    // The common start: the input loaded, the output named, the graph emptied, the AVI splitter connected to
    // the source. Returns the splitter, or nullptr (with the reason kept) when the input is no AVI file.
    Stage* begin(const std::string& input, const std::string& output);
    Stage& addNew(const char* displayName, const std::string& name);
    AcmWrapperStage& addAcm(const std::string& name);
    Stage& addDvEncoder(DvSystem system);
    std::unique_ptr<DvVideoDecoderStage> makeDvDecoder() const;
    // Sets both sound adapters to 32 kHz stereo when `soundSource` offers two sound streams.
    void prepareTwoPairs(const Stage& soundSource, AcmWrapperStage& acm1, AcmWrapperStage& acm2);
    enum class ReencodeKind { NtscPal, Inlay };
    // The graph shared by the standards conversion and the inlay, `middle` between decoder and encoder.
    bool buildReencodeGraph(Stage& splitter, const std::string& input, DvSystem system, bool type1Source,
                            Stage& middle, ReencodeKind kind);
    bool fail(std::string reason);
    // Connects `output` to the first free input of `target`; false when refused.
    bool connectToFree(Pin& output, Stage& target, const MediaType* partial = nullptr);
    // Connects the multiplexer to the file writer and publishes it for progress. False (with the reason)
    // when no stream reaches the multiplexer.
    bool finishWithMux(Stage& mux);
    // Connects the first of `outputs` that `input` accepts; false when none is.
    bool connectFirst(const std::vector<Pin*>& outputs, Pin& input);
    // Tries each free output of `splitter` into `adapter`, then the adapter into `target`'s input; true
    // when one chain was made.
    bool connectSoundThrough(Stage& splitter, Stage& adapter, Pin& target);
    // The stages' warnings of the run, then the one about its damaged frames.
    std::vector<std::string> runWarnings() const;

    Graph m_graph;
    FileSourceStage m_source;
    FileWriterStage m_destination;
    Tdv_sceneDetect m_sceneDetect;
    Tdv_DVheader m_dvHeader;
    Tdv_Superposer m_superposer;
    const Seeking* m_seeking = nullptr;
    std::atomic<std::int64_t> m_conversionDuration{0};
    std::atomic<int> m_conversionProgress{0};
    std::atomic<bool> m_conversionDone{false};
    // The damaged frames of the run, shared by every stage that counts them (pipeline/stages/damaged_frames.h).
    DamagedFrames m_damagedFrames;
    std::string m_buildError;
    bool m_segmentSplice = true;
    std::size_t m_codecWorkers = 0;
};

}  // namespace moraven
