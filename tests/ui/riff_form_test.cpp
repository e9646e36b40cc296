#include "ui/riff_form.h"

#include <filesystem>
#include <string>
#include <vector>

#include <QFileDialog>
#include <QFontInfo>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include "formats/riffunit.h"
#include "support/riff_builder.h"
#include "support/temp_dir.h"
#include "ui/when_modal.h"

namespace moraven {
namespace {

using test::TempDir;
using test::whenModal;

std::vector<std::string> shownLines(TRiffForm& form) {
    std::vector<std::string> lines;
    auto* list = form.findChild<QListWidget*>(QStringLiteral("ListBox1"));
    for (int i = 0; i < list->count(); ++i) lines.push_back(list->item(i)->text().toStdString());
    return lines;
}

QPushButton& button(TRiffForm& form, const char* name) {
    return *form.findChild<QPushButton*>(QString::fromLatin1(name));
}

bool contains(const std::vector<std::string>& lines, const std::string& part) {
    for (const auto& line : lines) {
        if (line.find(part) != std::string::npos) return true;
    }
    return false;
}

// Chooses `target` in the save dialog, or cancels it when `target` is empty; checks what it offers first.
void answerSaveDialog(const std::string& reported, const std::string& target) {
    whenModal<QFileDialog>([reported, target](QFileDialog& dialog) {
        const QString offered = dialog.selectedFiles().value(0);
        EXPECT_EQ(offered.toStdString(), reported.substr(0, reported.size() - 4) + ".log");
        EXPECT_EQ(dialog.nameFilters(),
                  (QStringList{"Log files (*.log)", "Txt files(*.txt)", "All files (*.*)"}));
        if (target.empty()) {
            dialog.reject();
            return;
        }
        dialog.selectFile(QString::fromStdString(target));
        static_cast<QDialog&>(dialog).accept();  // QFileDialog's own accept() is protected
    });
}

TEST(RiffForm, ShowsTheReportInAFixedPitchListAndSavesIt) {
    TempDir dir;
    const std::string path = dir.write("clip.avi", test::dvType2Avi());
    TRiffForm form;

    ASSERT_TRUE(form.showRiffReport(path));
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.windowTitle().toStdString(), "Header of the file " + path);
    EXPECT_TRUE(QFontInfo(form.findChild<QListWidget*>()->font()).fixedPitch());
    EXPECT_TRUE(button(form, "SauverBtn").isEnabled());

    // The list holds the report's lines; only the analysis time may differ from a second build.
    RiffReportBuilder builder;
    const auto expected = builder.BuildRiffReport(path);
    const auto shown = shownLines(form);
    ASSERT_EQ(shown.size(), expected.size());
    for (std::size_t i = 0; i < shown.size(); ++i) {
        if (expected[i].find("analysed on") == std::string::npos) {
            EXPECT_EQ(shown[i], expected[i]) << "line " << i;
        }
    }
    EXPECT_TRUE(contains(shown, "RIFF  "));
    EXPECT_TRUE(contains(shown, "biCompression = dvsd"));

    const std::string log = dir.file("report.log");
    answerSaveDialog(path, "");
    button(form, "SauverBtn").click();
    EXPECT_FALSE(std::filesystem::exists(log)) << "a cancelled save dialog writes nothing";

    answerSaveDialog(path, log);
    button(form, "SauverBtn").click();
    std::string text;
    for (const auto& line : shown) text += line + "\r\n";
    const auto saved = test::readWholeFile(log);
    EXPECT_EQ(std::string(saved.begin(), saved.end()), text);
}

TEST(RiffForm, ShowsASaveFailureInAMessageBox) {
    TempDir dir;
    const std::string path = dir.write("clip.avi", test::dvType1Avi());
    TRiffForm form;
    ASSERT_TRUE(form.showRiffReport(path));

    const std::string target = dir.file("no such folder/clip.log");
    answerSaveDialog(path, target);
    QString message;
    whenModal<QMessageBox>([&message](QMessageBox& box) {
        message = box.text();
        box.accept();
    });
    button(form, "SauverBtn").click();
    EXPECT_TRUE(message.contains(QStringLiteral("no such folder"))) << message.toStdString();
}

TEST(RiffForm, MissingAndUnreadableFiles) {
    TempDir dir;
    TRiffForm form;

    // A missing file is an empty report, not a failure.
    EXPECT_TRUE(form.showRiffReport(dir.file("missing.avi")));
    EXPECT_TRUE(shownLines(form).empty());
    EXPECT_FALSE(button(form, "SauverBtn").isEnabled());

    // A folder exists but cannot be opened: the header lines stay and the window closes.
    EXPECT_FALSE(form.showRiffReport(dir.path().string()));
    const auto lines = shownLines(form);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), std::string(50, '-'));
    EXPECT_TRUE(contains(lines, "Start of Avi RIFF"));
    EXPECT_FALSE(contains(lines, "End of Header"));
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(button(form, "SauverBtn").isEnabled());
}

TEST(RiffForm, CloseDuringTheWalkCancelsTheReport) {
    TempDir dir;
    const std::string path = dir.write("clip.avi", test::openDmlAvi());
    TRiffForm form;

    // The click is delivered by the event processing before the first chunk.
    QTimer::singleShot(0, &form, [&form] { button(form, "FermerBtn").click(); });
    ASSERT_TRUE(form.showRiffReport(path));
    const auto lines = shownLines(form);
    EXPECT_TRUE(contains(lines, "Canceled by user"));
    EXPECT_FALSE(contains(lines, "RIFF  ")) << "the walk stops before its first chunk";
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(button(form, "SauverBtn").isEnabled());

    // The next report starts afresh.
    ASSERT_TRUE(form.showRiffReport(path));
    EXPECT_FALSE(contains(shownLines(form), "Canceled by user"));
    EXPECT_TRUE(form.isVisible());
}

}  // namespace
}  // namespace moraven
