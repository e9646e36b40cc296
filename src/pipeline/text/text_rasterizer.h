#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Text drawn into alpha masks: the interface of the text module (text/qt/, Qt's font engine), which
// text_module.h loads on first use. Nothing here knows Qt, so that the pipeline and the programs that link it
// map QtGui only when a picture gets text.
namespace moraven {

// What the height of a font names.
enum class TextHeight : std::uint8_t {
    Cell,       // the character cell: ascent plus descent, internal leading included
    Character,  // the characters without the font's internal leading (the em size)
};

// A font as the inlay asks for it. A family that the system does not have falls back to the system's
// choice for it ("Arial" resolves to Liberation Sans where that is installed).
struct TextFont {
    std::string family = "Arial";
    int pixelHeight = 16;  // pixels, as `heightKind` says; values below 1 are taken as 1
    TextHeight heightKind = TextHeight::Cell;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;

    friend bool operator==(const TextFont&, const TextFont&) = default;
};

// The measures of one line in a font, in pixels.
struct TextMetrics {
    int width = 0;       // the advance of the whole line: what alignment works with
    int cellHeight = 0;  // ascent plus descent of the font as chosen
    int ascent = 0;      // from the top of the cell to the baseline

    friend bool operator==(const TextMetrics&, const TextMetrics&) = default;
};

// One rendered line: the coverage of its glyphs, 0 (none) to 255 (full), rows top-down and tight
// (`coverage[y * width + x]`). The mask's top-left pixel lies at (offsetX, offsetY) from the top-left of the
// line's cell; the offsets are zero or negative where a glyph reaches out of its cell (italic overhang, a
// descender below the cell), and the mask may reach past the line's advance to the right.
struct TextMask {
    TextMetrics metrics;
    int offsetX = 0;
    int offsetY = 0;
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> coverage;
};

// Measures and renders lines of UTF-8 text (invalid bytes are drawn as replacement characters). An object
// is used by one thread at a time; different objects may be used on different threads at once. Never fails
// for any text or font: an empty line measures 0 wide and renders an empty mask.
class TextRasterizer {
public:
    virtual ~TextRasterizer() = default;
    virtual TextMetrics measure(const TextFont& font, std::string_view utf8) = 0;
    // Renders the columns from `fromX` to `toX` (pixels from the left of the cell; fromX < toX) of the line:
    // the mask covers the glyphs' ink within them and nothing outside them, so that a line far wider than a
    // picture costs no more than the part that shows.
    virtual TextMask render(const TextFont& font, std::string_view utf8, int fromX, int toX) = 0;
};

// What the text module provides. One instance lives as long as the process.
class TextModule {
public:
    // Bumped whenever these classes change, so that a module built against another layout is refused.
    static constexpr unsigned kInterfaceVersion = 1;

    virtual ~TextModule() = default;
    // A new rasterizer; any thread.
    virtual std::unique_ptr<TextRasterizer> createRasterizer() const = 0;
};

// The text module's entry point, looked up by this name: answers its module when `interfaceVersion` is the
// one it was built with, else nullptr (with the reason in `error`, which may be null). The first call
// prepares the font engine on the calling thread (see text_module.h).
inline constexpr const char* kTextModuleEntryPoint = "moravenTextModule";
using TextModuleEntry = TextModule* (*)(unsigned interfaceVersion, std::string* error);

}  // namespace moraven
