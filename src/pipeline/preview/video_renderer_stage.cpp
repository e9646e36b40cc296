#include "pipeline/preview/video_renderer_stage.h"

#include <stdexcept>
#include <string>

#include "pipeline/stages/codec_access.h"

namespace moraven {

VideoRendererStage::VideoRendererStage(VideoSink& sink, const MediaFramework* framework)
    : Stage(kDisplayName), m_sink(sink), m_framework(framework) {
    addPin(PinDirection::Input, "Input");
}

VideoRendererStage::~VideoRendererStage() = default;

bool VideoRendererStage::acceptsInput(const Pin&, const MediaType& type) const {
    const auto format = pictureFormatOf(type);
    return format && pictureBytes(*format) > 0;
}

void VideoRendererStage::start() {
    if (!input(0)->isConnected()) return;  // the file has no picture to show
    const auto format = pictureFormatOf(input(0)->connectionType());
    if (!format) throw std::runtime_error("the video renderer is not connected to pictures");
    m_format = *format;
    m_warned = false;
    m_lastShown = 0;
    const MediaFramework& framework = requireMediaFramework(m_framework);
    std::string error;
    m_converter = requireCodec(framework.createBgrConverter(&error), "the pictures cannot be shown", error);
}

void VideoRendererStage::receive(Pin&, MediaSample& sample) {
    if (sample.typeChange) {
        if (const auto changed = pictureFormatOf(*sample.typeChange)) m_format = *changed;
    }
    const bool converted = m_converter->convert(m_format, sample.bytes(), m_bgr);
    // The stages before may have announced this picture already; until it shows, the surface keeps the last.
    if (m_shownHook && m_lastShown != 0) m_shownHook(m_lastShown);
    // Counted for pausing and held until its time, shown or not: the clock's pace stays the picture's.
    if (!rendered(sample)) return;  // a seek or a stop came while it waited
    if (!converted) {
        if (!m_warned) warn("a picture could not be shown");
        m_warned = true;
        return;
    }
    PictureFormat shown = m_format;
    shown.layout = PixelLayout::Bgr24;
    m_sink.present(shown, m_bgr, sample.start);
    m_lastShown = sample.sourceFrame();
    if (m_shownHook && m_lastShown != 0) m_shownHook(m_lastShown);
}

void VideoRendererStage::stop(StopReason) { m_converter.reset(); }

}  // namespace moraven
