#include "commands/scene_commands.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <exception>
#include <utility>
#include <vector>

#include "commands/background_job.h"
#include "commands/naming_commands.h"
#include "formats/date_format.h"
#include "formats/program_info.h"
#include "formats/replace_file.h"
#include "window/action_list.h"

namespace moraven {

namespace {

constexpr std::string_view kSceneTextSuffix = "_scn.txt";
constexpr std::string_view kRuleLine = "//--------------------------------------------------";
constexpr std::string_view kClosingDatePattern = "dddddd 'at' hh:mm:ss";

void replaceQuestion(const std::string& output, std::string_view shortQuestion, std::string& confirmMsg) {
    if (!pathExists(output)) return;
    confirmMsg = replaceExistingFileQuestion(output, shortQuestion);
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
    if (!m_open) return;
    m_text.append(line);
    m_text.append("\r\n");
}

bool SceneTextWriter::OpenScenes(const SceneVideo& video) {
    m_open = false;
    m_text.clear();
    m_error.clear();
    m_counter = 0;
    m_path = sceneTextPath(video.fullPath);
    // The list is written only at CloseScenes; what would refuse it is looked at now, before a whole file
    // is scanned for nothing: the folder must take a new file, and the name be free or a file's.
    const std::size_t slash = m_path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : m_path.substr(0, slash + 1);
    int error = 0;
    struct stat info {};
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        error = errno;
    } else if (::lstat(m_path.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) error = EISDIR;
    } else if (errno != ENOENT) {
        error = errno;
    }
    if (error != 0) {
        m_error = FileError(fileErrorCodeFor(error, FileErrorCode::WriteFailed), m_path, error).what();
        return false;
    }
    m_open = true;
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
    return true;
}

void SceneTextWriter::WriteScene(const TSceneInfo& scene) {
    if (!m_open) return;
    ++m_counter;
    writeLine(sceneListBodyLine(m_counter, scene));
}

void SceneTextWriter::CloseScenes() {
    if (!m_open) return;
    writeLine("");
    writeLine(kRuleLine);
    writeLine("// Terminated on " +
              formatDateTime(kClosingDatePattern, now ? now() : currentDateTime(), m_locale)
                  .value_or(std::string()));
    writeLine(std::string("// Visit my web site ") + kWebsiteAddress);
    writeLine("//");
    m_open = false;
    try {
        writeFileAtomically(m_path, m_text);
    } catch (const FileError& error) {
        m_error = error.what();
    }
    m_text.clear();
    m_text.shrink_to_fit();
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
    std::string failure;
    try {
        m_scenes.setDateFormat(m_context.settings.formatPourAfficherDatecode, m_context.locale);
        m_scenes.sceneStarts = m_context.showPreviewFrame;
        const SceneVideo video = sceneVideoOf(fichier);
        SceneScanResult result;
        // The scan reads the whole file: it runs beside the window, which shows its progress and passes
        // Esc on to it (the scan then ends without a final scene; what was written stays).
        runInBackground(
            [&](const std::atomic<bool>& abort) { result = m_scenes.ScanScenes(video, *writer, abort); },
            [this] { return progressPercent(m_scenes.scanPosition(), m_scenes.scanDuration()); },
            m_context.waitForWork);
        // The writer's own failure first (the output is what the user asked for), then the scan's.
        failure = writerError(writer);
        if (failure.empty() &&
            (result.outcome == SceneScanOutcome::NotLoaded || result.outcome == SceneScanOutcome::Failed)) {
            failure = result.message.empty() ? "Cannot scan the scenes of " + video.fullPath : result.message;
        }
    } catch (const std::exception& error) {
        // The writer was closed; the command ends for this file.
        failure = error.what();
    }
    // The window ends the command for this file without a message; hidden mode tells why.
    if (!failure.empty() && m_context.reportFailure) m_context.reportFailure(failure);
}

std::string SceneCommands::writerError(const TSceneWriter* writer) const {
    if (writer == &m_fileWriter) return m_fileWriter.lastError();
    if (writer == &m_textWriter) return m_textWriter.lastError();
    return {};
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
