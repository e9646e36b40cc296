#pragma once

#include <QColor>
#include <QDialog>
#include <QFont>

#include "settings/preferences.h"

class QFontDialog;
class QPushButton;

namespace moraven {

// The font dialog of the inlay: the platform's font chooser limited to scalable fonts, with the effects
// underline and strike-out, and a colour button, since the inlay font has a colour of its own. Modal;
// window thread only.
class IncrustFontDialog : public QDialog {
    Q_OBJECT

public:
    explicit IncrustFontDialog(QWidget* parent = nullptr);

    // Opens the dialog preset with `font`; on OK writes the chosen name, size, style and colour into it
    // and answers true. Cancel leaves `font` as it was.
    bool run(IncrustFont& font);

    // What the dialog shows; for the caller's tests and for presetting.
    QFont currentFont() const;
    void setCurrentFont(const QFont& font);
    QColor currentColor() const { return m_color; }
    void setCurrentColor(const QColor& color);

private:
    void chooseColor();

    QFontDialog* m_fonts = nullptr;
    QPushButton* m_colorButton = nullptr;
    QColor m_color;
};

// The inlay font's colour, stored as 0x00BBGGRR, as a colour and back.
QColor colorFromIncrustColor(std::int32_t bgr);
std::int32_t incrustColorFromColor(const QColor& color);

}  // namespace moraven
