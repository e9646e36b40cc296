#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formats/avi_fichier.h"
#include "formats/date_format.h"

// What the information panel shows, decided without pixels: the texts of a file's facts and of the panel's
// hint, the messages of the picture area, the font height of the file name and the place of the video
// window and its neighbours for a picture shape. The panel widget only puts these on screen.
namespace moraven {

// What the panel's texts take from the settings and the system.
struct InfoTextOptions {
    std::string datecodePattern = "ddddd hh:nn:ss";  // the setting "Format pour Afficher Datecode"
    DateFormatLocale locale = englishDateFormatLocale();
    std::string thousandsSeparator = ",";  // the user's digit grouping separator
};

// The eight value labels of the panel, in screen order.
struct InfoFacts {
    std::string datecode;
    std::string timecode;
    std::string codec;
    std::string image;
    std::string duration;
    std::string fps;
    std::string audio;
    std::string audioFormat;

    friend bool operator==(const InfoFacts&, const InfoFacts&) = default;
};

// The facts of `record` as the panel shows them: the recording date-time formatted with the options'
// pattern when the file has one ("N/A" when the pattern cannot format it), else the record's datecode
// text; the codec with its DV type; the video duration followed by the audio duration in brackets when
// that differs; the frame rate in its shortest decimal form (empty when unknown).
InfoFacts InfoFactsOf(const TaviFichier& record, const InfoTextOptions& options);

// The codec code, for DV files followed by " (type 1)", " (type 2)", " (type 2 iavs)" or " (atypical)".
std::string CodecDisplayText(const TaviFichier& record);

// The video duration, followed by the audio duration in brackets when there is one and it differs.
std::string DurationDisplayText(const std::string& video, const std::string& audio);

// "25", "29.97", "29.97002997002997": the shortest decimal that reads back as `fps`; empty when not above 0.
std::string FpsDisplayText(double fps);

// `value` in decimal with `separator` between groups of three digits: 4294967296 -> "4,294,967,296".
std::string GroupedDecimal(std::uint64_t value, std::string_view separator);

// The hint of the panel for a file: its full path, its size with grouped digits and its modification
// time, on three lines ("File     : ...", "Size     : ...", "Modified : ..."), separated by "\n".
std::string FileHintText(const TSRFichier& record, const InfoTextOptions& options);

// The pixel height of the file name's font: 13, or smaller so that a name `nameWidthAt13` pixels wide
// (measured at 13 pixels) fits into `titleWidth` − 10 pixels, but never below 8 points (11 pixels at the
// screen's 96 dots per inch).
int NameFontPixelHeight(int nameWidthAt13, int titleWidth);

// A rectangle in the panel's coordinates.
struct PanelRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    friend bool operator==(const PanelRect&, const PanelRect&) = default;
};

// Where the video window and the controls around it go for a picture shape.
struct VideoAreaLayout {
    PanelRect video;
    // The running position's label.
    int timeStampTop = 0;
    // The square that shows or hides the inlay sliders.
    int cornerLeft = 0;
    int cornerTop = 0;
    // The horizontal inlay slider under the picture, the vertical one at its right.
    int inlayHorzLeft = 0;
    int inlayHorzTop = 0;
    int inlayHorzWidth = 0;
    int inlayVertLeft = 0;
    int inlayVertTop = 0;
    int inlayVertHeight = 0;
    // The position bar above the picture.
    int positionBarLeft = 0;
    int positionBarWidth = 0;

    friend bool operator==(const VideoAreaLayout&, const VideoAreaLayout&) = default;
};

// The message area's size, which the picture is fitted into, and the width of the panel's column, which it
// is centred in.
inline constexpr int kPictureAreaWidth = 240;
inline constexpr int kPictureAreaHeight = 180;
inline constexpr int kPanelColumnWidth = 280;

// The layout for a picture of `width` × `height` pixels (for DV the height of the display shape), keeping
// the video window's top at `videoTop`: the largest rectangle of that shape within the message area,
// centred in the column. Nothing when either size is not above 0 (the controls stay where they are).
std::optional<VideoAreaLayout> VideoAreaLayoutFor(int width, int height, int videoTop);

// The emphasis of one line of the picture area's messages.
enum class MessageStyle {
    Regular,     // black, regular
    BoldItalic,  // black, bold italic
    BoldBlue,    // blue, bold
    Title,       // black, bold, 12 points (the welcome line)
};

struct MessageLine {
    std::string text;
    MessageStyle style = MessageStyle::Regular;

    friend bool operator==(const MessageLine&, const MessageLine&) = default;
};

// The file a message speaks of.
struct MessageFile {
    std::string fullPath;
    std::string fileName;
    std::string codec;  // the codec code as the record holds it
};

// The message numbered `number` (1 to 8) of the picture area, line by line: the common head (two empty
// lines, then "Video not available" between empty lines, in bold italic) and the lines of that message.
// Lines naming the file's path, name or codec are left out when `file` is none. A number outside 1 to 8
// gives the head only.
std::vector<MessageLine> PanelMessageLines(int number, const MessageFile* file);

// The picture area's message when playing stopped because a stage failed: the common head, "The playback
// stopped", the file's name when there is a file, and `reason` (the failing stage's message).
std::vector<MessageLine> PlaybackFailureLines(const MessageFile* file, const std::string& reason);

// The start text: three empty lines, "Moraven 6.0.4  by  Velloran" as a title, an empty line.
std::vector<MessageLine> WelcomeLines(std::string_view version);

}  // namespace moraven
