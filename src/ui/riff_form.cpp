#include "ui/riff_form.h"

#include <filesystem>
#include <vector>

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QFont>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>

#include "formats/binary_file.h"
#include "platform/system_locale.h"

namespace moraven {

namespace {

constexpr int kClientWidth = 592;
constexpr int kClientHeight = 446;

// Restores the cursor on every path out of a save.
class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

QStringList toStringList(const std::vector<std::string>& lines) {
    QStringList list;
    list.reserve(static_cast<qsizetype>(lines.size()));
    for (const auto& line : lines) list.append(QString::fromStdString(line));
    return list;
}

// The report of "clip.avi" is offered as "clip.log" in the same folder.
QString defaultLogName(const std::string& reportedPath) {
    return QFile::decodeName(std::filesystem::path(reportedPath).replace_extension(".log").string().c_str());
}

}  // namespace

TRiffForm::TRiffForm(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      m_builder(currentDateTime, systemDateFormatLocale()) {
    setObjectName(QStringLiteral("RiffForm"));
    setFixedSize(kClientWidth, kClientHeight);

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("ListBox1"));
    m_list->setGeometry(8, 8, 481, 425);
    m_list->setUniformItemSizes(true);
    QFont fixedPitch(QStringLiteral("Courier New"));
    fixedPitch.setStyleHint(QFont::TypeWriter);
    fixedPitch.setFixedPitch(true);
    m_list->setFont(fixedPitch);

    m_saveButton = new QPushButton(QStringLiteral("Save"), this);
    m_saveButton->setObjectName(QStringLiteral("SauverBtn"));
    m_saveButton->setToolTip(QStringLiteral("Save a  LOG file..."));
    m_saveButton->setGeometry(504, 352, 75, 25);
    m_saveButton->setEnabled(false);
    connect(m_saveButton, &QPushButton::clicked, this, &TRiffForm::saveReport);

    m_closeButton = new QPushButton(QStringLiteral("Close"), this);
    m_closeButton->setObjectName(QStringLiteral("FermerBtn"));
    m_closeButton->setToolTip(QStringLiteral("Close the window RIFFWALK."));
    m_closeButton->setGeometry(504, 392, 75, 25);
    connect(m_closeButton, &QPushButton::clicked, this, &QWidget::close);

    m_builder.setMessagePump([] { QCoreApplication::processEvents(); });
}

bool TRiffForm::showRiffReport(const std::string& path) {
    // The builder may not start a report from within its own walk.
    if (m_building) return false;

    m_saveButton->setEnabled(false);
    m_path = path;
    setWindowTitle(QStringLiteral("Header of the file %1").arg(QFile::decodeName(path.c_str())));
    m_list->clear();
    show();
    raise();
    activateWindow();

    bool built = true;
    m_building = true;
    try {
        m_builder.BuildRiffReport(path);
    } catch (const FileError&) {
        built = false;
    }
    m_building = false;

    const auto& lines = m_builder.lines();
    m_list->addItems(toStringList(lines));
    if (!built || m_builder.cancelRequested()) close();
    m_saveButton->setEnabled(built && !lines.empty());
    return built;
}

void TRiffForm::closeEvent(QCloseEvent* event) {
    // Any closing stops a walk at its next chunk; outside a walk the flag is cleared by the next report.
    m_builder.requestCancel();
    event->accept();
}

void TRiffForm::saveReport() {
    QFileDialog dialog(this);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters({QStringLiteral("Log files (*.log)"), QStringLiteral("Txt files(*.txt)"),
                           QStringLiteral("All files (*.*)")});
    // An existing log is replaced without a question, as the confirmed dialog already says where to write.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.selectFile(defaultLogName(m_path));
    if (dialog.exec() != QDialog::Accepted) return;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return;

    try {
        BusyCursor busy;
        saveRiffReport(m_builder.lines(), QFile::encodeName(chosen.first()).toStdString());
    } catch (const FileError& error) {
        QMessageBox::critical(this, QApplication::applicationDisplayName(),
                              QString::fromStdString(error.what()));
    }
}

}  // namespace moraven
