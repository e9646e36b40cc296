#include "commands/inlay_settings.h"

#include <cmath>
#include <limits>

#include "pipeline/stages/superposer_stage.h"
#include "settings/setting_choices.h"

namespace moraven {

void SuperposerSetters::SetEnabled(bool enabled) { m_stage.SetEnabled(enabled); }
void SuperposerSetters::SetContent(int content) { m_stage.SetContent(content); }
void SuperposerSetters::SetHourShift(std::int32_t hours) { m_stage.SetHourShift(hours); }
void SuperposerSetters::SetFormats(const std::string& line1, const std::string& line2) {
    m_stage.SetFormats(line1, line2);
}
void SuperposerSetters::SetPosition(int x, int y, int align) { m_stage.SetPosition(x, y, align); }
void SuperposerSetters::SetAlign(int align) { m_stage.SetAlign(align); }
void SuperposerSetters::SetAutoFontSize(bool automatic) { m_stage.SetAutoFontSize(automatic); }
void SuperposerSetters::SetFontSize(std::int32_t points) { m_stage.SetFontSize(points); }
void SuperposerSetters::SetFontName(const std::string& family) { m_stage.SetFontName(family); }
void SuperposerSetters::SetFontColor(std::uint32_t colorref) { m_stage.SetFontColor(colorref); }
void SuperposerSetters::SetBold(bool on) { m_stage.SetBold(on); }
void SuperposerSetters::SetItalic(bool on) { m_stage.SetItalic(on); }
void SuperposerSetters::SetUnderline(bool on) { m_stage.SetUnderline(on); }
void SuperposerSetters::SetStrikeOut(bool on) { m_stage.SetStrikeOut(on); }
void SuperposerSetters::SetShowFrames(std::int32_t frames) { m_stage.SetShowFrames(frames); }
void SuperposerSetters::SetAutoKind(int kind) { m_stage.SetAutoKind(kind); }
void SuperposerSetters::SetAutoShow(bool on) { m_stage.SetAutoShow(on); }
void SuperposerSetters::SetDateLocale(const DateFormatLocale& locale) { m_stage.SetDateLocale(locale); }

std::int32_t inlayShowFrames(std::int32_t seconds, double framesPerSecond) {
    // "not greater than zero" also holds for NaN.
    if (!(framesPerSecond > 0.0) || !std::isfinite(framesPerSecond)) return 0;
    const double product = static_cast<double>(seconds) * framesPerSecond;
    const double below = std::floor(product);
    const double fraction = product - below;
    double rounded = below + 1.0;
    if (fraction < 0.5 || (fraction == 0.5 && std::fmod(below, 2.0) == 0.0)) rounded = below;
    constexpr double kLowest = std::numeric_limits<std::int32_t>::min();
    constexpr double kHighest = std::numeric_limits<std::int32_t>::max();
    if (rounded < kLowest) return std::numeric_limits<std::int32_t>::min();
    if (rounded > kHighest) return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(rounded);
}

void ApplyInlaySettings(InlaySetters& stage, const Settings& settings, double framesPerSecond,
                        const DateFormatLocale& locale, bool enabled, InlayEnabledAt enabledAt) {
    const IncrustFont& font = settings.incrustFont;
    stage.SetDateLocale(locale);
    stage.SetContent(storedValue(settings.whatIncrust));
    stage.SetAutoFontSize(settings.standardFontSize);
    stage.SetFontSize(font.size);
    stage.SetFontName(font.name);
    // The colour is stored as a signed registry number holding 0x00BBGGRR.
    stage.SetFontColor(static_cast<std::uint32_t>(font.color));
    stage.SetBold(font.style.bold);
    stage.SetItalic(font.style.italic);
    stage.SetUnderline(font.style.underline);
    stage.SetStrikeOut(font.style.strikeOut);
    if (enabledAt == InlayEnabledAt::AfterStyles) stage.SetEnabled(enabled);
    stage.SetPosition(settings.incrustPositionX, settings.incrustPositionY, storedValue(settings.alignement));
    stage.SetAutoShow(settings.autoIncrust);
    stage.SetAutoKind(storedValue(settings.modeAutoIncrust));
    stage.SetShowFrames(inlayShowFrames(settings.dureeIncrustation, framesPerSecond));
    stage.SetFormats(settings.formatPourIncrusterDatecode1, settings.formatPourIncrusterDatecode2);
    stage.SetHourShift(settings.decalageHoraire);
    if (enabledAt == InlayEnabledAt::Last) stage.SetEnabled(enabled);
}

}  // namespace moraven
