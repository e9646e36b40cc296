#include "app/info_command.h"

#include <cstdint>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "formats/binary_file.h"
#include "formats/date_time.h"
#include "formats/decimal_text.h"
#include "platform/settings_environment.h"
#include "platform/system_locale.h"
#include "settings/preferences.h"
#include "settings/registry_file.h"
#include "window/info_texts.h"

namespace moraven {

namespace {

void tell(std::FILE* err, const std::string& message) { std::fprintf(err, "moraven: %s\n", message.c_str()); }

bool isContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The length of the valid UTF-8 character at `pos` (1 to 4), or 0 when its bytes form none: overlong forms,
// surrogates and code points above U+10FFFF are invalid.
std::size_t utf8Length(std::string_view text, std::size_t pos) {
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(text[pos + i]); };
    const std::size_t left = text.size() - pos;
    const unsigned char lead = at(0);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (left < length || at(1) < low || at(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (!isContinuation(at(i))) return 0;
    }
    return length;
}

// A code point that a terminal takes as a control: C0, DEL and C1.
bool isControl(std::string_view text, std::size_t pos, std::size_t length) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    if (length == 1) return lead < 0x20 || lead == 0x7F;
    return length == 2 && lead == 0xC2 && static_cast<unsigned char>(text[pos + 1]) < 0xA0;
}

}  // namespace

std::string printableBytes(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string printable;
    printable.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t length = utf8Length(text, pos);
        if (length != 0 && !isControl(text, pos, length)) {
            if (text[pos] == '\\') printable += '\\';
            printable.append(text, pos, length);
        } else {
            // A stray byte, or every byte of a control character.
            if (length == 0) length = 1;
            for (std::size_t i = pos; i < pos + length; ++i) {
                const auto byte = static_cast<unsigned char>(text[i]);
                printable += "\\x";
                printable += kHex[byte >> 4];
                printable += kHex[byte & 0x0F];
            }
        }
        pos += length;
    }
    return printable;
}

namespace {

// A JSON string of valid UTF-8 text: quotes and backslashes escaped (control characters never reach here).
std::string jsonString(std::string_view printable) {
    std::string json = "\"";
    for (const char c : printable) {
        if (c == '"' || c == '\\') json += '\\';
        json += c;
    }
    json += '"';
    return json;
}

std::string tvSystemText(std::uint8_t system) {
    switch (system) {
        case 1:
            return "PAL";
        case 2:
            return "NTSC";
        default:
            return "unknown";
    }
}

std::string yesNo(bool value) { return value ? "yes" : "no"; }

std::optional<std::string> isoDateTime(DateTime value) {
    const auto fields = decodeDateTime(value);
    if (!fields) return std::nullopt;
    char text[40];
    std::snprintf(text, sizeof text, "%.4d-%.2d-%.2dT%.2d:%.2d:%.2d.%.3d", fields->year, fields->month,
                  fields->day, fields->hour, fields->minute, fields->second, fields->millisecond);
    return text;
}

class InfoPrinter {
public:
    InfoPrinter(bool json, const FileRecordOptions& options, std::FILE* out)
        : m_json(json), m_options(options), m_out(out) {}

    void begin() {
        if (m_json) write("[");
    }

    void print(const TAfficherFichier& record) {
        if (m_json) {
            printJson(record);
        } else {
            printText(record);
        }
        ++m_count;
    }

    void end() {
        if (m_json) write(m_count == 0 ? "]\n" : "\n]\n");
    }

private:
    void write(const std::string& text) { std::fwrite(text.data(), 1, text.size(), m_out); }

    std::string fileTime(DateTime value) const {
        return formatDateTime(m_options.datecodePattern, value, m_options.locale)
            .value_or(std::string("N/A"));
    }

    // The information panel's datecode: the recording date-time formatted when there is one, else the
    // record's text.
    std::string datecode(const TaviFichier& record) const {
        if (record.Datecode().days() > 0) return fileTime(record.Datecode());
        return record.DatecodeText();
    }

    void printText(const TAfficherFichier& r) {
        const std::pair<const char*, std::string> lines[] = {
            {"File", r.FileName()},
            {"Full path", r.FullPath()},
            {"Size", std::to_string(r.size())},
            {"Created", fileTime(r.Created())},
            {"Modified", fileTime(r.Modified())},
            {"Accessed", fileTime(r.Accessed())},
            {"Datecode", datecode(r)},
            {"Timecode", r.TimecodeText()},
            {"Codec", CodecDisplayText(r)},
            {"Image", r.ImageText()},
            {"Width", std::to_string(r.Width())},
            {"Height", std::to_string(r.Height())},
            {"Fps", FpsDisplayText(r.Fps())},
            {"Video duration", r.VideoDurationText()},
            {"Audio duration", r.AudioDurationText()},
            {"Audio", r.AudioText()},
            {"Audio format", r.AudioFormatText()},
            {"TV system", tvSystemText(r.TvSystem())},
            {"16:9", yesNo(r.Is16x9())},
            {"Scene file", yesNo(r.HasScenes())},
            {"Name key", r.NameKey()},
            {"Size key", r.SizeKey()},
            {"Date key", r.DateKey()},
            {"Datecode key", r.DatecodeKey()},
            {"List key", r.ListKey()},
        };
        if (m_count > 0) write("\n");
        for (const auto& [label, value] : lines) {
            char head[32];
            std::snprintf(head, sizeof head, "%-14s : ", label);
            write(head + printableBytes(value) + "\n");
        }
    }

    void printJson(const TAfficherFichier& r) {
        const auto text = [](std::string_view value) { return jsonString(printableBytes(value)); };
        const auto date = [](DateTime value) {
            const auto iso = isoDateTime(value);
            return iso ? jsonString(*iso) : std::string("null");
        };
        const auto boolean = [](bool value) { return std::string(value ? "true" : "false"); };
        const std::pair<const char*, std::string> members[] = {
            {"FileName", text(r.FileName())},
            {"FullPath", text(r.FullPath())},
            {"Exists", boolean(r.Exists())},
            {"Size", std::to_string(r.size())},
            {"SizeHigh", std::to_string(r.SizeHigh())},
            {"SizeLow", std::to_string(r.SizeLow())},
            {"Created", date(r.Created())},
            {"Modified", date(r.Modified())},
            {"Accessed", date(r.Accessed())},
            {"Attributes", std::to_string(r.Attributes())},
            {"DatecodeText", text(datecode(r))},
            {"Datecode", r.Datecode().days() > 0 ? date(r.Datecode()) : std::string("null")},
            {"TimecodeText", text(r.TimecodeText())},
            {"Codec", text(r.Codec())},
            {"CodecText", text(CodecDisplayText(r))},
            {"IsDv", boolean(r.IsDv())},
            {"DvType", std::to_string(r.DvType())},
            {"Type2Iavs", boolean(r.Type2Iavs())},
            {"ImageText", text(r.ImageText())},
            {"Width", std::to_string(r.Width())},
            {"Height", std::to_string(r.Height())},
            {"Fps", shortestDecimalText(r.Fps())},
            {"VideoDurationText", text(r.VideoDurationText())},
            {"AudioDurationText", text(r.AudioDurationText())},
            {"AudioText", text(r.AudioText())},
            {"AudioFormatText", text(r.AudioFormatText())},
            {"TvSystem", std::to_string(r.TvSystem())},
            {"TvSystemText", text(tvSystemText(r.TvSystem()))},
            {"Is16x9", boolean(r.Is16x9())},
            {"HasScenes", boolean(r.HasScenes())},
            {"NameKey", text(r.NameKey())},
            {"SizeKey", text(r.SizeKey())},
            {"DateKey", text(r.DateKey())},
            {"DatecodeKey", text(r.DatecodeKey())},
            {"ListKey", text(r.ListKey())},
        };
        write(m_count > 0 ? ",\n  {" : "\n  {");
        bool first = true;
        for (const auto& [name, value] : members) {
            write(std::string(first ? "\n" : ",\n") + "    \"" + name + "\": " + value);
            first = false;
        }
        write("\n  }");
    }

    bool m_json;
    const FileRecordOptions& m_options;
    std::FILE* m_out;
    int m_count = 0;
};

}  // namespace

int runInfoCommand(const std::vector<std::string>& paths, bool json, const FileRecordOptions& options,
                   std::FILE* out, std::FILE* err) {
    int status = 0;
    InfoPrinter printer(json, options, out);
    printer.begin();
    for (const auto& path : paths) {
        try {
            // A missing file, a folder or a file closed to us is told with its reason; the record of a
            // missing file would only say that it is missing.
            const BinaryFile probe(path, BinaryFile::Mode::Read);
            const TAfficherFichier record(path, options);
            printer.print(record);
        } catch (const FileError& error) {
            tell(err, error.what());
            status = 1;
        } catch (const std::bad_alloc&) {
            // A file whose tables do not fit in memory: the others are still listed.
            tell(err, path + ": not enough memory to read the file");
            status = 1;
        }
    }
    printer.end();
    if (std::fflush(out) != 0 || std::ferror(out)) {
        tell(err, "cannot write the information to standard output");
        status = 1;
    }
    return status;
}

FileRecordOptions userFileRecordOptions(std::FILE* err) {
    FileRecordOptions options;
    options.locale = systemDateFormatLocale();
    try {
        RegistryFile registry(defaultRegistryFilePath(), [err](const std::string& line) { tell(err, line); });
        Preferences preferences(registry, systemSettingsEnvironment());
        preferences.LoadSettings();
        options.datecodePattern = preferences.settings().formatPourAfficherDatecode;
    } catch (const std::exception& error) {
        // The settings keep their defaults; the files can still be shown.
        tell(err, error.what());
    }
    return options;
}

}  // namespace moraven
