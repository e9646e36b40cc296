#include "commands/player_commands.h"

#include "commands/inlay_settings.h"

namespace moraven {

namespace {

constexpr const char* kInlayAction = "amAfficherIncrustation";
constexpr const char* kSlidersAction = "amAfficherSliders";
// Images of the window's image list.
constexpr int kInlayOffImage = 18;
constexpr int kInlayOnImage = 21;

}  // namespace

void PlayerCommands::PlayerInlayFileCondition(const TParam&, const ListRecord& fichier, bool& visible,
                                              bool& enabled) const {
    visible = true;
    enabled = fichier.isDv() && (fichier.dvType() == 2 || fichier.codec() == "dvsd");
}

void PlayerCommands::AfficherIncrustationExecution(const TParam&, const ListRecord& fichier, std::string&,
                                                   TchUpdateType&) const {
    const PlayerHooks& player = m_context.player;
    if (!player.settings || !player.inlay) return;
    Settings& settings = *player.settings;
    InlaySetters* inlay = player.inlay();
    if (!inlay) return;
    if (settings.isIncrustOn) {
        inlay->SetEnabled(false);
        if (player.setActionLook) player.setActionLook(kInlayAction, "Display the datecode", kInlayOffImage);
        settings.isIncrustOn = false;
    } else {
        ApplyInlaySettings(*inlay, settings, fichier.fps(), m_context.locale, true, InlayEnabledAt::Last);
        if (player.setActionLook) player.setActionLook(kInlayAction, "Hide the datecode", kInlayOnImage);
        settings.isIncrustOn = true;
    }
    if (player.redraw) player.redraw();
}

void PlayerCommands::AfficherSlidersExecution(const TParam& param, const ListRecord& fichier,
                                              std::string& newfichier, TchUpdateType& update) const {
    const PlayerHooks& player = m_context.player;
    if (!player.settings) return;
    Settings& settings = *player.settings;
    if (settings.incrustSlidersVisible) {
        settings.incrustSlidersVisible = false;
        if (player.showSliders) player.showSliders(false);
        if (player.setActionLook) player.setActionLook(kSlidersAction, "Modify the position of Inlay", -1);
        if (player.showVolumePanel && !settings.isMuteOn) player.showVolumePanel(true);
        return;
    }
    settings.incrustSlidersVisible = true;
    if (player.showVolumePanel) player.showVolumePanel(false);
    if (!settings.isIncrustOn) AfficherIncrustationExecution(param, fichier, newfichier, update);
    if (player.showSliders) player.showSliders(true);
    if (player.setActionLook) player.setActionLook(kSlidersAction, "Hide the sliders for Inlay", -1);
}

}  // namespace moraven
