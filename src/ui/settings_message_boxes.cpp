#include "ui/settings_message_boxes.h"

#include <QMessageBox>
#include <QString>

#include "formats/program_info.h"
#include "ui/ui_text.h"

namespace moraven {
namespace {

QString title() { return QString::fromUtf8(kProgramName); }

}  // namespace

bool SettingsMessageBoxes::askYesNo(const std::string& text) {
    return QMessageBox::warning(m_parent, title(), uiText(text), QMessageBox::Yes | QMessageBox::No,
                                QMessageBox::No) == QMessageBox::Yes;
}

void SettingsMessageBoxes::warn(const std::string& text) {
    QMessageBox::warning(m_parent, title(), uiText(text), QMessageBox::Ok);
}

void SettingsMessageBoxes::inform(const std::string& text) {
    QMessageBox::information(m_parent, title(), uiText(text), QMessageBox::Ok);
}

}  // namespace moraven
