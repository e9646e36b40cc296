#include "pipeline/stages/dv_video_decoder_stage.h"

#include <algorithm>
#include <string>

#include "formats/dvcodes.h"
#include "pipeline/stages/codec_access.h"

namespace moraven {

namespace {

constexpr std::uint8_t kMidGrey = 128;

bool isDvStream(const MediaType& type) {
    return type.isInterleaved() || (type.isVideo() && type.subtype() == kMediaSubtypeDvsd);
}

}  // namespace

DvVideoDecoderStage::DvVideoDecoderStage(const MediaFramework* framework)
    : Stage(kDisplayName),
      m_framework(framework),
      m_input(addPin(PinDirection::Input, "Input")),
      m_output(addPin(PinDirection::Output, "Output")) {}

DvVideoDecoderStage::~DvVideoDecoderStage() = default;

bool DvVideoDecoderStage::acceptsInput(const Pin& input, const MediaType& type) const {
    return &input == &m_input && isDvStream(type) && type.dvSystem() != DvSystem::Unknown;
}

std::optional<PictureFormat> DvVideoDecoderStage::outputFormat() const {
    if (!m_input.isConnected()) return std::nullopt;
    const DvSystem system = m_input.connectionType().dvSystem();
    if (system == DvSystem::Unknown) return std::nullopt;
    // The shape is in each frame's VAUX; the first frame the upstream will deliver sets the stream's.
    MediaSample first;
    const Pin* upstream = m_input.peer();
    const bool wide = upstream != nullptr && upstream->stage().firstSample(*upstream, first) && DvIs16x9(first.bytes());
    return dvPictureFormat(system, wide);
}

std::vector<MediaType> DvVideoDecoderStage::outputTypes(const Pin&) const {
    const auto format = outputFormat();
    if (!format) return {};
    return {pictureMediaType(*format)};
}

void DvVideoDecoderStage::start() {
    const auto connected = pictureFormatOf(m_output.connectionType());
    if (!m_input.isConnected() || !m_output.isConnected() || !connected) {
        throw std::runtime_error("the DV video decoder is not connected");
    }
    m_format = *connected;
    m_typeChange.reset();
    m_undecodable = 0;
    const MediaFramework& framework = requireMediaFramework(m_framework);
    const auto makeDecoder = [&framework] {
        std::string error;
        return requireCodec(framework.createDvVideoDecoder(&error), "the DV video cannot be decoded", error);
    };
    const PictureFormat format = m_format;
    const auto decode = [format](DvVideoDecoder& decoder, Job& job) {
        if (job.splice) {
            // The original is kept whole for the encoder; the copy decoded has every other segment blanked.
            job.splice->original.assign(job.frame.data.begin(), job.frame.data.end());
            const auto map = DvSegmentMap::ofFrame(job.frame.bytes());
            if (!map || !DvBlankSegmentsExcept(job.frame.mutableBytes(), *map, job.splice->segments)) job.splice.reset();
        }
        PictureFormat decoded;
        job.failed = !decoder.decode(job.frame.bytes(), job.picture.data, decoded) ||
                     job.picture.data.size() < pictureBytes(decoded) || pictureBytes(decoded) == 0;
        if (job.failed) {
            // A grey picture is coded whole, as without a splice.
            job.picture.data.assign(pictureBytes(format), kMidGrey);
            decoded = format;
            job.splice.reset();
        }
        job.picture.typeChange.reset();
        if (decoded != format) job.picture.typeChange = std::make_shared<const MediaType>(pictureMediaType(decoded));
    };
    m_workers = std::make_unique<OrderedWorkers<DvVideoDecoder, Job>>(codecWorkerCount(m_workerCount), 0, makeDecoder, decode);
}

void DvVideoDecoderStage::deliverPicture(Job& job) {
    // A frame being submitted while a flush came is still queued after it: it must not show either.
    if (job.flushes != m_flushes.load()) return;
    if (job.failed && m_undecodable.fetch_add(1) == 0) {
        warn("a DV frame could not be decoded; it and any others like it become grey pictures");
    }
    MediaSample& picture = job.picture;
    picture.copyMarksFrom(job.frame);
    picture.splice = std::move(job.splice);
    // Consecutive pictures of the same other format share one type, as a decoder's samples do.
    if (picture.typeChange) {
        if (m_typeChange && *m_typeChange == *picture.typeChange) {
            picture.typeChange = m_typeChange;
        } else {
            m_typeChange = picture.typeChange;
        }
    }
    deliver(m_output, picture);
}

void DvVideoDecoderStage::receive(Pin&, MediaSample& sample) {
    Job job = m_workers->recycled();
    // The frame is taken by swapping buffers: the sender refills its sample for the next frame anyway.
    std::swap(job.frame.data, sample.data);
    job.frame.copyMarksFrom(sample);
    job.failed = false;
    job.flushes = m_flushes.load();
    job.splice.reset();
    if (m_region) {
        if (const auto map = DvSegmentMap::ofFrame(job.frame.bytes())) {
            const auto changed = m_region(job.frame, map->width(), map->height());
            job.splice = std::make_shared<DvSplice>();
            if (changed) job.splice->segments = map->segmentsTouching(*changed);
        }
    }
    m_workers->submit(std::move(job), [this](Job& done) { deliverPicture(done); });
}

void DvVideoDecoderStage::endOfStream(Pin&) {
    m_workers->drain([this](Job& done) { deliverPicture(done); });
    deliverEndOfStream(m_output);
}

void DvVideoDecoderStage::stop(StopReason) { m_workers.reset(); }

void DvVideoDecoderStage::flush() {
    m_flushes.fetch_add(1);
    if (m_workers) m_workers->cancel();
}

}  // namespace moraven
