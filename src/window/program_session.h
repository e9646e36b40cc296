#pragma once

#include <functional>
#include <optional>
#include <string>

#include "formats/date_format.h"
#include "settings/preferences.h"
#include "window/file_list.h"

namespace moraven {

// What the program does at its start and at its end whether it shows its window or runs hidden: at start
// the desktop's Send To entry follows "Sendto"; at the end the settings are saved when "Sauver préférences
// en quittant" is set (on a first run the defaults, which set it, are written), then the list is written as
// the default playlist when "Sauver Liste en quittant" is set. Main thread only.

// The platform's Send To entry (platform/system_services.h), each answering whether it succeeded. Either
// may be empty (nothing is done).
struct SendToEntry {
    std::function<bool()> create;
    std::function<bool()> remove;
};

// Creates the entry when "Sendto" is set, else removes it. A failure changes nothing else: the entry is a
// convenience of the desktop, and the run goes on without it.
void applySendToSetting(const Settings& settings, const SendToEntry& entry);

// How the end of a run went.
struct SessionEnd {
    bool settingsSaved = false;                  // false also when saving was not asked for
    bool playlistWritten = false;                // false also when writing was not asked for
    std::optional<std::string> playlistFailure;  // the FileError's message when the playlist was not written
};

// The end of a run. `collect` (may be empty) puts what the front end holds back into the settings (the
// settings panel's controls, the window's place) just before they are saved, only when they are. A save
// that the registry refuses was reported by the registry; it does not keep the playlist from being written.
SessionEnd endSession(Preferences& preferences, const FileList& list, const DateFormatLocale& locale,
                      const std::function<void(Settings&)>& collect = {});

}  // namespace moraven
