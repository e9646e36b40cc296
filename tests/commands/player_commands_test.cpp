#include "commands/player_commands.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/fake_list_record.h"
#include "support/recording_inlay.h"

namespace moraven {
namespace {

// The two inlay commands on a recording player: what they set on the inlay stage, the captions they give their
// actions, the sliders and the volume panel they show or hide, and the settings they change.
class PlayerCommandsTest : public ::testing::Test {
protected:
    PlayerCommandsTest() : context(settings, englishDateFormatLocale()), commands(context) {
        PlayerHooks& player = context.player;
        player.settings = &settings;
        player.inlay = [this] { return &inlay; };
        player.redraw = [this] { ++redraws; };
        player.showSliders = [this](bool shown) { slidersShown = shown; };
        player.showVolumePanel = [this](bool shown) { volumePanelShown = shown; };
        player.setActionLook = [this](const std::string& action, const std::string& caption, int image) {
            looks.push_back(action + " " + caption + " " + std::to_string(image));
        };
    }
    void run(void (PlayerCommands::*execution)(const TParam&, const ListRecord&, std::string&, TchUpdateType&) const) {
        std::string newfichier;
        TchUpdateType update = TchUpdateType::utNone;
        (commands.*execution)(TParam{}, record, newfichier, update);
        EXPECT_TRUE(newfichier.empty());
        EXPECT_EQ(update, TchUpdateType::utNone);
    }
    bool enabledFor(const test::FakeListRecord::Facts& facts) {
        bool visible = false;
        bool enabled = false;
        commands.PlayerInlayFileCondition(TParam{}, test::FakeListRecord("/v/a.avi", facts), visible, enabled);
        EXPECT_TRUE(visible);
        return enabled;
    }

    Settings settings;
    CommandContext context;
    PlayerCommands commands;
    std::vector<std::string> calls;
    test::RecordingInlay inlay{calls};
    test::FakeListRecord record{"/v/clip.avi", {}};
    int redraws = 0;
    bool slidersShown = false;
    bool volumePanelShown = true;
    std::vector<std::string> looks;
};

TEST_F(PlayerCommandsTest, OfferedForTheDvFilesWhosePicturesCanBeDecoded) {
    test::FakeListRecord::Facts facts;
    facts.dvType = 2;
    facts.codec = "CDVC";
    EXPECT_TRUE(enabledFor(facts));
    facts.dvType = 1;
    EXPECT_FALSE(enabledFor(facts));
    facts.codec = "dvsd";
    EXPECT_TRUE(enabledFor(facts));
    facts.isDv = false;
    EXPECT_FALSE(enabledFor(facts));
}

TEST_F(PlayerCommandsTest, DisplayingTheInlaySetsEveryInlaySettingThenTurnsItOnAndOffAgain) {
    settings.isIncrustOn = false;
    run(&PlayerCommands::AfficherIncrustationExecution);
    EXPECT_TRUE(settings.isIncrustOn);
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), "SetEnabled 1");  // only once the stage is set
    EXPECT_GT(calls.size(), 10u);
    EXPECT_EQ(looks, std::vector<std::string>{"amAfficherIncrustation Hide the datecode 21"});
    EXPECT_EQ(redraws, 1);

    calls.clear();
    run(&PlayerCommands::AfficherIncrustationExecution);
    EXPECT_FALSE(settings.isIncrustOn);
    EXPECT_EQ(calls, std::vector<std::string>{"SetEnabled 0"});
    EXPECT_EQ(looks.back(), "amAfficherIncrustation Display the datecode 18");
    EXPECT_EQ(redraws, 2);
}

TEST_F(PlayerCommandsTest, ShowingTheSlidersTurnsTheInlayOnAndHidingThemBringsTheVolumeBackUnlessMuted) {
    settings.isIncrustOn = false;
    settings.incrustSlidersVisible = false;
    run(&PlayerCommands::AfficherSlidersExecution);
    EXPECT_TRUE(settings.incrustSlidersVisible);
    EXPECT_TRUE(settings.isIncrustOn);
    EXPECT_TRUE(slidersShown);
    EXPECT_FALSE(volumePanelShown);
    EXPECT_EQ(looks.back(), "amAfficherSliders Hide the sliders for Inlay -1");

    settings.isMuteOn = true;
    run(&PlayerCommands::AfficherSlidersExecution);
    EXPECT_FALSE(settings.incrustSlidersVisible);
    EXPECT_FALSE(slidersShown);
    EXPECT_FALSE(volumePanelShown);  // muted: the volume stays hidden
    EXPECT_TRUE(settings.isIncrustOn);  // the inlay stays on
    EXPECT_EQ(looks.back(), "amAfficherSliders Modify the position of Inlay -1");

    settings.isMuteOn = false;
    run(&PlayerCommands::AfficherSlidersExecution);
    run(&PlayerCommands::AfficherSlidersExecution);
    EXPECT_TRUE(volumePanelShown);
}

TEST_F(PlayerCommandsTest, WithoutAPlayerNothingChanges) {
    context.player = PlayerHooks{};
    run(&PlayerCommands::AfficherIncrustationExecution);
    run(&PlayerCommands::AfficherSlidersExecution);
    EXPECT_FALSE(settings.isIncrustOn);
    EXPECT_FALSE(settings.incrustSlidersVisible);
    EXPECT_TRUE(calls.empty());
}

}  // namespace
}  // namespace moraven
