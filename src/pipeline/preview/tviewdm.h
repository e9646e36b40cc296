#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "pipeline/graph/graph.h"
#include "pipeline/media_framework.h"
#include "pipeline/preview/audio_renderer_stage.h"
#include "pipeline/preview/media_sinks.h"
#include "pipeline/preview/video_renderer_stage.h"
#include "pipeline/stages/file_source_stage.h"
#include "pipeline/stages/scene_detect_stage.h"
#include "pipeline/stages/superposer_stage.h"

// The preview: the graph that plays the list's current file in the information panel's player, and the
// seeking the player's buttons and keys use.
//
// A DV file plays through the program's own scene detection ("scenedetect") and inlay ("superposer") stages,
// which live as long as the preview, so that the inlay keeps its settings from file to file and the panel
// reads the frame on show (SceneDetect().analysis().ShownEntry()) while the picture plays. Any other AVI is
// rendered through the codec stages it needs ("Video Decoder", "Audio Decoder"). Pictures end in a "Video
// Renderer" on the VideoSink, sound in an "Audio Renderer" on the AudioOutput; while sound plays, the sound
// device's clock paces the pictures, else the system clock does.
//
// When a file cannot be shown, PreviewStatus() holds the code the panel explains (PreviewStatusCode), and
// LoadPreview() answers which mode the panel is to show. Failures never throw.
//
// Positions: in frames while a picture is shown, in 100 ns units for sound only (timeFormat()).
//
// Threads: every member on the control (user-interface) thread, except the readers of the scene detection's
// ring. No member waits for the streaming thread, except Stop(), the builders and WaitUntilPaused(); the
// notices come on the streaming thread: the handler marshals them. `videoSink`,
// `audioOutput` and `framework` (null: the codec module, loaded on first use) must outlive the preview. The
// framework converts the pictures for the sink; the graph's decoders always use the codec module.
namespace moraven {

// The codes of the last step reached; what the panel says about each.
enum PreviewStatusCode : int {
    kPreviewFileNotFound = 1,       // before the file was loaded
    kPreviewNonStandardDv = 2,      // the DV picture chain was tried: suggest the codec code "dvsd"
    kPreviewAudioOnly = 3,          // only sound streams and a record without picture
    kPreviewNotAnAvi = 4,           // the source was connected to the splitter: no correct AVI file
    kPreviewNoDecoderSound = 5,     // the picture cannot be decoded, the sound plays
    kPreviewNoDecoderUnknownAudio = 6,  // neither picture nor sound, the record knows the sound's format
    kPreviewNoDecoder = 7,          // neither picture nor sound
    kPreviewInterrupted = 8,        // no file ("N/A"), or suspended while a command works on the file
};

// What the caller knows of the file from its record (the pipeline does not read the list's records).
struct PreviewRecord {
    std::string path;         // "N/A" when there is none
    bool isDv = false;        // the record's DV flag
    bool hasPicture = false;  // its image text is not "N/A"
    bool soundKnown = false;  // its audio text is not "N/A"
    double frameRate = 0;     // frames a second; 0 when unknown
};

enum class PreviewMode { Video, Audio, Message };

// What LoadPreview() asks the panel to show: the mode and, for audio and message modes, the message number.
// frameRateCleared: no picture reached the renderer of a file that is not DV, so the panel's frame rate is 0
// (positions in 100 ns).
struct PreviewShow {
    PreviewMode mode = PreviewMode::Message;
    int message = 0;
    bool frameRateCleared = false;
};

class Tviewdm {
public:
    Tviewdm(VideoSink& videoSink, AudioOutput& audioOutput, const MediaFramework* framework = nullptr);
    ~Tviewdm();
    Tviewdm(const Tviewdm&) = delete;
    Tviewdm& operator=(const Tviewdm&) = delete;

    // Builds the graph for `record` and shows its first frame paused, at the linear volume `volume` (0 when
    // the user muted the sound). True when a picture or sound plays; LastShow() says what the panel shows.
    bool LoadPreview(const PreviewRecord& record, int volume);
    const PreviewShow& LastShow() const { return m_show; }

    // The builders (LoadPreview uses them): false with PreviewStatus() at the step reached.
    bool BuildDvPreview(const std::string& path);
    bool BuildPlainPreview(const std::string& path);
    // Stops and empties the graph, own stages included; the file is released and the picture cleared.
    void ResetPreviewGraph();

    int PreviewStatus() const { return m_status; }
    bool VideoConnected() const { return m_videoConnected; }
    bool AudioConnected() const { return m_audioConnected; }
    bool VideoInterrupted() const { return m_videoInterrupted; }

    // Moves, without waiting (the Paused notice follows when paused). Position() is the target at once.
    // Moves by `delta` (100 ns, signed), kept within 0 and the duration; the time format stays as it was.
    // While pictures are shown the move lands on the nearest frame's start, at most the last frame's.
    bool SeekBy(std::int64_t delta);
    // Moves to `position` in the current time format (in frames, at most the last frame: the duration itself
    // shows the last picture); answers the track bar's value (0..1000: 1000 × position ÷ duration, rounded)
    // when the duration is above 0.
    std::optional<int> SeekToFrame(std::int64_t position);
    // Sets the position without touching the track bar (the player's slider).
    bool SetPosition(std::int64_t position);

    // A command is about to rewrite the file: the graph is emptied and the file released until EndSuspend().
    void SuspendPreview();
    void EndSuspend() { m_videoInterrupted = false; }
    // Pauses unless paused already; true when it paused (the play action's caption becomes "Play").
    bool PauseAtPosition();

    // Run, pause, stop. Run after the end of the file hands the graph-complete notice to its handler instead.
    // Run and Pause return at once and keep the graph, its sound device and codecs; Stop releases them.
    void Run();
    void Pause();
    void Stop();
    // Paused: shows the frame on screen again, through every stage (after an inlay change).
    void Redraw();
    GraphState State() const { return m_graph.state(); }

    // The threads of the DV video decoder from the next load on; 0 (the default): one per hardware thread, at
    // most 16.
    void SetCodecWorkers(std::size_t workers) { m_codecWorkers = workers; }

    // Linear 0 (silent) .. 10000 (full), clamped.
    void SetVolume(int level);
    int Volume() const { return m_volume; }

    TimeFormat timeFormat() const { return m_graph.timeFormat(); }
    std::int64_t Duration() const { return m_graph.durationInFormat(); }
    std::int64_t Position() const { return m_graph.positionInFormat(); }
    // Whether the pictures follow the sound device's clock (sound plays), else the system clock.
    bool PlaysOnSoundClock() const;

    // The results of what was asked, on the streaming thread (the caller marshals them; set while stopped):
    // Paused when the frame of a load, a pause, a step or a seek is shown paused (a notice may come for an
    // earlier request after a newer one was made); Complete when the file has played to its end (or Run()
    // was asked at the end); Failed when a stage failed (the graph has ended: Stop() it; error() says why).
    void setNoticeHandler(std::function<void(GraphNotice)> handler);
    // Waits until the graph has paused with each renderer's first sample shown since the last load, pause or
    // seek, or `timeout` passed; true when it did. For tests and tools: the window takes the notices.
    bool WaitUntilPaused(std::chrono::milliseconds timeout);
    std::string Error() const { return m_graph.error(); }

    Tdv_Superposer& Superposer() { return m_superposer; }
    Tdv_sceneDetect& SceneDetect() { return m_sceneDetect; }
    Graph& PreviewGraph() { return m_graph; }

private:
    bool fail(int status);
    Stage& addNew(const char* displayName);
    std::unique_ptr<Stage> makeDvDecoder() const;
    // Renders `output` into the video or the audio renderer through the codec stages; sets the flags.
    bool renderOutput(Pin& output);
    bool moveTo(std::int64_t position);
    // The last frame's number (frames format): the duration in frames less one, at least 0.
    std::int64_t lastShownFrame() const;
    void onNotice(GraphNotice notice);
    void handOn(GraphNotice notice);
    void markUnpaused();

    VideoSink& m_videoSink;
    AudioOutput& m_audioOutput;
    Graph m_graph;
    FileSourceStage m_source;
    Tdv_sceneDetect m_sceneDetect;
    Tdv_Superposer m_superposer{m_sceneDetect};
    VideoRendererStage m_videoRenderer;
    AudioRendererStage m_audioRenderer;

    int m_status = 0;
    bool m_videoConnected = false;
    bool m_audioConnected = false;
    bool m_videoInterrupted = false;
    int m_volume = 10000;
    std::size_t m_codecWorkers = 0;
    PreviewShow m_show;

    std::mutex m_noticeMutex;
    std::condition_variable m_noticeWake;
    bool m_pausedShown = false;                 // under m_noticeMutex
    std::function<void(GraphNotice)> m_noticeHandler;  // set while stopped
    std::atomic<bool> m_completeWhilePaused{false};
};

}  // namespace moraven
