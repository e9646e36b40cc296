#include "ui/video_surface.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <QColor>
#include <QEvent>
#include <QImage>
#include <QPixmap>
#include <QTest>

#include <gtest/gtest.h>

namespace moraven {
namespace {

PictureFormat bgrFormat(int width, int height, std::uint32_t aspectX, std::uint32_t aspectY) {
    PictureFormat format;
    format.layout = PixelLayout::Bgr24;
    format.width = width;
    format.height = height;
    format.aspectX = aspectX;
    format.aspectY = aspectY;
    return format;
}

// A picture of one colour, in BGR byte order.
std::vector<std::uint8_t> solid(const PictureFormat& format, QColor colour) {
    std::vector<std::uint8_t> bytes(pictureBytes(format));
    for (std::size_t i = 0; i + 2 < bytes.size(); i += 3) {
        bytes[i] = static_cast<std::uint8_t>(colour.blue());
        bytes[i + 1] = static_cast<std::uint8_t>(colour.green());
        bytes[i + 2] = static_cast<std::uint8_t>(colour.red());
    }
    return bytes;
}

// The widget as it paints now, as an image of its own size.
QImage shot(VideoSurface& surface) { return surface.grab().toImage(); }

bool near(QColor a, QColor b) {
    return std::abs(a.red() - b.red()) < 16 && std::abs(a.green() - b.green()) < 16 &&
           std::abs(a.blue() - b.blue()) < 16;
}

bool allBlack(const QImage& image) {
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (!near(image.pixelColor(x, y), Qt::black)) return false;
        }
    }
    return true;
}

// Counts the paint events the widget receives.
class PaintCounter : public QObject {
public:
    int count = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++count;
        return false;
    }
};

struct FitCase {
    const char* name;
    QSize widget;
    PictureFormat picture;
    QRect expected;  // where the picture lands, in widget pixels
};

class VideoSurfaceFitTest : public ::testing::TestWithParam<FitCase> {};

// The picture keeps its display aspect, centred, whatever its stored size: a DV picture of 720 × 576 is shown
// 16:9 or 4:3 by its aspect, not 5:4 by its pixels; without an aspect its pixels are square.
TEST_P(VideoSurfaceFitTest, PaintsThePictureInItsAspectBetweenBlackBars) {
    const FitCase& c = GetParam();
    VideoSurface surface;
    surface.resize(c.widget);
    std::vector<std::uint8_t> picture = solid(c.picture, QColor(255, 0, 0));
    surface.present(c.picture, picture, MediaTime::fromTicks(400'000));

    const QImage image = shot(surface);
    ASSERT_EQ(image.size(), c.widget);
    EXPECT_EQ(surface.pictureRect(), c.expected);
    // Inside the expected rectangle (two pixels in, clear of the smoothed edge) red; two pixels outside black.
    const QRect inner = c.expected.adjusted(2, 2, -2, -2);
    for (const QPoint point : {inner.topLeft(), inner.topRight(), inner.bottomLeft(), inner.bottomRight(),
                               inner.center()}) {
        EXPECT_TRUE(near(image.pixelColor(point), Qt::red)) << c.name << " at " << point.x() << "," << point.y();
    }
    const QRect outer = c.expected.adjusted(-2, -2, 2, 2);
    for (const QPoint point : {QPoint(outer.center().x(), outer.top()), QPoint(outer.center().x(), outer.bottom()),
                               QPoint(outer.left(), outer.center().y()), QPoint(outer.right(), outer.center().y())}) {
        if (!image.rect().contains(point)) continue;  // the picture reaches this edge of the widget
        EXPECT_TRUE(near(image.pixelColor(point), Qt::black)) << c.name << " at " << point.x() << "," << point.y();
    }
    EXPECT_EQ(surface.shownStart(), MediaTime::fromTicks(400'000));
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, VideoSurfaceFitTest,
    ::testing::Values(
        // 16:9 in a 4:3 widget: full width, bars above and below (320 / 16 × 9 = 180 lines, 30 each side).
        FitCase{"wide_in_4_3", {320, 240}, bgrFormat(64, 36, 16, 9), QRect(0, 30, 320, 180)},
        // A 16:9 DV picture (720 × 576, anamorphic) the same.
        FitCase{"dv_wide_in_4_3", {320, 240}, bgrFormat(720, 576, 16, 9), QRect(0, 30, 320, 180)},
        // 4:3 DV in a 4:3 widget: all of it.
        FitCase{"dv_4_3_in_4_3", {240, 180}, bgrFormat(720, 576, 4, 3), QRect(0, 0, 240, 180)},
        // 4:3 in a 16:9 widget: full height, bars left and right (180 / 3 × 4 = 240 columns, 40 each side).
        FitCase{"narrow_in_16_9", {320, 180}, bgrFormat(72, 54, 4, 3), QRect(40, 0, 240, 180)},
        // No aspect known: square pixels (2:1 in a 200 × 200 widget).
        FitCase{"square_pixels", {200, 200}, bgrFormat(40, 20, 0, 0), QRect(0, 50, 200, 100)}),
    [](const ::testing::TestParamInfo<FitCase>& test) { return std::string(test.param.name); });

TEST(VideoSurfaceTest, IsBlackBeforeAnyPictureAndAfterClear) {
    VideoSurface surface;
    surface.resize(160, 120);
    EXPECT_TRUE(allBlack(shot(surface)));
    EXPECT_FALSE(surface.hasPicture());

    const PictureFormat format = bgrFormat(16, 12, 4, 3);
    std::vector<std::uint8_t> picture = solid(format, Qt::white);
    surface.present(format, picture, MediaTime());
    EXPECT_FALSE(allBlack(shot(surface)));

    surface.clear();
    EXPECT_TRUE(allBlack(shot(surface)));
    EXPECT_FALSE(surface.hasPicture());
    EXPECT_TRUE(surface.pictureRect().isEmpty());
}

// What the surface cannot paint leaves the last picture on screen, and the caller's buffer untouched.
TEST(VideoSurfaceTest, IgnoresPicturesItCannotPaint) {
    VideoSurface surface;
    surface.resize(160, 120);
    const PictureFormat format = bgrFormat(16, 12, 4, 3);
    std::vector<std::uint8_t> green = solid(format, Qt::green);
    surface.present(format, green, MediaTime());

    PictureFormat yuv = dvPictureFormat(DvSystem::Pal625, false);
    std::vector<std::uint8_t> yuvPicture(pictureBytes(yuv), 0x10);
    std::vector<std::uint8_t> shortPicture = solid(format, Qt::blue);
    shortPicture.pop_back();
    const std::vector<std::uint8_t> shortCopy = shortPicture;
    surface.present(yuv, yuvPicture, MediaTime());
    surface.present(format, shortPicture, MediaTime());
    std::vector<std::uint8_t> empty;
    surface.present(bgrFormat(0, 0, 4, 3), empty, MediaTime());

    EXPECT_EQ(shortPicture, shortCopy);
    EXPECT_EQ(yuvPicture.size(), pictureBytes(yuv));
    EXPECT_TRUE(near(shot(surface).pixelColor(80, 60), Qt::green));
}

// Pictures from another thread reach the screen through a repaint on the widget's thread; the buffers keep
// circulating (the caller gets one of the same size back once the surface has painted).
TEST(VideoSurfaceTest, PicturesFromAnotherThreadArriveAndRepaint) {
    VideoSurface surface;
    surface.resize(160, 90);
    PaintCounter paints;
    surface.installEventFilter(&paints);
    surface.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&surface));

    const PictureFormat format = bgrFormat(32, 18, 16, 9);
    const QColor colours[] = {Qt::red, Qt::green, Qt::blue};
    std::vector<std::uint8_t> buffer;
    for (int i = 0; i < 3; ++i) {
        const int before = paints.count;
        std::thread streaming([&] {
            buffer = solid(format, colours[i]);
            surface.present(format, buffer, MediaTime::fromTicks(400'000 * i));
        });
        streaming.join();
        ASSERT_TRUE(QTest::qWaitFor([&] { return paints.count > before; }, 10'000)) << "picture " << i;
        EXPECT_EQ(surface.shownStart(), MediaTime::fromTicks(400'000 * i));
        EXPECT_TRUE(near(shot(surface).pixelColor(80, 45), colours[i])) << "picture " << i;
    }
    // The third present() swapped out the buffer the surface held in its slot: the first picture's.
    EXPECT_EQ(buffer.size(), pictureBytes(format));

    // clear() from the streaming thread repaints black as well.
    const int before = paints.count;
    std::thread([&] { surface.clear(); }).join();
    ASSERT_TRUE(QTest::qWaitFor([&] { return paints.count > before; }, 10'000));
    EXPECT_FALSE(surface.hasPicture());
    EXPECT_TRUE(allBlack(shot(surface)));
}

}  // namespace
}  // namespace moraven
