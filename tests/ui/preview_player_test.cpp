#include "ui/preview_player.h"

#include <atomic>
#include <chrono>
#include <limits>
#include <stdexcept>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <QApplication>
#include <QLabel>
#include <QScreen>
#include <QSlider>
#include <QTextEdit>

#include <gtest/gtest.h>

#include "formats/scene_file.h"
#include "pipeline/media_framework_module.h"
#include "pipeline/preview/tviewdm.h"
#include "settings/preferences.h"
#include "support/external_tools.h"
#include "support/temp_dir.h"
#include "ui/info_panel.h"
#include "ui/video_surface.h"

namespace moraven {
namespace {

using namespace std::chrono_literals;

// Whether this process has `path` open.
bool holdsOpen(const std::string& path) {
    const std::filesystem::path wanted = std::filesystem::canonical(path);
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        const auto target = std::filesystem::read_symlink(entry.path(), error);
        if (!error && target == wanted) return true;
    }
    return false;
}

// The panel and its player as the main window makes them, on clips made by ffmpeg (a moving picture, a
// recording date and a timecode in every frame).
class PreviewPlayerTest : public ::testing::Test {
protected:
    PreviewPlayerTest() : actions(windowActions()) {
        settings.formatPourAfficherDatecode = "dd/mm/yyyy hh:nn:ss";
        panel = std::make_unique<TBaseFrame>(settings);
        panel->show();
        makePlayer(nullptr);
    }
    // The player on `framework` (null: the codec module).
    void makePlayer(const MediaFramework* framework) {
        player.reset();
        PreviewPlayer::Hooks hooks;
        hooks.actionsChanged = [this] { ++actionChanges; };
        hooks.setVolumeGauge = [this](int percent) { gauge = percent; };
        hooks.setVolumePanelShown = [this](bool shown) { volumePanelShown = shown; };
        player = std::make_unique<PreviewPlayer>(*panel, settings, englishDateFormatLocale(), actions, hooks,
                                                 framework);
    }
    // Runs the event loop until the play action's caption is `wanted`, within a generous bound.
    bool waitForCaption(const char* wanted) {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (caption("avPlayStop") != wanted && std::chrono::steady_clock::now() < deadline) {
            QApplication::processEvents();
            std::this_thread::sleep_for(5ms);
        }
        return caption("avPlayStop") == wanted;
    }
    ~PreviewPlayerTest() override {
        player.reset();
        panel.reset();
    }

    std::string clip(const std::string& name, test::DvClipOptions options) {
        return test::makeDvAviWithFfmpeg(dir.path().string(), name, options);
    }
    // A clip made by ffmpeg, loaded and shown.
    void loadClip(const std::string& name, const test::DvClipOptions& options) {
        load(clip(name, options));
        settle();
    }
    void load(const std::string& path) {
        record = std::make_unique<TAfficherFichier>(path);
        panel->ShowFile(*record);
        player->load(*record);
    }
    // Runs the action, waits until the frame is shown, and lets both timers do their work.
    void act(const char* name) {
        ASSERT_TRUE(player->runAction(name)) << name;
        settle();
    }
    void settle() {
        if (player->preview().State() == GraphState::Paused) player->preview().WaitUntilPaused(2s);
        QApplication::processEvents();
        player->updateNow();
    }
    std::string text(const char* label) const { return panel->findChild<QLabel*>(label)->text().toStdString(); }
    std::string caption(const char* name) { return actions.find(name)->caption; }

    test::TempDir dir;
    Settings settings;
    ActionList actions;
    int actionChanges = 0;
    int gauge = -1;
    bool volumePanelShown = true;
    std::unique_ptr<TBaseFrame> panel;
    std::unique_ptr<PreviewPlayer> player;
    std::unique_ptr<TAfficherFichier> record;
};

TEST_F(PreviewPlayerTest, TheLabelsFollowTheFrameOnScreenThroughStepsAndMoves) {
    test::DvClipOptions options;
    options.frames = 60;
    options.timecode = "01:02:03:04";
    load(clip("pal.avi", options));
    ASSERT_EQ(panel->displayMode(), TBaseFrame::DisplayMode::Video);
    settle();
    EXPECT_TRUE(panel->videoSurface().hasPicture());
    EXPECT_EQ(caption("avPlayStop"), "Play");
    EXPECT_EQ(text("labDatecode"), "15/07/2004 13:05:09");

    struct Step {
        const char* action;
        const char* timecode;
        const char* position;
    };
    const Step steps[] = {
        {nullptr, "01.02.03.04", "0:00:00:00"},
        {"avanceLow", "01.02.03.05", "0:00:00:01"},
        {"avanceLow", "01.02.03.06", "0:00:00:02"},
        {"reculeLow", "01.02.03.05", "0:00:00:01"},
        {"avanceMedium", "01.02.04.05", "0:00:01:01"},
        {"ReculeMedium", "01.02.03.05", "0:00:00:01"},
        {"reculeLow", "01.02.03.04", "0:00:00:00"},
        {"reculeLow", "01.02.03.04", "0:00:00:00"},  // kept at the start
        {"avAvanceFin", "01.02.05.13", "0:00:02:09"},  // the last frame, 59
        {"avReculeDebut", "01.02.03.04", "0:00:00:00"},
        {"avanceHigh", "01.02.05.13", "0:00:02:09"},  // a minute forward stops at the end
    };
    for (const Step& step : steps) {
        if (step.action) act(step.action);
        EXPECT_EQ(text("LabTimecode"), step.timecode) << (step.action ? step.action : "load");
        EXPECT_EQ(text("labTimeStamp"), step.position) << (step.action ? step.action : "load");
    }
    EXPECT_EQ(panel->findChild<QSlider*>("tb")->value(), 1000 * 59 / 60);
}

TEST_F(PreviewPlayerTest, AnNtscStepMovesExactlyOneFrame) {
    test::DvClipOptions options;
    options.ntsc = true;
    options.frames = 40;
    options.timecode = "00:00:10:00";
    loadClip("ntsc.avi", options);
    for (int frame = 1; frame <= 32; ++frame) {
        act("avanceLow");
        char expected[16];
        std::snprintf(expected, sizeof expected, "00.00.%.2d.%.2d", 10 + frame / 30, frame % 30);
        ASSERT_EQ(text("LabTimecode"), expected) << "step " << frame;
    }
    for (int frame = 31; frame >= 0; --frame) {
        act("reculeLow");
        char expected[16];
        std::snprintf(expected, sizeof expected, "00.00.%.2d.%.2d", 10 + frame / 30, frame % 30);
        ASSERT_EQ(text("LabTimecode"), expected) << "back to " << frame << " pos " << player->preview().Position() << " shown " << panel->videoSurface().shownStart().ticks();
    }
}

TEST_F(PreviewPlayerTest, ScenesMovesLandOnEachScenesFirstFrame) {
    test::DvClipOptions options;
    options.frames = 60;
    options.timecode = "00:00:00:00";
    const std::string path = clip("scenes.avi", options);
    {
        const auto scene = [](std::int32_t start, std::int32_t end) {
            TSceneInfo info;
            info.StartFrame = start;
            info.EndFrame = end;
            return info;
        };
        SceneFileWriter writer;
        ASSERT_TRUE(writer.OpenScenes(SceneVideo{path, 25.0, {}, "00.00.00.00"}));
        writer.WriteScene(scene(0, 19));
        writer.WriteScene(scene(20, 44));
        writer.WriteScene(scene(45, 59));
        writer.CloseScenes();
    }
    load(path);
    settle();
    const std::pair<const char*, const char*> moves[] = {
        {"AvanceScene", "00.00.00.20"}, {"AvanceScene", "00.00.01.20"}, {"AvanceScene", "00.00.02.09"},
        {"ReculeScene", "00.00.01.20"}, {"ReculeScene", "00.00.00.20"}, {"ReculeScene", "00.00.00.00"},
    };
    for (const auto& [action, timecode] : moves) {
        act(action);
        EXPECT_EQ(text("LabTimecode"), timecode) << action;
    }

    // Without a scene file nothing moves.
    loadClip("plain.avi", options);
    act("AvanceScene");
    EXPECT_EQ(text("LabTimecode"), "00.00.00.00");
}

TEST_F(PreviewPlayerTest, PlayingToTheEndComesBackPausedOnTheFirstFrame) {
    test::DvClipOptions options;
    options.frames = 8;
    loadClip("short.avi", options);
    act("avPlayStop");
    EXPECT_EQ(caption("avPlayStop"), "Pause");
    waitForCaption("Play");
    settle();
    EXPECT_EQ(caption("avPlayStop"), "Play");
    EXPECT_EQ(player->preview().State(), GraphState::Paused);
    EXPECT_EQ(player->preview().Position(), 0);
    EXPECT_EQ(text("LabTimecode"), "01.02.03.04");
}

TEST_F(PreviewPlayerTest, VolumeAndMuteFollowTheSettingsWithinTheirRange) {
    settings.volume = 10000;
    settings.isMuteOn = false;
    act("afIncVolume");
    EXPECT_EQ(settings.volume, 10000);
    EXPECT_EQ(gauge, 100);
    act("afDecVolume");
    EXPECT_EQ(settings.volume, 9000);
    EXPECT_EQ(player->preview().Volume(), 9000);

    act("avMute");
    EXPECT_TRUE(settings.isMuteOn);
    EXPECT_EQ(player->preview().Volume(), 0);
    EXPECT_EQ(caption("avMute"), "Sound on");
    EXPECT_FALSE(volumePanelShown);
    act("afIncVolume");  // the level and gauge change, the sound stays off
    EXPECT_EQ(settings.volume, 10000);
    EXPECT_EQ(gauge, 100);
    EXPECT_EQ(player->preview().Volume(), 0);
    act("avMute");
    EXPECT_FALSE(settings.isMuteOn);
    EXPECT_EQ(player->preview().Volume(), 10000);
    EXPECT_EQ(caption("avMute"), "Sound off");
    EXPECT_EQ(actions.find("avMute")->hint, "Sound is On.\r\nClick to turn the sound Off.");
    EXPECT_TRUE(volumePanelShown);
}

TEST_F(PreviewPlayerTest, FullScreenAndBackKeepsThePanelsPlace) {
    test::DvClipOptions options;
    options.wide = true;
    loadClip("wide.avi", options);
    VideoSurface& surface = panel->videoSurface();
    const QRect inPanel = surface.geometry();
    EXPECT_EQ(inPanel.size(), QSize(240, 135));  // 16:9 shown 16:9
    act("avFullscreen");
    EXPECT_TRUE(surface.isWindow());
    EXPECT_EQ(surface.geometry().size(), surface.screen()->geometry().size());
    EXPECT_EQ(caption("avFullscreen"), "Quit fullscreen");
    emit panel->fullScreenLeaveRequested();  // Esc
    QApplication::processEvents();
    EXPECT_FALSE(surface.isWindow());
    EXPECT_EQ(surface.parentWidget(), panel.get());
    EXPECT_EQ(surface.geometry(), inPanel);
    EXPECT_EQ(caption("avFullscreen"), "Fullscreen");
}

TEST_F(PreviewPlayerTest, AClickOnThePictureMovesTheInlayOnlyWhileTheSlidersShow) {
    test::DvClipOptions options;
    loadClip("click.avi", options);
    settings.incrustPositionX = settings.incrustPositionY = 920;
    settings.incrustSlidersVisible = false;
    emit panel->pictureClicked(60, 45, 240, 180);
    EXPECT_EQ(settings.incrustPositionX, 920);

    settings.incrustSlidersVisible = true;
    emit panel->pictureClicked(60, 45, 240, 180);
    EXPECT_EQ(settings.incrustPositionX, 250);
    EXPECT_EQ(settings.incrustPositionY, 250);
    EXPECT_EQ(panel->findChild<QSlider*>("incrustHorz")->value(), 250);
    EXPECT_EQ(panel->findChild<QSlider*>("incrustVert")->value(), 750);
    settle();
    EXPECT_EQ(player->preview().State(), GraphState::Paused);  // drawn again, still paused
}

TEST_F(PreviewPlayerTest, TheTrackBarMovesThePlayerWhenLetGoAndDraggingTheInlayPlaysSilently) {
    test::DvClipOptions options;
    options.frames = 50;
    options.timecode = "00:00:00:00";
    loadClip("bar.avi", options);
    emit panel->positionBarTaken();
    emit panel->positionBarSet(500);  // 500 x 50 / 1000: frame 25
    settle();
    EXPECT_EQ(text("LabTimecode"), "00.00.01.00");
    EXPECT_EQ(panel->findChild<QSlider*>("tb")->value(), 500);

    settings.volume = 7000;
    settings.isMuteOn = false;
    emit panel->inlaySliderPressed();
    EXPECT_EQ(player->preview().State(), GraphState::Running);
    EXPECT_EQ(player->preview().Volume(), 0);
    emit panel->inlaySliderReleased();
    EXPECT_EQ(player->preview().State(), GraphState::Paused);
    EXPECT_EQ(player->preview().Volume(), 7000);
    EXPECT_EQ(caption("avPlayStop"), "Play");
}

TEST_F(PreviewPlayerTest, AnInlayChangeDrawsTheSameFrameAgain) {
    test::DvClipOptions options;
    options.frames = 40;
    loadClip("redraw.avi", options);
    act("avanceMedium");
    ASSERT_EQ(text("LabTimecode"), "01.02.04.04");
    for (int i = 0; i < 3; ++i) {
        player->redraw();
        settle();
        EXPECT_EQ(text("LabTimecode"), "01.02.04.04");
        EXPECT_EQ(text("labTimeStamp"), "0:00:01:00");
        EXPECT_EQ(panel->videoSurface().shownStart().ticks(), 25 * 400'000);
    }
}

TEST_F(PreviewPlayerTest, ASuspendedPlayerLetsTheFileGoAndShowsItAgainAfterwards) {
    test::DvClipOptions options;
    const std::string path = clip("held.avi", options);
    load(path);
    settle();
    ASSERT_TRUE(holdsOpen(path));
    player->suspend();
    EXPECT_EQ(panel->displayMode(), TBaseFrame::DisplayMode::Message);
    EXPECT_FALSE(holdsOpen(path));
    EXPECT_EQ(player->preview().PreviewStatus(), kPreviewInterrupted);
    // The command renames the file; the list shows it again under its new name.
    const std::string renamed = dir.file("renamed.avi");
    std::filesystem::rename(path, renamed);
    player->endSuspend();
    load(renamed);
    EXPECT_EQ(panel->displayMode(), TBaseFrame::DisplayMode::Video);
    EXPECT_TRUE(holdsOpen(renamed));
}

// The codec module, except that the pictures' conversion for the screen breaks down from a given call on
// (counted over every converter made).
class BreakingFramework final : public MediaFramework {
public:
    explicit BreakingFramework(const MediaFramework& real) : m_real(real) {}
    MediaFrameworkVersions versions() const override { return m_real.versions(); }
    std::unique_ptr<DvVideoDecoder> createDvVideoDecoder(std::string* error) const override {
        return m_real.createDvVideoDecoder(error);
    }
    std::unique_ptr<DvVideoEncoder> createDvVideoEncoder(DvSystem system, bool wide, std::string* error) const override {
        return m_real.createDvVideoEncoder(system, wide, error);
    }
    std::unique_ptr<VideoDecoder> createVideoDecoder(const CodecStreamInfo& stream, std::string* error) const override {
        return m_real.createVideoDecoder(stream, error);
    }
    std::unique_ptr<AudioDecoder> createAudioDecoder(const CodecStreamInfo& stream, std::string* error) const override {
        return m_real.createAudioDecoder(stream, error);
    }
    std::unique_ptr<PictureConformer> createPictureConformer(const PictureFormat& target,
                                                             std::string* error) const override {
        return m_real.createPictureConformer(target, error);
    }
    std::unique_ptr<Resampler> createResampler(PcmFormat from, PcmFormat to, std::string* error) const override {
        return m_real.createResampler(from, to, error);
    }
    std::unique_ptr<BgrConverter> createBgrConverter(std::string* error) const override {
        auto real = m_real.createBgrConverter(error);
        if (!real) return nullptr;
        return std::make_unique<Converter>(std::move(real), *this);
    }

    // Conversions from the `count`-th after the ones made so far on throw.
    void breakAfter(int count) { m_breakAt = m_calls.load() + count; }

private:
    class Converter final : public BgrConverter {
    public:
        Converter(std::unique_ptr<BgrConverter> real, const BreakingFramework& owner)
            : m_real(std::move(real)), m_owner(owner) {}
        bool convert(const PictureFormat& format, Bytes picture, std::vector<std::uint8_t>& bgr) override {
            if (m_owner.m_calls.fetch_add(1) + 1 >= m_owner.m_breakAt.load()) {
                throw std::runtime_error("the picture converter broke down");
            }
            return m_real->convert(format, picture, bgr);
        }

    private:
        std::unique_ptr<BgrConverter> m_real;
        const BreakingFramework& m_owner;
    };

    const MediaFramework& m_real;
    mutable std::atomic<int> m_calls{0};
    std::atomic<int> m_breakAt{std::numeric_limits<int>::max()};
};

TEST_F(PreviewPlayerTest, AStageThatFailsWhilePlayingShowsWhyAndTheCaptionComesBackToPlay) {
    const MediaFramework* real = loadMediaFramework().framework;
    ASSERT_NE(real, nullptr);
    BreakingFramework breaking(*real);
    makePlayer(&breaking);
    test::DvClipOptions options;
    options.frames = 50;
    loadClip("breaks.avi", options);
    ASSERT_EQ(panel->displayMode(), TBaseFrame::DisplayMode::Video);
    breaking.breakAfter(3);
    act("avPlayStop");
    EXPECT_EQ(caption("avPlayStop"), "Pause");
    ASSERT_TRUE(waitForCaption("Play"));
    EXPECT_EQ(panel->displayMode(), TBaseFrame::DisplayMode::Message);
    const QString message = panel->findChild<QTextEdit*>("reBaseFrame")->toPlainText();
    EXPECT_TRUE(message.contains("The playback stopped")) << message.toStdString();
    EXPECT_TRUE(message.contains("the picture converter broke down")) << message.toStdString();
    EXPECT_EQ(player->preview().State(), GraphState::Stopped);
    act("avPlayStop");  // nothing left to play
    EXPECT_EQ(caption("avPlayStop"), "Play");
    EXPECT_EQ(player->preview().State(), GraphState::Stopped);
}

TEST_F(PreviewPlayerTest, AFileThatIsNoAviShowsItsMessageAndTheActionsDoNothing) {
    const std::string path = dir.file("notes.avi");
    std::ofstream(path) << "not a video at all";
    load(path);
    EXPECT_EQ(panel->displayMode(), TBaseFrame::DisplayMode::Message);
    act("avanceLow");
    act("avPlayStop");
    EXPECT_EQ(player->preview().State(), GraphState::Stopped);
}

}  // namespace
}  // namespace moraven
