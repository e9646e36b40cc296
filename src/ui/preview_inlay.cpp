#include "ui/preview_inlay.h"

namespace moraven {

PreviewInlay::PreviewInlay() = default;

void PreviewInlay::applySettings(const Settings& settings, double framesPerSecond,
                                 const DateFormatLocale& locale) {
    ApplyInlaySettings(m_setters, settings, framesPerSecond, locale, settings.isIncrustOn,
                       InlayEnabledAt::AfterStyles);
}

void PreviewInlay::redraw() {}

}  // namespace moraven
