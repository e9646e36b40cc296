#pragma once

#include <memory>
#include <optional>

#include "formats/dvcodes.h"
#include "pipeline/graph/stage.h"
#include "pipeline/video/field_standards_converter.h"
#include "pipeline/video/picture_format.h"

// "Pinnacle Video Deinterlacer": the standards converter of the NTSC and PAL conversions. It takes decoded DV
// pictures of one system (pictureFormatOf() of dvPictureFormat(), 4:3 or 16:9) and offers the other system's
// pictures of the same shape first, then its input's own type. Connected to the other system, it converts
// field by field (pipeline/video/field_standards_converter.h: same duration, one output field per output
// field time, each carrying the source frame number of its first field's picture); connected to its own
// type, it hands pictures on as they are.
//
// While converting it holds the few pictures the next outputs still need, and hands on the rest at the end
// of the stream. A sample's typeChange is not followed: the pictures keep the connection's format.
//
// Threads: as every stage (graph/stage.h).
namespace moraven {

class DeinterlacerStage final : public Stage {
public:
    static constexpr const char* kDisplayName = "Pinnacle Video Deinterlacer";

    DeinterlacerStage();
    ~DeinterlacerStage() override;

    // The DV system whose decoded pictures `format` describes (its layout and size); nothing for others.
    static std::optional<DvSystem> dvSystemOfPictures(const PictureFormat& format);

    std::vector<MediaType> outputTypes(const Pin& output) const override;
    bool acceptsInput(const Pin& input, const MediaType& type) const override;
    void start() override;
    void receive(Pin& input, MediaSample& sample) override;
    void endOfStream(Pin& input) override;
    void stop(StopReason reason) override;

    // Whether the current or last run converted (its output was the other system). Control thread.
    bool converting() const { return m_converting; }

private:
    void deliverConverted();

    Pin& m_input;
    Pin& m_output;
    std::unique_ptr<FieldStandardsConverter> m_converter;
    bool m_converting = false;
    MediaSample m_picture;
};

}  // namespace moraven
