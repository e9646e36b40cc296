#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "formats/byte_order.h"
#include "formats/date_format.h"
#include "formats/date_time.h"

// The scene scan: every frame of a video is looked at in order, and the video is cut into scenes wherever
// the recording date and time of sequence 0 jumps by more than 2 seconds. Each scene goes to a scene writer
// (the ".scn" file of scene_file.h, the "_scn.txt" list, or the lines of `moraven --scenes`).
//
// The scan reads only the first 480 bytes of each frame, with one positioned read each, through the AVI
// demuxer's index: the timecode and date packs of sequence 0 that the scan reads lie within them.
namespace moraven {

class AviDemuxer;

// One scene handed to a scene writer.
struct TSceneInfo {
    std::int32_t StartFrame = 0;  // first frame, 0-based
    std::int32_t EndFrame = 0;    // last frame
    std::string DatecodeText;     // the scene's recording date-time formatted for display, or empty
    std::string TimecodeText;     // the timecode of its first frame as "hh.mm.ss.ff", or empty
    std::string StartText;        // FrameToText(StartFrame)
    std::string EndText;          // FrameToText(EndFrame)
    std::string DurationText;     // FrameToText(EndFrame - StartFrame)

    friend bool operator==(const TSceneInfo&, const TSceneInfo&) = default;
};

// The running time of frame `frame` at `fps` frames per second, as "hh.mm.ss.ff": s = frame / fps
// truncated toward zero, ff = frame - s × fps rounded to the nearest integer with halves to even. A frame
// rate of 0 (or one that is not a positive number) gives "0:00:00:00".
std::string FrameToText(std::int64_t frame, double fps);

// The body line of a scene list for the `counter`-th scene: two blanks, the counter, then the start, end,
// datecode, timecode and duration texts, each after a comma ("  3,00.01.12.05,00.02.40.19,...").
std::string sceneListBodyLine(std::int32_t counter, const TSceneInfo& scene);

// What the scan takes from the video's file record.
struct SceneVideo {
    std::string fullPath;
    double fps = 0.0;          // the frame rate shown for the file; 0 when unknown
    DateTime datecode;         // recording date-time of the first frame; 0 when it has none
    std::string timecodeText;  // as the record shows it: "hh.mm.ss.ff", "N/A", "-" or empty
};

// Receives the scenes of one scan: OpenScenes once, WriteScene per scene, CloseScenes once at the end in
// every case (also after a failed OpenScenes, so CloseScenes must do nothing when nothing is open).
// WriteScene is called on the thread that runs the scan.
class TSceneWriter {
public:
    virtual ~TSceneWriter() = default;
    virtual const std::string& name() const = 0;  // at most 255 characters
    virtual bool OpenScenes(const SceneVideo& video) = 0;
    virtual void WriteScene(const TSceneInfo& scene) = 0;
    virtual void CloseScenes() = 0;
};

// The frame callback of the scan and the scene being collected, for one file. A media graph calls frame()
// for every sample and finish() at completion; ScanScenes does the same over the demuxer.
//
// `graphPosition` is the scan graph's current position in frames as the graph reports it while the frame
// is examined: the last frame that has left the graph, that is the frame before this one (0 for the first
// frame). At completion it is the position of the last frame.
class SceneCutter {
public:
    // `previousDate` is the date of the previous frame, kept by the caller from one file to the next. The
    // writer, `locale` and `previousDate` must outlive the cutter.
    SceneCutter(TSceneWriter& writer, const SceneVideo& video, std::string datePattern,
                const DateFormatLocale& locale, DateTime& previousDate);

    // One sample: its timecode and date are read from sequence 0 only (a sample shorter than one DV frame
    // holds neither: its date counts as 0). A date that is no real calendar date ends the call for this
    // sample. A date more than 2 seconds from the previous frame's (either way) is a break: the scene being
    // collected ends at `graphPosition` and is written when it spans more than 12 frames (end - start
    // compared as unsigned 32-bit numbers); a shorter stretch stays in the scene being collected. Anything
    // thrown by the writer is swallowed and ends the call for this sample.
    void frame(Bytes sample, std::int64_t graphPosition);

    // The final scene: from the start of the scene being collected to `graphPosition`, whatever its length.
    void finish(std::int64_t graphPosition);

    // Called at each break with the frame after `graphPosition` (the first of the new scene, whether or not
    // the scene before was long enough to be written), and at the finish with the frame after the last: for
    // the player to show where the scan is. On the scanning thread; may be empty.
    std::function<void(std::int64_t frame)> onSceneStart;

private:
    TSceneInfo makeScene(std::int32_t endFrame, const std::string& endText) const;

    TSceneWriter& m_writer;
    double m_fps;
    std::string m_datePattern;
    const DateFormatLocale& m_locale;
    DateTime& m_previousDate;
    std::int32_t m_startFrame = 0;
    std::string m_startText;
    DateTime m_sceneDate;
    std::string m_sceneTimecodeText;
};

enum class SceneScanOutcome {
    Completed,  // every frame was scanned and the final scene written
    Aborted,    // the abort flag was seen between two frames: no final scene
    NotOpened,  // the writer's OpenScenes failed: nothing was scanned
    NotLoaded,  // the file could not be opened or is not an AVI file with a stream
    Empty,      // the first stream has no frame: nothing was scanned
    Failed,     // a frame could not be read, or the writer failed: the scan stopped without a final scene
};

struct SceneScanResult {
    SceneScanOutcome outcome = SceneScanOutcome::NotLoaded;
    std::string message;             // why, for NotLoaded and Failed
    std::int64_t framesScanned = 0;  // frames handed to the frame callback
    std::uint64_t bytesRead = 0;     // read from the file: its headers and index, and each frame's prefix
};

// The scene scan module: the date format of the scenes' datecode texts, the date of the last frame seen
// (kept from one scan to the next), and the progress of the running scan.
//
// Threads: ScanScenes runs on the caller's thread; another thread may read the progress and set the abort
// flag meanwhile.
class TdmScenes {
public:
    // `datePattern` is the setting "Format pour Afficher Datecode"; `locale` gives its names and forms.
    TdmScenes(std::string datePattern, DateFormatLocale locale);

    void setDateFormat(std::string datePattern, DateFormatLocale locale);

    // Scans the first stream of the AVI file `video.fullPath` (the video of a DV type 2 file, the
    // interleaved stream of a type 1 file) with `writer`: OpenScenes, the frame callback for each frame in
    // order (the abort flag is tested before each), the final scene, and CloseScenes in every case.
    // The scene being collected starts at frame 0 with the record's datecode and timecode text. Never
    // throws for the file's sake.
    SceneScanResult ScanScenes(const SceneVideo& video, TSceneWriter& writer,
                               const std::atomic<bool>& abortRequested);
    // The same over `demuxer`, which the caller opened on `video.fullPath` (and may have used to build the
    // record): the file is not opened or indexed again. `bytesRead` of the result is then the demuxer's
    // count, its earlier reads included.
    SceneScanResult ScanScenes(const SceneVideo& video, const AviDemuxer& demuxer, TSceneWriter& writer,
                               const std::atomic<bool>& abortRequested);

    // Handed to each scan's SceneCutter::onSceneStart (the player shows each scene as it is found); called on
    // the thread that runs ScanScenes. Set it between scans.
    std::function<void(std::int64_t frame)> sceneStarts;

    // The recording date of the last frame that the frame callback kept (0 at first).
    DateTime previousDate() const { return m_previousDate; }

    // Progress of the running scan, in frames, for another thread to show.
    std::int64_t scanPosition() const { return m_position.load(std::memory_order_relaxed); }
    std::int64_t scanDuration() const { return m_duration.load(std::memory_order_relaxed); }

private:
    SceneScanResult scan(const SceneVideo& video, const AviDemuxer* demuxer, TSceneWriter& writer,
                         const std::atomic<bool>& abortRequested);
    void scanFrames(const AviDemuxer& demuxer, SceneCutter& cutter, const std::atomic<bool>& abortRequested,
                    SceneScanResult& result);

    std::string m_datePattern;
    DateFormatLocale m_locale;
    DateTime m_previousDate;
    std::atomic<std::int64_t> m_position{0};
    std::atomic<std::int64_t> m_duration{0};
};

}  // namespace moraven
