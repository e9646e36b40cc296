// The text module on Qt's font engine: fonts chosen by cell or character height, lines measured with
// QFontMetrics and rendered with QPainter into 8-bit alpha images.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include <QCoreApplication>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QString>

#include "pipeline/text/text_rasterizer.h"

namespace moraven {
namespace {

// Heights above this are drawn at this size: no picture needs more, and it bounds the work and memory of
// a line whatever height is asked for.
constexpr int kMaxPixelHeight = 2048;

int clampedHeight(int pixels) { return std::clamp(pixels, 1, kMaxPixelHeight); }

QFont styledFont(const TextFont& font, int pixelSize) {
    QFont qfont(QString::fromStdString(font.family));
    qfont.setPixelSize(pixelSize);
    qfont.setBold(font.bold);
    qfont.setItalic(font.italic);
    qfont.setUnderline(font.underline);
    qfont.setStrikeOut(font.strikeOut);
    qfont.setStyleStrategy(QFont::PreferAntialias);
    return qfont;
}

int cellOf(const QFont& font) {
    const QFontMetrics metrics(font);
    return metrics.ascent() + metrics.descent();
}

// The font whose cell (ascent plus descent) is the largest not above `cell` pixels. Cells grow with the
// pixel size almost in proportion, so one measure at a large size gives a close start and a few steps settle
// the rounding of the font's own metrics.
QFont fontByCell(const TextFont& font, int cell) {
    constexpr int kProbeSize = 100;
    const int probeCell = std::max(1, cellOf(styledFont(font, kProbeSize)));
    int size = std::clamp(cell * kProbeSize / probeCell, 1, kMaxPixelHeight);
    for (int step = 0; step < 64 && size > 1 && cellOf(styledFont(font, size)) > cell; ++step) --size;
    for (int step = 0; step < 64 && size < kMaxPixelHeight && cellOf(styledFont(font, size + 1)) <= cell; ++step) {
        ++size;
    }
    return styledFont(font, size);
}

class QtTextRasterizer final : public TextRasterizer {
public:
    TextMetrics measure(const TextFont& font, std::string_view utf8) override {
        const QFont& qfont = chosen(font);
        const QFontMetrics metrics(qfont);
        TextMetrics result;
        result.ascent = metrics.ascent();
        result.cellHeight = metrics.ascent() + metrics.descent();
        result.width = utf8.empty() ? 0 : metrics.horizontalAdvance(toQString(utf8));
        return result;
    }

    TextMask render(const TextFont& font, std::string_view utf8, int fromX, int toX) override {
        TextMask mask;
        mask.metrics = measure(font, utf8);
        if (utf8.empty() || fromX >= toX) return mask;
        const QFont& qfont = chosen(font);
        const QFontMetrics metrics(qfont);
        const QString text = toQString(utf8);
        const int ascent = mask.metrics.ascent;
        const int cell = mask.metrics.cellHeight;
        // The ink's box from the baseline's origin, with room for antialiasing and for the slant that the
        // box of an italic run does not always include.
        const QRect ink = metrics.boundingRect(text);
        const int margin = 2 + (font.italic ? cell / 4 : 0);
        const long long inkLeft = std::min<long long>(0, ink.left() - margin);
        const long long inkRight = std::max<long long>(mask.metrics.width, ink.right() + 1 + margin);
        const int top = std::min(0, ascent + ink.top() - margin);
        const int bottom = std::max(cell, ascent + ink.bottom() + 1 + margin);
        const long long left = std::max<long long>(inkLeft, fromX);
        const long long right = std::min<long long>(inkRight, toX);
        if (left >= right || top >= bottom) return mask;

        QImage image(static_cast<int>(right - left), bottom - top, QImage::Format_Alpha8);
        if (image.isNull()) return mask;
        image.fill(0);
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::TextAntialiasing);
            painter.setFont(qfont);
            painter.setPen(QColor(0, 0, 0, 255));
            painter.drawText(QPointF(static_cast<double>(-left), static_cast<double>(ascent - top)), text);
        }
        mask.offsetX = static_cast<int>(left);
        mask.offsetY = top;
        mask.width = image.width();
        mask.height = image.height();
        mask.coverage.resize(static_cast<std::size_t>(mask.width) * static_cast<std::size_t>(mask.height));
        for (int y = 0; y < mask.height; ++y) {
            std::memcpy(mask.coverage.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(mask.width),
                        image.constScanLine(y), static_cast<std::size_t>(mask.width));
        }
        return mask;
    }

private:
    static QString toQString(std::string_view utf8) {
        return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    }

    // The Qt font for `font`, chosen again only when the description changed.
    const QFont& chosen(const TextFont& font) {
        if (!m_font || !(m_description == font)) {
            const int height = clampedHeight(font.pixelHeight);
            // A pixel size is Qt's em size: the character height without internal leading.
            m_font = font.heightKind == TextHeight::Cell ? fontByCell(font, height) : styledFont(font, height);
            m_description = font;
        }
        return *m_font;
    }

    TextFont m_description;
    std::optional<QFont> m_font;
};

class QtTextModule final : public TextModule {
public:
    std::unique_ptr<TextRasterizer> createRasterizer() const override {
        return std::make_unique<QtTextRasterizer>();
    }
};

// Qt renders text only inside a QGuiApplication. Without any application object, one is made here on the
// "offscreen" platform (no display needed) and kept until the process ends; its thread, the loader's, is
// Qt's main thread from then on.
bool ensureGuiApplication(std::string* error) {
    if (QCoreApplication::instance() == nullptr) {
        static int argc = 3;
        static char name[] = "moraven";
        static char option[] = "-platform";
        static char platform[] = "offscreen";
        static char* argv[] = {name, option, platform, nullptr};
        // Setting up a platform without a session (no runtime folder, as for a service or in a container)
        // makes Qt describe its defaults on standard error; a program run from a script must stay quiet.
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext&, const QString&) {
                if (type == QtFatalMsg) std::abort();
            });
        new QGuiApplication(argc, argv);  // never deleted: fonts and caches belong to it until exit
        qInstallMessageHandler(previous);
    }
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) {
        if (error != nullptr) *error = "the program's Qt application cannot draw text (it is no QGuiApplication)";
        return false;
    }
    return true;
}

}  // namespace
}  // namespace moraven

extern "C" __attribute__((visibility("default"))) moraven::TextModule* moravenTextModule(unsigned interfaceVersion,
                                                                                         std::string* error) {
    if (interfaceVersion != moraven::TextModule::kInterfaceVersion) {
        if (error != nullptr) *error = "the text module was built for another version of the program";
        return nullptr;
    }
    if (!moraven::ensureGuiApplication(error)) return nullptr;
    static moraven::QtTextModule module;
    return &module;
}
