#pragma once

#include <string>

#include <QWidget>

#include "formats/riffunit.h"

class QCloseEvent;
class QListWidget;
class QPushButton;

namespace moraven {

// The window of the RIFF structure report: the report's lines in a fixed-pitch list, "Save" to write them
// to a log file and "Close". It is created once and shown again for each report; a new report replaces the
// previous one. Window thread only.
class TRiffForm : public QWidget {
    Q_OBJECT

public:
    explicit TRiffForm(QWidget* parent = nullptr);

    // Shows the window (not modally) and builds the report of the file at `path` (a full path) into it.
    // Pending events are processed before every chunk, so the window stays live and closing it cancels the
    // walk: the report then ends with "Canceled by user" and the window stays closed. A missing file gives an
    // empty report. Answers false when the file exists but could not be opened or read: the list keeps the
    // lines made so far and the window is closed; the caller tells the user. A call made while a report is
    // being built (from within its event processing) is refused with false.
    bool showRiffReport(const std::string& path);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void saveReport();

    RiffReportBuilder m_builder;
    std::string m_path;
    bool m_building = false;
    QListWidget* m_list = nullptr;
    QPushButton* m_saveButton = nullptr;
    QPushButton* m_closeButton = nullptr;
};

}  // namespace moraven
