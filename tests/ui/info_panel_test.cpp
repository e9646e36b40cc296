#include "ui/info_panel.h"

#include <stdexcept>
#include <string>
#include <vector>

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>

#include <gtest/gtest.h>

#include "settings/preferences.h"
#include "support/dv_avi_file.h"
#include "support/dv_frame_builder.h"
#include "support/temp_dir.h"
#include "window/video_record.h"

namespace moraven {
namespace {

using test::DvFrameBuilder;

// A PAL frame recorded on 15 July 2004 at 13:05:09, timecode 00:12:05:17, with 32 kHz 12-bit sound (heard
// in type 1 files); display select 2 makes it 16:9.
std::vector<std::uint8_t> palFrame(std::uint8_t display) {
    DvFrameBuilder frame(DvSystem::Pal625);
    frame.recDate(0, 2004, 7, 15, 13, 5, 9)
        .timecode(0, 0, 12, 5, 17)
        .sourceControl(0, display)
        .audioSource(0x11);
    return frame.bytes();
}

class InfoPanelTest : public ::testing::Test {
protected:
    InfoPanelTest() : panel(settings) {
        // No separator tokens: the user's locale cannot change the texts.
        settings.formatPourAfficherDatecode = "yyyy-mm-dd hh.nn.ss";
        panel.ApplyPanelTexts();
        panel.CentreInColumn(280);
    }

    template <class T = QLabel>
    T& child(const char* name) {
        auto* widget = panel.findChild<T*>(QString::fromLatin1(name));
        if (widget == nullptr) throw std::runtime_error(std::string("no control ") + name);
        return *widget;
    }
    std::string text(const char* label) { return child(label).text().toStdString(); }
    QRect geometry(const char* name) { return child<QWidget>(name).geometry(); }
    bool shown(const char* name) { return child<QWidget>(name).isVisibleTo(&panel); }
    std::string message() { return child<QTextEdit>("reBaseFrame").toPlainText().toStdString(); }

    VideoFileRecord record(const std::string& path) { return VideoFileRecord(path, {}); }

    void copy(const char* action) {
        QAction* entry = child<QMenu>("copiermenu").findChild<QAction*>(QString::fromLatin1(action));
        ASSERT_NE(entry, nullptr) << action;
        entry->trigger();
    }
    std::string clipboard() { return QGuiApplication::clipboard()->text().toStdString(); }

    test::TempDir dir;
    Settings settings;
    TBaseFrame panel;
};

TEST_F(InfoPanelTest, ShowsTheFactsOfADvFileAndFitsTheVideoToItsShape) {
    const std::string path =
        test::writeRepeatedDvFrame(dir.file("Wide Clip.avi"), palFrame(2), 30, {.type1 = true});
    test::writeWholeFile(dir.file("Wide Clip.scn"), {0});
    const VideoFileRecord wide = record(path);
    panel.ShowFile(wide.fichier());

    EXPECT_EQ(text("LabNom"), "Wide Clip.avi");
    const std::vector<std::pair<const char*, std::string>> expected = {
        {"labDatecode", "2004-07-15 13.05.09"},
        {"LabTimecode", "00.12.05.17"},
        {"LabCodec", "dvsd (type 1)"},
        {"LabImage", "720 x 576 (Pal 16x9)"},
        {"LabDuree", "1s 05fr"},
        {"labFPS", "25"},
        {"LabAudio1", "32000Hz 12(16) bits  stereo"},
        {"LabAudio2", "PCM 128000 bytes/s"},
    };
    for (const auto& [label, value] : expected) EXPECT_EQ(text(label), value) << label;
    EXPECT_TRUE(shown("labscn"));
    EXPECT_TRUE(shown("Shape1"));
    const std::string hint = child<QWidget>("Panel1").toolTip().toStdString();
    EXPECT_EQ(hint.substr(0, hint.find('\n')), "File     : " + path);
    EXPECT_NE(hint.find("\nModified : "), std::string::npos);

    // 16:9: a 240 × 135 picture, the controls around it following its edges.
    EXPECT_EQ(geometry("vw"), QRect(20, 186, 240, 135));
    EXPECT_EQ(geometry("tb").left(), 20);
    EXPECT_EQ(geometry("tb").width(), 240);
    EXPECT_EQ(geometry("labTimeStamp").top(), 186 + 135 + 6);
    EXPECT_EQ(geometry("Shape1").topLeft(), QPoint(244, 305));
    EXPECT_EQ(geometry("incrustHorz").left(), 12);
    EXPECT_EQ(geometry("incrustHorz").width(), 256);
    EXPECT_EQ(geometry("incrustVert").top(), 178);
    EXPECT_EQ(geometry("incrustVert").height(), 151);

    // The same panel then shows a 4:3 file without a scene file: the whole message area.
    const VideoFileRecord narrow =
        record(test::writeRepeatedDvFrame(dir.file("narrow.avi"), palFrame(0), 10));
    panel.ShowFile(narrow.fichier());
    EXPECT_EQ(geometry("vw"), QRect(20, 186, 240, 180));
    EXPECT_EQ(geometry("labTimeStamp").top(), 186 + 180 + 6);
    EXPECT_EQ(text("LabCodec"), "dvsd (type 2)");
    EXPECT_FALSE(shown("labscn"));
}

TEST_F(InfoPanelTest, ALongFileNameGetsASmallerFontRightAlignedInTheTitleLine) {
    const std::string name(60, 'W');
    const VideoFileRecord wide = record(test::writeRepeatedDvFrame(dir.file(name + ".avi"), palFrame(0), 2));
    panel.ShowFile(wide.fichier());
    const QLabel& label = child("LabNom");
    EXPECT_EQ(label.font().pixelSize(), 11);
    EXPECT_EQ(label.geometry().right() + 1, 253);

    const VideoFileRecord shortName = record(test::writeRepeatedDvFrame(dir.file("a.avi"), palFrame(0), 2));
    panel.ShowFile(shortName.fichier());
    EXPECT_EQ(label.font().pixelSize(), 13);
    EXPECT_EQ(label.geometry().right() + 1, 253);
}

TEST_F(InfoPanelTest, AFileThatIsNoAviGetsItsMessageInMessageMode) {
    const VideoFileRecord broken = record(dir.write("Broken.AVI", {'n', 'o', 't', ' ', 'a', 'v', 'i'}));
    panel.ShowFile(broken.fichier());
    EXPECT_EQ(text("LabImage"), "N/A");
    EXPECT_FALSE(shown("Shape1"));
    // No picture shape: the video window keeps its place.
    EXPECT_EQ(geometry("vw").size(), QSize(240, 180));

    panel.ShowVideoMode();
    EXPECT_FALSE(shown("reBaseFrame"));
    EXPECT_TRUE(shown("tb"));

    panel.ShowMessageMode(4);
    EXPECT_EQ(panel.displayMode(), TBaseFrame::DisplayMode::Message);
    EXPECT_EQ(message(),
              "\n\n\nVideo not available\n\nThe file \n\nbroken.avi\nseems not to be a correct AVI file");
    EXPECT_TRUE(shown("reBaseFrame"));
    EXPECT_FALSE(shown("tb"));
    EXPECT_FALSE(shown("labTimeStamp"));
    // The video window waits behind the messages, at their left edge.
    EXPECT_EQ(geometry("vw").left(), geometry("reBaseFrame").left());

    // The file's name is bold and blue, the rest black.
    const QTextEdit& area = child<QTextEdit>("reBaseFrame");
    const QTextBlock nameLine = area.document()->findBlockByNumber(7);
    ASSERT_EQ(nameLine.text().toStdString(), "broken.avi");
    EXPECT_TRUE(nameLine.charFormat().font().bold());
    EXPECT_EQ(nameLine.charFormat().foreground().color(), QColor(Qt::blue));
    EXPECT_EQ(area.document()->findBlockByNumber(8).charFormat().foreground().color(), QColor(Qt::black));

    panel.ShowAudioMode(3);
    EXPECT_EQ(panel.displayMode(), TBaseFrame::DisplayMode::Audio);
    EXPECT_NE(message().find("has only Audio streams"), std::string::npos);
    EXPECT_TRUE(shown("tb"));
    EXPECT_TRUE(shown("labTimeStamp"));
}

TEST_F(InfoPanelTest, ClearPanelEmptiesTheFactsAndForgetsTheFile) {
    const std::string path = test::writeRepeatedDvFrame(dir.file("Clip.avi"), palFrame(0), 2);
    test::writeWholeFile(dir.file("Clip.scn"), {0});
    const VideoFileRecord clip = record(path);
    panel.ShowFile(clip.fichier());
    ASSERT_TRUE(shown("labscn"));
    QSignalSpy cleared(&panel, &TBaseFrame::panelCleared);

    panel.ClearPanel();
    EXPECT_EQ(cleared.count(), 1);
    EXPECT_EQ(text("LabNom"), "---");
    for (const char* label : {"labDatecode", "LabTimecode", "LabCodec", "LabImage", "LabDuree", "labFPS",
                              "LabAudio1", "LabAudio2"}) {
        EXPECT_EQ(text(label), "") << label;
    }
    EXPECT_FALSE(shown("labscn"));
    // Without a file, message 8 names none.
    panel.ShowMessageMode(8);
    EXPECT_EQ(message(),
              "\n\n\nVideo not available\n\n Video temporarily interrupted\nto execute a command\n");

    panel.WriteWelcome();
    EXPECT_EQ(cleared.count(), 2);
    EXPECT_EQ(message(), "\n\n\nMoraven 6.0.4  by  Velloran\n");
    EXPECT_EQ(panel.displayMode(), TBaseFrame::DisplayMode::Message);
}

TEST_F(InfoPanelTest, TheCopyMenuCopiesEachFact) {
    const std::string path = test::writeRepeatedDvFrame(dir.file("Mixed Case.AVI"), palFrame(0), 10);
    const VideoFileRecord clip = record(path);
    panel.ShowFile(clip.fichier());

    // The menu opens over any of the facts.
    QMenu& menu = child<QMenu>("copiermenu");
    QContextMenuEvent request(QContextMenuEvent::Mouse, QPoint(5, 5), QPoint(5, 5));
    QApplication::sendEvent(&child("LabImage"), &request);
    EXPECT_TRUE(menu.isVisible());
    menu.close();

    QStringList captions;
    for (const QAction* action : menu.actions()) captions << (action->isSeparator() ? "-" : action->text());
    EXPECT_EQ(captions, (QStringList{"Copy the datecode", "Copy the timecode", "Copy the codec",
                                     "Copy the image size", "Copy the duration", "Copy the framerate",
                                     "Copy audio", "-", "Copy the full name"}));

    const std::vector<std::pair<const char*, std::string>> cases = {
        {"Copierledatecode1", "2004-07-15 13.05.09"},
        {"Copierletimecode1", "00.12.05.17"},
        {"Copierlecodec1", "dvsd (type 2)"},
        {"Copierlatailledimages1", "720 x 576 (Pal 4x3)"},
        {"Copierladure1", "10fr"},
        {"CopierlesFps1", "25"},
        {"Copierlaudio1", "48000Hz 16 bits  stereo PCM 192000 bytes/s"},
        // The exact path: a lower-cased one would name another file here.
        {"Copierlenomcomplet1", path},
    };
    for (const auto& [action, expected] : cases) {
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        copy(action);
        EXPECT_EQ(clipboard(), expected) << action;
    }

    // Without a current file the full name copies nothing.
    panel.ClearPanel();
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    copy("Copierlenomcomplet1");
    EXPECT_EQ(clipboard(), "before");
}

TEST_F(InfoPanelTest, ClicksOnTheNameAndTheCornerAskTheMainWindow) {
    const VideoFileRecord clip = record(test::writeRepeatedDvFrame(dir.file("clip.avi"), palFrame(0), 2));
    panel.ShowFile(clip.fichier());
    QSignalSpy folder(&panel, &TBaseFrame::parentFolderRequested);
    QSignalSpy sliders(&panel, &TBaseFrame::inlaySlidersToggleRequested);
    QSignalSpy inlay(&panel, &TBaseFrame::inlayPositionChanged);

    QTest::mouseClick(&child("LabNom"), Qt::LeftButton);
    QTest::mouseClick(&child("LabNom"), Qt::RightButton);
    EXPECT_EQ(folder.count(), 1);
    QTest::mouseClick(&child("Shape1"), Qt::LeftButton);
    EXPECT_EQ(sliders.count(), 1);

    // The settings put the sliders in place silently; the user's moves are reported.
    panel.setInlayPosition(920, 100);
    panel.setInlaySlidersVisible(true);
    EXPECT_TRUE(shown("incrustHorz"));
    EXPECT_EQ(child<QSlider>("incrustVert").value(), 900);
    EXPECT_EQ(inlay.count(), 0);
    child<QSlider>("incrustVert").setValue(300);
    ASSERT_EQ(inlay.count(), 1);
    EXPECT_EQ(inlay.at(0), (QVariantList{920, 700}));
}

TEST_F(InfoPanelTest, TheGaugeTakesThePlaceOfThePositionBar) {
    panel.ShowVideoMode();
    panel.showProgress();
    EXPECT_TRUE(shown("Gauge1"));
    EXPECT_FALSE(shown("tb"));
    EXPECT_EQ(child<QProgressBar>("Gauge1").value(), 0);
    panel.setProgress(42);
    EXPECT_EQ(child<QProgressBar>("Gauge1").value(), 42);
    // A mode change while a command runs leaves the gauge in front.
    panel.ShowVideoMode();
    EXPECT_FALSE(shown("tb"));
    panel.hideProgress();
    EXPECT_FALSE(shown("Gauge1"));
    EXPECT_TRUE(shown("tb"));
    EXPECT_EQ(geometry("Gauge1").left(), (280 - 249) / 2);
}

}  // namespace
}  // namespace moraven
