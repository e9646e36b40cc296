#include "commands/scene_commands.h"

#include <atomic>
#include <exception>
#include <utility>
#include <vector>

#include "commands/background_job.h"
#include "commands/naming_commands.h"
#include "formats/date_format.h"
#include "formats/program_info.h"
#include "window/action_list.h"

namespace moraven {

namespace {

constexpr std::string_view kSceneTextSuffix = "_scn.txt";
constexpr std::string_view kRuleLine = "//--------------------------------------------------";
constexpr std::string_view kClosingDatePattern = "dddddd 'at' hh:mm:ss";

void replaceQuestion(const std::string& output, std::string_view shortQuestion, std::string& confirmMsg) {
    if (!pathExists(output)) return;
    confirmMsg = firstShortEnoughQuestion(
        {"Do you want to replace the existing file " + output + " ?", std::string(shortQuestion)});
}

}  // namespace

SceneVideo sceneVideoOf(const ListRecord& fichier) {
    SceneVideo video;
    video.fullPath = fichier.fullPath();
    video.datecode = fichier.datecode();
    video.timecodeText = fichier.timecodeText();
    video.fps = fichier.fps();
    return video;
}

std::string replaceExtension(const std::string& path, std::string_view suffix) {
    const std::size_t slash = path.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = path.rfind('.');
    const std::size_t end = dot == std::string::npos || dot < nameStart ? path.size() : dot;
    return path.substr(0, end) + std::string(suffix);
}

std::string sceneTextPath(const std::string& videoPath) {
    return replaceExtension(videoPath, kSceneTextSuffix);
}

SceneTextWriter::SceneTextWriter(DateFormatLocale locale)
    : now(currentDateTime), m_name("ScenesText"), m_locale(std::move(locale)) {}

void SceneTextWriter::writeLine(std::string_view line) {
    if (!m_file.is_open() || !m_file.good()) return;
    m_file.write(line.data(), static_cast<std::streamsize>(line.size()));
    m_file.write("\r\n", 2);
    m_file.flush();
}

bool SceneTextWriter::OpenScenes(const SceneVideo& video) {
    if (m_file.is_open()) m_file.close();
    m_file.clear();
    m_counter = 0;
    m_file.open(sceneTextPath(video.fullPath), std::ios::binary | std::ios::out | std::ios::trunc);
    if (!m_file.is_open()) return false;
    const std::vector<std::string> header{
        std::string(kRuleLine),
        "// List of scenes of the video file:",
        "//",
        "// ***   " + asciiLower(video.fullPath) + "   ***",
        "//",
        std::string("// exported by ") + kProgramName + " version " + kProgramVersion + " En",
        "// with format:",
        "// scene number, start, end, datecode, timecode, duration",
        "//",
        std::string(kRuleLine),
        "",
    };
    for (const std::string& line : header) writeLine(line);
    if (!m_file.good()) {
        m_file.close();
        return false;
    }
    return true;
}

void SceneTextWriter::WriteScene(const TSceneInfo& scene) {
    if (!m_file.is_open()) return;
    ++m_counter;
    writeLine(sceneListBodyLine(m_counter, scene));
}

void SceneTextWriter::CloseScenes() {
    if (!m_file.is_open()) return;
    writeLine("");
    writeLine(kRuleLine);
    writeLine("// Terminated on " +
              formatDateTime(kClosingDatePattern, now ? now() : currentDateTime(), m_locale)
                  .value_or(std::string()));
    writeLine(std::string("// Visit my web site ") + kWebsiteAddress);
    writeLine("//");
    m_file.close();
}

SceneCommands::SceneCommands(const CommandContext& context)
    : m_context(context),
      m_scenes(context.settings.formatPourAfficherDatecode, context.locale),
      m_textWriter(context.locale) {}

TParam SceneCommands::CreerScenesParam() { return TParam{"CreerScenes", SceneWriterParam{&m_fileWriter}}; }

TParam SceneCommands::ScenesTextParam() { return TParam{"ScenesText", SceneWriterParam{&m_textWriter}}; }

void SceneCommands::CreerScenesConfirmation(const TParam&, const ListRecord& fichier,
                                            std::string& confirmMsg) const {
    replaceQuestion(sceneFilePath(fichier.fullPath()), "Do you want to replace the existing scn-file ?",
                    confirmMsg);
}

void SceneCommands::ScenesTextConfirmation(const TParam&, const ListRecord& fichier,
                                           std::string& confirmMsg) const {
    replaceQuestion(sceneTextPath(fichier.fullPath()), "Do you want to replace the existing file ?",
                    confirmMsg);
}

void SceneCommands::CreerScenesExecution(const TParam& param, const ListRecord& fichier,
                                         std::string& newfichier, TchUpdateType& update) {
    update = TchUpdateType::utModify;
    newfichier = fichier.fullPath();
    TSceneWriter* writer = sceneWriterOf(param);
    if (!writer) return;
    try {
        m_scenes.setDateFormat(m_context.settings.formatPourAfficherDatecode, m_context.locale);
        const SceneVideo video = sceneVideoOf(fichier);
        // The scan reads the whole file: it runs beside the window, which shows its progress and passes
        // Esc on to it (the scan then ends without a final scene; what was written stays).
        runInBackground([&](const std::atomic<bool>& abort) { m_scenes.ScanScenes(video, *writer, abort); },
                        [this] { return progressPercent(m_scenes.scanPosition(), m_scenes.scanDuration()); },
                        m_context.waitForWork);
    } catch (const std::exception&) {
        // A failed scan ends the command for this file without a message; the writer was closed.
    }
}

void SceneCommands::SupprimerScenesFileCondition(const TParam&, const ListRecord& fichier, bool&,
                                                 bool& enabled) const {
    enabled = fileExists(sceneFilePath(fichier.fullPath()));
}

void SceneCommands::SupprimerScenesConfirmation(const TParam&, const ListRecord& fichier,
                                                std::string& confirmMsg) const {
    const std::string scene = sceneFilePath(fichier.fullPath());
    confirmMsg =
        firstShortEnoughQuestion({"Do you really want to move the file " + scene + " to the recycle bin?",
                                  "Do you really want to move this scn-file to the recycle bin?"});
}

void SceneCommands::SupprimerScenesExecution(const TParam&, const ListRecord& fichier,
                                             std::string& newfichier, TchUpdateType& update) const {
    const std::string scene = sceneFilePath(fichier.fullPath());
    if (m_context.MoveToRecycleBin && m_context.MoveToRecycleBin(scene)) {
        newfichier = fichier.fullPath();
        update = TchUpdateType::utModify;
        return;
    }
    if (m_context.showError) {
        m_context.showError("Impossible to delete " + scene +
                            "\r\nThe file may be presently in use or may be read only");
    }
    update = TchUpdateType::utNone;
}

}  // namespace moraven
