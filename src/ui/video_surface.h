#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include <QRect>
#include <QWidget>

#include "formats/media_time.h"
#include "pipeline/preview/media_sinks.h"
#include "pipeline/video/picture_format.h"

namespace moraven {

// The player's picture surface: a black widget that paints the last picture the preview graph presented,
// scaled to keep its display aspect and centred (bars of black fill the rest).
//
// Threads: present() and clear() may be called from any thread (the graph's streaming thread); they only swap
// the picture into a slot under a mutex and post one repaint request to the widget's thread, never touching
// the widget itself. Everything else runs on the widget's thread. The graph must stop calling before the
// surface is destroyed (a repaint request still queued then is dropped with the widget).
//
// Buffers: three picture buffers circulate (the caller's, the slot's and the one painted), swapped, never
// copied, so that no picture allocates once the sizes stay the same.
class VideoSurface : public QWidget, public VideoSink {
public:
    explicit VideoSurface(QWidget* parent = nullptr);

    // A BGR24 picture of `format` (at least pictureBytes(format) bytes); any other layout, or a buffer shorter
    // than the picture, is ignored and the previous picture stays. `picture` receives an older buffer.
    void present(const PictureFormat& format, std::vector<std::uint8_t>& picture, MediaTime start) override;
    void clear() override;

    // What the widget shows now, on its own thread: whether a picture is shown, and where, in widget pixels
    // (empty when black). The start time is that of the picture shown.
    bool hasPicture() const { return m_shownValid; }
    QRect pictureRect() const;
    MediaTime shownStart() const { return m_shownStart; }

    // The rectangle of `area` that shows a picture of `format` in its display aspect, centred; the aspect is
    // aspectX:aspectY when both are given, else the picture's own width:height (square pixels).
    static QRect fitPicture(const PictureFormat& format, const QRect& area);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void requestRepaint();
    // Takes the slot's news into the shown picture (widget's thread).
    void takePending();

    // The slot, shared with the presenting thread.
    std::mutex m_mutex;
    PictureFormat m_pendingFormat;
    std::vector<std::uint8_t> m_pending;
    MediaTime m_pendingStart;
    bool m_pendingFresh = false;   // m_pending holds a picture not yet taken
    bool m_pendingClear = false;   // clear() came after the last picture taken
    std::atomic<bool> m_repaintQueued{false};

    // The widget's thread only.
    PictureFormat m_shownFormat;
    std::vector<std::uint8_t> m_shown;
    MediaTime m_shownStart;
    bool m_shownValid = false;
};

}  // namespace moraven
