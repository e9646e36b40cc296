#include "formats/replace_file.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <utility>

#include "formats/binary_file.h"

namespace moraven {
namespace {

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Flushes a folder's entries, so that a rename inside it survives a crash.
void flushFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// A temporary name for `target` starts with this: "." and the first 64 bytes of the target's name (which keep
// the temporary name within the file system's name length), then ".tmp-"; the process id, "-" and a counter
// follow.
std::string temporaryPrefix(const std::string& target) {
    const std::size_t slash = target.rfind('/');
    const std::string name = (slash == std::string::npos ? target : target.substr(slash + 1)).substr(0, 64);
    return "." + name + ".tmp-";
}

std::string folderPrefix(const std::string& target) {
    const std::size_t slash = target.rfind('/');
    return slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
}

// The process id in a temporary name's tail "<pid>-<counter>", or nothing when the tail is not of that form.
std::optional<pid_t> ownerOfTemporary(std::string_view tail) {
    const std::size_t dash = tail.find('-');
    if (dash == 0 || dash == std::string_view::npos || dash + 1 == tail.size()) return std::nullopt;
    long long pid = 0;
    for (std::size_t i = 0; i < tail.size(); ++i) {
        if (i == dash) continue;
        if (tail[i] < '0' || tail[i] > '9') return std::nullopt;
        if (i < dash) {
            if (pid > 99999999) return std::nullopt;  // beyond any process id
            pid = pid * 10 + (tail[i] - '0');
        }
    }
    if (pid <= 0 || tail.size() - dash > 21) return std::nullopt;
    return static_cast<pid_t>(pid);
}

// Removes the temporary files that a replacement of `target` left behind when its process was killed
// midway: regular files beside the target named as TemporaryFile names them, whose process no longer runs.
// A temporary of a running process (this one included) is being written and stays. Best effort: what cannot
// be listed or removed stays.
void removeStaleTemporaries(const std::string& target) {
    const std::string folder = folderPrefix(target);
    const std::string prefix = temporaryPrefix(target);
    DIR* listing = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!listing) return;
    const pid_t self = ::getpid();
    while (const dirent* entry = ::readdir(listing)) {
        const std::string_view name(entry->d_name);
        if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix) continue;
        const std::optional<pid_t> owner = ownerOfTemporary(name.substr(prefix.size()));
        if (!owner || *owner == self) continue;
        if (::kill(*owner, 0) == 0 || errno != ESRCH) continue;  // alive, or not ours to judge
        struct stat info {};
        if (::fstatat(::dirfd(listing), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(info.st_mode)) {
            continue;
        }
        ::unlinkat(::dirfd(listing), entry->d_name, 0);
    }
    ::closedir(listing);
}

// The temporary file of one replacement: closed and removed on every path unless it was renamed into place.
class TemporaryFile {
public:
    // Creates a new file beside `target`, never taking an existing name; throws FileError.
    explicit TemporaryFile(const std::string& target) {
        static std::atomic<unsigned> counter{0};
        const std::string start = folderPrefix(target) + temporaryPrefix(target);
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string candidate =
                start + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1));
            m_fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (m_fd >= 0) {
                m_path = std::move(candidate);
                return;
            }
            if (errno != EEXIST) break;
        }
        const int error = errno;
        throw FileError(fileErrorCodeFor(error, FileErrorCode::WriteFailed), target, error);
    }
    ~TemporaryFile() {
        if (m_fd >= 0) ::close(m_fd);
        if (!m_path.empty()) ::unlink(m_path.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    int fd() const { return m_fd; }
    const std::string& path() const { return m_path; }

    // Closes the descriptor; returns errno or 0. close() can report a failed delayed write.
    int close() {
        const int fd = std::exchange(m_fd, -1);
        return ::close(fd) == 0 ? 0 : errno;
    }

    // After a successful rename there is nothing left to remove.
    void release() { m_path.clear(); }

private:
    int m_fd = -1;
    std::string m_path;
};

int writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (written == 0) return EIO;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

}  // namespace

bool makeFolders(const std::string& folder, mode_t mode) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) == 0) return S_ISDIR(info.st_mode);
    const std::string parent = folderOf(folder);
    if (parent != folder && !makeFolders(parent, mode)) return false;
    if (::mkdir(folder.c_str(), mode) == 0) return true;
    return errno == EEXIST && ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void writeFileAtomically(const std::string& path, std::string_view bytes, std::optional<mode_t> mode) {
    removeStaleTemporaries(path);
    TemporaryFile temporary(path);
    if (!mode) {
        struct stat existing {};
        if (::stat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) mode = existing.st_mode & 07777;
    }
    int error = 0;
    if (mode && ::fchmod(temporary.fd(), *mode) != 0) error = errno;
    if (error == 0) error = writeAll(temporary.fd(), bytes);
    if (error == 0 && ::fsync(temporary.fd()) != 0) error = errno;
    if (const int closeError = temporary.close(); error == 0) error = closeError;
    if (error != 0) throw FileError(FileErrorCode::WriteFailed, path, error);
    if (::rename(temporary.path().c_str(), path.c_str()) != 0) {
        error = errno;
        throw FileError(fileErrorCodeFor(error, FileErrorCode::WriteFailed), path, error);
    }
    temporary.release();
    flushFolder(folderOf(path));
}

bool replaceFileAtomically(const std::string& path, std::string_view bytes, mode_t mode) {
    if (!makeFolders(folderOf(path))) return false;
    try {
        writeFileAtomically(path, bytes, mode);
        return true;
    } catch (const FileError&) {
        return false;
    }
}

}  // namespace moraven
