#pragma once

#include <string>
#include <utility>
#include <vector>

#include <QWidget>

#include "platform/system_report.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTableWidget;
class QTextEdit;

namespace moraven {

// The About panel (324 x 434) that covers the main window while it is shown: the title, the links to the
// maker's home page and to a new mail, the picture, four pages ("About...", "System", "Command Line",
// "Test") and "Close". The main window owns it, places it and changes its own width around it; the panel
// only shows and forwards. Window thread only.
class TAproposFrame : public QWidget {
    Q_OBJECT

public:
    // The page indexes of `PageControl2`.
    enum Page { AboutPage = 0, SystemPage = 1, CommandLinePage = 2, TestPage = 3 };

    static constexpr int kWidth = 324;
    static constexpr int kHeight = 434;

    // `lookup` answers the "Test" page's questions (FindFilterIn over the installed stages in the program);
    // an empty one finds nothing.
    explicit TAproposFrame(StageLookup lookup, QWidget* parent = nullptr);

    // Captions, hints and fonts of every control; the constructor runs it, the main window may again.
    void ApplyAboutTexts();

    // Writes the "System" page (once, at start) and keeps its lines as the body of the mail link.
    void WriteSystemPage(const std::vector<ReportLine>& systemLines);

    // Replaces the rows of the command-line switch list: (function, " +letter"), shown in the order given.
    void setCommandLineRows(const std::vector<std::pair<std::string, std::string>>& rows);

    // Sets the title and the mail link for this showing, writes the "About..." page, moves the panel to the
    // parent's top-left corner and shows it in front. The page shown is the one last chosen.
    void ShowAbout();
    void HideAbout();

    // Chooses the page `index` (Page) and shows the panel; the command line's "?" opens it on SystemPage.
    void showOnPage(int index);

    // Writes the "Test" page afresh; runs by itself each time that page is shown.
    void RunFilterTest();

    // The mailto URL behind "e-mail of Velloran", as set at the last showing.
    QString mailUrl() const { return m_mailUrl; }

signals:
    // "Close" was pressed: the main window unchecks its About action and hides the panel.
    void closeRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    StageLookup m_lookup;
    std::string m_mailBody;
    QString m_mailUrl;

    QLabel* m_title = nullptr;
    QLabel* m_homepageLink = nullptr;
    QLabel* m_mailLink = nullptr;
    QLabel* m_picture = nullptr;
    QTabWidget* m_pages = nullptr;
    QWidget* m_aboutSheet = nullptr;
    QWidget* m_systemSheet = nullptr;
    QWidget* m_commandLineSheet = nullptr;
    QWidget* m_testSheet = nullptr;
    QTextEdit* m_aboutText = nullptr;
    QTextEdit* m_systemText = nullptr;
    QTableWidget* m_switchList = nullptr;
    QPlainTextEdit* m_switchNote = nullptr;
    QTextEdit* m_testText = nullptr;
    QPushButton* m_closeButton = nullptr;
};

}  // namespace moraven
