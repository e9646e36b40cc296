#include "platform/system_services.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <vector>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QString>
#include <QSysInfo>

#include "formats/binary_file.h"
#include "formats/replace_file.h"
#include "platform/trash.h"

namespace moraven {
namespace {

std::string bytesOf(const QString& path) { return QFile::encodeName(path).toStdString(); }

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

}  // namespace

std::string PersonalFolder() {
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QFileInfo(documents).isDir()) return bytesOf(QDir::cleanPath(documents));
    return bytesOf(QDir::homePath());
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
    // The entry itself is trashed, never what a link points at; its folder is resolved so that the
    // recorded path is absolute and the device's top directory can be found.
    std::string entry = path;
    while (entry.size() > 1 && entry.back() == '/') entry.pop_back();
    const std::size_t slash = entry.rfind('/');
    const std::string name = slash == std::string::npos ? entry : entry.substr(slash + 1);
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : entry.substr(0, slash);
    if (name.empty() || name == "." || name == "..") return false;

    struct stat file {};
    if (::lstat(entry.c_str(), &file) != 0) return false;
    const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(folder.c_str(), nullptr),
                                                               &std::free);
    if (!resolved) return false;
    const std::string realFolder = resolved.get();
    struct stat folderInfo {};
    // A mount point cannot be renamed away from its own device.
    if (::stat(realFolder.c_str(), &folderInfo) != 0 || folderInfo.st_dev != file.st_dev) return false;

    const auto trash = trashFor(realFolder, file.st_dev);
    if (!trash) return false;
    try {
        moveIntoTrash(realFolder == "/" ? "/" + name : realFolder + "/" + name, *trash, std::time(nullptr));
        return true;
    } catch (const FileError&) {
        return false;
    }
}

std::string OsName() {
    return (QSysInfo::prettyProductName() + QLatin1String(" - kernel ") + QSysInfo::kernelVersion())
        .toStdString();
}

}  // namespace moraven
