#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "commands/command_context.h"
#include "commands/file_action.h"
#include "formats/date_format.h"
#include "formats/scene_file.h"
#include "formats/scene_scan.h"

namespace moraven {

// `path` with the extension of its file name (from the last "." on) replaced by `suffix`; the suffix is
// appended when the name has no extension.
std::string replaceExtension(const std::string& path, std::string_view suffix);

// The scene list of a video as text: the file's path with its extension replaced by "_scn.txt", plain
// 8-bit text with CR LF line ends: eleven header lines, one line per scene, five closing lines.
//
// The lines are kept in memory (some 60 bytes a scene) and CloseScenes puts the whole list in place at once
// through a temporary file renamed over the old list (writeFileAtomically): a symbolic link under the
// list's name is replaced, never followed, and an old list stays whole until the new one is complete.
// OpenScenes fails, with lastError() saying why, when the list's folder cannot take a new file or the name
// is refused (too long, a folder in the way); CloseScenes then does nothing. A list that cannot be put in
// place at CloseScenes leaves lastError() set and no temporary file behind.
class SceneTextWriter final : public TSceneWriter {
public:
    // `locale` gives the names of the closing date.
    explicit SceneTextWriter(DateFormatLocale locale = englishDateFormatLocale());

    const std::string& name() const override { return m_name; }
    bool OpenScenes(const SceneVideo& video) override;
    void WriteScene(const TSceneInfo& scene) override;
    void CloseScenes() override;

    // Why OpenScenes or the writing at CloseScenes failed; empty when nothing failed since OpenScenes.
    const std::string& lastError() const { return m_error; }

    // The local date and time written in the closing lines; the current one unless replaced.
    std::function<DateTime()> now;

private:
    void writeLine(std::string_view line);

    std::string m_name;
    DateFormatLocale m_locale;
    std::string m_path;
    std::string m_text;  // the lines written since OpenScenes
    bool m_open = false;
    std::string m_error;
    std::int32_t m_counter = 0;
};

// The handlers of the scene commands CreerScenes and ScenesText, and the scene scan module that they run.
// The parameters of both commands point at the writers held here, so the object must outlive the commands
// and the copies of their parameters. Window thread only.
class SceneCommands {
public:
    explicit SceneCommands(const CommandContext& context);
    SceneCommands(const SceneCommands&) = delete;
    SceneCommands& operator=(const SceneCommands&) = delete;

    // The parameters: the name of the command and its scene writer (the scene file writer, the scene list
    // writer), which the scan writes to.
    TParam CreerScenesParam();
    TParam ScenesTextParam();

    // The replace question, when the scene file or the scene list of the file exists.
    void CreerScenesConfirmation(const TParam& param, const ListRecord& fichier,
                                 std::string& confirmMsg) const;
    void ScenesTextConfirmation(const TParam& param, const ListRecord& fichier,
                                std::string& confirmMsg) const;

    // The scan of the file with the scene writer of the parameter; the entry is read again afterwards
    // (utModify with the file's own path) whatever happened, also for a parameter without a writer. A scan
    // or an output that failed is reported through CommandContext::reportFailure (the window says nothing).
    void CreerScenesExecution(const TParam& param, const ListRecord& fichier, std::string& newfichier,
                              TchUpdateType& update);

    // SupprimerScenes: enabled when the file's scene file exists; the question; the move of the scene file
    // into the trash (utModify when it went there; else the error box and utNone).
    void SupprimerScenesFileCondition(const TParam& param, const ListRecord& fichier, bool& visible,
                                      bool& enabled) const;
    void SupprimerScenesConfirmation(const TParam& param, const ListRecord& fichier,
                                     std::string& confirmMsg) const;
    void SupprimerScenesExecution(const TParam& param, const ListRecord& fichier, std::string& newfichier,
                                  TchUpdateType& update) const;

    SceneTextWriter& textWriter() { return m_textWriter; }

private:
    // What the writer of a parameter last reported as failed; empty for another writer.
    std::string writerError(const TSceneWriter* writer) const;

    const CommandContext& m_context;
    TdmScenes m_scenes;
    SceneFileWriter m_fileWriter;
    SceneTextWriter m_textWriter;
};

// What a scene scan takes from a listed file: its path, frame rate, first datecode and timecode text.
SceneVideo sceneVideoOf(const ListRecord& fichier);

// The path of the scene list of a video: its extension replaced by "_scn.txt", in the video's folder.
std::string sceneTextPath(const std::string& videoPath);

}  // namespace moraven
