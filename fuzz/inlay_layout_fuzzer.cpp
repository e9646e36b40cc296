// Draws the inlay's text on pictures of any layout and size with settings, patterns and font names from the
// input, twice with changes in between (the line cache), through the real text module. Must neither crash
// nor touch bytes outside the picture (built with AddressSanitizer).
// Input: a picture byte (layout), width and height (16 bits each), the settings' numbers, then
// NUL-separated texts: line 1's pattern, line 2's pattern, the font name, and a second line 2 pattern.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "pipeline/stages/scene_detect_stage.h"
#include "pipeline/stages/superposer_stage.h"
#include "pipeline/text/text_module.h"
#include "pipeline/video/picture_format.h"

namespace {

class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    template <typename T>
    T number() {
        T value{};
        const std::size_t count = std::min(sizeof value, m_size - m_pos);
        std::memcpy(&value, m_data + m_pos, count);
        m_pos += count;
        return value;
    }
    // The next NUL-ended text, at most 64 bytes of it.
    std::string text() {
        std::string_view rest(reinterpret_cast<const char*>(m_data) + m_pos, m_size - m_pos);
        const std::size_t end = rest.find('\0');
        const std::string_view taken = rest.substr(0, end);
        m_pos += end == std::string_view::npos ? rest.size() : end + 1;
        return std::string(taken.substr(0, 64));
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

}  // namespace

// fontconfig keeps what it found for a new family name in caches that it never frees; those are not ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The text module sits beside the programs; its first load belongs on this, the main, thread.
    if (std::getenv("MORAVEN_MODULE_DIR") == nullptr) ::setenv("MORAVEN_MODULE_DIR", MORAVEN_FUZZ_MODULE_DIR, 1);
    if (moraven::loadTextModule().module == nullptr) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace moraven;
    Reader in(data, size);
    PictureFormat format;
    format.layout = static_cast<PixelLayout>(in.number<std::uint8_t>() % 4);
    format.width = in.number<std::uint16_t>() % 1024 + 1;
    format.height = in.number<std::uint16_t>() % 768 + 1;

    Tdv_sceneDetect detector;
    Tdv_Superposer stage(detector);
    const auto flags = in.number<std::uint16_t>();
    stage.SetEnabled((flags & 1) == 0);
    stage.SetAutoFontSize((flags & 2) != 0);
    stage.SetBold((flags & 4) != 0);
    stage.SetItalic((flags & 8) != 0);
    stage.SetUnderline((flags & 16) != 0);
    stage.SetStrikeOut((flags & 32) != 0);
    stage.SetAutoShow((flags & 64) != 0);
    // The clock gives text without DV frames; other contents, unknown ones included, come through too.
    stage.SetContent((flags & 128) != 0 ? static_cast<int>(in.number<std::int8_t>()) : 2);
    stage.SetFontSize(in.number<std::int32_t>());
    const int x = in.number<std::int16_t>();
    const int y = in.number<std::int16_t>();
    stage.SetPosition(x, y, in.number<std::int8_t>());
    stage.SetFontColor(in.number<std::uint32_t>());
    stage.SetShowFrames(in.number<std::int32_t>());
    stage.SetAutoKind(in.number<std::int8_t>());
    stage.SetHourShift(in.number<std::int32_t>());
    const std::string format1 = in.text();
    const std::string format2 = in.text();
    stage.SetFormats(format1, format2);
    stage.SetFontName(in.text());
    const std::string later = in.text();
    stage.start();

    // The picture's bytes exactly, so that AddressSanitizer sees any access past them.
    const std::size_t bytes = pictureBytes(format);
    MediaSample sample;
    for (int round = 0; round < 2; ++round) {
        sample.data.assign(bytes, static_cast<std::uint8_t>(round * 101));
        stage.process(sample, format);
        if (sample.data.size() != bytes) std::abort();
        if (round == 0) {
            stage.SetFormats(format1, later);
            stage.SetPosition(y, x, flags >> 8);
        }
    }
    return 0;
}
