#include "pipeline/video/field_standards_converter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

namespace moraven {

namespace {

// Tap weights are in 1/64: four taps of 8-bit samples then sum in 16 bits (the cubic's weights add up to at
// most 1.25 in magnitude, 1.25 x 64 x 255 < 32768), which the vector units multiply eight or sixteen at a
// time.
constexpr int kWeightBits = 6;
constexpr std::int16_t kWeightOne = 1 << kWeightBits;
constexpr std::int64_t kPalFieldUnits = 1200;  // one field of 50 a second in 1/60000 s
constexpr std::int64_t kNtscFieldUnits = 1001; // one field of 60000/1001 a second in 1/60000 s

// Where the rows of a plane lie. Row r belongs to the field of parity r % 2 (0: top, the even frame lines;
// 1: bottom) as that field's row r / 2, and field row i lies at `step` x i + `offset` in its field's lines:
// luma and NTSC chroma one row a line, PAL chroma one row for two field lines, sited between them.
struct RowSiting {
    double step = 1;
    double offset = 0;
};
constexpr RowSiting kOneRowPerLine{1, 0};
constexpr RowSiting kOneRowPerTwoFieldLines{2, 0.5};

// Catmull-Rom weights for the taps at -1, 0, +1, +2 around a position `t` in [0, 1): smooth, and exact on
// straight ramps, so a still gradient lands on the same values from either field.
std::array<double, 4> cubicWeights(double t) {
    const double t2 = t * t;
    const double t3 = t2 * t;
    return {(-t3 + 2 * t2 - t) / 2, (3 * t3 - 5 * t2 + 2) / 2, (-3 * t3 + 4 * t2 + t) / 2, (t3 - t2) / 2};
}

// Taps for every output row of parity `outParity` taken from the source field of parity `srcParity`.
std::vector<FieldStandardsConverter::RowTaps> planeTaps(int outRows, RowSiting outSiting, int outFrameLines,
                                                        int srcRows, RowSiting srcSiting, int srcFrameLines,
                                                        int outParity, int srcParity) {
    const int srcFieldRows = srcRows / 2;
    std::vector<FieldStandardsConverter::RowTaps> taps(static_cast<std::size_t>(outRows / 2));
    for (int i = 0; i < outRows / 2; ++i) {
        // The output row's place in output frame lines, then in source frame lines (centres of lines map
        // onto centres), then in the source field's own rows.
        const double outLine = 2 * (i * outSiting.step + outSiting.offset) + outParity;
        const double srcLine = (outLine + 0.5) * srcFrameLines / outFrameLines - 0.5;
        const double fieldLine = (srcLine - srcParity) / 2;
        const double fieldRow = (fieldLine - srcSiting.offset) / srcSiting.step;
        const double base = std::floor(fieldRow);
        const auto weights = cubicWeights(fieldRow - base);
        auto& row = taps[static_cast<std::size_t>(i)];
        std::int32_t sum = 0;
        int largest = 0;
        for (int k = 0; k < 4; ++k) {
            const int fieldIndex = std::clamp(static_cast<int>(base) - 1 + k, 0, srcFieldRows - 1);
            row.rows[static_cast<std::size_t>(k)] = 2 * fieldIndex + srcParity;
            row.weights[static_cast<std::size_t>(k)] =
                static_cast<std::int16_t>(std::lround(weights[static_cast<std::size_t>(k)] * kWeightOne));
            sum += row.weights[static_cast<std::size_t>(k)];
            if (weights[static_cast<std::size_t>(k)] > weights[static_cast<std::size_t>(largest)]) largest = k;
        }
        // Rounding must not brighten or darken a flat area.
        row.weights[static_cast<std::size_t>(largest)] =
            static_cast<std::int16_t>(row.weights[static_cast<std::size_t>(largest)] + kWeightOne - sum);
    }
    return taps;
}

// One output row from four source rows. A plain loop over bytes that the compiler turns into vector code.
void filterRow(const std::uint8_t* __restrict r0, const std::uint8_t* __restrict r1,
               const std::uint8_t* __restrict r2, const std::uint8_t* __restrict r3,
               const std::array<std::int16_t, 4>& weights, std::uint8_t* __restrict out, int width) {
    const std::int16_t w0 = weights[0];
    const std::int16_t w1 = weights[1];
    const std::int16_t w2 = weights[2];
    const std::int16_t w3 = weights[3];
    for (int x = 0; x < width; ++x) {
        const auto sum = static_cast<std::int16_t>(w0 * r0[x] + w1 * r1[x] + w2 * r2[x] + w3 * r3[x] + kWeightOne / 2);
        const auto value = static_cast<std::int16_t>(sum >> kWeightBits);
        out[x] = static_cast<std::uint8_t>(value < 0 ? 0 : (value > 255 ? 255 : value));
    }
}

// 360 chroma samples to 180: each output sample is the mean of the two it covers.
void halveRow(const std::uint8_t* __restrict in, std::uint8_t* __restrict out, int outWidth) {
    for (int x = 0; x < outWidth; ++x) {
        out[x] = static_cast<std::uint8_t>((in[2 * x] + in[2 * x + 1] + 1) >> 1);
    }
}

// 180 chroma samples to 360: each output sample sits a quarter of an input sample from its nearest one.
void doubleRow(const std::uint8_t* __restrict in, std::uint8_t* __restrict out, int inWidth) {
    if (inWidth <= 0) return;
    out[0] = in[0];
    for (int x = 1; x < inWidth; ++x) {
        out[2 * x - 1] = static_cast<std::uint8_t>((3 * in[x - 1] + in[x] + 2) >> 2);
        out[2 * x] = static_cast<std::uint8_t>((in[x - 1] + 3 * in[x] + 2) >> 2);
    }
    out[2 * inWidth - 1] = in[inWidth - 1];
}

}  // namespace

FieldStandardsConverter::FieldStandardsConverter(DvSystem from, bool wide) {
    if (from == DvSystem::Unknown) throw std::invalid_argument("the pictures' television system is not known");
    const DvSystem to = from == DvSystem::Pal625 ? DvSystem::Ntsc525 : DvSystem::Pal625;
    m_in = dvPictureFormat(from, wide);
    m_out = dvPictureFormat(to, wide);
    m_inField = from == DvSystem::Pal625 ? kPalFieldUnits : kNtscFieldUnits;
    m_outField = to == DvSystem::Pal625 ? kPalFieldUnits : kNtscFieldUnits;
    buildTaps();
    m_row.resize(static_cast<std::size_t>(std::max(planeGeometry(m_in, 1).width, planeGeometry(m_out, 1).width)));
}

void FieldStandardsConverter::buildTaps() {
    const auto chromaSiting = [](const PictureFormat& format) {
        return format.layout == PixelLayout::Yuv420p ? kOneRowPerTwoFieldLines : kOneRowPerLine;
    };
    for (int outParity = 0; outParity < 2; ++outParity) {
        for (int srcParity = 0; srcParity < 2; ++srcParity) {
            m_lumaTaps[outParity][srcParity] = planeTaps(m_out.height, kOneRowPerLine, m_out.height, m_in.height,
                                                         kOneRowPerLine, m_in.height, outParity, srcParity);
            m_chromaTaps[outParity][srcParity] =
                planeTaps(planeGeometry(m_out, 1).height, chromaSiting(m_out), m_out.height,
                          planeGeometry(m_in, 1).height, chromaSiting(m_in), m_in.height, outParity, srcParity);
        }
    }
}

std::int64_t FieldStandardsConverter::outputCountFor(std::int64_t sourceFrames) const {
    if (sourceFrames <= 0) return 0;
    // round(frames x inField / outField); a frame is two fields on both sides.
    return (2 * sourceFrames * m_inField + m_outField) / (2 * m_outField);
}

std::int64_t FieldStandardsConverter::sourceField(std::int64_t outputField) const {
    // round(outputField x outField / inField)
    return (2 * outputField * m_outField + m_inField) / (2 * m_inField);
}

bool FieldStandardsConverter::push(Bytes picture, MediaTime start, std::shared_ptr<const DvFrameFacts> frameFacts,
                                   bool discontinuity) {
    const std::size_t bytes = pictureBytes(m_in);
    if (m_ended || picture.size() < bytes) return false;
    if (m_received == 0) m_base = start;
    Held held;
    if (!m_spare.empty()) {
        held = std::move(m_spare.back());
        m_spare.pop_back();
    }
    held.data.assign(picture.begin(), picture.begin() + static_cast<std::ptrdiff_t>(bytes));
    held.frameFacts = std::move(frameFacts);
    held.discontinuity = discontinuity;
    held.fed = false;
    m_held.push_back(std::move(held));
    ++m_received;
    return true;
}

void FieldStandardsConverter::pushEnd() { m_ended = true; }

void FieldStandardsConverter::reset() {
    for (Held& held : m_held) m_spare.push_back(std::move(held));
    m_held.clear();
    m_firstHeld = 0;
    m_received = 0;
    m_next = 0;
    m_ended = false;
    m_base = MediaTime();
}

bool FieldStandardsConverter::pull(std::vector<std::uint8_t>& picture, ConvertedPictureInfo& info) {
    if (m_received == 0) return false;
    if (m_ended && m_next >= outputCountFor(m_received)) return false;
    const std::int64_t lastField = 2 * m_received - 1;
    const std::int64_t bottomField = std::min(sourceField(2 * m_next), lastField);
    const std::int64_t topFieldWanted = sourceField(2 * m_next + 1);
    // Until the end, wait for the frame that holds the top field; after it, the last field stands in.
    if (!m_ended && topFieldWanted > lastField) return false;
    const std::int64_t topField = std::min(topFieldWanted, lastField);

    Held& bottom = m_held[static_cast<std::size_t>(bottomField / 2 - m_firstHeld)];
    const Held& top = m_held[static_cast<std::size_t>(topField / 2 - m_firstHeld)];
    picture.resize(pictureBytes(m_out));
    // Field 2m is frame m's bottom field (odd lines, parity 1), field 2m + 1 its top field (parity 0).
    const auto parityOf = [](std::int64_t field) { return field % 2 == 0 ? 1 : 0; };
    convertField(bottom, parityOf(bottomField), 1, picture);
    convertField(top, parityOf(topField), 0, picture);

    const auto frameStart = [this](std::int64_t n) {
        // n frames of 2 x outField units of 1/60000 s, each unit 500/3 ticks of 100 ns, rounded.
        return m_base + MediaTime::fromTicks((n * 2 * m_outField * 500 + 1) / 3);
    };
    info.start = frameStart(m_next);
    info.stop = frameStart(m_next + 1);
    info.frameFacts = bottom.frameFacts;
    info.discontinuity = bottom.discontinuity && !bottom.fed;
    bottom.fed = true;
    ++m_next;

    // Source frames before the next output's bottom field are no longer needed.
    const std::int64_t keepFrom = std::min(sourceField(2 * m_next), lastField) / 2;
    while (m_firstHeld < keepFrom && !m_held.empty()) {
        m_spare.push_back(std::move(m_held.front()));
        m_held.pop_front();
        ++m_firstHeld;
    }
    return true;
}

void FieldStandardsConverter::convertField(const Held& source, int sourceParity, int outputParity,
                                           std::vector<std::uint8_t>& out) {
    const auto src = viewPicture(m_in, std::span<const std::uint8_t>(source.data));
    const auto dst = viewPicture(m_out, std::span<std::uint8_t>(out));
    if (!src || !dst) return;  // both were sized for their formats above
    const auto sp = static_cast<std::size_t>(sourceParity);
    const auto op = static_cast<std::size_t>(outputParity);
    convertPlane(src->planes[0], src->strides[0], dst->planes[0], dst->strides[0], m_out.height,
                 m_lumaTaps[op][sp], outputParity);
    const int chromaRows = planeGeometry(m_out, 1).height;
    for (std::size_t plane = 1; plane < 3; ++plane) {
        convertPlane(src->planes[plane], src->strides[plane], dst->planes[plane], dst->strides[plane], chromaRows,
                     m_chromaTaps[op][sp], outputParity);
    }
}

void FieldStandardsConverter::convertPlane(const std::uint8_t* src, int srcWidth, std::uint8_t* dst, int dstWidth,
                                           int dstRows, const std::vector<RowTaps>& taps, int outputParity) {
    const auto rowOf = [src, srcWidth](int row) { return src + static_cast<std::ptrdiff_t>(row) * srcWidth; };
    for (int i = 0; i < dstRows / 2; ++i) {
        const RowTaps& t = taps[static_cast<std::size_t>(i)];
        std::uint8_t* target = dst + static_cast<std::ptrdiff_t>(2 * i + outputParity) * dstWidth;
        // Vertically at the source's width, then across when the widths differ (chroma 360 <-> 180).
        std::uint8_t* vertical = srcWidth == dstWidth ? target : m_row.data();
        filterRow(rowOf(t.rows[0]), rowOf(t.rows[1]), rowOf(t.rows[2]), rowOf(t.rows[3]), t.weights, vertical,
                  srcWidth);
        if (srcWidth == 2 * dstWidth) {
            halveRow(vertical, target, dstWidth);
        } else if (2 * srcWidth == dstWidth) {
            doubleRow(vertical, target, srcWidth);
        }
    }
}

}  // namespace moraven
