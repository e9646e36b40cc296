#pragma once

#include <cstdint>
#include <string>

#include "formats/date_format.h"
#include "pipeline/graph/stage.h"
#include "pipeline/stages/scene_detect_stage.h"

// "Velloran cf_Superposer": draws up to two lines of text on decoded pictures: the recording date and time
// of the DV frame the picture was decoded from (its datecode), its tape timecode, or the computer's clock.
//
// Pictures come in and go out as decoded pictures (pipeline/video/picture_format.h) of the same format; the
// text is blended into the planes where it goes, and every other byte of the picture passes unchanged. The
// facts of each picture's frame come from `Detector`, by the picture's sourceFrame number (the most recent
// frame it analysed when a picture carries none); the stage tells the detector which frame is on show.
//
// Properties (their defaults in brackets) are set through the setters, from any thread, also while pictures
// flow: each change applies from the next picture on. Numbers outside their range are kept as given where
// the drawing rule says what they do (an unknown Content keeps the previous picture's lines), else clamped.
//
// Threads: receive() and the drawing run on the graph's streaming thread; the setters on any thread.
// `Detector` must outlive the stage. The text is drawn through the text module (loaded on first use).
namespace moraven {

enum class InlayTextContent : std::uint8_t { Datecode = 0, Timecode = 1, ComputerClock = 2, Nothing = 3 };

class Tdv_Superposer final : public Stage {
public:
    static constexpr const char* kDisplayName = "Velloran cf_Superposer";

    explicit Tdv_Superposer(Tdv_sceneDetect& detector);
    ~Tdv_Superposer() override;

    Tdv_sceneDetect& Detector;

    void SetEnabled(bool enabled);                                   // [true]
    void SetContent(int content);                                    // InlayTextContent [0]
    void SetHourShift(std::int32_t hours);                           // [0]
    void SetFormats(const std::string& line1, const std::string& line2);  // ["ddddd", "hh:nn:ss"]
    void SetPosition(int x, int y, int align);  // thousandths of width and height, clamped to 0..1000 [900, 900, 2]
    void SetAlign(int align);                   // 0 left, 1 centred, 2 right
    void SetAutoFontSize(bool automatic);       // [true]
    void SetFontSize(std::int32_t points);      // [21]
    void SetFontName(const std::string& family);  // ["Arial"]
    void SetFontColor(std::uint32_t colorref);  // 0x00BBGGRR [white]
    void SetBold(bool on);                      // [true]
    void SetItalic(bool on);                    // [false]
    void SetUnderline(bool on);                 // [false]
    void SetStrikeOut(bool on);                 // [false]
    void SetShowFrames(std::int32_t frames);    // [125]
    void SetAutoKind(int kind);                 // 0 once, 1 each scene, 2 each day [0]
    void SetAutoShow(bool on);                  // [false]
    // The names and forms of the date patterns: the user's locale [English].
    void SetDateLocale(const DateFormatLocale& locale);
};

}  // namespace moraven
