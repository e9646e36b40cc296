#include "ui/video_surface.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include <QImage>
#include <QMetaObject>
#include <QPainter>
#include <QPalette>

namespace moraven {

VideoSurface::VideoSurface(QWidget* parent) : QWidget(parent) {
    // The surface paints every pixel itself: Qt need not clear it first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(false);
}

void VideoSurface::present(const PictureFormat& format, std::vector<std::uint8_t>& picture, MediaTime start) {
    if (format.layout != PixelLayout::Bgr24) return;
    const std::size_t needed = pictureBytes(format);
    if (needed == 0 || picture.size() < needed) return;
    {
        std::lock_guard lock(m_mutex);
        m_pending.swap(picture);
        m_pendingFormat = format;
        m_pendingStart = start;
        m_pendingFresh = true;
        m_pendingClear = false;
    }
    requestRepaint();
}

void VideoSurface::clear() {
    {
        std::lock_guard lock(m_mutex);
        m_pendingFresh = false;
        m_pendingClear = true;
    }
    requestRepaint();
}

void VideoSurface::requestRepaint() {
    // One request in flight at a time: pictures presented faster than the widget paints only replace the slot.
    if (m_repaintQueued.exchange(true)) return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_repaintQueued.store(false);
            update();
        },
        Qt::QueuedConnection);
}

void VideoSurface::takePending() {
    std::lock_guard lock(m_mutex);
    if (m_pendingFresh) {
        // The slot keeps the buffer painted until now, for the next present() to swap out.
        m_shown.swap(m_pending);
        m_shownFormat = m_pendingFormat;
        m_shownStart = m_pendingStart;
        m_shownValid = true;
        m_pendingFresh = false;
    } else if (m_pendingClear) {
        m_shownValid = false;
        m_shownStart = MediaTime();
    }
    m_pendingClear = false;
}

QRect VideoSurface::fitPicture(const PictureFormat& format, const QRect& area) {
    if (area.isEmpty() || format.width <= 0 || format.height <= 0) return {};
    const bool aspectKnown = format.aspectX != 0 && format.aspectY != 0;
    const double shapeX = aspectKnown ? format.aspectX : static_cast<double>(format.width);
    const double shapeY = aspectKnown ? format.aspectY : static_cast<double>(format.height);
    // As wide as the area when the picture is the wider of the two, else as high.
    int width = area.width();
    int height = static_cast<int>(std::lround(width * shapeY / shapeX));
    if (height > area.height()) {
        height = area.height();
        width = static_cast<int>(std::lround(height * shapeX / shapeY));
    }
    width = std::clamp(width, 1, area.width());
    height = std::clamp(height, 1, area.height());
    return QRect(area.x() + (area.width() - width) / 2, area.y() + (area.height() - height) / 2, width, height);
}

QRect VideoSurface::pictureRect() const {
    return m_shownValid ? fitPicture(m_shownFormat, rect()) : QRect();
}

void VideoSurface::paintEvent(QPaintEvent*) {
    takePending();
    QPainter painter(this);
    const QRect target = pictureRect();
    if (target.isEmpty()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    // Only the bars are filled: the picture covers the rest.
    painter.fillRect(QRect(0, 0, width(), target.top()), Qt::black);
    painter.fillRect(QRect(0, target.bottom() + 1, width(), height() - target.bottom() - 1), Qt::black);
    painter.fillRect(QRect(0, target.top(), target.left(), target.height()), Qt::black);
    painter.fillRect(QRect(target.right() + 1, target.top(), width() - target.right() - 1, target.height()),
                     Qt::black);
    // A view over the shown buffer, no copy: BGR24 rows are tight, as the picture format says.
    const QImage image(m_shown.data(), m_shownFormat.width, m_shownFormat.height, m_shownFormat.width * 3,
                       QImage::Format_BGR888);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, image);
}

}  // namespace moraven
