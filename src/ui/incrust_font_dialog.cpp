#include "ui/incrust_font_dialog.h"

#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QFontInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace moraven {

QColor colorFromIncrustColor(std::int32_t bgr) {
    return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

std::int32_t incrustColorFromColor(const QColor& color) {
    return color.red() | (color.green() << 8) | (color.blue() << 16);
}

IncrustFontDialog::IncrustFontDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FontDialog1"));
    setWindowTitle(QStringLiteral("Font"));
    setModal(true);
    QFont ownFont(QStringLiteral("MS Sans Serif"));
    ownFont.setStyleHint(QFont::SansSerif);
    setFont(ownFont);

    // The font chooser is embedded as a plain widget; this dialog gives it the colour and the buttons.
    m_fonts = new QFontDialog(this);
    m_fonts->setWindowFlags(Qt::Widget);
    m_fonts->setOptions(QFontDialog::NoButtons | QFontDialog::ScalableFonts |
                        QFontDialog::DontUseNativeDialog);

    m_colorButton = new QPushButton(QStringLiteral("Color..."), this);
    m_colorButton->setObjectName(QStringLiteral("ColorBtn"));
    connect(m_colorButton, &QPushButton::clicked, this, &IncrustFontDialog::chooseColor);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* colorRow = new QHBoxLayout;
    colorRow->addWidget(new QLabel(QStringLiteral("Color:"), this));
    colorRow->addWidget(m_colorButton);
    colorRow->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_fonts);
    layout->addLayout(colorRow);
    layout->addWidget(buttons);
}

QFont IncrustFontDialog::currentFont() const { return m_fonts->currentFont(); }

void IncrustFontDialog::setCurrentFont(const QFont& font) { m_fonts->setCurrentFont(font); }

void IncrustFontDialog::setCurrentColor(const QColor& color) {
    m_color = color;
    QPixmap swatch(16, 16);
    swatch.fill(color);
    m_colorButton->setIcon(QIcon(swatch));
}

void IncrustFontDialog::chooseColor() {
    const QColor chosen = QColorDialog::getColor(m_color, this, QStringLiteral("Color"));
    if (chosen.isValid()) setCurrentColor(chosen);
}

bool IncrustFontDialog::run(IncrustFont& font) {
    QFont preset(QString::fromStdString(font.name));
    preset.setPointSize(font.size > 0 ? font.size : 48);
    preset.setBold(font.style.bold);
    preset.setItalic(font.style.italic);
    preset.setUnderline(font.style.underline);
    preset.setStrikeOut(font.style.strikeOut);
    // The chooser lists installed families only: a family the system substitutes ("Arial" drawn with
    // Liberation Sans) is shown as its substitute, and stays as it was named unless another is chosen.
    const QString shownFamily = QFontInfo(preset).family();
    preset.setFamily(shownFamily);
    setCurrentFont(preset);
    setCurrentColor(colorFromIncrustColor(font.color));
    if (exec() != QDialog::Accepted) return false;

    const QFont chosen = currentFont();
    if (chosen.family() != shownFamily) font.name = chosen.family().toStdString();
    if (chosen.pointSize() > 0) font.size = chosen.pointSize();
    font.style = {chosen.bold(), chosen.italic(), chosen.underline(), chosen.strikeOut()};
    font.color = incrustColorFromColor(m_color);
    return true;
}

}  // namespace moraven
