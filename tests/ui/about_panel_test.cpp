#include "ui/about_panel.h"

#include <set>
#include <string>
#include <utility>
#include <vector>

#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextBlock>
#include <QTextEdit>
#include <QUrl>
#include <QUrlQuery>

#include <gtest/gtest.h>

namespace moraven {
namespace {

template <class Widget>
Widget& child(TAproposFrame& frame, const char* name) {
    auto* widget = frame.findChild<Widget*>(QString::fromLatin1(name));
    if (widget == nullptr) throw std::runtime_error(std::string("no control ") + name);
    return *widget;
}

// The paragraphs of a rich text, with " (red)" after those drawn in red.
std::vector<std::string> shownLines(QTextEdit& edit) {
    std::vector<std::string> lines;
    for (QTextBlock block = edit.document()->begin(); block.isValid(); block = block.next()) {
        // The colour of the text itself; an empty paragraph has only its block's format.
        const QTextCharFormat format =
            block.text().isEmpty() ? block.charFormat() : block.begin().fragment().charFormat();
        const bool red = format.foreground().color() == QColor(Qt::red);
        lines.push_back(block.text().toStdString() + (red ? " (red)" : ""));
    }
    return lines;
}

// A lookup that finds everything but the stages named, and counts how often it was asked.
struct FakeStages {
    std::set<std::string> missing;
    int questions = 0;

    StageLookup lookup() {
        const auto found = [this](std::string_view name) {
            ++questions;
            return missing.count(std::string(name)) == 0;
        };
        return {found, found};
    }
};

TEST(AboutPanel, TheCommandLinePageShowsTheRowsAsGivenUnderFunctionAndKey) {
    TAproposFrame frame({});
    auto& list = child<QTableWidget>(frame, "vle");
    // Rows arrive sorted by their maker; the page keeps that order, even where it is not alphabetical.
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"Help", " +?"}, {"Close after commands", " +c"}, {"Delete the file", " +e"}};
    frame.setCommandLineRows(rows);
    ASSERT_EQ(list.rowCount(), 3);
    ASSERT_EQ(list.columnCount(), 2);
    EXPECT_EQ(list.horizontalHeaderItem(0)->text(), "Function");
    EXPECT_EQ(list.horizontalHeaderItem(1)->text(), "Key");
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(list.item(row, 0)->text().toStdString(), rows[static_cast<std::size_t>(row)].first);
        EXPECT_EQ(list.item(row, 1)->text().toStdString(), rows[static_cast<std::size_t>(row)].second);
    }
    // New rows replace the old ones.
    frame.setCommandLineRows({{"No confirmation", " +m"}});
    ASSERT_EQ(list.rowCount(), 1);
    EXPECT_EQ(list.item(0, 0)->text(), "No confirmation");

    const QStringList note = child<QPlainTextEdit>(frame, "Memo2").toPlainText().split('\n');
    ASSERT_EQ(note.size(), 9);
    EXPECT_EQ(note[0], "You may launch");
    EXPECT_EQ(note[7], "blank spaces.");
    EXPECT_TRUE(note[8].startsWith("(The sign + may"));
}

TEST(AboutPanel, TheTestPageIsWrittenEachTimeItIsShown) {
    FakeStages stages;
    stages.missing = {"DV Splitter"};
    TAproposFrame frame(stages.lookup());
    auto& test = child<QTextEdit>(frame, "reTest");

    frame.showOnPage(TAproposFrame::TestPage);
    const std::vector<std::string> expected = {
        "", "Test of Directshow filters", "DV Splitter is missing (red)",
        "All filters for Listing are available", "All filters for Converting are available"};
    EXPECT_EQ(shownLines(test), expected);
    EXPECT_EQ(stages.questions, 12);

    // Another page and back: the test runs again and sees the change.
    stages.missing = {"File writer"};
    child<QTabWidget>(frame, "PageControl2").setCurrentIndex(TAproposFrame::SystemPage);
    child<QTabWidget>(frame, "PageControl2").setCurrentIndex(TAproposFrame::TestPage);
    EXPECT_EQ(stages.questions, 24);
    EXPECT_EQ(shownLines(test)[2], "All filters for Video are available");
    EXPECT_EQ(shownLines(test)[4], "File writer is missing (red)");

    // Hidden and shown again on that page: once more.
    frame.HideAbout();
    frame.ShowAbout();
    EXPECT_EQ(stages.questions, 36);
}

TEST(AboutPanel, TheSystemPageShowsItsLinesAndTheMailCarriesThem) {
    TAproposFrame frame({});
    const std::vector<ReportLine> lines = {
        {"Your operating system is: ", TextEmphasis::Italic, LineColour::Black},
        {"Linux. ", TextEmphasis::Bold, LineColour::Black},
        {"", TextEmphasis::Plain, LineColour::Black},
        {"The filter WavDest is missing.", TextEmphasis::Plain, LineColour::Red},
    };
    frame.WriteSystemPage(lines);
    auto& system = child<QTextEdit>(frame, "reApropos");
    const std::vector<std::string> expected = {"Your operating system is: ", "Linux. ", "",
                                               "The filter WavDest is missing. (red)"};
    EXPECT_EQ(shownLines(system), expected);
    const QTextBlock second = system.document()->begin().next();
    EXPECT_EQ(second.begin().fragment().charFormat().fontWeight(), QFont::Bold);
    EXPECT_TRUE(system.document()->begin().begin().fragment().charFormat().fontItalic());

    frame.ShowAbout();
    const QUrl mail(frame.mailUrl());
    EXPECT_EQ(mail.scheme(), "mailto");
    const QUrlQuery query(mail);
    EXPECT_EQ(query.queryItemValue("subject", QUrl::FullyDecoded), "About Moraven 6.0.4 En");
    EXPECT_EQ(query.queryItemValue("body", QUrl::FullyDecoded).toStdString(), aboutMailBody(lines));
    EXPECT_TRUE(child<QLabel>(frame, "MailLink").text().contains(frame.mailUrl().toHtmlEscaped()));
}

TEST(AboutPanel, ShowOnPageShowsThePanelOnThatPageWithItsTitle) {
    QWidget window;
    window.resize(600, 460);
    TAproposFrame frame({}, &window);
    frame.hide();
    window.show();
    frame.move(100, 20);

    frame.showOnPage(TAproposFrame::SystemPage);
    EXPECT_TRUE(frame.isVisible());
    EXPECT_EQ(frame.pos(), QPoint(0, 0));
    EXPECT_EQ(frame.size(), QSize(324, 434));
    auto& pages = child<QTabWidget>(frame, "PageControl2");
    EXPECT_EQ(pages.currentIndex(), 1);
    EXPECT_EQ(pages.currentWidget()->objectName(), "TabSheet6");
    EXPECT_EQ(child<QLabel>(frame, "RxLabel1").text(), "Moraven 6.0.4 En");
    const QStringList tabs = {pages.tabText(0), pages.tabText(1), pages.tabText(2), pages.tabText(3)};
    EXPECT_EQ(tabs, (QStringList{"About...", "System", "Command Line", "Test"}));

    // Each showing writes the "About..." page afresh; the page chosen last is kept.
    const QString about = child<QTextEdit>(frame, "rxApropos1").toPlainText();
    EXPECT_TRUE(about.contains("Its last update was made on ")) << about.toStdString();
    EXPECT_TRUE(about.endsWith("suggestions to improve it.")) << about.toStdString();
    frame.HideAbout();
    EXPECT_FALSE(frame.isVisible());
    frame.ShowAbout();
    EXPECT_EQ(pages.currentIndex(), 1);
    EXPECT_EQ(child<QTextEdit>(frame, "rxApropos1").toPlainText(), about);
}

TEST(AboutPanel, CloseAsksTheWindowToHideThePanel) {
    TAproposFrame frame({});
    QSignalSpy closeRequested(&frame, &TAproposFrame::closeRequested);
    auto& close = child<QPushButton>(frame, "FermerBtn");
    EXPECT_EQ(close.text(), "Close");
    close.click();
    EXPECT_EQ(closeRequested.count(), 1);
}

}  // namespace
}  // namespace moraven
