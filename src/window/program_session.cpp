#include "window/program_session.h"

#include <exception>

#include "window/playlist.h"

namespace moraven {

void applySendToSetting(const Settings& settings, const SendToEntry& entry) {
    const std::function<bool()>& step = settings.sendto ? entry.create : entry.remove;
    if (step) step();
}

SessionEnd endSession(Preferences& preferences, const FileList& list, const DateFormatLocale& locale,
                      const std::function<void(Settings&)>& collect) {
    SessionEnd end;
    if (preferences.settings().sauverPreferencesEnQuittant) {
        if (collect) collect(preferences.settings());
        end.settingsSaved = preferences.SaveSettings();
    }
    const Settings& settings = preferences.settings();
    if (settings.sauverListeEnQuittant) {
        try {
            WritePlaylist(list, defaultPlaylistPath(settings.dossierDesPlayList),
                          settings.formatPourAfficherDatecode, locale);
            end.playlistWritten = true;
        } catch (const std::exception& error) {
            end.playlistFailure = error.what();
        }
    }
    return end;
}

}  // namespace moraven
