#include "platform/system_services.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QString>
#include <QSysInfo>

#include "formats/binary_file.h"
#include "formats/new_file.h"
#include "formats/replace_file.h"

namespace moraven {
namespace {

std::string bytesOf(const QString& path) { return QFile::encodeName(path).toStdString(); }

// The file name as Qt sees it, or nothing when Qt cannot hand the same bytes back to the system (names that
// are not valid UTF-8).
std::optional<QString> qtPath(const std::string& path) {
    const QByteArray bytes(path.data(), static_cast<qsizetype>(path.size()));
    QString name = QFile::decodeName(bytes);
    if (QFile::encodeName(name) != bytes) return std::nullopt;
    return name;
}

bool isValidUtf8(const std::string& text) {
    const QByteArray bytes(text.data(), static_cast<qsizetype>(text.size()));
    return QString::fromUtf8(bytes).toUtf8() == bytes;
}

// $XDG_DATA_HOME, or ~/.local/share.
QString dataHome() { return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation); }

// A value of a desktop entry's string key: backslash, line ends and tabs escaped.
std::string escapeEntryValue(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                out += c;
        }
    }
    if (!out.empty() && out.front() == ' ') out.replace(0, 1, "\\s");
    return out;
}

// An argument of an Exec line: in double quotes, with ", `, $ and \ escaped by a backslash, and % doubled
// since it would start a field code.
std::string quoteExecArgument(const std::string& argument) {
    std::string out = "\"";
    for (char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
        if (c == '%') out += '%';
        out += c;
    }
    out += '"';
    return out;
}

bool isPlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

bool exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

// Whether `location` lies in the "files" folder of a trash: the home trash $XDG_DATA_HOME/Trash, or a
// volume's $topdir/.Trash/$uid or $topdir/.Trash-$uid.
bool liesInTrash(const QString& location) {
    const QFileInfo file(QDir::cleanPath(location));
    const QString filesFolder = file.absolutePath();
    if (QFileInfo(filesFolder).fileName() != QLatin1String("files")) return false;
    const QString trash = QFileInfo(filesFolder).absolutePath();
    if (trash == QDir::cleanPath(dataHome() + QLatin1String("/Trash"))) return true;
    const QString uid = QString::number(::getuid());
    const QString trashName = QFileInfo(trash).fileName();
    if (trashName == QLatin1String(".Trash-") + uid) return true;
    return trashName == uid &&
           QFileInfo(QFileInfo(trash).absolutePath()).fileName() == QLatin1String(".Trash");
}

}  // namespace

std::string PersonalFolder() {
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QFileInfo(documents).isDir()) return bytesOf(QDir::cleanPath(documents));
    return bytesOf(QDir::homePath());
}

std::string ownExecutablePath() {
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) return {};
        if (static_cast<std::size_t>(length) < buffer.size())
            return std::string(buffer.data(), static_cast<std::size_t>(length));
        buffer.resize(buffer.size() * 2);
    }
}

std::string sendToEntryPath(const std::string& name) {
    return bytesOf(dataHome()) + "/applications/" + name + ".desktop";
}

std::optional<std::string> sendToEntryText(const std::string& name, const std::string& programPath) {
    if (!isValidUtf8(name) || !isValidUtf8(programPath)) return std::nullopt;
    std::string text = "[Desktop Entry]\n";
    text += "Type=Application\n";
    text += "Version=1.0\n";
    text += "Name=" + escapeEntryValue(name) + "\n";
    text += "Comment=" + escapeEntryValue("Shortcut to " + name) + "\n";
    // %F: the chosen files, each as one argument.
    text += "Exec=" + escapeEntryValue(quoteExecArgument(programPath) + " %F") + "\n";
    text += "Terminal=false\n";
    text += "MimeType=video/x-msvideo;video/avi;video/msvideo;\n";
    text += "Categories=AudioVideo;Video;\n";
    return text;
}

bool CreateSendToShortcut(const std::string& name, const std::string& programPath) {
    if (!isPlainName(name) || programPath.empty()) return false;
    std::error_code error;
    const std::string absolute = std::filesystem::absolute(programPath, error).string();
    if (error) return false;
    const auto text = sendToEntryText(name, absolute);
    if (!text) return false;
    return replaceFileAtomically(sendToEntryPath(name), *text, 0644);
}

bool RemoveSendToShortcut(const std::string& name) {
    if (!isPlainName(name)) return false;
    const std::string path = sendToEntryPath(name);
    return ::unlink(path.c_str()) == 0 || !exists(path);
}

bool MoveToRecycleBin(const std::string& path) {
    const auto source = qtPath(path);
    if (!source || path.empty() || !exists(path)) return false;
    // Without $XDG_DATA_HOME, Qt 6.4 finds no trash and moves the file into the current folder while still
    // answering true; with the folder there it makes the home trash inside it.
    const QString home = dataHome();
    if (home.isEmpty() || !makeFolders(bytesOf(home), 0700)) return false;

    QString location;
    if (!QFile::moveToTrash(*source, &location)) return false;
    if (liesInTrash(location) && !exists(path)) return true;
    // Not where a trash keeps files: put it back rather than leave it in a folder the user does not know.
    if (!location.isEmpty()) {
        try {
            renameWithoutReplacing(bytesOf(location), path);
        } catch (const FileError&) {
        }
    }
    return false;
}

std::string OsName() {
    return (QSysInfo::prettyProductName() + QLatin1String(" - kernel ") + QSysInfo::kernelVersion())
        .toStdString();
}

}  // namespace moraven
