#include "window/info_texts.h"

#include <algorithm>

#include "formats/program_info.h"
#include "formats/decimal_text.h"
#include "formats/sr_fichier.h"

namespace moraven {

namespace {

std::string formatOrNotAvailable(DateTime value, const InfoTextOptions& options) {
    return formatDateTime(options.datecodePattern, value, options.locale).value_or(std::string("N/A"));
}

// The file name's font never gets smaller than 8 points, 11 pixels at 96 dots per inch.
constexpr int kSmallestNamePixelHeight = 11;
constexpr int kNamePixelHeight = 13;

}  // namespace

std::string CodecDisplayText(const TaviFichier& record) {
    std::string text = record.Codec();
    if (!record.IsDv()) return text;
    switch (record.DvType()) {
        case 1:
            return text + " (type 1)";
        case 2:
            return text + (record.Type2Iavs() ? " (type 2 iavs)" : " (type 2)");
        default:
            return text + " (atypical)";
    }
}

std::string DurationDisplayText(const std::string& video, const std::string& audio) {
    if (audio.empty() || audio == video) return video;
    return video + " (" + audio + ")";
}

std::string FpsDisplayText(double fps) { return fps > 0 ? shortestDecimalText(fps) : std::string(); }

InfoFacts InfoFactsOf(const TaviFichier& record, const InfoTextOptions& options) {
    InfoFacts facts;
    facts.datecode = record.Datecode().days() > 0 ? formatOrNotAvailable(record.Datecode(), options)
                                                  : record.DatecodeText();
    facts.timecode = record.TimecodeText();
    facts.codec = CodecDisplayText(record);
    facts.image = record.ImageText();
    facts.duration = DurationDisplayText(record.VideoDurationText(), record.AudioDurationText());
    facts.fps = FpsDisplayText(record.Fps());
    facts.audio = record.AudioText();
    facts.audioFormat = record.AudioFormatText();
    return facts;
}

std::string GroupedDecimal(std::uint64_t value, std::string_view separator) {
    const std::string digits = std::to_string(value);
    std::string text;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) text += separator;
        text += digits[i];
    }
    return text;
}

std::string FileHintText(const TSRFichier& record, const InfoTextOptions& options) {
    return "File     : " + record.FullPath() + "\n" +
           "Size     : " + GroupedDecimal(record.size(), options.thousandsSeparator) + "\n" +
           "Modified : " + formatOrNotAvailable(record.Modified(), options);
}

int NameFontPixelHeight(int nameWidthAt13, int titleWidth) {
    const int room = titleWidth - 10;
    if (nameWidthAt13 <= room) return kNamePixelHeight;
    const int height = std::max(room, 0) * kNamePixelHeight / nameWidthAt13;
    return std::max(height, kSmallestNamePixelHeight);
}

std::optional<VideoAreaLayout> VideoAreaLayoutFor(int width, int height, int videoTop) {
    if (width <= 0 || height <= 0) return std::nullopt;
    // 64-bit products: the sizes come from file headers.
    const std::int64_t w = width;
    const std::int64_t h = height;
    PanelRect video;
    video.top = videoTop;
    if (h * kPictureAreaWidth < kPictureAreaHeight * w) {
        video.width = kPictureAreaWidth;
        video.height = static_cast<int>(kPictureAreaWidth * h / w);
    } else {
        video.height = kPictureAreaHeight;
        video.width = static_cast<int>(kPictureAreaHeight * w / h);
    }
    video.left = (kPanelColumnWidth - video.width) / 2;

    const int right = video.left + video.width;
    const int bottom = video.top + video.height;
    VideoAreaLayout layout;
    layout.video = video;
    layout.timeStampTop = bottom + 6;
    layout.cornerTop = bottom - 16;
    layout.cornerLeft = right - 16;
    layout.inlayHorzLeft = video.left - 8;
    layout.inlayHorzWidth = video.width + 16;
    layout.inlayHorzTop = bottom - 5;
    layout.inlayVertTop = video.top - 8;
    layout.inlayVertHeight = video.height + 16;
    layout.inlayVertLeft = right - 5;
    layout.positionBarLeft = video.left;
    layout.positionBarWidth = video.width;
    return layout;
}

std::vector<MessageLine> PanelMessageLines(int number, const MessageFile* file) {
    using enum MessageStyle;
    std::vector<MessageLine> lines = {
        {"", Regular}, {"", Regular}, {"", BoldItalic}, {"Video not available", BoldItalic}, {"", BoldItalic},
    };
    auto add = [&lines](std::string text, MessageStyle style = Regular) {
        lines.push_back({std::move(text), style});
    };
    // Each file line is written only when there is a file to name.
    auto addPath = [&] {
        if (file != nullptr) add(lowerCaseKey(file->fullPath), BoldBlue);
    };
    auto addCodecLines = [&](const char* last) {
        add(" There is no directshow filter on your system that can decompress the");
        add("");
        if (file != nullptr) add("codec " + file->codec, BoldBlue);
        if (last == nullptr) return;
        add("");
        add(last, BoldItalic);
    };

    switch (number) {
        case 1:
            add("The file");
            add("");
            addPath();
            add("is not found");
            break;
        case 2:
            add("The file ");
            addPath();
            if (file != nullptr) {
                add("seems to have a non standard DV codec. To show the video, try to change the codec \"" +
                    file->codec + "\" to \"dvsd\"");
            }
            break;
        case 3:
            add("The file");
            add("");
            addPath();
            add("has only Audio streams");
            break;
        case 4:
            add("The file ");
            add("");
            if (file != nullptr) add(lowerCaseKey(file->fileName), BoldBlue);
            add("seems not to be a correct AVI file");
            break;
        case 5:
            addCodecLines("You may listen to Audio");
            break;
        case 6:
            addCodecLines("Unknown Audio");
            break;
        case 7:
            addCodecLines(nullptr);
            break;
        case 8:
            add(" Video temporarily interrupted");
            add("to execute a command");
            add("");
            if (file != nullptr) add(file->fileName, BoldBlue);
            break;
        default:
            break;
    }
    return lines;
}

std::vector<MessageLine> PlaybackFailureLines(const MessageFile* file, const std::string& reason) {
    std::vector<MessageLine> lines = PanelMessageLines(0, nullptr);
    lines.push_back({"The playback stopped", MessageStyle::Regular});
    lines.push_back({"", MessageStyle::Regular});
    if (file != nullptr) lines.push_back({file->fileName, MessageStyle::BoldBlue});
    lines.push_back({reason, MessageStyle::Regular});
    return lines;
}

std::vector<MessageLine> WelcomeLines(std::string_view version) {
    return {
        {"", MessageStyle::Regular},
        {"", MessageStyle::Regular},
        {"", MessageStyle::Regular},
        {std::string(kProgramName) + " " + std::string(version) + " " + " by " + " " + kMakerName,
         MessageStyle::Title},
        {"", MessageStyle::Regular},
    };
}

}  // namespace moraven
