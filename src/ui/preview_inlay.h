#pragma once

#include "commands/inlay_settings.h"
#include "formats/date_format.h"
#include "pipeline/stages/scene_detect_stage.h"
#include "pipeline/stages/superposer_stage.h"
#include "settings/preferences.h"

namespace moraven {

// The preview's inlay: the scene detector and the inlay stage that the player's graph will run, made with
// the main window so that the settings panel can set the inlay before any video plays. The player takes
// this object over when it builds its graph and puts both stages into it; until then nothing is drawn.
//
// The stage's setters may be called from any thread; the rest belongs to the window thread.
class PreviewInlay {
public:
    PreviewInlay();
    PreviewInlay(const PreviewInlay&) = delete;
    PreviewInlay& operator=(const PreviewInlay&) = delete;

    Tdv_sceneDetect& detector() { return m_detector; }
    Tdv_Superposer& stage() { return m_stage; }
    // The stage's setters, for the settings panel and the commands that set the inlay.
    InlaySetters& setters() { return m_setters; }

    // The whole inlay from the settings, as the preview's build sets it: on or off as "is Incrust On",
    // the automatic inlay's duration counted at `framesPerSecond` (the shown file's rate, 0 without one).
    void applySettings(const Settings& settings, double framesPerSecond, const DateFormatLocale& locale);

    // After an inlay change: the preview stops and pauses its graph unless it is running, so that the
    // paused frame is drawn again with the new inlay. There is no preview graph yet, so nothing happens;
    // the player implements this when it takes the stages over.
    void redraw();

private:
    Tdv_sceneDetect m_detector;
    Tdv_Superposer m_stage{m_detector};
    SuperposerSetters m_setters{m_stage};
};

}  // namespace moraven
