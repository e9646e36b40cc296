#include "app/scenes_command.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <string>

#include "formats/binary_file.h"
#include "formats/list_scan.h"
#include "formats/scene_scan.h"

namespace moraven {

namespace {

void tell(std::FILE* err, const std::string& message) { std::fprintf(err, "moraven: %s\n", message.c_str()); }

void writeLine(const std::string& line, std::FILE* out) {
    std::fwrite(line.data(), 1, line.size(), out);
    std::fputc('\n', out);
}

// Prints each scene as a body line of the scene list, numbered from 1 for each file.
class SceneLinePrinter final : public TSceneWriter {
public:
    explicit SceneLinePrinter(std::FILE* out) : m_out(out) {}

    const std::string& name() const override { return m_name; }

    bool OpenScenes(const SceneVideo& video) override {
        m_counter = 0;
        m_path = video.fullPath;
        return true;
    }

    // The file's line comes with its first scene, so a file that cannot be scanned prints nothing.
    void WriteScene(const TSceneInfo& scene) override {
        if (m_counter == 0) writeLine("// ***   " + m_path + "   ***", m_out);
        writeLine(sceneListBodyLine(++m_counter, scene), m_out);
    }

    void CloseScenes() override {}

private:
    std::string m_name = "ScenesLines";
    std::FILE* m_out;
    std::string m_path;
    std::int32_t m_counter = 0;
};

double roundHalfToEven(double value) {
    const double below = std::floor(value);
    const double fraction = value - below;
    if (fraction != 0.5) return std::round(value);
    return std::fmod(below, 2.0) == 0.0 ? below : below + 1.0;
}

// What the scan takes from the file's record: the frame rate shown for the file (DV files with a DV
// information block: the system's rate from its VAUX source word; others: frames per second to two
// decimals from the frame duration), the first frame's datecode and the timecode text.
SceneVideo sceneVideoOf(const std::string& path) {
    SceneVideo video;
    video.fullPath = path;
    video.timecodeText = "N/A";
    TListScanResult scan;
    ScanFile(path, scan);
    if (scan.HasVideoFormat && scan.videoFrameDuration().ticks() > 0) {
        video.fps = roundHalfToEven(1e9 / static_cast<double>(scan.videoFrameDuration().ticks())) / 100.0;
    }
    if (scan.HasDvInfo) {
        constexpr std::uint32_t kFiftyFieldsFlag = 0x00200000;  // the 50/60 bit of the VAUX source pack
        video.fps = (scan.dvInfoVauxSource() & kFiftyFieldsFlag) != 0 ? 25.0 : 30000.0 / 1001.0;
    }
    if (scan.Dv.HasDate) video.datecode = scan.Dv.RecordedAt;
    if (scan.Dv.HasTimecode) {
        char text[32];
        const TDvTimecode& tc = scan.Dv.Timecode;
        std::snprintf(text, sizeof text, "%.2d.%.2d.%.2d.%.2d", tc.hours, tc.minutes, tc.seconds, tc.frames);
        video.timecodeText = text;
    }
    return video;
}

}  // namespace

int runScenesCommand(const std::vector<std::string>& paths, const std::string& datePattern,
                     const DateFormatLocale& locale, std::FILE* out, std::FILE* err) {
    int status = 0;
    TdmScenes scenes(datePattern, locale);
    const std::atomic<bool> neverAbort{false};
    for (const auto& path : paths) {
        try {
            // A file that cannot be opened is told with the reason, before any line of it is printed.
            const BinaryFile probe(path, BinaryFile::Mode::Read);
        } catch (const FileError& error) {
            tell(err, error.what());
            status = 1;
            continue;
        }
        SceneLinePrinter printer(out);
        const SceneScanResult result = scenes.ScanScenes(sceneVideoOf(path), printer, neverAbort);
        switch (result.outcome) {
            case SceneScanOutcome::Completed:
            case SceneScanOutcome::Empty:  // no frame, no scene
                break;
            default:
                tell(err, result.message.empty() ? path + " could not be scanned" : result.message);
                status = 1;
                break;
        }
    }
    if (std::fflush(out) != 0 || std::ferror(out)) {
        tell(err, "cannot write the scenes to standard output");
        status = 1;
    }
    return status;
}

}  // namespace moraven
