#pragma once

#include <memory>
#include <optional>

#include "pipeline/graph/stage.h"
#include "pipeline/media_framework.h"
#include "pipeline/video/picture_format.h"

// "Color Space Converter": pictures of any shape, layout and rate made into pictures of one DV system's
// format (through the codec module's picture conformer: fitted with black bars, re-timed to the system's
// frame rate, de-interlaced when an interlaced picture changes height).
//
// It accepts any picture type and offers the DV picture formats of both systems, PAL first, 16:9 when the
// input is shown wider than about 14:9, else 4:3; the stage downstream picks its system by accepting it. A
// picture whose sample carries a typeChange is taken in that type.
//
// Threads: as every stage (graph/stage.h). `framework` (null: the codec module, loaded on first use) must
// outlive the stage.
namespace moraven {

class ColorSpaceConverterStage final : public Stage {
public:
    static constexpr const char* kDisplayName = "Color Space Converter";

    explicit ColorSpaceConverterStage(const MediaFramework* framework = nullptr);
    ~ColorSpaceConverterStage() override;

    std::vector<MediaType> outputTypes(const Pin& output) const override;
    bool acceptsInput(const Pin& input, const MediaType& type) const override;
    void start() override;
    void receive(Pin& input, MediaSample& sample) override;
    void endOfStream(Pin& input) override;
    void stop(StopReason reason) override;

private:
    void deliverPictures();

    const MediaFramework* m_framework;
    Pin& m_input;
    std::unique_ptr<PictureConformer> m_conformer;
    PictureFormat m_target;
    MediaSample m_picture;
};

}  // namespace moraven
