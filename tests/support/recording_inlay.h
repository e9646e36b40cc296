#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "commands/inlay_settings.h"

namespace moraven::test {

// Inlay setters that write each call as one line ("SetContent 1", "SetFormats ddddd|tt") into `calls`,
// which may be shared with other recorders so that the order across them shows. The date locale is named
// by its short date pattern.
class RecordingInlay final : public InlaySetters {
public:
    explicit RecordingInlay(std::vector<std::string>& calls) : m_calls(calls) {}

    void SetEnabled(bool enabled) override { add("SetEnabled", enabled); }
    void SetContent(int content) override { add("SetContent", content); }
    void SetHourShift(std::int32_t hours) override { add("SetHourShift", hours); }
    void SetFormats(const std::string& line1, const std::string& line2) override {
        m_calls.push_back("SetFormats " + line1 + "|" + line2);
    }
    void SetPosition(int x, int y, int align) override {
        m_calls.push_back("SetPosition " + std::to_string(x) + " " + std::to_string(y) + " " +
                          std::to_string(align));
    }
    void SetAlign(int align) override { add("SetAlign", align); }
    void SetAutoFontSize(bool automatic) override { add("SetAutoFontSize", automatic); }
    void SetFontSize(std::int32_t points) override { add("SetFontSize", points); }
    void SetFontName(const std::string& family) override { m_calls.push_back("SetFontName " + family); }
    void SetFontColor(std::uint32_t colorref) override { add("SetFontColor", colorref); }
    void SetBold(bool on) override { add("SetBold", on); }
    void SetItalic(bool on) override { add("SetItalic", on); }
    void SetUnderline(bool on) override { add("SetUnderline", on); }
    void SetStrikeOut(bool on) override { add("SetStrikeOut", on); }
    void SetShowFrames(std::int32_t frames) override { add("SetShowFrames", frames); }
    void SetAutoKind(int kind) override { add("SetAutoKind", kind); }
    void SetAutoShow(bool on) override { add("SetAutoShow", on); }
    void SetDateLocale(const DateFormatLocale& locale) override {
        m_calls.push_back("SetDateLocale " + locale.shortDateFormat);
    }

private:
    template <class Number>
    void add(const char* name, Number value) {
        m_calls.push_back(std::string(name) + " " + std::to_string(value));
    }

    std::vector<std::string>& m_calls;
};

}  // namespace moraven::test
