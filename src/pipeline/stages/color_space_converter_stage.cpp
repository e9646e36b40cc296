#include "pipeline/stages/color_space_converter_stage.h"

#include <string>

#include "pipeline/stages/codec_access.h"

namespace moraven {

ColorSpaceConverterStage::ColorSpaceConverterStage(const MediaFramework* framework)
    : Stage(kDisplayName), m_framework(framework), m_input(addPin(PinDirection::Input, "Input")) {
    addPin(PinDirection::Output, "Output");
}

ColorSpaceConverterStage::~ColorSpaceConverterStage() = default;

bool ColorSpaceConverterStage::acceptsInput(const Pin& input, const MediaType& type) const {
    return &input == &m_input && pictureFormatOf(type).has_value();
}

std::vector<MediaType> ColorSpaceConverterStage::outputTypes(const Pin&) const {
    if (!m_input.isConnected()) return {};
    const auto format = pictureFormatOf(m_input.connectionType());
    if (!format) return {};
    const bool wide = isShownWide(*format);
    return {pictureMediaType(dvPictureFormat(DvSystem::Pal625, wide)),
            pictureMediaType(dvPictureFormat(DvSystem::Ntsc525, wide))};
}

void ColorSpaceConverterStage::start() {
    const auto target = pictureFormatOf(output(0)->connectionType());
    if (!output(0)->isConnected() || !target) throw std::runtime_error("the colour space converter has no output");
    m_target = *target;
    std::string error;
    m_conformer = requireCodec(requireMediaFramework(m_framework).createPictureConformer(m_target, &error),
                               "the pictures cannot be converted", error);
}

void ColorSpaceConverterStage::deliverPictures() {
    MediaTime start;
    while (m_conformer->pull(m_picture.data, start)) {
        m_picture.start = start;
        m_picture.stop = start + m_target.frameDuration;
        m_picture.keyFrame = true;
        m_picture.discontinuity = false;
        m_picture.preroll = false;
        m_picture.frameFacts.reset();
        m_picture.typeChange.reset();
        deliver(*output(0), m_picture);
    }
}

void ColorSpaceConverterStage::receive(Pin&, MediaSample& sample) {
    const auto format = pictureFormatOf(sample.typeChange ? *sample.typeChange : m_input.connectionType());
    if (!format) throw std::runtime_error("a picture of an unknown format reached the colour space converter");
    if (!m_conformer->push(*format, sample.bytes(), sample.start)) {
        throw std::runtime_error("the colour space converter cannot convert a picture");
    }
    deliverPictures();
}

void ColorSpaceConverterStage::endOfStream(Pin&) {
    m_conformer->pushEnd();
    deliverPictures();
    deliverEndOfStream(*output(0));
}

void ColorSpaceConverterStage::stop(StopReason) { m_conformer.reset(); }

}  // namespace moraven
