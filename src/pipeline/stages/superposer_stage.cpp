#include "pipeline/stages/superposer_stage.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <limits>
#include <span>

#include "pipeline/text/text_blend.h"
#include "pipeline/text/text_module.h"

namespace moraven {
namespace {

// What an empty pattern is replaced by: a quoted blank, which formats to one space.
constexpr const char* kBlankPattern = "\" \"";

constexpr std::int64_t kMillisecondsPerSecond = 1000;
constexpr std::int64_t kMillisecondsPerDay = 86'400'000;

// The largest pixel height handed to the rasterizer; the layout keeps the true height.
constexpr std::int64_t kMaxFontPixels = 1 << 20;

std::int32_t minusOne(std::int32_t value) {
    return static_cast<std::int32_t>(std::max<std::int64_t>(std::numeric_limits<std::int32_t>::min(),
                                                            std::int64_t{value} - 1));
}

// Date-time differences in whole milliseconds: values made from whole seconds differ by whole seconds, but
// as doubles only nearly, and a step of exactly one second must not count as more than one second.
std::int64_t millisecondsBetween(DateTime from, DateTime to) {
    const double difference = (to.days() - from.days()) * static_cast<double>(kMillisecondsPerDay);
    if (!std::isfinite(difference)) return difference < 0 ? std::numeric_limits<std::int64_t>::min() / 2
                                                          : std::numeric_limits<std::int64_t>::max() / 2;
    constexpr double kLimit = 1e15;  // far beyond any recording
    return std::llround(std::clamp(difference, -kLimit, kLimit));
}

std::optional<int> dayOfMonth(DateTime value) {
    const auto fields = decodeDateTime(value);
    if (!fields) return std::nullopt;
    return fields->day;
}

std::string formatted(const std::string& pattern, DateTime value, const DateFormatLocale& locale) {
    return formatDateTime(pattern, value, locale).value_or(std::string());
}

}  // namespace

Tdv_Superposer::Tdv_Superposer(Tdv_sceneDetect& detector) : InPlaceStage(kDisplayName), Detector(detector) {}
Tdv_Superposer::~Tdv_Superposer() = default;

// ---- setters ----

void Tdv_Superposer::SetEnabled(bool enabled) {
    const std::lock_guard lock(m_mutex);
    m_settings.enabled = enabled;
}

void Tdv_Superposer::SetContent(int content) {
    const std::lock_guard lock(m_mutex);
    m_settings.content = content;
}

void Tdv_Superposer::SetHourShift(std::int32_t hours) {
    const std::lock_guard lock(m_mutex);
    m_settings.hourShift = hours;
}

void Tdv_Superposer::SetFormats(const std::string& line1, const std::string& line2) {
    const std::lock_guard lock(m_mutex);
    m_settings.format1 = line1.empty() ? kBlankPattern : line1;
    m_settings.format2 = line2.empty() ? kBlankPattern : line2;
}

void Tdv_Superposer::SetPosition(int x, int y, int align) {
    const std::lock_guard lock(m_mutex);
    m_settings.posX = std::clamp(x, 0, 1000);
    m_settings.posY = std::clamp(y, 0, 1000);
    m_settings.align = std::clamp(align, 0, 2);
}

void Tdv_Superposer::SetAlign(int align) {
    const std::lock_guard lock(m_mutex);
    m_settings.align = std::clamp(align, 0, 2);
}

void Tdv_Superposer::SetAutoFontSize(bool automatic) {
    const std::lock_guard lock(m_mutex);
    m_settings.autoFontSize = automatic;
}

void Tdv_Superposer::SetFontSize(std::int32_t points) {
    const std::lock_guard lock(m_mutex);
    m_settings.fontSize = points;
}

void Tdv_Superposer::SetFontName(const std::string& family) {
    const std::lock_guard lock(m_mutex);
    m_settings.fontName = family;
}

void Tdv_Superposer::SetFontColor(std::uint32_t colorref) {
    const std::lock_guard lock(m_mutex);
    m_settings.fontColor = colorref;
}

void Tdv_Superposer::SetBold(bool on) {
    const std::lock_guard lock(m_mutex);
    m_settings.bold = on;
}

void Tdv_Superposer::SetItalic(bool on) {
    const std::lock_guard lock(m_mutex);
    m_settings.italic = on;
}

void Tdv_Superposer::SetUnderline(bool on) {
    const std::lock_guard lock(m_mutex);
    m_settings.underline = on;
}

void Tdv_Superposer::SetStrikeOut(bool on) {
    const std::lock_guard lock(m_mutex);
    m_settings.strikeOut = on;
}

void Tdv_Superposer::SetShowFrames(std::int32_t frames) {
    const std::lock_guard lock(m_mutex);
    m_settings.showFrames = frames;
    m_remaining = minusOne(frames);
}

void Tdv_Superposer::SetAutoKind(int kind) {
    const std::lock_guard lock(m_mutex);
    m_settings.autoKind = kind;
    m_remaining = minusOne(m_settings.showFrames);
}

void Tdv_Superposer::SetAutoShow(bool on) {
    const std::lock_guard lock(m_mutex);
    m_settings.autoShow = on;
    m_remaining = minusOne(m_settings.showFrames);
}

void Tdv_Superposer::SetDateLocale(const DateFormatLocale& locale) {
    auto copy = std::make_shared<const DateFormatLocale>(locale);
    const std::lock_guard lock(m_mutex);
    m_settings.locale = std::move(copy);
}

InlaySettings Tdv_Superposer::settings() const {
    const std::lock_guard lock(m_mutex);
    return m_settings;
}

std::int32_t Tdv_Superposer::Remaining() const {
    const std::lock_guard lock(m_mutex);
    return m_remaining;
}

DateTime Tdv_Superposer::LastRecordedAt() const {
    const std::lock_guard lock(m_mutex);
    return m_lastRecordedAt;
}

// ---- connection and running ----

bool Tdv_Superposer::acceptsType(const MediaType& type) const { return pictureFormatOf(type).has_value(); }

void Tdv_Superposer::connected(Pin& pin) {
    InPlaceStage::connected(pin);
    if (&pin == &inputPin()) {
        m_format = pin.isConnected() ? pictureFormatOf(pin.connectionType()) : std::nullopt;
    }
}

void Tdv_Superposer::useRasterizer(std::unique_ptr<TextRasterizer> rasterizer) {
    const std::lock_guard lock(m_textMutex);
    m_rasterizer = std::move(rasterizer);
    m_rasterizerFailed = m_rasterizer == nullptr;
    m_cache = {};
    m_regionLines = {};
}

void Tdv_Superposer::start() {
    {
        const std::lock_guard lock(m_mutex);
        if (m_settings.autoShow) m_remaining = minusOne(m_settings.showFrames);
    }
    // The text module's first load must happen on the control thread (it may create Qt's application
    // object there); later calls only hand back its outcome.
    const std::lock_guard lock(m_textMutex);
    if (!m_rasterizer && !m_rasterizerFailed) loadTextModule();
}

TextRasterizer* Tdv_Superposer::rasterizer() {
    if (m_rasterizer || m_rasterizerFailed) return m_rasterizer.get();
    const TextModuleLoad& load = loadTextModule();
    if (load.module != nullptr) m_rasterizer = load.module->createRasterizer();
    if (!m_rasterizer) {
        m_rasterizerFailed = true;
        warn("The text of the inlay cannot be drawn: " + (load.error.empty() ? kTextModuleName : load.error));
    }
    return m_rasterizer.get();
}

void Tdv_Superposer::transform(MediaSample& sample) {
    std::optional<PictureFormat> format = m_format;
    if (sample.typeChange) format = pictureFormatOf(*sample.typeChange);
    process(sample, format.value_or(PictureFormat{}));
}

// ---- one picture ----

std::int64_t Tdv_Superposer::textHeight(const InlaySettings& settings, int pictureWidth) {
    if (settings.autoFontSize) return std::max<std::int64_t>(16, std::int64_t{pictureWidth} * 28 / 720);
    // Points at 96 dots per inch, rounded half away from zero.
    const std::int64_t scaled = std::int64_t{settings.fontSize} * 96;
    const std::int64_t rounded = scaled >= 0 ? (scaled + 36) / 72 : -((-scaled + 36) / 72);
    return std::max<std::int64_t>(1, rounded);
}

bool Tdv_Superposer::advanceAutoShow(const InlaySettings& settings, const TDvFrameInfo& info) {
    if (settings.autoShow) {
        if (m_remaining > 0) {
            --m_remaining;
        } else if (info.HasDate) {
            const std::int64_t step = millisecondsBetween(m_lastRecordedAt, info.RecordedAt);
            bool trigger = false;
            if (settings.autoKind == 1) {
                trigger = step > kMillisecondsPerSecond || step < 0;
            } else if (settings.autoKind == 2) {
                trigger = dayOfMonth(info.RecordedAt) != dayOfMonth(m_lastRecordedAt) ||
                          std::abs(step) > kMillisecondsPerDay;
            }
            if (trigger) m_remaining = minusOne(settings.showFrames);
        }
    }
    if (info.HasDate) m_lastRecordedAt = info.RecordedAt;
    return !(settings.autoShow && m_remaining == 0);
}

std::optional<std::array<std::string, 2>> Tdv_Superposer::linesOf(const InlaySettings& settings,
                                                                    const TDvFrameInfo& info) {
    const DateFormatLocale& locale = settings.locale ? *settings.locale : englishDateFormatLocale();
    std::array<std::string, 2> lines;
    switch (settings.content) {
        case static_cast<int>(InlayTextContent::Datecode):
            if (info.HasDate) {
                const DateTime shifted(info.RecordedAt.days() + settings.hourShift / 24.0);
                lines = {formatted(settings.format1, shifted, locale), formatted(settings.format2, shifted, locale)};
            }
            return lines;
        case static_cast<int>(InlayTextContent::Timecode):
            if (info.HasTimecode) {
                char text[32];
                std::snprintf(text, sizeof text, "%d:%.2d:%.2d:%.2d", info.Timecode.hours, info.Timecode.minutes,
                              info.Timecode.seconds, info.Timecode.frames);
                lines[1] = text;
            }
            return lines;
        case static_cast<int>(InlayTextContent::Nothing): return lines;
        default: return std::nullopt;
    }
}

void Tdv_Superposer::setLines(const InlaySettings& settings, const TDvFrameInfo& info) {
    if (settings.content == static_cast<int>(InlayTextContent::ComputerClock)) {
        const DateFormatLocale& locale = settings.locale ? *settings.locale : englishDateFormatLocale();
        const DateTime now = currentDateTime();
        m_lines = {formatted(settings.format1, now, locale), formatted(settings.format2, now, locale)};
        return;
    }
    // An unknown Content keeps the previous picture's lines.
    if (auto lines = linesOf(settings, info)) m_lines = std::move(*lines);
}

TextFont Tdv_Superposer::fontOf(const InlaySettings& settings, std::int64_t textHeight) {
    TextFont font;
    font.family = settings.fontName;
    font.pixelHeight = static_cast<int>(std::min(textHeight, kMaxFontPixels));
    font.heightKind = settings.autoFontSize ? TextHeight::Cell : TextHeight::Character;
    font.bold = settings.bold;
    font.italic = settings.italic;
    font.underline = settings.underline;
    font.strikeOut = settings.strikeOut;
    return font;
}

std::optional<PlacedTextMask> Tdv_Superposer::layOutLine(std::size_t index, const InlaySettings& settings,
                                                         const PictureFormat& picture) {
    const std::string& text = m_lines[index];
    if (text.empty()) return std::nullopt;
    TextRasterizer* const drawer = rasterizer();
    if (drawer == nullptr) return std::nullopt;

    const int width = picture.width;
    const int height = picture.height;
    const std::int64_t h = textHeight(settings, width);
    const TextFont font = fontOf(settings, h);

    CachedLine& cached = m_cache[index];
    if (!cached.metrics || cached.text != text || !(cached.font == font)) {
        cached.text = text;
        cached.font = font;
        cached.metrics = drawer->measure(font, text);
        cached.mask.reset();
    }
    const TextMetrics& metrics = *cached.metrics;

    const std::int64_t anchorX = std::int64_t{width} * settings.posX / 1000;
    const std::int64_t anchorY = std::int64_t{height} * settings.posY / 1000;
    const std::int64_t top = anchorY - (index == 0 ? 2 * h : h);
    std::int64_t left = anchorX;
    if (settings.align == 1) left -= metrics.width / 2;
    if (settings.align == 2) left -= metrics.width;
    m_placements[index] = InlayLinePlacement{text, font, metrics, left, top};

    // The columns of the line that can show, from the cell's left; a mask rendered for a wider range serves
    // while the line moves by less than a picture's width.
    const std::int64_t needFrom = -left;
    const std::int64_t needTo = std::int64_t{width} - left;
    if (!cached.mask || cached.fromX > needFrom || cached.toX < needTo) {
        constexpr std::int64_t kIntMin = std::numeric_limits<int>::min();
        constexpr std::int64_t kIntMax = std::numeric_limits<int>::max();
        cached.fromX = std::clamp(needFrom - width, kIntMin, kIntMax);
        cached.toX = std::clamp(needTo + width, kIntMin, kIntMax);
        cached.mask = drawer->render(font, text, static_cast<int>(cached.fromX), static_cast<int>(cached.toX));
    }
    return PlacedTextMask{&*cached.mask, left + cached.mask->offsetX, top + cached.mask->offsetY};
}

void Tdv_Superposer::process(MediaSample& sample, const PictureFormat& format) {
    // The facts travel with the picture; the detection's ring only learns which frame is on show, for the
    // player's labels. A picture without facts has no date or timecode to draw.
    TDvFrameInfo info;
    if (sample.frameFacts) {
        info = sample.frameFacts->Info;
        Detector.analysis().SetShownFrame(sample.frameFacts->Frame);
    }

    m_placements = {};
    InlaySettings settings;
    bool show = false;
    {
        const std::lock_guard lock(m_mutex);
        settings = m_settings;
        if (settings.enabled) show = advanceAutoShow(settings, info);
    }
    if (!show) return;

    setLines(settings, info);
    const auto picture = viewPicture(format, std::span<std::uint8_t>(sample.data));
    if (!picture) return;
    const std::lock_guard lock(m_textMutex);
    try {
        // Both lines are blended in one go, so that where they meet a chroma sample takes their combined
        // coverage.
        std::array<PlacedTextMask, 2> placed;
        std::size_t count = 0;
        for (std::size_t index = 0; index < m_lines.size(); ++index) {
            if (const auto line = layOutLine(index, settings, format)) placed[count++] = *line;
        }
        blendTextMasks(*picture, std::span<const PlacedTextMask>(placed.data(), count),
                       textColourOf(settings.fontColor));
    } catch (const std::exception&) {
        // A line that cannot be drawn (memory) leaves the picture as far as it was drawn; it is still shown.
    }
}

std::optional<PictureRect> Tdv_Superposer::textRegion(const MediaSample& frame, int width, int height) {
    const PictureRect whole{0, 0, std::max(width, 0), std::max(height, 0)};
    const InlaySettings settings = this->settings();
    if (!settings.enabled || whole.isEmpty()) return std::nullopt;
    const TDvFrameInfo info = frame.frameFacts ? frame.frameFacts->Info : TDvFrameInfo();
    const auto lines = linesOf(settings, info);
    if (!lines) return whole;

    const std::int64_t h = textHeight(settings, width);
    const TextFont font = fontOf(settings, h);
    const std::int64_t anchorX = std::int64_t{width} * settings.posX / 1000;
    const std::int64_t anchorY = std::int64_t{height} * settings.posY / 1000;
    std::int64_t left = std::numeric_limits<std::int64_t>::max();
    std::int64_t top = left;
    std::int64_t right = std::numeric_limits<std::int64_t>::min();
    std::int64_t bottom = right;

    const std::lock_guard lock(m_textMutex);
    TextRasterizer* const drawer = rasterizer();
    if (drawer == nullptr) return std::nullopt;  // nothing can be drawn
    for (std::size_t index = 0; index < lines->size(); ++index) {
        const std::string& text = (*lines)[index];
        if (text.empty()) continue;
        RegionLine& line = m_regionLines[index];
        if (!line.metrics || line.text != text || !(line.font == font)) {
            line = RegionLine{text, font, drawer->measure(font, text), 0, 0, std::nullopt};
        }
        // The cell's place as layOutLine() computes it.
        const std::int64_t cellTop = anchorY - (index == 0 ? 2 * h : h);
        std::int64_t cellLeft = anchorX;
        if (settings.align == 1) cellLeft -= line.metrics->width / 2;
        if (settings.align == 2) cellLeft -= line.metrics->width;
        // Only the columns that can show are drawn: render those (again when the line moved) and take the ink.
        constexpr std::int64_t kIntMin = std::numeric_limits<int>::min();
        constexpr std::int64_t kIntMax = std::numeric_limits<int>::max();
        const std::int64_t fromX = std::clamp(-cellLeft, kIntMin, kIntMax);
        const std::int64_t toX = std::clamp(std::int64_t{width} - cellLeft, kIntMin, kIntMax);
        if (fromX >= toX) continue;
        if (line.fromX != fromX || line.toX != toX) {
            const TextMask mask = drawer->render(font, text, static_cast<int>(fromX), static_cast<int>(toX));
            line.fromX = fromX;
            line.toX = toX;
            line.ink.reset();
            if (mask.width > 0 && mask.height > 0) line.ink = PictureRect{mask.offsetX, mask.offsetY, mask.width, mask.height};
        }
        if (!line.ink) continue;
        left = std::min(left, cellLeft + line.ink->left);
        top = std::min(top, cellTop + line.ink->top);
        right = std::max(right, cellLeft + line.ink->left + line.ink->width);
        bottom = std::max(bottom, cellTop + line.ink->top + line.ink->height);
    }
    if (left >= right || top >= bottom) return std::nullopt;
    // Whole chroma samples (four across for 4:1:1, two down for 4:2:0), within the picture.
    left = std::clamp<std::int64_t>(left - ((left % 4) + 4) % 4, 0, width);
    top = std::clamp<std::int64_t>(top - ((top % 2) + 2) % 2, 0, height);
    right = std::clamp<std::int64_t>(right + (4 - ((right % 4) + 4) % 4) % 4, 0, width);
    bottom = std::clamp<std::int64_t>(bottom + (2 - ((bottom % 2) + 2) % 2) % 2, 0, height);
    if (left >= right || top >= bottom) return std::nullopt;
    return PictureRect{static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
                       static_cast<int>(bottom - top)};
}

}  // namespace moraven
