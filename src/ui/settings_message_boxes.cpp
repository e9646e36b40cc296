#include "ui/settings_message_boxes.h"

#include <QMessageBox>
#include <QString>

#include "formats/program_info.h"

namespace moraven {
namespace {

// The texts hold CR LF between their lines; a message box breaks lines at LF.
QString shown(const std::string& text) {
    return QString::fromStdString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

QString title() { return QString::fromUtf8(kProgramName); }

}  // namespace

bool SettingsMessageBoxes::askYesNo(const std::string& text) {
    return QMessageBox::warning(m_parent, title(), shown(text), QMessageBox::Yes | QMessageBox::No,
                                QMessageBox::No) == QMessageBox::Yes;
}

void SettingsMessageBoxes::warn(const std::string& text) {
    QMessageBox::warning(m_parent, title(), shown(text), QMessageBox::Ok);
}

void SettingsMessageBoxes::inform(const std::string& text) {
    QMessageBox::information(m_parent, title(), shown(text), QMessageBox::Ok);
}

}  // namespace moraven
