#include "ui/desktop_launch.h"

#include <QDesktopServices>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QUrl>

namespace moraven {

void openWithDesktop(const std::string& path) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFile::decodeName(path.c_str())));
}

bool startProgram(const std::string& program, const std::vector<std::string>& arguments) {
    QStringList list;
    for (const std::string& argument : arguments) list << QFile::decodeName(argument.c_str());
    return QProcess::startDetached(QFile::decodeName(program.c_str()), list);
}

}  // namespace moraven
