#include "commands/naming_commands.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <exception>
#include <memory>

#include "formats/binary_file.h"
#include "formats/new_file.h"
#include "window/action_list.h"

namespace moraven {

namespace {

constexpr std::string_view kAviExtension = ".avi";
constexpr std::string_view kSceneExtension = ".scn";
constexpr std::string_view kFileDatePattern = "ddddd hh:nn:ss";
// How many free names one rename tries when other programs keep taking them first.
constexpr int kRenameAttempts = 100;

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

// The folder to list for a path's folder part ("" is the working folder).
std::string listedFolder(const std::string& folder) { return folder.empty() ? std::string(".") : folder; }

bool sameTime(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

struct timespec folderModified(const std::string& folder) {
    struct stat info {};
    if (::stat(listedFolder(folder).c_str(), &info) != 0) return {};
    return info.st_mtim;
}

// For a name "stem(N).avi": the stem and N; nothing for any other name.
bool splitNumberedName(const std::string& name, std::string& stem, unsigned long& number) {
    const std::string tail = ")" + std::string(kAviExtension);
    if (name.size() <= tail.size() || name.compare(name.size() - tail.size(), tail.size(), tail) != 0) {
        return false;
    }
    const std::size_t close = name.size() - tail.size();
    const std::size_t open = name.rfind('(', close);
    if (open == std::string::npos || open + 1 == close) return false;
    unsigned long value = 0;
    for (std::size_t i = open + 1; i < close; ++i) {
        const char c = name[i];
        if (c < '0' || c > '9' || value > 100000000UL) return false;
        value = value * 10 + static_cast<unsigned long>(c - '0');
    }
    stem = name.substr(0, open);
    number = value;
    return true;
}

}  // namespace

std::string firstShortEnoughQuestion(const std::vector<std::string>& texts) {
    for (const std::string& text : texts) {
        if (codePointCount(text) < kMaxQuestionLength) return text;
    }
    return texts.empty() ? std::string() : texts.back();
}

std::string replaceExistingFileQuestion(const std::string& output, std::string_view shortQuestion) {
    return firstShortEnoughQuestion(
        {"Do you want to replace the existing file " + output + " ?", std::string(shortQuestion)});
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

std::string withoutPathSeparators(std::string text) {
    for (char& c : text) {
        if (c == '/' || c == '\0') c = '.';
    }
    return text;
}

bool hasRecordingDate(const ListRecord& fichier) {
    return fichier.isDv() && !isDateAbsent(fichier.datecodeText());
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
        // An "_" that starts the name would leave no name at all.
        if (underscore == std::string::npos || underscore <= nameStart) break;
        if (!isRemovablePart(std::string_view(shortened).substr(underscore + 1))) break;
        shortened.resize(underscore);
    }
    return shortened;
}

FreeNames::Folder& FreeNames::folder(const std::string& folderPath, bool listAgain) {
    // Stamped before the listing: a change made while the folder is read shows at the next call.
    const struct timespec modified = folderModified(folderPath);
    auto found = m_folders.find(folderPath);
    if (!listAgain && found != m_folders.end() && sameTime(found->second.modified, modified)) {
        return found->second;
    }
    if (found == m_folders.end() && m_folders.size() >= kMaxFolders) m_folders.clear();
    Folder& entry = m_folders[folderPath];
    entry = Folder{};
    entry.modified = modified;
    ++m_listings;
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(listedFolder(folderPath).c_str()), ::closedir);
    if (dir) {
        while (const struct dirent* item = ::readdir(dir.get())) entry.names.emplace(item->d_name);
    }
    // A folder that cannot be listed holds no known names: the renames then find out for themselves.
    return entry;
}

std::string FreeNames::freeName(const std::string& candidate) {
    const std::string folderPath = folderOf(candidate);
    const std::string name = nameOf(candidate);
    const std::string ext(kAviExtension);
    // A folder's time has a coarse resolution (a few milliseconds): a name freed by another program just
    // after the last look leaves it unchanged. The bare name and the number below the answer are checked
    // on the disk (two probes, not one per number); when either is free after all, the folder is read again.
    for (int look = 0; look < 2; ++look) {
        Folder& entry = folder(folderPath, look > 0);
        if (entry.names.count(name + ext) == 0) return candidate;
        if (!pathExists(candidate + ext)) continue;
        unsigned long& number = entry.firstUntried.try_emplace(name, 1UL).first->second;
        // Every number names a different entry and the folder's listing is finite: the loop ends.
        while (entry.names.count(name + "(" + std::to_string(number) + ")" + ext) != 0) ++number;
        if (number > 1 && !pathExists(candidate + "(" + std::to_string(number - 1) + ")" + ext)) continue;
        return candidate + "(" + std::to_string(number) + ")";
    }
    // The folder keeps changing under us: ask the disk number by number.
    return moraven::freeName(candidate);
}

void FreeNames::taken(const std::string& path) {
    Folder& entry = folder(folderOf(path));
    entry.names.insert(nameOf(path));
}

void FreeNames::renamed(const std::string& from, const std::string& to) {
    const std::string fromFolder = folderOf(from);
    const std::string toFolder = folderOf(to);
    if (auto found = m_folders.find(fromFolder); found != m_folders.end()) {
        Folder& entry = found->second;
        const std::string fromName = nameOf(from);
        entry.names.erase(fromName);
        std::string stem;
        unsigned long number = 0;
        if (splitNumberedName(fromName, stem, number)) {
            // The number is free again: the next search for that stem starts no later than it.
            if (auto cursor = entry.firstUntried.find(stem);
                cursor != entry.firstUntried.end() && cursor->second > number) {
                cursor->second = number;
            }
        }
        restamp(fromFolder);
    }
    if (auto found = m_folders.find(toFolder); found != m_folders.end()) {
        found->second.names.insert(nameOf(to));
        restamp(toFolder);
    }
}

void FreeNames::restamp(const std::string& folderPath) {
    if (auto found = m_folders.find(folderPath); found != m_folders.end()) {
        found->second.modified = folderModified(folderPath);
    }
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

void changeFileModificationTime(const std::string& path, DateTime value) {
    const auto fields = decodeDateTime(value);
    if (!fields) throw FileError(FileErrorCode::Other, path, EINVAL);
    std::tm local{};
    local.tm_year = fields->year - 1900;
    local.tm_mon = fields->month - 1;
    local.tm_mday = fields->day;
    local.tm_hour = fields->hour;
    local.tm_min = fields->minute;
    local.tm_sec = fields->second;
    local.tm_isdst = -1;  // the zone's rule for that date decides
    const std::time_t seconds = std::mktime(&local);
    if (seconds == static_cast<std::time_t>(-1) && fields->year != 1969) {
        throw FileError(FileErrorCode::Other, path, EOVERFLOW);
    }

    // Opened for writing like any tool that changes a file, so that a read-only file stays as it is.
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        throw FileError(fileErrorCodeFor(error), path, error);
    }
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;  // the access time stays
    times[1].tv_sec = seconds;
    times[1].tv_nsec = static_cast<long>(fields->millisecond) * 1000000L;
    const bool done = ::futimens(fd, times) == 0;
    const int error = errno;
    ::close(fd);
    if (!done) throw FileError(fileErrorCodeFor(error, FileErrorCode::WriteFailed), path, error);
}

bool setFileModificationTime(const std::string& path, DateTime value) {
    try {
        changeFileModificationTime(path, value);
    } catch (const FileError&) {
        return false;
    }
    return true;
}

std::string NamingCommands::formatted(std::string_view pattern, DateTime value) const {
    return formatDateTime(pattern, value, m_context.locale).value_or(std::string());
}

void NamingCommands::DatecodeFileCondition(const TParam&, const ListRecord& fichier, bool& visible,
                                           bool& enabled) const {
    visible = enabled = hasRecordingDate(fichier);
}

void NamingCommands::TimecodeFileCondition(const TParam&, const ListRecord& fichier, bool& visible,
                                           bool& enabled) const {
    visible = enabled = !isDateAbsent(fichier.timecodeText());
}

void NamingCommands::PurgerNomFileCondition(const TParam&, const ListRecord& fichier, bool& visible,
                                            bool& enabled) const {
    const std::string base = baseOf(fichier);
    visible = enabled = shortenedBase(base) != base;
}

std::string NamingCommands::datecodeCandidate(const ListRecord& fichier) const {
    const std::string date = withoutPathSeparators(replaceForbiddenCharacters(
        formatted(m_context.settings.formatPourAjouterDatecode, fichier.datecode())));
    return baseOf(fichier) + "_" + date;
}

std::string NamingCommands::timecodeCandidate(const ListRecord& fichier) const {
    return baseOf(fichier) + "_" + withoutPathSeparators(fichier.timecodeText());
}

std::string NamingCommands::renameCandidate(const ListRecord& fichier) const {
    // The root and the date are joined as they are, except for what would lead out of the folder.
    const std::string root = m_context.settings.racinePourRenommer +
                             formatted(m_context.settings.formatPourRenommer, fichier.datecode());
    return folderOf(fichier.fullPath()) + withoutPathSeparators(root);
}

std::string NamingCommands::datecodeTarget(const ListRecord& fichier) const {
    return m_freeNames.freeName(datecodeCandidate(fichier));
}

std::string NamingCommands::timecodeTarget(const ListRecord& fichier) const {
    return m_freeNames.freeName(timecodeCandidate(fichier));
}

std::string NamingCommands::renameTarget(const ListRecord& fichier) const {
    return m_freeNames.freeName(renameCandidate(fichier));
}

std::string NamingCommands::shortenTarget(const ListRecord& fichier) const {
    return m_freeNames.freeName(shortenedBase(baseOf(fichier)));
}

void NamingCommands::report(const std::string& text) const {
    if (m_context.reportFailure) m_context.reportFailure(text);
}

void NamingCommands::renameToFreeName(const ListRecord& fichier, const std::string& candidate,
                                      std::string& newfichier, TchUpdateType& update) const {
    update = TchUpdateType::utNone;
    const std::string ext(kAviExtension);
    // The listed file itself, whatever the case of its extension; the new name always ends in ".avi".
    const std::string& from = fichier.fullPath();
    std::string to;
    for (int attempt = 0;; ++attempt) {
        if (attempt == kRenameAttempts) {
            report("Cannot rename " + from + ": every free name for " + nameOf(candidate) + ext +
                   " was taken by another program first");
            return;
        }
        to = m_freeNames.freeName(candidate) + ext;
        try {
            renameWithoutReplacing(from, to);
            break;
        } catch (const FileError& error) {
            if (error.code() != FileErrorCode::AlreadyExists) {
                report("Cannot rename " + from + " to " + nameOf(to) + ": " + error.what());
                return;
            }
            // Taken between the search and the rename (another program): the next free name.
            m_freeNames.taken(to);
        }
    }
    m_freeNames.renamed(from, to);

    const std::string scene = baseOf(fichier) + std::string(kSceneExtension);
    const std::string sceneTarget = to.substr(0, to.size() - ext.size()) + std::string(kSceneExtension);
    if (fileExists(scene)) {
        try {
            renameWithoutReplacing(scene, sceneTarget);
            m_freeNames.renamed(scene, sceneTarget);
        } catch (const FileError& error) {
            // The video keeps its new name; the companion keeps the old one.
            report("The scene file " + scene + " keeps its name: " + error.what());
        }
    }
    newfichier = to;
    update = TchUpdateType::utRename;
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
        renameToFreeName(fichier, datecodeCandidate(fichier), newfichier, update);
    } catch (const std::exception& error) {
        update = TchUpdateType::utNone;
        report(error.what());
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
        renameToFreeName(fichier, timecodeCandidate(fichier), newfichier, update);
    } catch (const std::exception& error) {
        update = TchUpdateType::utNone;
        report(error.what());
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
        renameToFreeName(fichier, renameCandidate(fichier), newfichier, update);
    } catch (const std::exception& error) {
        update = TchUpdateType::utNone;
        report(error.what());
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
        renameToFreeName(fichier, shortenedBase(baseOf(fichier)), newfichier, update);
    } catch (const std::exception& error) {
        update = TchUpdateType::utNone;
        report(error.what());
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
    try {
        changeFileModificationTime(fichier.fullPath(), fichier.datecode());
    } catch (const FileError& error) {
        report(error.what());
    }
    if (m_context.EndSuspend) m_context.EndSuspend();
    newfichier = fichier.fullPath();
    update = TchUpdateType::utModify;  // read again, also when the times could not be set
}

}  // namespace moraven
