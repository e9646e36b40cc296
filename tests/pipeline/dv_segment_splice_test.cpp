// The video segment map, blanking and splicing (formats/dv_video_segments.h) against the codec module's own DV
// encoder and decoder, and the DV codec stages decoding in part and splicing.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "formats/dv_video_segments.h"
#include "pipeline/graph/graph.h"
#include "pipeline/media_framework.h"
#include "pipeline/media_framework_module.h"
#include "pipeline/stages/dv_video_decoder_stage.h"
#include "pipeline/stages/dv_video_encoder_stage.h"
#include "test_stages.h"

namespace moraven {
namespace {

using Frame = std::vector<std::uint8_t>;

const MediaFramework& framework() {
    const MediaFrameworkLoad& load = loadMediaFramework();
    if (load.framework == nullptr) throw std::runtime_error("codec module not loaded: " + load.error);
    return *load.framework;
}

Frame encode(DvSystem system, const std::vector<std::uint8_t>& picture) {
    std::string error;
    auto encoder = framework().createDvVideoEncoder(system, false, &error);
    if (!encoder) throw std::runtime_error(error);
    Frame frame;
    if (!encoder->encode(picture, frame)) throw std::runtime_error("the picture could not be encoded");
    return frame;
}

std::vector<std::uint8_t> decode(const Frame& frame) {
    std::string error;
    auto decoder = framework().createDvVideoDecoder(&error);
    if (!decoder) throw std::runtime_error(error);
    std::vector<std::uint8_t> picture;
    PictureFormat format;
    if (!decoder->decode(frame, picture, format)) throw std::runtime_error("the frame could not be decoded");
    return picture;
}

// A picture full of detail (every DCT block has AC coefficients), different for each `seed`.
std::vector<std::uint8_t> detailedPicture(const PictureFormat& format, int seed) {
    std::vector<std::uint8_t> picture(pictureBytes(format));
    const auto view = viewPicture(format, std::span<std::uint8_t>(picture));
    for (std::size_t plane = 0; plane < 3; ++plane) {
        const PlaneGeometry geometry = planeGeometry(format, static_cast<int>(plane));
        for (int y = 0; y < geometry.height; ++y) {
            for (int x = 0; x < geometry.width; ++x) {
                const int value = 40 + (x * 7 + y * 13 + (x * y + seed) % 37 + seed * 11) % 170;
                view->planes[plane][y * view->strides[plane] + x] = static_cast<std::uint8_t>(value);
            }
        }
    }
    return picture;
}

struct SystemCase {
    const char* name;
    DvSystem system;
};

class DvSegmentCodecTest : public ::testing::TestWithParam<SystemCase> {};

INSTANTIATE_TEST_SUITE_P(Systems, DvSegmentCodecTest,
                         ::testing::Values(SystemCase{"Pal", DvSystem::Pal625}, SystemCase{"Ntsc", DvSystem::Ntsc525}),
                         [](const auto& test) { return std::string(test.param.name); });

// The encoder is the independent reader: one 8 x 8 block of a flat picture made different changes the bytes of
// the one segment that the map places there, and no other byte of the frame.
TEST_P(DvSegmentCodecTest, OneChangedMacroblockChangesOnlyTheSegmentTheMapNames) {
    const DvSystem system = GetParam().system;
    const PictureFormat format = dvPictureFormat(system, false);
    const auto map = DvSegmentMap::ofSystem(system);
    ASSERT_TRUE(map);
    const std::vector<std::uint8_t> flat(pictureBytes(format), 128);
    const Frame flatFrame = encode(system, flat);
    ASSERT_EQ(DvSegmentMap::ofFrame(flatFrame), map);

    const int w = format.width;
    const int h = format.height;
    struct Point {
        int x;
        int y;
    };
    // Corners, edges, the middle, and at 525/60 the 16-pixel column at the right edge (16 x 16 macroblocks)
    // and the columns superblocks share.
    const std::vector<Point> points{{0, 0},       {w - 1, 0},   {0, h - 1},   {w - 1, h - 1}, {w / 2, h / 2},
                                    {703, 100},   {704, 8},     {712, 40},    {719, 300},     {130, 20},
                                    {140, 47},    {420, 250},   {300, h - 20}, {560, 24},     {600, 470}};
    for (const Point p : points) {
        SCOPED_TRACE(testing::Message() << p.x << "," << p.y);
        std::vector<std::uint8_t> picture = flat;
        const int left = p.x / 8 * 8;
        const int top = p.y / 8 * 8;
        for (int y = top; y < top + 8; ++y) {
            for (int x = left; x < left + 8; ++x) picture[static_cast<std::size_t>(y * w + x)] = static_cast<std::uint8_t>(40 + (x * 29 + y * 17) % 180);
        }
        const Frame frame = encode(system, picture);
        ASSERT_EQ(frame.size(), flatFrame.size());

        const DvSegmentSet expected = map->segmentsTouching({p.x, p.y, 1, 1});
        ASSERT_EQ(expected.count(), 1u);
        std::size_t segment = 0;
        while (!expected.test(segment)) ++segment;
        std::set<std::size_t> blocks;
        for (int m = 0; m < kDvMacroblocksPerSegment; ++m) blocks.insert(map->blockOffset(segment, m) / kDvBlockBytes);
        std::size_t differing = 0;
        for (std::size_t k = 0; k < frame.size(); ++k) {
            if (frame[k] == flatFrame[k]) continue;
            ++differing;
            ASSERT_TRUE(blocks.count(k / kDvBlockBytes)) << "byte " << k << " of block " << k / kDvBlockBytes
                                                         << " differs; segment " << segment << " was expected";
        }
        EXPECT_GT(differing, 0u);
    }
}

// A frame with all but a few segments blanked decodes to flat 8 x 8 blocks (at the level of the block's DC)
// there, and to exactly the whole frame's pixels in the segments kept.
TEST_P(DvSegmentCodecTest, BlankedSegmentsDecodeFlatAndKeptOnesAsBefore) {
    const DvSystem system = GetParam().system;
    const PictureFormat format = dvPictureFormat(system, false);
    const auto map = DvSegmentMap::ofSystem(system);
    const Frame frame = encode(system, detailedPicture(format, 3));
    const std::vector<std::uint8_t> whole = decode(frame);

    DvSegmentSet keep = map->segmentsTouching({500, format.height - 70, 200, 50});
    keep.set(0).set(map->segmentCount() - 1);
    Frame blanked = frame;
    ASSERT_TRUE(DvBlankSegmentsExcept(blanked, *map, keep));
    const std::vector<std::uint8_t> part = decode(blanked);
    ASSERT_EQ(part.size(), whole.size());

    const int across = system == DvSystem::Pal625 ? 2 : 4;  // chroma subsampling
    const int down = system == DvSystem::Pal625 ? 2 : 1;
    const auto wholeView = viewPicture(format, std::span<const std::uint8_t>(whole)).value();
    const auto partView = viewPicture(format, std::span<const std::uint8_t>(part)).value();
    for (std::size_t segment = 0; segment < map->segmentCount(); ++segment) {
        for (int m = 0; m < kDvMacroblocksPerSegment; ++m) {
            const PictureRect mb = map->macroblockRect(segment, m);
            for (std::size_t plane = 0; plane < 3; ++plane) {
                const int x0 = plane == 0 ? mb.left : mb.left / across;
                const int y0 = plane == 0 ? mb.top : mb.top / down;
                const int x1 = plane == 0 ? mb.left + mb.width : (mb.left + mb.width) / across;
                const int y1 = plane == 0 ? mb.top + mb.height : (mb.top + mb.height) / down;
                const auto at = [&](const auto& view, int x, int y) {
                    return static_cast<int>(view.planes[plane][y * view.strides[plane] + x]);
                };
                // Luma in its 8 x 8 blocks; a macroblock's chroma is one block's worth (split in two at the
                // 525/60 right edge, where both halves share the DC).
                const int step = plane == 0 ? 8 : std::max(x1 - x0, y1 - y0);
                for (int by = y0; by < y1; by += step) {
                    for (int bx = x0; bx < x1; bx += step) {
                        long sum = 0;
                        int count = 0;
                        for (int y = by; y < std::min(by + step, y1); ++y) {
                            for (int x = bx; x < std::min(bx + step, x1); ++x) {
                                if (keep.test(segment)) {
                                    ASSERT_EQ(at(partView, x, y), at(wholeView, x, y))
                                        << "segment " << segment << " plane " << plane << " at " << x << "," << y;
                                } else {
                                    ASSERT_EQ(at(partView, x, y), at(partView, bx, by))
                                        << "segment " << segment << " plane " << plane << " at " << x << "," << y;
                                }
                                sum += at(wholeView, x, y);
                                ++count;
                            }
                        }
                        if (!keep.test(segment)) {
                            EXPECT_LE(std::abs(at(partView, bx, by) - static_cast<int>(sum / count)), 3)
                                << "segment " << segment << " plane " << plane << " at " << bx << "," << by;
                        }
                    }
                }
            }
        }
    }
}

// Delivers the frames given, frame k with the facts of frame number k + 1.
class FrameListSource final : public Stage {
public:
    FrameListSource(MediaType type, std::vector<Frame> frames)
        : Stage("Frame List Source"), m_type(std::move(type)), m_frames(std::move(frames)) {
        addPin(PinDirection::Output, "Out");
    }
    std::vector<MediaType> outputTypes(const Pin&) const override { return {m_type}; }
    bool isSource() const override { return true; }
    bool produce() override {
        if (m_next >= m_frames.size()) {
            deliverEndOfStream(*output(0));
            return false;
        }
        m_sample.data = m_frames[m_next];
        m_sample.start = MediaTime::fromTicks(static_cast<std::int64_t>(m_next) * 400'000);
        m_sample.stop = MediaTime::fromTicks(static_cast<std::int64_t>(m_next + 1) * 400'000);
        m_sample.frameFacts = test::numberedFacts(++m_next);
        deliver(*output(0), m_sample);
        return true;
    }

private:
    MediaType m_type;
    std::vector<Frame> m_frames;
    std::size_t m_next = 0;
    MediaSample m_sample;
};

// The frames of `source` through the DV video decoder (asking `region` when set) and the encoder.
std::vector<Frame> reencode(DvSystem system, const std::vector<Frame>& source,
                            const DvVideoDecoderStage::RegionQuery& region,
                            const MediaFramework* decoding = nullptr, std::size_t* warnings = nullptr) {
    Graph graph;
    FrameListSource frames(MediaType::dvVideo(system), source);
    DvVideoDecoderStage decoder(decoding);
    DvVideoEncoderStage encoder;
    test::RecordingSink sink;
    decoder.setWorkerCount(3);
    encoder.setWorkerCount(3);
    encoder.setSystem(system);
    decoder.setChangedRegion(region);
    std::vector<Frame> received;
    sink.onSample = [&](MediaSample& sample) { received.push_back(sample.data); };
    graph.add(frames, "source");
    graph.add(decoder, "decoder");
    graph.add(encoder, "encoder");
    graph.add(sink, "sink");
    EXPECT_TRUE(graph.connect(*frames.output(0), *decoder.input(0)));
    EXPECT_TRUE(graph.connect(*decoder.output(0), *encoder.input(0)));
    EXPECT_TRUE(graph.connect(*encoder.output(0), *sink.input(0)));
    graph.run();
    EXPECT_TRUE(graph.waitForEnd(std::chrono::seconds(60)));
    graph.stop();
    EXPECT_TRUE(graph.isComplete()) << graph.error();
    if (warnings != nullptr) *warnings = graph.warnings().size();
    return received;
}

// The codec module, but its DV decoder decodes only the frames it is given (no packed frame) and never the
// one marked broken.
class WholeFramesOnlyFramework final : public MediaFramework {
public:
    WholeFramesOnlyFramework(std::vector<Frame> decodable) : m_decodable(std::move(decodable)) {}

    MediaFrameworkVersions versions() const override { return framework().versions(); }
    std::unique_ptr<DvVideoDecoder> createDvVideoDecoder(std::string* error) const override {
        auto real = framework().createDvVideoDecoder(error);
        return real ? std::make_unique<Decoder>(std::move(real), m_decodable) : nullptr;
    }
    std::unique_ptr<DvVideoEncoder> createDvVideoEncoder(DvSystem system, bool wide,
                                                         std::string* error) const override {
        return framework().createDvVideoEncoder(system, wide, error);
    }
    std::unique_ptr<VideoDecoder> createVideoDecoder(const CodecStreamInfo& stream,
                                                     std::string* error) const override {
        return framework().createVideoDecoder(stream, error);
    }
    std::unique_ptr<AudioDecoder> createAudioDecoder(const CodecStreamInfo& stream,
                                                     std::string* error) const override {
        return framework().createAudioDecoder(stream, error);
    }
    std::unique_ptr<PictureConformer> createPictureConformer(const PictureFormat& target,
                                                             std::string* error) const override {
        return framework().createPictureConformer(target, error);
    }
    std::unique_ptr<Resampler> createResampler(PcmFormat from, PcmFormat to, std::string* error) const override {
        return framework().createResampler(from, to, error);
    }
    std::unique_ptr<BgrConverter> createBgrConverter(std::string* error) const override {
        return framework().createBgrConverter(error);
    }

private:
    class Decoder final : public DvVideoDecoder {
    public:
        Decoder(std::unique_ptr<DvVideoDecoder> real, const std::vector<Frame>& decodable)
            : m_real(std::move(real)), m_decodable(decodable) {}
        bool decode(Bytes frame, std::vector<std::uint8_t>& picture, PictureFormat& format) override {
            const bool known = std::any_of(m_decodable.begin(), m_decodable.end(), [&](const Frame& candidate) {
                return std::equal(frame.begin(), frame.end(), candidate.begin(), candidate.end());
            });
            return known && m_real->decode(frame, picture, format);
        }

    private:
        std::unique_ptr<DvVideoDecoder> m_real;
        const std::vector<Frame>& m_decodable;
    };

    std::vector<Frame> m_decodable;
};

// The codec stages splice: the segments of the region come from a new coding (as a whole re-coding makes them),
// every other byte is the source's; a frame whose region is nothing comes out as it went in; a frame of a layout
// without a map is coded whole.
TEST_P(DvSegmentCodecTest, TheCodecStagesCodeOnlyTheRegionsSegmentsAgain) {
    const DvSystem system = GetParam().system;
    const PictureFormat format = dvPictureFormat(system, false);
    const auto map = DvSegmentMap::ofSystem(system);
    std::vector<Frame> source;
    for (int k = 0; k < 6; ++k) source.push_back(encode(system, detailedPicture(format, k)));
    // Frame 4 claims another layout (at 625/50 DVCPRO's, APT 1; at 525/60 50 Mbit/s, STYPE 4): no map, and the
    // codec cannot decode it. Frame 2's picture changes nowhere.
    if (system == DvSystem::Pal625) {
        source[4][4] = static_cast<std::uint8_t>((source[4][4] & 0xF8) | 1);
    } else {
        source[4][451] = static_cast<std::uint8_t>((source[4][451] & 0xE0) | 4);
    }
    const PictureRect rect{430, format.height - 80, 250, 56};
    const DvSegmentSet touched = map->segmentsTouching(rect);
    ASSERT_GT(touched.count(), 0u);
    std::atomic<int> asked{0};
    const auto region = [&](const MediaSample& frame, int width, int height) -> std::optional<PictureRect> {
        asked.fetch_add(1);
        EXPECT_EQ(width, format.width);
        EXPECT_EQ(height, format.height);
        if (frame.sourceFrame() == 3) return std::nullopt;
        return rect;
    };
    const std::vector<Frame> spliced = reencode(system, source, region);
    const std::vector<Frame> whole = reencode(system, source, {});
    ASSERT_EQ(spliced.size(), source.size());
    ASSERT_EQ(whole.size(), source.size());
    EXPECT_EQ(asked.load(), 5);  // every frame with a map

    for (std::size_t k = 0; k < source.size(); ++k) {
        SCOPED_TRACE(k);
        if (k == 4) {
            // The codec cannot decode it: the frame before it stands in, in either mode.
            EXPECT_EQ(spliced[k], spliced[k - 1]);
            EXPECT_EQ(whole[k], whole[k - 1]);
            continue;
        }
        if (k == 2) {
            EXPECT_EQ(spliced[k], source[k]);
            continue;
        }
        std::vector<bool> fromNewCoding(source[k].size(), false);
        for (std::size_t s = 0; s < map->segmentCount(); ++s) {
            if (!touched.test(s)) continue;
            for (int m = 0; m < kDvMacroblocksPerSegment; ++m) {
                for (std::size_t b = 3; b < kDvBlockBytes; ++b) fromNewCoding[map->blockOffset(s, m) + b] = true;
            }
        }
        std::size_t changed = 0;
        for (std::size_t b = 0; b < source[k].size(); ++b) {
            ASSERT_EQ(spliced[k][b], fromNewCoding[b] ? whole[k][b] : source[k][b]) << "byte " << b;
            changed += spliced[k][b] != source[k][b] ? 1 : 0;
        }
        EXPECT_GT(changed, 0u);
    }
}

// When the packed frame cannot be decoded, each frame of it is decoded whole: the good ones still splice as
// always, and only the broken one is replaced, by the frame before it spliced again (with one warning).
TEST_P(DvSegmentCodecTest, AnUndecodablePackedFrameFallsBackToEachFrameWhole) {
    const DvSystem system = GetParam().system;
    const PictureFormat format = dvPictureFormat(system, false);
    std::vector<Frame> source;
    for (int k = 0; k < 6; ++k) source.push_back(encode(system, detailedPicture(format, k)));
    const PictureRect rect{430, format.height - 80, 250, 56};
    const auto region = [&](const MediaSample&, int, int) -> std::optional<PictureRect> { return rect; };
    constexpr std::size_t kBroken = 3;
    std::vector<Frame> decodable = source;
    decodable.erase(decodable.begin() + kBroken);
    const WholeFramesOnlyFramework wholeOnly(decodable);

    std::size_t warnings = 0;
    const std::vector<Frame> fallen = reencode(system, source, region, &wholeOnly, &warnings);
    const std::vector<Frame> packed = reencode(system, source, region);
    ASSERT_EQ(fallen.size(), source.size());
    ASSERT_EQ(packed.size(), source.size());
    for (std::size_t k = 0; k < source.size(); ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(fallen[k], k == kBroken ? packed[kBroken - 1] : packed[k]);
    }
    EXPECT_EQ(warnings, 1u);
}

}  // namespace
}  // namespace moraven
