#include "commands/naming_commands.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

#include "formats/binary_file.h"
#include "formats/new_file.h"
#include "window/action_list.h"

namespace moraven {

namespace {

constexpr std::string_view kAviExtension = ".avi";
constexpr std::string_view kSceneExtension = ".scn";
constexpr std::string_view kFileDatePattern = "ddddd hh:nn:ss";

std::size_t codePointCount(std::string_view text) {
    std::size_t count = 0;
    for (char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
    }
    return count;
}

// The path without its last four characters: the list holds only ".avi" files, so the path without its
// extension.
std::string baseOf(const ListRecord& fichier) {
    const std::string& path = fichier.fullPath();
    return path.size() >= kAviExtension.size() ? path.substr(0, path.size() - kAviExtension.size()) : path;
}

std::string nameOf(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string folderOf(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

bool isDateAbsent(const std::string& text) { return text == "N/A" || text == "Error"; }

}  // namespace

std::string firstShortEnoughQuestion(const std::vector<std::string>& texts) {
    for (const std::string& text : texts) {
        if (codePointCount(text) < kMaxQuestionLength) return text;
    }
    return texts.empty() ? std::string() : texts.back();
}

bool pathExists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

std::string freeName(const std::string& candidate) {
    if (!pathExists(candidate + std::string(kAviExtension))) return candidate;
    // Every number names a different path, and a folder holds finitely many entries: the loop ends.
    for (unsigned long number = 1;; ++number) {
        std::string numbered = candidate + "(" + std::to_string(number) + ")";
        if (!pathExists(numbered + std::string(kAviExtension))) return numbered;
    }
}

std::string replaceForbiddenCharacters(std::string text) {
    for (char forbidden : {'<', '>', ':', '"', '/', '\\', '|'}) {
        for (char& c : text) {
            if (c == forbidden) c = '.';
        }
    }
    return text;
}

bool isRemovablePart(std::string_view part) {
    const std::string lower = asciiLower(part);
    for (std::string_view appended : {"type2", "type1", "in", "ntsc", "pal", "am", "pm"}) {
        if (lower == appended) return true;
    }
    for (char c : lower) {
        if (c >= 'a' && c <= 'z') return false;
    }
    return true;
}

std::string shortenedBase(const std::string& base) {
    const std::size_t nameStart = base.rfind('/') == std::string::npos ? 0 : base.rfind('/') + 1;
    std::string shortened = base;
    while (true) {
        const std::size_t underscore = shortened.rfind('_');
        if (underscore == std::string::npos || underscore < nameStart) break;
        if (!isRemovablePart(std::string_view(shortened).substr(underscore + 1))) break;
        shortened.resize(underscore);
    }
    return shortened;
}

void renameStep(const std::string& base, const std::string& target, std::string& newfichier,
                TchUpdateType& update) {
    const std::string ext(kAviExtension);
    try {
        renameWithoutReplacing(base + ext, target + ext);
    } catch (const FileError&) {
        update = TchUpdateType::utNone;
        return;
    }
    const std::string scene = base + std::string(kSceneExtension);
    if (fileExists(scene)) {
        try {
            renameWithoutReplacing(scene, target + std::string(kSceneExtension));
        } catch (const FileError&) {
            // The video keeps its new name; the companion keeps the old one.
        }
    }
    newfichier = target + ext;
    update = TchUpdateType::utRename;
}

bool setFileModificationTime(const std::string& path, DateTime value) {
    const auto fields = decodeDateTime(value);
    if (!fields) return false;
    std::tm local{};
    local.tm_year = fields->year - 1900;
    local.tm_mon = fields->month - 1;
    local.tm_mday = fields->day;
    local.tm_hour = fields->hour;
    local.tm_min = fields->minute;
    local.tm_sec = fields->second;
    local.tm_isdst = -1;  // the zone's rule for that date decides
    const std::time_t seconds = std::mktime(&local);
    if (seconds == static_cast<std::time_t>(-1) && fields->year != 1969) return false;

    // Opened for writing like any tool that changes a file, so that a read-only file stays as it is.
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return false;
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;  // the access time stays
    times[1].tv_sec = seconds;
    times[1].tv_nsec = static_cast<long>(fields->millisecond) * 1000000L;
    const bool done = ::futimens(fd, times) == 0;
    ::close(fd);
    return done;
}

std::string NamingCommands::formatted(std::string_view pattern, DateTime value) const {
    return formatDateTime(pattern, value, m_context.locale).value_or(std::string());
}

void NamingCommands::DatecodeFileCondition(const TParam&, const ListRecord& fichier, bool& visible,
                                           bool& enabled) const {
    visible = enabled = !isDateAbsent(fichier.datecodeText());
}

void NamingCommands::TimecodeFileCondition(const TParam&, const ListRecord& fichier, bool& visible,
                                           bool& enabled) const {
    visible = enabled = !isDateAbsent(fichier.timecodeText());
}

void NamingCommands::PurgerNomFileCondition(const TParam&, const ListRecord& fichier, bool& visible,
                                            bool& enabled) const {
    const std::string name = nameOf(baseOf(fichier));
    const std::size_t underscore = name.rfind('_');
    visible = enabled =
        underscore != std::string::npos && isRemovablePart(std::string_view(name).substr(underscore + 1));
}

std::string NamingCommands::datecodeTarget(const ListRecord& fichier) const {
    const std::string date = replaceForbiddenCharacters(
        formatted(m_context.settings.formatPourAjouterDatecode, fichier.datecode()));
    return freeName(baseOf(fichier) + "_" + date);
}

std::string NamingCommands::timecodeTarget(const ListRecord& fichier) const {
    return freeName(baseOf(fichier) + "_" + fichier.timecodeText());
}

std::string NamingCommands::renameTarget(const ListRecord& fichier) const {
    const std::string root = m_context.settings.racinePourRenommer +
                             formatted(m_context.settings.formatPourRenommer, fichier.datecode());
    return freeName(folderOf(fichier.fullPath()) + root);
}

std::string NamingCommands::shortenTarget(const ListRecord& fichier) const {
    return freeName(shortenedBase(baseOf(fichier)));
}

void NamingCommands::AjouterDateCodeConfirmation(const TParam&, const ListRecord& fichier,
                                                 std::string& confirmMsg) const {
    const std::string oldName = nameOf(baseOf(fichier)) + ".avi";
    const std::string newName = nameOf(datecodeTarget(fichier)) + ".avi";
    confirmMsg = firstShortEnoughQuestion(
        {"Do you want to add a datecode to '" + oldName + "'\r\nand rename it to '" + newName + "'?",
         "Do you want to add a datecode to this filename and rename it to\r\n'" + newName + "'?",
         "Do you want to add a datecode to this file?"});
}

void NamingCommands::AjouterDateCodeExecution(const TParam&, const ListRecord& fichier,
                                              std::string& newfichier, TchUpdateType& update) const {
    update = TchUpdateType::utNone;
    try {
        renameStep(baseOf(fichier), datecodeTarget(fichier), newfichier, update);
    } catch (...) {
        update = TchUpdateType::utNone;
    }
}

void NamingCommands::AjouterTimecodeConfirmation(const TParam&, const ListRecord& fichier,
                                                 std::string& confirmMsg) const {
    const std::string newPath = timecodeTarget(fichier) + ".avi";
    confirmMsg = firstShortEnoughQuestion(
        {"Do you really want to add its timecode to the file '" + fichier.fullPath() +
             "'\r\nand rename it to '" + newPath + "'?",
         "Do you really want to add its timecode to the file \r\nand rename it to '" + newPath + "'?",
         "Do you really want to add its timecode to the file?"});
}

void NamingCommands::AjouterTimecodeExecution(const TParam&, const ListRecord& fichier,
                                              std::string& newfichier, TchUpdateType& update) const {
    update = TchUpdateType::utNone;
    try {
        renameStep(baseOf(fichier), timecodeTarget(fichier), newfichier, update);
    } catch (...) {
        update = TchUpdateType::utNone;
    }
}

void NamingCommands::RenameScAnConfirmation(const TParam&, const ListRecord& fichier,
                                            std::string& confirmMsg) const {
    const std::string newName = nameOf(renameTarget(fichier)) + ".avi";
    confirmMsg = firstShortEnoughQuestion(
        {"Do you want to rename the file  '" + fichier.fileName() + "' in '" + newName + "'?",
         "Do you want to rename this file in '" + newName + "'?",
         "Do you want to rename this file à Scenalyser?"});
}

void NamingCommands::RenameScAnExecution(const TParam&, const ListRecord& fichier, std::string& newfichier,
                                         TchUpdateType& update) const {
    update = TchUpdateType::utNone;
    try {
        renameStep(baseOf(fichier), renameTarget(fichier), newfichier, update);
    } catch (...) {
        update = TchUpdateType::utNone;
    }
}

void NamingCommands::PurgerNomConfirmation(const TParam&, const ListRecord& fichier,
                                           std::string& confirmMsg) const {
    const std::string oldName = nameOf(baseOf(fichier)) + ".avi";
    const std::string newName = nameOf(shortenTarget(fichier)) + ".avi";
    confirmMsg = firstShortEnoughQuestion(
        {"Do you want to shorten the name of '" + oldName + "'\r\nand rename it to '" + newName + "'?",
         "Do you want to shorten the name of this file and rename it to\r\n'" + newName + "'?",
         "Do you want to shorten the name of this file?"});
}

void NamingCommands::PurgerNomExecution(const TParam&, const ListRecord& fichier, std::string& newfichier,
                                        TchUpdateType& update) const {
    update = TchUpdateType::utNone;
    try {
        renameStep(baseOf(fichier), shortenTarget(fichier), newfichier, update);
    } catch (...) {
        update = TchUpdateType::utNone;
    }
}

void NamingCommands::FileDateConfirmation(const TParam&, const ListRecord& fichier,
                                          std::string& confirmMsg) const {
    const std::string dates = "\r\n\r\nOld creation date: " + formatted(kFileDatePattern, fichier.created()) +
                              "\r\nOld modified date:  " + formatted(kFileDatePattern, fichier.modified()) +
                              "\r\nNew date : " + formatted(kFileDatePattern, fichier.datecode());
    const std::string full =
        "Do you really want to modify the dates of the file '" + fichier.fileName() + "'" + dates;
    confirmMsg = codePointCount(full) < kMaxQuestionLength
                     ? full
                     : "Do you really want to modify the dates of this file?" + dates;
}

void NamingCommands::FileDateExecution(const TParam&, const ListRecord& fichier, std::string& newfichier,
                                       TchUpdateType& update) const {
    if (m_context.SuspendPreview) m_context.SuspendPreview();
    setFileModificationTime(fichier.fullPath(), fichier.datecode());
    if (m_context.EndSuspend) m_context.EndSuspend();
    newfichier = fichier.fullPath();
    update = TchUpdateType::utModify;  // read again, also when the times could not be set
}

}  // namespace moraven
