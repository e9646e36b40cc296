#include "pipeline/stages/deinterlacer_stage.h"

#include <stdexcept>


namespace moraven {

DeinterlacerStage::DeinterlacerStage()
    : Stage(kDisplayName),
      m_input(addPin(PinDirection::Input, "Input")),
      m_output(addPin(PinDirection::Output, "Output")) {}

DeinterlacerStage::~DeinterlacerStage() = default;

std::optional<DvSystem> DeinterlacerStage::dvSystemOfPictures(const PictureFormat& format) {
    for (const DvSystem system : {DvSystem::Pal625, DvSystem::Ntsc525}) {
        const PictureFormat dv = dvPictureFormat(system, false);
        if (format.layout == dv.layout && format.width == dv.width && format.height == dv.height) return system;
    }
    return std::nullopt;
}

bool DeinterlacerStage::acceptsInput(const Pin& input, const MediaType& type) const {
    const auto format = pictureFormatOf(type);
    return &input == &m_input && format && dvSystemOfPictures(*format).has_value();
}

std::vector<MediaType> DeinterlacerStage::outputTypes(const Pin&) const {
    if (!m_input.isConnected()) return {};
    const MediaType& own = m_input.connectionType();
    const auto format = pictureFormatOf(own);
    const auto system = format ? dvSystemOfPictures(*format) : std::nullopt;
    if (!system) return {};
    const DvSystem other = *system == DvSystem::Pal625 ? DvSystem::Ntsc525 : DvSystem::Pal625;
    return {pictureMediaType(dvPictureFormat(other, isShownWide(*format))), own};
}

void DeinterlacerStage::start() {
    m_converter.reset();
    const auto in = pictureFormatOf(m_input.connectionType());
    const auto out = pictureFormatOf(m_output.connectionType());
    if (!m_input.isConnected() || !m_output.isConnected() || !in || !out) {
        throw std::runtime_error("the video deinterlacer is not connected");
    }
    const auto from = dvSystemOfPictures(*in);
    const auto to = dvSystemOfPictures(*out);
    if (from && to && *from != *to) {
        m_converter = std::make_unique<FieldStandardsConverter>(*from, isShownWide(*in));
    }
    m_converting = m_converter != nullptr;
}

void DeinterlacerStage::deliverConverted() {
    ConvertedPictureInfo info;
    while (m_converter->pull(m_picture.data, info)) {
        m_picture.start = info.start;
        m_picture.stop = info.stop;
        m_picture.keyFrame = true;
        m_picture.discontinuity = info.discontinuity;
        m_picture.preroll = false;
        m_picture.frameFacts = info.frameFacts;
        m_picture.typeChange.reset();
        deliver(m_output, m_picture);
    }
}

void DeinterlacerStage::receive(Pin&, MediaSample& sample) {
    if (!m_converter) {
        deliver(m_output, sample);
        return;
    }
    if (!m_converter->push(sample.bytes(), sample.start, sample.frameFacts, sample.discontinuity)) {
        throw std::runtime_error("a picture too short for its format reached the video deinterlacer");
    }
    deliverConverted();
}

void DeinterlacerStage::endOfStream(Pin&) {
    if (m_converter) {
        m_converter->pushEnd();
        deliverConverted();
    }
    deliverEndOfStream(m_output);
}

void DeinterlacerStage::stop(StopReason) { m_converter.reset(); }

}  // namespace moraven
