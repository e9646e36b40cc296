#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "formats/date_format.h"
#include "formats/date_time.h"
#include "formats/dv_video_segments.h"
#include "pipeline/stages/in_place_stage.h"
#include "pipeline/stages/scene_detect_stage.h"
#include "pipeline/text/text_blend.h"
#include "pipeline/text/text_rasterizer.h"
#include "pipeline/video/picture_format.h"

// "Velloran cf_Superposer": draws up to two lines of text on decoded pictures: the recording date and time
// of the DV frame the picture was decoded from (its datecode), its tape timecode, or the computer's clock.
//
// Pictures come in and go out as decoded pictures (pipeline/video/picture_format.h) of the same format; the
// text is blended into the planes where it goes, in place, and every other byte of the picture passes
// unchanged. Any picture type of pictureMediaType() is accepted, every other type refused. The facts of each
// picture's frame travel with the picture (MediaSample::frameFacts; a picture without them has no date or
// timecode); the stage tells `Detector` which frame is on show, for every picture, drawn or not, so that the
// player's labels can read it from the detection's ring.
//
// Drawing. The text height h (pixels) is, with the automatic size, the cell height (ascent plus descent)
// width × 28 / 720, at least 16; with a fixed size, FontSize points at 96 dots per inch (21 -> 28, 48 -> 64)
// as the character height without internal leading (below 1 taken as 1). With the anchor at
// (width × PosX / 1000, height × PosY / 1000), line 1's cell top is 2h above it and line 2's h above it; the
// left edge of a line is the anchor (Align 0), half the line's width left of it (1) or the whole width (2).
// Only the glyphs are painted; what falls outside the picture is clipped. A line is rendered again only when
// its text, font or the part of it that can show changed.
//
// Showing for a while (AutoShow): `Remaining` frames are still to show; it counts down by one per picture
// while above 0; at 0 a trigger (AutoKind 1: the recording time jumped back or more than a second forward;
// 2: the day of the month changed or the time moved more than a day) sets it to ShowFrames - 1. The text
// shows while it is not 0 (so ShowFrames 0 shows always, 1 never). start() and the setters of ShowFrames,
// AutoKind and AutoShow reset it.
//
// Properties (their defaults in brackets) are set through the setters, from any thread, also while pictures
// flow: each change applies from the next picture on (each picture works on one consistent copy of them).
// Numbers outside their range are kept as given where the drawing rule says what they do (an unknown Content
// keeps the previous picture's lines, an unknown AutoKind never triggers), else clamped (positions, Align).
//
// Threads: receive() and the drawing run on the graph's streaming thread; start() on the control thread,
// where it loads the text module (pipeline/text/text_module.h) if that is not loaded yet, as that first load
// must happen there; the setters and getters on any thread. `Detector` must outlive the stage.
// Failure: a text module that cannot be loaded is reported once as a warning and pictures then pass without
// text; nothing in the drawing stops the run.
namespace moraven {

enum class InlayTextContent : std::uint8_t { Datecode = 0, Timecode = 1, ComputerClock = 2, Nothing = 3 };

// Every property of the stage, as one picture sees them.
struct InlaySettings {
    bool enabled = true;
    int content = 0;  // InlayTextContent
    std::int32_t hourShift = 0;
    std::string format1 = "ddddd";
    std::string format2 = "hh:nn:ss";
    bool autoFontSize = true;
    std::int32_t fontSize = 21;  // points
    std::string fontName = "Arial";
    std::uint32_t fontColor = 0x00FFFFFF;  // COLORREF 0x00BBGGRR
    bool bold = true;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    int posX = 900;  // thousandths of the width, 0..1000
    int posY = 900;  // thousandths of the height, 0..1000
    int align = 2;   // 0 left, 1 centred, 2 right
    bool autoShow = false;
    int autoKind = 0;  // 0 once, 1 each scene, 2 each day
    std::int32_t showFrames = 125;
    std::shared_ptr<const DateFormatLocale> locale;  // null: English
};

// Where one line went on the last picture drawn: its text, font, measures and the top-left of its cell in
// picture coordinates (pixels; may lie outside the picture).
struct InlayLinePlacement {
    std::string text;
    TextFont font;
    TextMetrics metrics;
    std::int64_t left = 0;
    std::int64_t top = 0;
};

class Tdv_Superposer final : public InPlaceStage {
public:
    static constexpr const char* kDisplayName = "Velloran cf_Superposer";

    explicit Tdv_Superposer(Tdv_sceneDetect& detector);
    ~Tdv_Superposer() override;

    Tdv_sceneDetect& Detector;

    void SetEnabled(bool enabled);                                   // [true]
    void SetContent(int content);                                    // InlayTextContent [0]
    void SetHourShift(std::int32_t hours);                           // [0]
    // An empty pattern is replaced by "\" \"", which formats to one blank.
    void SetFormats(const std::string& line1, const std::string& line2);  // ["ddddd", "hh:nn:ss"]
    void SetPosition(int x, int y, int align);  // thousandths of width and height, clamped to 0..1000 [900, 900, 2]
    void SetAlign(int align);                   // 0 left, 1 centred, 2 right (clamped)
    void SetAutoFontSize(bool automatic);       // [true]
    void SetFontSize(std::int32_t points);      // [21]
    void SetFontName(const std::string& family);  // ["Arial"]
    void SetFontColor(std::uint32_t colorref);  // 0x00BBGGRR [white]
    void SetBold(bool on);                      // [true]
    void SetItalic(bool on);                    // [false]
    void SetUnderline(bool on);                 // [false]
    void SetStrikeOut(bool on);                 // [false]
    void SetShowFrames(std::int32_t frames);    // [125]; Remaining := frames - 1
    void SetAutoKind(int kind);                 // 0 once, 1 each scene, 2 each day [0]; Remaining := ShowFrames - 1
    void SetAutoShow(bool on);                  // [false]; Remaining := ShowFrames - 1
    // The names and forms of the date patterns: the user's locale [English].
    void SetDateLocale(const DateFormatLocale& locale);

    // ---- state, any thread ----
    InlaySettings settings() const;
    std::int32_t Remaining() const;
    DateTime LastRecordedAt() const;

    // ---- the streaming thread's view (read between pictures) ----
    // The lines as the last picture drawn set them, and where they went (an empty line has no placement).
    const std::array<std::string, 2>& lines() const { return m_lines; }
    const std::array<std::optional<InlayLinePlacement>, 2>& placements() const { return m_placements; }

    // The text height h of a picture `pictureWidth` pixels wide, as described above.
    static std::int64_t textHeight(const InlaySettings& settings, int pictureWidth);

    // Draws with `rasterizer` instead of the text module's (tests hand in their own). Before pictures flow.
    void useRasterizer(std::unique_ptr<TextRasterizer> rasterizer);

    // The part of a `width` x `height` picture that the text may change on the picture made from `frame` (a DV
    // frame or a picture: its frame facts give the text), clipped to the picture
    // and widened to whole chroma samples; nothing when no text will be drawn on it. Conservative: it holds
    // every pixel that process() may change on that picture with the settings of the moment. The AutoShow
    // countdown is not foreseen (a picture that may show text counts as one that does); the computer's clock,
    // and an unknown Content give the whole picture. The glyphs' ink is measured by
    // rendering the part of each line that can show (once per text, font and place).
    // Any thread, also while pictures flow (the rasterizer is shared under a lock with the drawing).
    std::optional<PictureRect> textRegion(const MediaSample& frame, int width, int height);

    // What receive() does to one picture of `format` before handing it on. Streaming thread.
    void process(MediaSample& sample, const PictureFormat& format);

    void start() override;
    void connected(Pin& pin) override;

protected:
    bool acceptsType(const MediaType& type) const override;
    void transform(MediaSample& sample) override;

private:
    struct CachedLine {
        std::string text;
        TextFont font;
        std::optional<TextMetrics> metrics;
        std::optional<TextMask> mask;
        std::int64_t fromX = 0;  // the columns the mask was rendered for, from the cell's left
        std::int64_t toX = 0;
    };

    // The ink of one line as textRegion() last measured it: its text, font and the columns rendered.
    struct RegionLine {
        std::string text;
        TextFont font;
        std::optional<TextMetrics> metrics;
        std::int64_t fromX = 0;
        std::int64_t toX = 0;
        std::optional<PictureRect> ink;  // from the cell's top-left; none when nothing of it is inked
    };

    // Whether this picture shows text; runs the AutoShow counting. Streaming thread.
    bool advanceAutoShow(const InlaySettings& settings, const TDvFrameInfo& info);
    // The lines of a picture of the frame described by `info`; nothing when they cannot be told beforehand
    // (the computer's clock, an unknown Content: the previous picture's lines).
    static std::optional<std::array<std::string, 2>> linesOf(const InlaySettings& settings, const TDvFrameInfo& info);
    void setLines(const InlaySettings& settings, const TDvFrameInfo& info);
    static TextFont fontOf(const InlaySettings& settings, std::int64_t textHeight);
    // Measures line `index`, records its placement and renders what of it can show on a picture of `picture`'s
    // size; nothing for an empty line or without a rasterizer. The mask stays in the cache.
    std::optional<PlacedTextMask> layOutLine(std::size_t index, const InlaySettings& settings,
                                             const PictureFormat& picture);
    // The rasterizer, made on first use; callers hold m_textMutex.
    TextRasterizer* rasterizer();

    mutable std::mutex m_mutex;  // guards m_settings, m_remaining and m_lastRecordedAt
    InlaySettings m_settings;
    std::int32_t m_remaining = 0;
    DateTime m_lastRecordedAt;

    // Streaming thread (start() before it runs).
    std::optional<PictureFormat> m_format;  // of the input connection
    std::array<std::string, 2> m_lines;
    std::array<CachedLine, 2> m_cache;
    std::array<std::optional<InlayLinePlacement>, 2> m_placements;

    mutable std::mutex m_textMutex;  // guards the rasterizer and m_regionLines (the drawing holds it too)
    std::unique_ptr<TextRasterizer> m_rasterizer;
    bool m_rasterizerFailed = false;
    std::array<RegionLine, 2> m_regionLines;
};

}  // namespace moraven
