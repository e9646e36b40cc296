#pragma once

#include <string>

#include "commands/command_context.h"
#include "commands/file_action.h"

namespace moraven {

// The handlers of the two commands of the player's inlay: show or hide the datecode drawn on the picture
// (AfficherIncrustation), and show or hide the two sliders that place it (AfficherSliders). Both work on the
// window's player through CommandContext::player; without one (hidden mode) they change nothing. Both are
// offered for the DV files whose pictures can be decoded: type 2, or type 1 with the codec "dvsd".
class PlayerCommands {
public:
    explicit PlayerCommands(const CommandContext& context) : m_context(context) {}

    void PlayerInlayFileCondition(const TParam& param, const ListRecord& fichier, bool& visible,
                                  bool& enabled) const;
    // On: the inlay stage gets every inlay setting (at the file's frame rate), then is turned on; the action's
    // caption becomes "Hide the datecode". Off: the stage is turned off, the caption becomes "Display the
    // datecode". "is Incrust On" follows; a paused picture is drawn again.
    void AfficherIncrustationExecution(const TParam& param, const ListRecord& fichier, std::string& newfichier,
                                       TchUpdateType& update) const;
    // Shows the sliders (turning the inlay on first when it is off, and hiding the volume panel) or hides them
    // (the volume panel comes back unless the sound is muted); "Incrust Sliders Visible" follows.
    void AfficherSlidersExecution(const TParam& param, const ListRecord& fichier, std::string& newfichier,
                                  TchUpdateType& update) const;

private:
    const CommandContext& m_context;
};

}  // namespace moraven
