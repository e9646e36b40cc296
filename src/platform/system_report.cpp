#include "platform/system_report.h"

#include <initializer_list>
#include <utility>

#include <QByteArray>

#include "formats/binary_file.h"
#include "formats/date_time.h"
#include "formats/program_info.h"

namespace moraven {

namespace {

// The program's name, version and language as the title and the mail subject show them.
std::string programVersionText() { return std::string(kProgramName) + " " + kProgramVersion + " " + "En"; }

ReportLine black(std::string text, TextEmphasis emphasis = TextEmphasis::Plain) {
    return {std::move(text), emphasis, LineColour::Black};
}

ReportLine red(std::string text, TextEmphasis emphasis = TextEmphasis::Plain) {
    return {std::move(text), emphasis, LineColour::Red};
}

std::string percentEncoded(std::string_view text) {
    const QByteArray bytes(text.data(), static_cast<qsizetype>(text.size()));
    return QByteArray(bytes.toPercentEncoding()).toStdString();
}

}  // namespace

std::optional<std::string> existingFile(const std::string& setting) {
    if (setting.empty() || !fileExists(setting)) return std::nullopt;
    return setting;
}

std::vector<ReportLine> systemPageLines(const SystemFacts& facts) {
    std::vector<ReportLine> lines;
    lines.push_back(black("Your operating system is: ", TextEmphasis::Italic));
    lines.push_back(black(facts.osName + ". ", TextEmphasis::Bold));
    lines.push_back(black(""));
    lines.push_back(black("You are using:", TextEmphasis::Italic));
    lines.push_back(black("DirectX version " + facts.frameworkVersion + ".", TextEmphasis::Bold));
    lines.push_back(black(""));
    lines.push_back(black("Additional filters:", TextEmphasis::Italic));
    lines.push_back(facts.deinterlacerFound ? black("The filter Pinnacle Video Deinterlacer is available.")
                                            : red("The filter Pinnacle Video Deinterlacer is missing."));
    lines.push_back(facts.wavDestFound ? black("The filter WavDest is available.")
                                       : red("The filter WavDest is missing."));
    lines.push_back(black(""));
    lines.push_back(black("Snapwick:", TextEmphasis::Italic));
    lines.push_back(black(facts.snapwickPath.value_or("Snapwick not found")));
    return lines;
}

std::string settingsMailBody(const std::vector<ReportLine>& systemLines) {
    std::string body;
    for (const ReportLine& line : systemLines) {
        if (line.colour == LineColour::Black) body += line.text + "  /  ";
    }
    return body;
}

std::string aboutMailBody(const std::vector<ReportLine>& systemLines) {
    std::string body;
    for (const ReportLine& line : systemLines) {
        body += line.text + (line.colour == LineColour::Black ? "  /  " : "\r\n");
    }
    return body;
}

std::string aboutTitle() { return programVersionText(); }

std::string aboutMailSubject() { return "About " + programVersionText(); }

std::string mailToUrl(std::string_view address, std::string_view subject, std::string_view body) {
    // The address keeps its "@"; everything else outside the unreserved characters is encoded, which
    // also covers the "&" and "=" that would otherwise end a header field.
    QByteArray encodedAddress =
        QByteArray(address.data(), static_cast<qsizetype>(address.size())).toPercentEncoding("@");
    return "mailto:" + encodedAddress.toStdString() + "?subject=" + percentEncoded(subject) +
           "&body=" + percentEncoded(body);
}

std::vector<ReportLine> filterTestLines(const StageLookup& lookup) {
    constexpr auto kStyle = TextEmphasis::BoldItalic;
    std::vector<ReportLine> lines;
    lines.push_back(black("", kStyle));
    lines.push_back(black("Test of Directshow filters", kStyle));

    // Looks one stage up and names it when it is missing.
    const auto check = [&](std::string_view name) {
        const bool found = lookup.general(name);
        if (!found) lines.push_back(red(std::string(name) + " is missing", kStyle));
        return found;
    };
    // Every stage of a group is looked up (and named when missing), not just those up to the first gap.
    const auto checkAll = [&](std::initializer_list<std::string_view> names) {
        bool all = true;
        for (std::string_view name : names) all = check(name) && all;
        return all;
    };

    if (checkAll({"File Source (Async.)", "AVI Splitter", "Color Space Converter", "DV Video Decoder",
                  "DV Splitter"})) {
        lines.push_back(black("All filters for Video are available", kStyle));
    }
    if (check("Null Renderer")) lines.push_back(black("All filters for Listing are available", kStyle));
    const bool converting =
        checkAll({"File writer", "ACM Wrapper", "AVI Mux", "DV Muxer", "Infinite Pin Tee Filter"});
    if (!lookup.videoCompressor("DV Video Encoder")) {
        lines.push_back(red("DV Video Encoder is mising", kStyle));
    } else if (converting) {
        lines.push_back(black("All filters for Converting are available", kStyle));
    }
    return lines;
}

std::string lastUpdateText(const DateFormatLocale& locale) {
    const auto date = encodeDateTime({.year = 2006, .month = 7, .day = 28});
    return formatDateTime("ddddd", *date, locale).value_or("");
}

std::vector<std::string> aboutPageLines(std::string_view lastUpdate) {
    return {
        std::string(kProgramName) +
            " keeps the recordings of DV camcorders in order: it renames AVI files "
            "after their recording date, repairs their headers, converts them between DV types, extracts "
            "their sound and cuts them into scenes.",
        std::string("It was written by ") + kMakerName +
            " in C++, with Qt for the windows and FFmpeg for the "
            "pictures and the sound.",
        "Its last update was made on " + std::string(lastUpdate) + ".",
        "",
        std::string("To get help, informations, or look for updates ") + "please visit my website. " +
            "Besides an e-mail is appreciated, if you use this program or have suggestions to improve it.",
    };
}

}  // namespace moraven
