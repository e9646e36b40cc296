#include "pipeline/stages/dv_video_encoder_stage.h"

#include <stdexcept>
#include <string>

#include "pipeline/stages/codec_access.h"

namespace moraven {

DvVideoEncoderStage::DvVideoEncoderStage(const MediaFramework* framework)
    : Stage(kDisplayName),
      m_framework(framework),
      m_input(addPin(PinDirection::Input, "Input")),
      m_output(addPin(PinDirection::Output, "Output")) {}

DvVideoEncoderStage::~DvVideoEncoderStage() = default;

bool DvVideoEncoderStage::acceptsInput(const Pin& input, const MediaType& type) const {
    const auto format = pictureFormatOf(type);
    const PictureFormat wanted = dvPictureFormat(m_system, m_wide);
    return &input == &m_input && format && wanted.width > 0 && format->layout == wanted.layout &&
           format->width == wanted.width && format->height == wanted.height;
}

std::vector<MediaType> DvVideoEncoderStage::outputTypes(const Pin&) const {
    if (m_system == DvSystem::Unknown) return {};
    return {MediaType::dvVideo(m_system)};
}

void DvVideoEncoderStage::start() {
    if (!m_input.isConnected() || !m_output.isConnected()) throw std::runtime_error("the DV video encoder is not connected");
    const MediaFramework& framework = requireMediaFramework(m_framework);
    const DvSystem system = m_system;
    // The frames take the shape of the pictures they are given; setWide() decides for pictures without one.
    const auto format = pictureFormatOf(m_input.connectionType());
    const bool wide = format && format->aspectY != 0 ? isWideAspect(format->aspectX, format->aspectY) : m_wide;
    const auto makeEncoder = [&framework, system, wide] {
        std::string error;
        return requireCodec(framework.createDvVideoEncoder(system, wide, &error), "the DV video cannot be encoded",
                            error);
    };
    const std::size_t pictureSize = pictureBytes(dvPictureFormat(system, wide));
    const auto encode = [pictureSize](DvVideoEncoder& encoder, Job& job) {
        if (job.splice && job.splice->segments.none()) {
            job.frame.data.assign(job.splice->original.begin(), job.splice->original.end());
            return;
        }
        std::vector<std::uint8_t>& coded = job.splice ? job.encoded : job.frame.data;
        if (job.picture.data.size() < pictureSize || !encoder.encode(job.picture.bytes(), coded)) {
            throw std::runtime_error("a picture could not be encoded as DV");
        }
        if (job.splice && !DvApplySplice(*job.splice, job.encoded, job.frame.data)) std::swap(job.frame.data, job.encoded);
    };
    m_workers = std::make_unique<OrderedWorkers<DvVideoEncoder, Job>>(codecWorkerCount(m_workerCount), 0, makeEncoder, encode);
}

void DvVideoEncoderStage::deliverFrame(Job& job) {
    MediaSample& frame = job.frame;
    frame.copyMarksFrom(job.picture);
    frame.typeChange.reset();
    frame.splice.reset();
    job.splice.reset();
    deliver(m_output, frame);
}

void DvVideoEncoderStage::receive(Pin&, MediaSample& sample) {
    Job job = m_workers->recycled();
    std::swap(job.picture.data, sample.data);
    job.picture.copyMarksFrom(sample);
    job.splice = std::move(sample.splice);
    sample.splice.reset();
    m_workers->submit(std::move(job), [this](Job& done) { deliverFrame(done); });
}

void DvVideoEncoderStage::endOfStream(Pin&) {
    m_workers->drain([this](Job& done) { deliverFrame(done); });
    deliverEndOfStream(m_output);
}

void DvVideoEncoderStage::stop(StopReason) { m_workers.reset(); }

}  // namespace moraven
