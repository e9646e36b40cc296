#pragma once

#include <cstdint>
#include <string>

#include "formats/date_format.h"
#include "settings/preferences.h"

// The inlay settings handed to an inlay stage: the whole set at once (ApplyInlaySettings), as the preview,
// the display-the-datecode command and the inlay conversion do, or one setter at a time, as the settings
// panel does while a video plays.
namespace moraven {

class Tdv_Superposer;

// The setters of an inlay stage, as the settings drive them. The numbers are those of the settings:
// content 0 datecode, 1 timecode; align 0 left, 1 centred, 2 right; auto kind 0 once, 1 each scene, 2 each
// day; x and y in thousandths of the picture's width and height; the colour 0x00BBGGRR. Implemented over
// the stage itself (SuperposerSetters) and by tests that record the calls.
class InlaySetters {
public:
    virtual ~InlaySetters() = default;

    virtual void SetEnabled(bool enabled) = 0;
    virtual void SetContent(int content) = 0;
    virtual void SetHourShift(std::int32_t hours) = 0;
    virtual void SetFormats(const std::string& line1, const std::string& line2) = 0;
    virtual void SetPosition(int x, int y, int align) = 0;
    virtual void SetAlign(int align) = 0;
    virtual void SetAutoFontSize(bool automatic) = 0;
    virtual void SetFontSize(std::int32_t points) = 0;
    virtual void SetFontName(const std::string& family) = 0;
    virtual void SetFontColor(std::uint32_t colorref) = 0;
    virtual void SetBold(bool on) = 0;
    virtual void SetItalic(bool on) = 0;
    virtual void SetUnderline(bool on) = 0;
    virtual void SetStrikeOut(bool on) = 0;
    virtual void SetShowFrames(std::int32_t frames) = 0;
    virtual void SetAutoKind(int kind) = 0;
    virtual void SetAutoShow(bool on) = 0;
    virtual void SetDateLocale(const DateFormatLocale& locale) = 0;
};

// The setters of one Tdv_Superposer, which must outlive this object. Callable from any thread, as the
// stage's setters are.
class SuperposerSetters final : public InlaySetters {
public:
    explicit SuperposerSetters(Tdv_Superposer& stage) : m_stage(stage) {}

    void SetEnabled(bool enabled) override;
    void SetContent(int content) override;
    void SetHourShift(std::int32_t hours) override;
    void SetFormats(const std::string& line1, const std::string& line2) override;
    void SetPosition(int x, int y, int align) override;
    void SetAlign(int align) override;
    void SetAutoFontSize(bool automatic) override;
    void SetFontSize(std::int32_t points) override;
    void SetFontName(const std::string& family) override;
    void SetFontColor(std::uint32_t colorref) override;
    void SetBold(bool on) override;
    void SetItalic(bool on) override;
    void SetUnderline(bool on) override;
    void SetStrikeOut(bool on) override;
    void SetShowFrames(std::int32_t frames) override;
    void SetAutoKind(int kind) override;
    void SetAutoShow(bool on) override;
    void SetDateLocale(const DateFormatLocale& locale) override;

private:
    Tdv_Superposer& m_stage;
};

// How many frames an automatic inlay lasts: "Duréee Incrustation" seconds times the video's frame rate,
// rounded to the nearest integer with halves to even (2.5 -> 2, 3.5 -> 4). A frame rate that is zero,
// negative or not a number (a file whose rate is unknown) gives 0; the product is held within the range of
// the stage's count.
std::int32_t inlayShowFrames(std::int32_t seconds, double framesPerSecond);

// Where ApplyInlaySettings puts SetEnabled: among the settings, between the font's styles and the
// position (the preview's build and the inlay conversion), or after every other setter (the
// display-the-datecode command, which turns the inlay on only once the stage is set).
enum class InlayEnabledAt : std::uint8_t { AfterStyles, Last };

// Sets `stage` from the settings, in this order: the date locale of the patterns; the content ("What
// Incrust"); the automatic font size ("Standard FontSize"); the inlay font's size, name, colour, bold,
// italic, underline and strike-out; SetEnabled(`enabled`) when `enabledAt` is AfterStyles; the position
// ("Incrust positionX", "Incrust positionY", "Alignement"); the automatic inlay ("Auto Incrust"); its kind
// ("Mode Auto Incrust"); the shown frames (inlayShowFrames of "Duréee Incrustation" and
// `framesPerSecond`, the rate of the video the stage works on); the two patterns ("Format pour Incruster
// Datecode1" and "...2"); the hour shift ("Décalage Horaire"); SetEnabled(`enabled`) when `enabledAt` is
// Last. A choice stored with an unknown number is handed over as that number.
void ApplyInlaySettings(InlaySetters& stage, const Settings& settings, double framesPerSecond,
                        const DateFormatLocale& locale, bool enabled,
                        InlayEnabledAt enabledAt = InlayEnabledAt::AfterStyles);

}  // namespace moraven
