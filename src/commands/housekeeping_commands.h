#pragma once

#include <string>

#include "commands/command_context.h"
#include "commands/file_action.h"
#include "window/action_list.h"

namespace moraven {

// The handlers of the commands that act on a listed file without writing video: take it off the list, move
// it to the trash, open its folder, play it with the desktop's player, hand it to an external program, show
// its RIFF structure. None changes the file; only the first two change the list.
class HousekeepingCommands {
public:
    explicit HousekeepingCommands(const CommandContext& context) : m_context(context) {}

    // oterfichier: the entry leaves the list; the file stays on disk.
    void OterFichierExecution(const TParam& param, const ListRecord& fichier, std::string& newfichier,
                              TchUpdateType& update) const;

    // SupprimerFichier: offered for files that are not read-only; asks, then moves the file to the trash
    // (its scene file stays). A file that cannot be moved stays listed, and the error box names it.
    void SupprimerFichierFileCondition(const TParam& param, const ListRecord& fichier, bool& visible,
                                       bool& enabled) const;
    void SupprimerFichierConfirmation(const TParam& param, const ListRecord& fichier,
                                      std::string& confirmMsg) const;
    void SupprimerFichierExecution(const TParam& param, const ListRecord& fichier, std::string& newfichier,
                                   TchUpdateType& update) const;

    // DossierParent: the file's folder in the file manager. DefaultPlayer: the file in the desktop's player.
    void DossierParentExecution(const TParam& param, const ListRecord& fichier, std::string& newfichier,
                                TchUpdateType& update) const;
    void DefaultPlayerExecution(const TParam& param, const ListRecord& fichier, std::string& newfichier,
                                TchUpdateType& update) const;

    // Snapwick, OpenFichierF3, OpenFichierF4: the program of "Fichier Snapwick", "Fichier F3" or
    // "Fichier F4" started with the file's full path as its one argument.
    void SnapwickExecution(const TParam& param, const ListRecord& fichier, std::string& newfichier,
                           TchUpdateType& update) const;
    void OpenFichierF3Execution(const TParam& param, const ListRecord& fichier, std::string& newfichier,
                                TchUpdateType& update) const;
    void OpenFichierF4Execution(const TParam& param, const ListRecord& fichier, std::string& newfichier,
                                TchUpdateType& update) const;
    // F3 and F4 are offered only when their program exists (asked once, at start).
    void OpenFichierF3GeneralCondition(const TParam& param, bool& visible) const;
    void OpenFichierF4GeneralCondition(const TParam& param, bool& visible) const;

    // RiffHeader: the report window; when the report cannot be made, a warning that the file is busy.
    void RiffHeaderExecution(const TParam& param, const ListRecord& fichier, std::string& newfichier,
                             TchUpdateType& update) const;

private:
    void startWithFile(const std::string& program, const ListRecord& fichier) const;

    const CommandContext& m_context;
};

// "Open with " followed by the program's file name without folder and extension ("Open with " alone for
// an empty path): the caption of the actions that start an external program.
std::string launcherCaption(const std::string& programPath);

// Gives afSnapwick, amOpenFichierF3 and amOpenFichierF4 the captions of the programs in the settings.
void applyLauncherCaptions(ActionList& al, const Settings& settings);

}  // namespace moraven
