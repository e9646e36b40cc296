#include <algorithm>
#include <cstring>
#include <deque>
#include <vector>

extern "C" {
#include <libswscale/swscale.h>
}

#include "pipeline/ffmpeg/av_handles.h"
#include "pipeline/ffmpeg/conversions.h"
#include "pipeline/ffmpeg/deinterlace_filter.h"
#include "pipeline/ffmpeg/picture_frames.h"

namespace moraven::ffmpeg {

namespace {

// Where a source picture goes inside the target: a centred rectangle whose sides keep the chroma planes and
// both fields aligned (offsets in steps of four pixels and four lines).
struct Placement {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

double displayAspect(const PictureFormat& format) {
    if (format.aspectX != 0 && format.aspectY != 0) return static_cast<double>(format.aspectX) / format.aspectY;
    return static_cast<double>(format.width) / format.height;  // square pixels
}

// `full` shortened by the shrink factor, with the margin on each side a multiple of four.
int fittedSide(int full, double factor) {
    const double margin = full * (1.0 - factor) / 2.0;
    const int alignedMargin = static_cast<int>(margin / 4.0 + 0.5) * 4;
    return std::max(4, full - 2 * alignedMargin);
}

Placement placementOf(const PictureFormat& source, const PictureFormat& target) {
    const double sourceAspect = displayAspect(source);
    const double targetAspect = displayAspect(target);
    Placement placement{0, 0, target.width, target.height};
    if (sourceAspect > targetAspect) placement.height = fittedSide(target.height, targetAspect / sourceAspect);
    else placement.width = fittedSide(target.width, sourceAspect / targetAspect);
    placement.width = std::min(placement.width, target.width);
    placement.height = std::min(placement.height, target.height);
    placement.x = (target.width - placement.width) / 2;
    placement.y = (target.height - placement.height) / 2;
    return placement;
}

// Chroma subsampling of our layouts, as shifts (across, down).
void chromaShift(PixelLayout layout, int& across, int& down) {
    across = layout == PixelLayout::Yuv411p ? 2 : (layout == PixelLayout::Bgr24 ? 0 : 1);
    down = layout == PixelLayout::Yuv420p ? 1 : 0;
}

void fillBlack(const PictureView& view) {
    if (view.format.layout == PixelLayout::Bgr24) {
        const PlaneGeometry geometry = planeGeometry(view.format, 0);
        std::memset(view.planes[0], 0, geometry.bytes());
        return;
    }
    for (int plane = 0; plane < 3; ++plane) {
        const PlaneGeometry geometry = planeGeometry(view.format, plane);
        std::memset(view.planes[static_cast<std::size_t>(plane)], plane == 0 ? 16 : 128, geometry.bytes());
    }
}

class FfmpegPictureConformer final : public PictureConformer {
public:
    explicit FfmpegPictureConformer(const PictureFormat& target) : m_target(target) {}

    bool push(const PictureFormat& format, Bytes picture, MediaTime start) override {
        if (m_ended || picture.size() != pictureBytes(format) || picture.empty()) return false;
        // An interlaced picture that changes height is made progressive first: scaling both fields together
        // would smear the motion between them into combs.
        const bool deinterlace = DeinterlaceFilter::takes(format) &&
                                 placementOf(format, m_target).height != format.height;
        if (m_filter.isOpen() && (!deinterlace || !(m_filter.format() == format))) drainFilter(true);
        if (deinterlace && !m_filter.isOpen() && !m_filterFailed) m_filterFailed = !m_filter.open(format, nullptr);
        if (deinterlace && m_filter.isOpen()) {
            if (!m_filter.push(picture, start)) return false;
            drainFilter(false);
            return true;
        }
        retime(format, picture, start);
        return true;
    }

    void pushEnd() override {
        if (m_ended) return;
        if (m_filter.isOpen()) drainFilter(true);
        m_ended = true;
        if (!m_held) return;
        MediaTime duration = m_heldFormat.frameDuration;
        if (duration <= MediaTime()) duration = m_lastInterval;
        if (duration <= MediaTime()) duration = m_target.frameDuration;
        // The last picture covers its duration: the target frames whose middle falls inside it show it.
        emitBefore(m_heldStart + duration - MediaTime::fromTicks(m_target.frameDuration.ticks() / 2));
        if (m_emitted == 0) emit();  // a single short picture still gives one
    }

    bool pull(std::vector<std::uint8_t>& picture, MediaTime& start) override {
        if (m_ready.empty()) return false;
        picture = std::move(m_ready.front().picture);
        start = m_ready.front().start;
        m_ready.pop_front();
        return true;
    }

private:
    struct Output {
        std::vector<std::uint8_t> picture;
        MediaTime start;
    };

    // The de-interlaced pictures that are ready (all of them, the filter closed, when `end`) into the retiming.
    void drainFilter(bool end) {
        if (end) m_filter.pushEnd();
        PictureFormat progressive = m_filter.format();
        progressive.fieldOrder = FieldOrder::Progressive;
        std::vector<std::uint8_t> picture;
        MediaTime start;
        while (m_filter.pull(picture, start)) retime(progressive, picture, start);
        if (end) m_filter = DeinterlaceFilter();
    }

    void retime(const PictureFormat& format, Bytes picture, MediaTime start) {
        if (m_held) {
            if (start > m_heldStart) {
                m_lastInterval = start - m_heldStart;
                // Target times nearer to the held picture than to this one show the held picture.
                emitBefore(m_heldStart + MediaTime::fromTicks(m_lastInterval.ticks() / 2));
            }
        } else {
            m_nextStart = start;
        }
        m_held = true;
        m_heldFormat = format;
        m_heldStart = start;
        m_heldPicture.assign(picture.begin(), picture.end());
        m_heldConverted = false;
    }

    // Outputs of the held picture for every target time before `end`.
    void emitBefore(MediaTime end) {
        while (m_nextStart < end) emit();
    }

    void emit() {
        if (!m_heldConverted) {
            m_heldConverted = convertHeld();
            if (!m_heldConverted) {
                // A picture that cannot be converted shows black, so the timing of the stream holds.
                m_converted.resize(pictureBytes(m_target));
                if (const auto view = viewPicture(m_target, std::span<std::uint8_t>(m_converted))) fillBlack(*view);
                m_heldConverted = true;
            }
        }
        m_ready.push_back({m_converted, m_nextStart});
        m_nextStart += m_target.frameDuration;
        ++m_emitted;
    }

    bool convertHeld() {
        const PictureFormat& source = m_heldFormat;
        const auto in = viewPicture(source, Bytes(m_heldPicture));
        m_converted.resize(pictureBytes(m_target));
        const auto out = viewPicture(m_target, std::span<std::uint8_t>(m_converted));
        if (!in || !out) return false;
        const Placement place = placementOf(source, m_target);
        if (place.width != m_target.width || place.height != m_target.height) fillBlack(*out);

        // An interlaced picture that changes height and that the filter could not take is scaled from its
        // earlier field alone.
        const bool oneField = source.fieldOrder != FieldOrder::Progressive && source.height != place.height &&
                              source.height >= 8;
        const int parity = oneField && source.fieldOrder == FieldOrder::BottomFirst ? 1 : 0;
        const int sourceHeight = oneField ? (source.height / 2) & ~1 : source.height;
        std::array<const std::uint8_t*, 4> sourcePlanes{};
        std::array<int, 4> sourceStrides{};
        for (int plane = 0; plane < planeCount(source.layout); ++plane) {
            const auto i = static_cast<std::size_t>(plane);
            sourcePlanes[i] = in->planes[i] + (oneField ? parity * in->strides[i] : 0);
            sourceStrides[i] = in->strides[i] * (oneField ? 2 : 1);
        }

        int across = 0;
        int down = 0;
        chromaShift(m_target.layout, across, down);
        std::array<std::uint8_t*, 4> targetPlanes{};
        std::array<int, 4> targetStrides{};
        for (int plane = 0; plane < planeCount(m_target.layout); ++plane) {
            const auto i = static_cast<std::size_t>(plane);
            const bool chroma = plane > 0;
            const int x = m_target.layout == PixelLayout::Bgr24 ? place.x * 3 : (chroma ? place.x >> across : place.x);
            const int y = chroma ? place.y >> down : place.y;
            targetPlanes[i] = out->planes[i] + static_cast<std::ptrdiff_t>(y) * out->strides[i] + x;
            targetStrides[i] = out->strides[i];
        }

        m_scaler.reset(sws_getCachedContext(m_scaler.release(), source.width, sourceHeight,
                                            static_cast<AVPixelFormat>(avPixelFormat(source.layout)), place.width,
                                            place.height, static_cast<AVPixelFormat>(avPixelFormat(m_target.layout)),
                                            SWS_BICUBIC, nullptr, nullptr, nullptr));
        if (!m_scaler) return false;
        return sws_scale(m_scaler.get(), sourcePlanes.data(), sourceStrides.data(), 0, sourceHeight,
                         targetPlanes.data(), targetStrides.data()) > 0;
    }

    PictureFormat m_target;
    ScalerHandle m_scaler;
    DeinterlaceFilter m_filter;
    bool m_filterFailed = false;  // pictures are then scaled from one field
    bool m_held = false;
    bool m_ended = false;
    PictureFormat m_heldFormat;
    MediaTime m_heldStart;
    std::vector<std::uint8_t> m_heldPicture;
    bool m_heldConverted = false;
    std::vector<std::uint8_t> m_converted;
    MediaTime m_lastInterval;
    MediaTime m_nextStart;
    std::uint64_t m_emitted = 0;
    std::deque<Output> m_ready;
};

}  // namespace

std::unique_ptr<PictureConformer> makePictureConformer(const PictureFormat& target, std::string* error) {
    if (target.width <= 0 || target.height <= 0 || target.frameDuration <= MediaTime())
        return failWith<PictureConformer>(error, "the target picture has no size or no frame rate");
    return std::make_unique<FfmpegPictureConformer>(target);
}

}  // namespace moraven::ffmpeg
