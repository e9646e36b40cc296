#include "ui/widget_interaction.h"
#include "ui/ui_text.h"

#include <QApplication>
#include <QCursor>
#include <QMessageBox>
#include <QPushButton>

namespace moraven {

WidgetInteraction::~WidgetInteraction() { setBusyCursor(false); }

bool WidgetInteraction::askYesNo(const std::string& text) {
    return QMessageBox::warning(m_parent, kMessageBoxTitle, uiText(text), QMessageBox::Yes | QMessageBox::No,
                                QMessageBox::Yes) == QMessageBox::Yes;
}

Answer WidgetInteraction::askYesNoCancelAll(const std::string& text) {
    QMessageBox box(QMessageBox::Warning, kMessageBoxTitle, uiText(text), QMessageBox::NoButton, m_parent);
    QPushButton* yes = box.addButton(QMessageBox::Yes);
    QPushButton* no = box.addButton(QMessageBox::No);
    QPushButton* cancel = box.addButton(QMessageBox::Cancel);
    QPushButton* all = box.addButton("All", QMessageBox::YesRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(cancel);
    box.exec();
    const QAbstractButton* clicked = box.clickedButton();
    if (clicked == yes) return Answer::Yes;
    if (clicked == no) return Answer::No;
    if (clicked == all) return Answer::All;
    return Answer::Cancel;
}

void WidgetInteraction::showMessage(const std::string& text, MessageKind kind) {
    switch (kind) {
        case MessageKind::Information:
            QMessageBox::information(m_parent, kMessageBoxTitle, uiText(text));
            break;
        case MessageKind::Warning:
            QMessageBox::warning(m_parent, kMessageBoxTitle, uiText(text));
            break;
        case MessageKind::Error:
            QMessageBox::critical(m_parent, kMessageBoxTitle, uiText(text));
            break;
    }
}

void WidgetInteraction::setStatusText(const std::string& text) {
    if (m_hooks.setStatusText) m_hooks.setStatusText(text);
}

// The cursor is set, not stacked: the hourglass goes with the first "not busy".
void WidgetInteraction::setBusyCursor(bool busy) {
    if (busy == m_busy) return;
    m_busy = busy;
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

void WidgetInteraction::showProgress() {
    if (m_hooks.showProgress) m_hooks.showProgress();
}

void WidgetInteraction::setProgress(int percent) {
    if (m_hooks.setProgress) m_hooks.setProgress(percent);
}

void WidgetInteraction::hideProgress() {
    if (m_hooks.hideProgress) m_hooks.hideProgress();
}

void WidgetInteraction::processPendingEvents() {
    QApplication::processEvents();
    if (afterPendingEvents) afterPendingEvents();
}

}  // namespace moraven
