#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "pipeline/graph/stage.h"
#include "pipeline/media_framework.h"
#include "pipeline/preview/media_sinks.h"
#include "pipeline/video/picture_format.h"

// "Video Renderer": the end of a player's picture chain. It takes decoded pictures of any layout
// (pictureMediaType()), converts each into BGR24 at its own size through the codec module, and hands it to
// the VideoSink once the graph's clock has reached its start time (at once while the graph pauses, so that
// a paused player shows its first picture). A sample whose typeChange names another picture format is
// converted in that format.
//
// Threads: as every stage (graph/stage.h); present() of the sink is called on the streaming thread. The
// converter is made in start() (control thread). `sink` and `framework` (null: the codec module, loaded on
// first use) must outlive the stage. Failure: a picture that cannot be converted is skipped with one warning.
namespace moraven {

class VideoRendererStage final : public Stage {
public:
    static constexpr const char* kDisplayName = "Video Renderer";

    explicit VideoRendererStage(VideoSink& sink, const MediaFramework* framework = nullptr);
    ~VideoRendererStage() override;

    bool acceptsInput(const Pin& input, const MediaType& type) const override;
    void start() override;
    void receive(Pin& input, MediaSample& sample) override;
    void endOfStream(Pin&) override {}
    void stop(StopReason reason) override;
    bool isRenderer() const override { return true; }

    // Told, on the streaming thread, the sourceFrame of the picture on the surface: the last one presented
    // while the next waits for its time or for the paused graph, then the next once presented (the player
    // reads that frame's facts). Set while the graph is stopped.
    void setShownHook(std::function<void(std::uint64_t sourceFrame)> hook) { m_shownHook = std::move(hook); }

private:
    VideoSink& m_sink;
    const MediaFramework* m_framework;
    std::unique_ptr<BgrConverter> m_converter;
    PictureFormat m_format;  // of the current pictures
    std::vector<std::uint8_t> m_bgr;
    bool m_warned = false;
    std::function<void(std::uint64_t)> m_shownHook;
    std::uint64_t m_lastShown = 0;  // sourceFrame of the picture on the surface; 0 before any
};

}  // namespace moraven
