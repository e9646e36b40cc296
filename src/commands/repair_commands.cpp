#include "commands/repair_commands.h"

#include <sys/stat.h>

#include <charconv>
#include <cmath>

#include "commands/naming_commands.h"
#include "formats/decimal_text.h"
#include "formats/fpsunit.h"

namespace moraven {

namespace {

constexpr std::string_view kBlanks = " \t";

std::string_view trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

std::string readOnlyQuestion(const ListRecord& fichier, std::string_view rest) {
    if (!fichier.readOnly()) return {};
    std::string question = "The file " + fichier.fullPath() + "\r\n" + std::string(rest);
    // The question is cut at 255 characters (code points, not bytes).
    std::size_t count = 0;
    for (std::size_t i = 0; i < question.size(); ++i) {
        if ((static_cast<unsigned char>(question[i]) & 0xC0) == 0x80) continue;
        if (++count > kMaxQuestionLength) {
            question.resize(i);
            break;
        }
    }
    return question;
}

}  // namespace

std::optional<double> parseLocalDecimal(std::string_view text, std::string_view separator) {
    text = trimmed(text);
    if (text.empty() || separator.empty()) return std::nullopt;
    std::string plain;
    if (text.front() == '+') text.remove_prefix(1);
    for (std::size_t i = 0; i < text.size();) {
        if (text.substr(i, separator.size()) == separator) {
            plain += '.';
            i += separator.size();
        } else if (text[i] == '.') {
            return std::nullopt;  // a point where the user's separator is another character
        } else {
            plain += text[i++];
        }
    }
    double value = 0;
    const char* end = plain.data() + plain.size();
    const auto [stop, error] = std::from_chars(plain.data(), end, value, std::chars_format::general);
    if (error != std::errc() || stop != end || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::string formatLocalDecimal(double value, std::string_view separator) {
    std::string text = shortestDecimalText(value);
    if (const std::size_t point = text.find('.'); point != std::string::npos) {
        text.replace(point, 1, separator);
    }
    return text;
}

std::uint32_t packFourCC(std::string_view code) {
    std::uint32_t packed = 0;
    for (std::size_t i = 0; i < code.size() && i < 4; ++i) {
        packed |= static_cast<std::uint32_t>(static_cast<unsigned char>(code[i])) << (8 * i);
    }
    return packed;
}

void patchAllowingReadOnly(const std::string& path, bool readOnly, const std::function<void()>& patch) {
    struct stat info {};
    const bool grant = readOnly && ::stat(path.c_str(), &info) == 0 && (info.st_mode & S_IWUSR) == 0 &&
                       ::chmod(path.c_str(), (info.st_mode & 07777) | S_IWUSR) == 0;
    try {
        patch();
    } catch (...) {
        if (grant) ::chmod(path.c_str(), info.st_mode & 07777);
        throw;
    }
    if (grant) ::chmod(path.c_str(), info.st_mode & 07777);
}

void RepairCommands::CorrigerFpsFileCondition(const TParam&, const ListRecord& fichier, bool&,
                                              bool& enabled) const {
    enabled = fichier.dvType() != 1;
}

void RepairCommands::CorrigerFpsConfirmation(const TParam&, const ListRecord& fichier,
                                             std::string& confirmMsg) const {
    confirmMsg = readOnlyQuestion(fichier, " is ReadOnly. Do you really want to change its framerate?");
}

void RepairCommands::CorrigerCodecConfirmation(const TParam&, const ListRecord& fichier,
                                               std::string& confirmMsg) const {
    confirmMsg = readOnlyQuestion(fichier, "is ReadOnly. Do you really want to change the codec?");
}

void RepairCommands::suspendPreview() const {
    if (m_context.SuspendPreview) m_context.SuspendPreview();
}

void RepairCommands::endSuspend() const {
    if (m_context.EndSuspend) m_context.EndSuspend();
}

std::optional<double> RepairCommands::chosenFrameRate(const ListRecord& fichier) {
    if (m_frequence.selected < 0) {
        const double fps = fichier.fps();
        m_frequence.editEnabled = false;
        if (fps == 25.0) {
            m_frequence.selected = kFrameRatePal;
        } else if (std::fabs(fps * 1001.0 - 30000.0) < 1.0) {
            m_frequence.selected = kFrameRateNtsc;
        } else {
            m_frequence.selected = kFrameRatePersonalized;
            m_frequence.editEnabled = true;
        }
    }
    if (!m_context.askFrameRate || !m_context.askFrameRate(m_frequence)) return std::nullopt;
    switch (m_frequence.selected) {
        case kFrameRatePal:
            return 25.0;
        case kFrameRateNtsc:
            return 29.97;
        case kFrameRatePersonalized:
            return parseLocalDecimal(m_frequence.text, m_context.decimalSeparator);
        default:
            return std::nullopt;
    }
}

void RepairCommands::CorrigerFpsExecution(const TParam&, const ListRecord& fichier, std::string& newfichier,
                                          TchUpdateType& update) {
    update = TchUpdateType::utNone;
    const std::optional<double> fps = chosenFrameRate(fichier);
    if (!fps) return;
    m_frequence.text = formatLocalDecimal(*fps, m_context.decimalSeparator);
    newfichier = fichier.fullPath();
    update = TchUpdateType::utModify;
    suspendPreview();
    try {
        patchAllowingReadOnly(fichier.fullPath(), fichier.readOnly(),
                              [&] { AviHeaderPatcher().SetFrameRate(fichier.fullPath(), *fps); });
    } catch (const std::exception&) {
        // A rate that cannot be written or a file that cannot be patched leaves the file as it was; the
        // entry is read again all the same.
    }
    endSuspend();
}

std::optional<std::string> RepairCommands::chosenCodec(const ListRecord& fichier) {
    if (m_codec.selected < 0) {
        const std::string& code = fichier.codec();
        m_codec.editEnabled = false;
        if (code == "dvsd") {
            m_codec.selected = kCodecDvsd;
        } else if (code == "dsvd") {
            m_codec.selected = kCodecDsvd;
        } else if (code == "CDVC") {
            m_codec.selected = kCodecCdvc;
        } else {
            m_codec.selected = kCodecPersonalized;
            m_codec.text = code;
            m_codec.editEnabled = true;
        }
    }
    if (!m_context.askCodec || !m_context.askCodec(m_codec)) return std::nullopt;
    switch (m_codec.selected) {
        case kCodecDvsd:
            return "dvsd";
        case kCodecDsvd:
            return "dsvd";
        case kCodecCdvc:
            return "CDVC";
        case kCodecPersonalized:
            return m_codec.text.substr(0, 4);
        default:
            return std::nullopt;
    }
}

void RepairCommands::CorrigerCodecExecution(const TParam&, const ListRecord& fichier, std::string& newfichier,
                                            TchUpdateType& update) {
    update = TchUpdateType::utNone;
    const std::optional<std::string> code = chosenCodec(fichier);
    if (!code) return;
    bool written = false;
    suspendPreview();
    try {
        patchAllowingReadOnly(fichier.fullPath(), fichier.readOnly(), [&] {
            written = AviHeaderPatcher().SetVideoCodec(fichier.fullPath(), packFourCC(*code));
        });
    } catch (const std::exception&) {
        written = false;
    }
    endSuspend();
    if (written) {
        newfichier = fichier.fullPath();
        update = TchUpdateType::utModify;
    }
}

}  // namespace moraven
