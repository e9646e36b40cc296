#include "app/scenes_command.h"

#include <atomic>
#include <cstdio>
#include <new>
#include <string>

#include "app/info_command.h"
#include "commands/scene_commands.h"
#include "formats/avi_demuxer.h"
#include "formats/avi_fichier.h"
#include "formats/binary_file.h"
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
        if (m_counter == 0) writeLine("// ***   " + printableBytes(m_path) + "   ***", m_out);
        writeLine(sceneListBodyLine(++m_counter, scene), m_out);
    }

    void CloseScenes() override {}

private:
    std::string m_name = "ScenesLines";
    std::FILE* m_out;
    std::string m_path;
    std::int32_t m_counter = 0;
};

}  // namespace

int runScenesCommand(const std::vector<std::string>& paths, const std::string& datePattern,
                     const DateFormatLocale& locale, std::FILE* out, std::FILE* err) {
    int status = 0;
    TdmScenes scenes(datePattern, locale);
    const std::atomic<bool> neverAbort{false};
    for (const auto& path : paths) {
        try {
            // The file is opened and indexed once: the record and the scan share the demuxer. A file that
            // cannot be opened is told with the reason, before any line of it is printed.
            const AviDemuxer demuxer(path);
            SceneLinePrinter printer(out);
            // The frame rate, first datecode and timecode that the list shows for the file.
            const TAfficherFichier record(path, FileRecordOptions{}, demuxer);
            SceneVideo video;
            video.fullPath = record.FullPath();
            video.datecode = record.Datecode();
            video.timecodeText = record.TimecodeText();
            video.fps = record.Fps();
            const SceneScanResult result = scenes.ScanScenes(video, demuxer, printer, neverAbort);
            switch (result.outcome) {
                case SceneScanOutcome::Completed:
                case SceneScanOutcome::Empty:  // no frame, no scene
                    break;
                default:
                    tell(err, result.message.empty() ? path + " could not be scanned" : result.message);
                    status = 1;
                    break;
            }
        } catch (const FileError& error) {
            tell(err, error.what());
            status = 1;
        } catch (const std::bad_alloc&) {
            tell(err, path + ": not enough memory to read the file");
            status = 1;
        }
    }
    if (std::fflush(out) != 0 || std::ferror(out)) {
        tell(err, "cannot write the scenes to standard output");
        status = 1;
    }
    return status;
}

}  // namespace moraven
