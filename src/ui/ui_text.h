#pragma once

#include <string>
#include <string_view>

#include <QFile>
#include <QString>

// How the program's texts and the file system's names become Qt strings.
namespace moraven {

// A text of the program (UTF-8). Its lines are separated by CR LF, as the texts are written; Qt breaks
// lines at LF.
inline QString uiText(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).replace("\r\n", "\n");
}

// A path or file name: bytes, shown as the file system's encoding reads them.
inline QString uiPath(const std::string& path) { return QFile::decodeName(path.c_str()); }

// The bytes of a path that Qt gave (a dialog's choice, a dropped URL).
inline std::string filePath(const QString& path) { return QFile::encodeName(path).toStdString(); }

}  // namespace moraven
