#include "ui/placeholder_frame.h"

#include <QFont>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>

namespace moraven {

namespace {

// A strip of film: the placeholder's picture.
QPixmap filmStrip(int width, int height) {
    QPixmap pixmap(width, height);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(40, 40, 48));
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(0, 0, width, height, 6, 6);
    painter.setBrush(QColor(235, 235, 225));
    const int hole = height / 8;
    for (int x = hole; x + hole < width; x += 2 * hole) {
        painter.drawRect(x, hole / 2, hole, hole);
        painter.drawRect(x, height - 3 * hole / 2, hole, hole);
    }
    painter.setBrush(QColor(90, 140, 200));
    const int frameTop = 2 * hole;
    const int frameHeight = height - 4 * hole;
    const int frameWidth = (width - 4 * hole) / 3;
    for (int i = 0; i < 3; ++i)
        painter.drawRect(hole + i * (frameWidth + hole), frameTop, frameWidth, frameHeight);
    return pixmap;
}

}  // namespace

PlaceholderFrame::PlaceholderFrame(QWidget* parent) : QWidget(parent) {
    setObjectName("VideFrame");
    setFixedSize(kWidth, kHeight);
    setAutoFillBackground(true);
    m_memo = new QPlainTextEdit(this);
    m_memo->setObjectName("Memo1");
    m_memo->setReadOnly(true);
    m_memo->setGeometry(8, 8, kWidth - 16, 255);
    m_picture = new QLabel(this);
    m_picture->setObjectName("Image1");
    m_picture->setGeometry(8, 275, kWidth - 16, 100);
    m_picture->setAlignment(Qt::AlignCenter);
    m_picture->setPixmap(filmStrip(kWidth - 40, 90));
    ApplyEnglishTexts();
}

void PlaceholderFrame::ApplyEnglishTexts() {
    m_memo->setFont(QFont("Arial", 9));
    m_memo->setPlainText(
        "Drag and drop one or several files to this window.\n\n"
        "You may also open or paste files with speedbuttons \n\n"
        "Open all avi files from your computer with Ctrl+F7.\n\n"
        "Only the files with extension *.avi will be processed. \n\n"
        "Type F10 to modify Settings, F1 to get help. \n\n"
        "The list of available commands with all keyboard shortcuts is in the Settings panel (F10).");
    m_picture->setToolTip("This program is not for camels!");
}

QString PlaceholderFrame::memoText() const { return m_memo->toPlainText(); }

}  // namespace moraven
