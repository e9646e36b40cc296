#include "pipeline/stages/superposer_stage.h"

// The drawing comes with the text module; until then the stage exists so that the graphs can hold it.
namespace moraven {

Tdv_Superposer::Tdv_Superposer(Tdv_sceneDetect& detector) : Stage(kDisplayName), Detector(detector) {}
Tdv_Superposer::~Tdv_Superposer() = default;

void Tdv_Superposer::SetEnabled(bool) {}
void Tdv_Superposer::SetContent(int) {}
void Tdv_Superposer::SetHourShift(std::int32_t) {}
void Tdv_Superposer::SetFormats(const std::string&, const std::string&) {}
void Tdv_Superposer::SetPosition(int, int, int) {}
void Tdv_Superposer::SetAlign(int) {}
void Tdv_Superposer::SetAutoFontSize(bool) {}
void Tdv_Superposer::SetFontSize(std::int32_t) {}
void Tdv_Superposer::SetFontName(const std::string&) {}
void Tdv_Superposer::SetFontColor(std::uint32_t) {}
void Tdv_Superposer::SetBold(bool) {}
void Tdv_Superposer::SetItalic(bool) {}
void Tdv_Superposer::SetUnderline(bool) {}
void Tdv_Superposer::SetStrikeOut(bool) {}
void Tdv_Superposer::SetShowFrames(std::int32_t) {}
void Tdv_Superposer::SetAutoKind(int) {}
void Tdv_Superposer::SetAutoShow(bool) {}
void Tdv_Superposer::SetDateLocale(const DateFormatLocale&) {}

}  // namespace moraven
