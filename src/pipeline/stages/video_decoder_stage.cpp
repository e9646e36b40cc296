#include "pipeline/stages/video_decoder_stage.h"

#include <cstdlib>
#include <string>

#include "pipeline/stages/codec_access.h"
#include "pipeline/video/codec_stream_info.h"

namespace moraven {

VideoDecoderStage::VideoDecoderStage(const MediaFramework* framework)
    : Stage(kDisplayName), m_framework(framework), m_input(addPin(PinDirection::Input, "Input")) {
    addPin(PinDirection::Output, "Output");
}

VideoDecoderStage::~VideoDecoderStage() = default;

bool VideoDecoderStage::acceptsInput(const Pin& input, const MediaType& type) const {
    if (&input != &m_input || !type.isVideo() || pictureFormatOf(type)) return false;
    const auto info = codecStreamInfoOf(type);
    if (!info || info->width == 0 || info->height == 0) return false;
    // Asking the codec module is the only way to know whether it decodes this codec; it is loaded here, but
    // only graphs that decode ever ask.
    try {
        return requireMediaFramework(m_framework).createVideoDecoder(*info) != nullptr;
    } catch (const std::exception&) {
        return false;
    }
}

std::optional<PictureFormat> VideoDecoderStage::nominalFormat() const {
    if (!m_input.isConnected()) return std::nullopt;
    const auto info = codecStreamInfoOf(m_input.connectionType());
    if (!info) return std::nullopt;
    PictureFormat format;
    format.layout = PixelLayout::Yuv420p;
    format.width = std::abs(info->width);
    format.height = std::abs(info->height);
    format.frameDuration = info->frameDuration;
    return format;
}

std::vector<MediaType> VideoDecoderStage::outputTypes(const Pin&) const {
    const auto format = nominalFormat();
    if (!format) return {};
    return {pictureMediaType(*format)};
}

void VideoDecoderStage::start() {
    const auto info = codecStreamInfoOf(m_input.connectionType());
    if (!info) throw std::runtime_error("the video stream has no bitmap header");
    std::string error;
    m_decoder = requireCodec(requireMediaFramework(m_framework).createVideoDecoder(*info, &error),
                             "the video cannot be decoded", error);
    m_nominal = nominalFormat().value_or(PictureFormat{});
    m_lastFormat = m_nominal;
    m_lastTypeChange.reset();
    restartDamagedFrames();
    m_showFrom = MediaTime();
    m_inPreroll = false;
}

void VideoDecoderStage::deliverPictures() {
    PictureFormat format;
    MediaTime start;
    while (m_decoder->receive(m_picture.data, format, start)) {
        if (m_inPreroll || start < m_showFrom) continue;
        if (format.frameDuration == MediaTime()) format.frameDuration = m_nominal.frameDuration;
        if (!(format == m_lastFormat)) {
            m_lastFormat = format;
            m_lastTypeChange =
                format == m_nominal ? nullptr : std::make_shared<const MediaType>(pictureMediaType(format));
        }
        m_picture.typeChange = m_lastTypeChange;
        m_picture.start = start;
        m_picture.stop = start + format.frameDuration;
        m_picture.keyFrame = true;
        m_picture.discontinuity = false;
        m_picture.preroll = false;
        m_picture.frameFacts.reset();
        deliver(*output(0), m_picture);
    }
}

void VideoDecoderStage::receive(Pin&, MediaSample& sample) {
    // An empty chunk keeps the previous picture on show (writers drop unchanged pictures so): nothing to decode.
    if (sample.data.empty()) return;
    if (sample.preroll) {
        m_inPreroll = true;
    } else if (m_inPreroll) {
        m_inPreroll = false;
        m_showFrom = sample.start;
    }
    if (!m_decoder->send(sample.bytes(), sample.start)) damagedFrames().add(sample.start);
    deliverPictures();
}

void VideoDecoderStage::endOfStream(Pin&) {
    m_decoder->sendEnd();
    deliverPictures();
    if (const std::string warning = ownDamagedFramesWarning(); !warning.empty()) warn(warning);
    deliverEndOfStream(*output(0));
}

void VideoDecoderStage::stop(StopReason) { m_decoder.reset(); }

void VideoDecoderStage::flush() {
    if (m_decoder) m_decoder->flush();
    m_showFrom = MediaTime();
    m_inPreroll = false;
}

}  // namespace moraven
