#include "platform/trash.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>

#include <QFile>
#include <QStandardPaths>
#include <QString>

#include "formats/binary_file.h"
#include "formats/new_file.h"
#include "formats/replace_file.h"

namespace moraven {
namespace {

// The longest name most Linux file systems take, in bytes.
constexpr std::size_t kNameMaxBytes = 255;
constexpr char kInfoSuffix[] = ".trashinfo";
// Names tried for one entry: "<name>", then "<name>.2" up to this; the counter takes at most 5 bytes.
constexpr int kMaxNameAttempts = 9999;
constexpr std::size_t kCounterMaxBytes = 5;
// The longest entry name before its counter, so that "<name>.9999.trashinfo" still fits.
constexpr std::size_t kEntryBaseMaxBytes = kNameMaxBytes - (sizeof(kInfoSuffix) - 1) - kCounterMaxBytes;

std::string join(const std::string& folder, const std::string& name) {
    return folder == "/" ? "/" + name : folder + "/" + name;
}

bool isUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

// A real folder (not a link) at `path`, made with 0700 when missing. When `owner` is given, the folder must
// belong to that user: in a shared top directory another user could have made it to read our files.
bool ensureOwnFolder(const std::string& path, std::optional<uid_t> owner) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        if (errno != ENOENT) return false;
        if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
        if (::lstat(path.c_str(), &info) != 0) return false;
    }
    if (!S_ISDIR(info.st_mode)) return false;
    return !owner || info.st_uid == *owner;
}

// `folder` as a trash of the user `uid`: the folder and its files/ and info/ made when missing.
std::optional<TrashFolder> ownTrashFolder(const std::string& folder, const std::string& topDirectory,
                                          uid_t uid) {
    if (!ensureOwnFolder(folder, uid) || !ensureOwnFolder(folder + "/files", uid) ||
        !ensureOwnFolder(folder + "/info", uid)) {
        return std::nullopt;
    }
    return TrashFolder{folder, topDirectory};
}

// The highest folder above `folder` (itself included) that still lies on `device`: where it is mounted.
std::string topDirectoryOf(std::string folder, dev_t device) {
    while (folder != "/") {
        const std::size_t slash = folder.rfind('/');
        const std::string up = slash == 0 || slash == std::string::npos ? "/" : folder.substr(0, slash);
        struct stat info {};
        if (::stat(up.c_str(), &info) != 0 || info.st_dev != device) break;
        folder = up;
    }
    return folder;
}

// The entry's name before any counter: the file's name, cut to fit an info file's name. The cut moves back
// to the start of a UTF-8 character so that a valid name stays valid.
std::string entryBase(const std::string& name) {
    if (name.size() <= kEntryBaseMaxBytes) return name;
    std::size_t cut = kEntryBaseMaxBytes;
    while (cut > 1 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    return name.substr(0, cut);
}

// Creates the info file exclusively and writes `text` to it. False when the name is taken; throws
// FileError for any other failure (the file is then not left behind).
bool createInfoFile(const std::string& path, const std::string& text) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        const int error = errno;
        if (error == EEXIST) return false;
        throw FileError(fileErrorCodeFor(error), path, error);
    }
    std::size_t written = 0;
    int error = 0;
    while (written < text.size()) {
        const ssize_t count = ::write(fd, text.data() + written, text.size() - written);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) {
            error = count < 0 ? errno : EIO;
            break;
        }
        written += static_cast<std::size_t>(count);
    }
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error != 0) {
        ::unlink(path.c_str());
        throw FileError(FileErrorCode::WriteFailed, path, error);
    }
    return true;
}

// What Path records: the path relative to a device trash's top directory, else the absolute path.
std::string recordedPath(const std::string& absolutePath, const TrashFolder& trash) {
    if (trash.topDirectory.empty()) return absolutePath;
    const std::string prefix = trash.topDirectory == "/" ? "/" : trash.topDirectory + "/";
    if (absolutePath.size() > prefix.size() && absolutePath.compare(0, prefix.size(), prefix) == 0)
        return absolutePath.substr(prefix.size());
    // Not below the top directory: an absolute Path is also valid in a device's trash.
    return absolutePath;
}

}  // namespace

std::optional<TrashFolder> homeTrash() {
    // $XDG_DATA_HOME when it is an absolute path, else ~/.local/share.
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (dataHome.isEmpty()) return std::nullopt;
    const std::string folder = QFile::encodeName(dataHome).toStdString() + "/Trash";
    if (!makeFolders(folder + "/files", 0700) || !makeFolders(folder + "/info", 0700)) return std::nullopt;
    return TrashFolder{folder, {}};
}

std::optional<TrashFolder> deviceTrash(const std::string& topDirectory, uid_t uid) {
    const std::string uidText = std::to_string(uid);
    // An administrator's shared trash: only the sticky bit keeps users from removing each other's folders,
    // and a link could lead anywhere, so anything else there is passed over.
    const std::string shared = join(topDirectory, ".Trash");
    struct stat info {};
    if (::lstat(shared.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && (info.st_mode & S_ISVTX) != 0) {
        if (auto trash = ownTrashFolder(shared + "/" + uidText, topDirectory, uid)) return trash;
    }
    return ownTrashFolder(join(topDirectory, ".Trash-" + uidText), topDirectory, uid);
}

std::optional<TrashFolder> trashFor(const std::string& folder, dev_t device) {
    auto home = homeTrash();
    if (!home) return std::nullopt;
    struct stat info {};
    if (::stat(home->folder.c_str(), &info) == 0 && info.st_dev == device) return home;
    return deviceTrash(topDirectoryOf(folder, device), ::getuid());
}

std::string escapeTrashPath(const std::string& path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(path.size());
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (isUnreserved(byte) || byte == '/') {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        }
    }
    return out;
}

std::string trashInfoText(const std::string& originalPath, std::time_t deletionTime) {
    // localtime_r need not look at TZ again; tzset makes it follow the zone in force now.
    ::tzset();
    std::tm local{};
    char date[32] = {};
    if (::localtime_r(&deletionTime, &local) == nullptr ||
        std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local) == 0) {
        date[0] = '\0';
    }
    return "[Trash Info]\nPath=" + escapeTrashPath(originalPath) + "\nDeletionDate=" + date + "\n";
}

std::string moveIntoTrash(const std::string& absolutePath, const TrashFolder& trash,
                          std::time_t deletionTime) {
    const std::size_t slash = absolutePath.rfind('/');
    const std::string name = slash == std::string::npos ? absolutePath : absolutePath.substr(slash + 1);
    if (name.empty() || name == "." || name == "..") {
        throw FileError(FileErrorCode::NotFound, absolutePath, ENOENT);
    }
    const std::string text = trashInfoText(recordedPath(absolutePath, trash), deletionTime);
    const std::string base = entryBase(name);
    for (int attempt = 1; attempt <= kMaxNameAttempts; ++attempt) {
        const std::string entry = attempt == 1 ? base : base + "." + std::to_string(attempt);
        const std::string infoPath = trash.folder + "/info/" + entry + kInfoSuffix;
        if (!createInfoFile(infoPath, text)) continue;  // another entry has this name
        const std::string filesPath = trash.folder + "/files/" + entry;
        try {
            renameWithoutReplacing(absolutePath, filesPath);
            return filesPath;
        } catch (const FileError& error) {
            ::unlink(infoPath.c_str());
            // A file without an info file holds the name (left by a crash or another program): never
            // replace it, take the next name.
            if (error.code() != FileErrorCode::AlreadyExists) throw;
        }
    }
    throw FileError(FileErrorCode::AlreadyExists, trash.folder + "/files/" + base, EEXIST);
}

}  // namespace moraven
