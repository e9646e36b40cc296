#pragma once

#include <memory>
#include <optional>

#include "pipeline/graph/stage.h"
#include "pipeline/stages/damaged_frames.h"
#include "pipeline/media_framework.h"
#include "pipeline/video/picture_format.h"

// "Video Decoder": the compressed pictures of a stream that is not DV (MJPEG, MPEG-4, H.264, raw bitmaps...)
// decoded by the codec module into pictures (pipeline/video/picture_format.h), in display order with their
// start times.
//
// It accepts a video stream whose codec the codec module can decode, and offers pictures of the stream's
// size; when the decoded pictures have another layout or shape than that, each such sample says so in its
// typeChange. A packet the codec refuses is dropped and counted among the damaged frames
// (pipeline/stages/damaged_frames.h): whoever converts the pictures to a frame rate holds the previous picture
// in its place. The run goes on.
// A flush (a seek while the graph pauses) makes the codec forget the pictures it still holds, so that no
// picture from before the seek comes out after it. Packets marked preroll (the frames from the key frame up
// to a seek's position) are decoded, and the pictures that start before the first packet not so marked are
// not delivered.
//
// Threads: as every stage (graph/stage.h). `framework` (null: the codec module, loaded on first use) must
// outlive the stage.
namespace moraven {

class VideoDecoderStage final : public Stage, public DamagedFrameCounting {
public:
    static constexpr const char* kDisplayName = "Video Decoder";

    explicit VideoDecoderStage(const MediaFramework* framework = nullptr);
    ~VideoDecoderStage() override;

    std::vector<MediaType> outputTypes(const Pin& output) const override;
    bool acceptsInput(const Pin& input, const MediaType& type) const override;
    void start() override;
    void receive(Pin& input, MediaSample& sample) override;
    void endOfStream(Pin& input) override;
    void stop(StopReason reason) override;
    void flush() override;

private:
    // The pictures the stream's headers promise: its size, 4:2:0, its frame duration.
    std::optional<PictureFormat> nominalFormat() const;
    void deliverPictures();

    const MediaFramework* m_framework;
    Pin& m_input;
    std::unique_ptr<VideoDecoder> m_decoder;
    MediaSample m_picture;
    PictureFormat m_nominal;
    PictureFormat m_lastFormat;
    std::shared_ptr<const MediaType> m_lastTypeChange;
    // Pictures starting before this are not delivered: the preroll of a seek, until its first packet that is
    // not preroll has come (which sets it to that packet's start).
    MediaTime m_showFrom;
    bool m_inPreroll = false;
};

}  // namespace moraven
