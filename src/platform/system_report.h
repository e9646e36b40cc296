#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formats/date_format.h"

// The texts of the About panel that need no pixels: the system report written once at start, the test of
// the framework's stages, the title, the mail link's subject and body, and the "About..." page. Pure
// functions of what they are given; the window gathers the facts and draws the lines.
namespace moraven {

enum class TextEmphasis { Plain, Italic, Bold, BoldItalic };

// Black lines are the normal ones; red lines tell of something missing.
enum class LineColour { Black, Red };

// One line of a report page, with how it is drawn.
struct ReportLine {
    std::string text;
    TextEmphasis emphasis = TextEmphasis::Plain;
    LineColour colour = LineColour::Black;

    friend bool operator==(const ReportLine&, const ReportLine&) = default;
};

// What the "System" page reports, gathered at start by the window.
struct SystemFacts {
    std::string osName;                       // OsName()
    std::string frameworkVersion;             // MediaFrameworkVersion(), shown where a DirectX version was
    bool deinterlacerFound = false;           // the start-up lookup of "Pinnacle Video Deinterlacer"
    bool wavDestFound = false;                // the start-up lookup of "WAV Dest"
    std::optional<std::string> snapwickPath;  // the setting "Fichier Snapwick" when that file exists
};

// `setting` when it names an existing file (a folder does not count); nothing otherwise, empty included.
std::optional<std::string> existingFile(const std::string& setting);

// The "System" page: the operating system, the media framework, the two optional stages (red when
// missing) and the frame-grabbing program.
std::vector<ReportLine> systemPageLines(const SystemFacts& facts);

// The body of the settings panel's mail link: every black line followed by "  /  ".
std::string settingsMailBody(const std::vector<ReportLine>& systemLines);

// The body of the About panel's mail link: every black line followed by "  /  " and every red line
// followed by CR LF, in the order of the lines.
std::string aboutMailBody(const std::vector<ReportLine>& systemLines);

// "Moraven 6.0.4 En": the panel's title.
std::string aboutTitle();

// "About Moraven 6.0.4 En": the subject of the mail links.
std::string aboutMailSubject();

// A mailto URL that opens a new mail to `address` (which may be empty: the user then fills it in) with the
// subject and body given, both percent-encoded as UTF-8 (blanks as %20, CR LF as %0D%0A).
std::string mailToUrl(std::string_view address, std::string_view subject, std::string_view body);

// Whether the media framework provides a stage of that display name: among its stages in general
// (FindFilter), and among its video compressors, where the DV encoder is listed.
struct StageLookup {
    std::function<bool(std::string_view displayName)> general;
    std::function<bool(std::string_view displayName)> videoCompressor;
};

// The "Test" page: each stage the graphs need is looked up by its display name; those not found are named
// in red lines, and each group whose stages were all found (video, listing, converting) says so.
std::vector<ReportLine> filterTestLines(const StageLookup& lookup);

// The date of the program's last update, 28 July 2006, in the locale's short date form ("ddddd").
std::string lastUpdateText(const DateFormatLocale& locale);

// The lines of the "About..." page: a paragraph about the program ending with the date of the last update,
// an empty line, and the paragraph that asks for visits and mails.
std::vector<std::string> aboutPageLines(std::string_view lastUpdate);

}  // namespace moraven
