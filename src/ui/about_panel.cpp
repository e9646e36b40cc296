#include "ui/about_panel.h"

#include <QApplication>
#include <QEvent>
#include <QFont>
#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>

#include "formats/program_info.h"
#include "platform/system_locale.h"

namespace moraven {

namespace {

constexpr int kPictureSize = 48;

QFont namedFont(const char* family, int pointSize, QFont::StyleHint hint) {
    QFont font(QString::fromLatin1(family), pointSize);
    font.setStyleHint(hint);
    return font;
}

QFont arialFont() { return namedFont("Arial", 9, QFont::Helvetica); }

QString fromUtf8(const std::string& text) { return QString::fromStdString(text); }

QTextEdit* makeRichText(const char* name, QWidget* sheet) {
    auto* edit = new QTextEdit(sheet);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setReadOnly(true);
    edit->setFont(arialFont());
    edit->document()->setDefaultFont(arialFont());
    auto* layout = new QVBoxLayout(sheet);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(edit);
    return edit;
}

QTextCharFormat lineFormat(const ReportLine& line) {
    QTextCharFormat format;
    const bool italic = line.emphasis == TextEmphasis::Italic || line.emphasis == TextEmphasis::BoldItalic;
    const bool bold = line.emphasis == TextEmphasis::Bold || line.emphasis == TextEmphasis::BoldItalic;
    format.setFontItalic(italic);
    format.setFontWeight(bold ? QFont::Bold : QFont::Normal);
    format.setForeground(line.colour == LineColour::Red ? QColor(Qt::red) : QColor(Qt::black));
    return format;
}

// Replaces the text of `edit` with `lines`, one paragraph each.
void writeLines(QTextEdit* edit, const std::vector<ReportLine>& lines) {
    edit->clear();
    QTextCursor cursor(edit->document());
    bool first = true;
    for (const ReportLine& line : lines) {
        const QTextCharFormat format = lineFormat(line);
        if (first) {
            cursor.setBlockCharFormat(format);
        } else {
            cursor.insertBlock(QTextBlockFormat(), format);
        }
        cursor.insertText(fromUtf8(line.text), format);
        first = false;
    }
    edit->moveCursor(QTextCursor::Start);
}

// The program's icon when the application has one, else a drawn badge with the program's initial.
QPixmap programPicture() {
    const QIcon icon = QApplication::windowIcon();
    if (!icon.isNull()) return icon.pixmap(kPictureSize, kPictureSize);
    QPixmap pixmap(kPictureSize, kPictureSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0, 0, 96), 2));
    painter.setBrush(QColor(40, 70, 160));
    painter.drawEllipse(QRectF(2, 2, kPictureSize - 4, kPictureSize - 4));
    painter.setPen(Qt::white);
    QFont font = namedFont("Times New Roman", 22, QFont::Serif);
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(pixmap.rect(), Qt::AlignCenter, QStringLiteral("M"));
    return pixmap;
}

QString linkHtml(const QString& target, const QString& caption) {
    return QStringLiteral("<a href=\"%1\">%2</a>").arg(target.toHtmlEscaped(), caption.toHtmlEscaped());
}

}  // namespace

TAproposFrame::TAproposFrame(StageLookup lookup, QWidget* parent)
    : QWidget(parent), m_lookup(std::move(lookup)) {
    // Without a lookup every stage counts as missing, which is what the page would then truthfully say.
    const auto none = [](std::string_view) { return false; };
    if (!m_lookup.general) m_lookup.general = none;
    if (!m_lookup.videoCompressor) m_lookup.videoCompressor = none;
    setObjectName(QStringLiteral("AproposFrame"));
    setFixedSize(kWidth, kHeight);
    setAutoFillBackground(true);

    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("RxLabel1"));
    m_title->setGeometry(8, 6, 240, 28);
    auto* shadow = new QGraphicsDropShadowEffect(m_title);
    shadow->setOffset(2, 2);
    shadow->setBlurRadius(0);
    shadow->setColor(QColor(128, 128, 128));
    m_title->setGraphicsEffect(shadow);

    m_homepageLink = new QLabel(this);
    m_homepageLink->setObjectName(QStringLiteral("HomepageLink"));
    m_homepageLink->setGeometry(8, 38, 240, 16);
    m_homepageLink->setOpenExternalLinks(true);

    m_mailLink = new QLabel(this);
    m_mailLink->setObjectName(QStringLiteral("MailLink"));
    m_mailLink->setGeometry(8, 56, 240, 16);
    m_mailLink->setOpenExternalLinks(true);

    m_picture = new QLabel(this);
    m_picture->setObjectName(QStringLiteral("Image1"));
    m_picture->setGeometry(kWidth - 8 - 56, 6, 56, 62);
    m_picture->setAlignment(Qt::AlignCenter);
    m_picture->setPixmap(programPicture());

    m_pages = new QTabWidget(this);
    m_pages->setObjectName(QStringLiteral("PageControl2"));
    m_pages->setGeometry(4, 74, kWidth - 8, 322);

    m_aboutSheet = new QWidget;
    m_aboutSheet->setObjectName(QStringLiteral("TabSheet3"));
    m_aboutText = makeRichText("rxApropos1", m_aboutSheet);

    m_systemSheet = new QWidget;
    m_systemSheet->setObjectName(QStringLiteral("TabSheet6"));
    m_systemText = makeRichText("reApropos", m_systemSheet);

    m_commandLineSheet = new QWidget;
    m_commandLineSheet->setObjectName(QStringLiteral("TabSheet1"));
    m_switchList = new QTableWidget(0, 2, m_commandLineSheet);
    m_switchList->setObjectName(QStringLiteral("vle"));
    m_switchList->verticalHeader()->hide();
    m_switchList->verticalHeader()->setDefaultSectionSize(18);
    m_switchList->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_switchList->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Fixed);
    m_switchList->horizontalHeader()->resizeSection(1, 40);
    m_switchList->horizontalHeader()->setHighlightSections(false);
    m_switchList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_switchList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_switchList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_switchList->setWordWrap(false);
    m_switchNote = new QPlainTextEdit(m_commandLineSheet);
    m_switchNote->setObjectName(QStringLiteral("Memo2"));
    m_switchNote->setReadOnly(true);
    m_switchNote->setFixedWidth(104);
    m_switchNote->setFrameShape(QFrame::NoFrame);
    m_switchNote->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_switchNote->viewport()->setAutoFillBackground(false);
    auto* commandLineLayout = new QHBoxLayout(m_commandLineSheet);
    commandLineLayout->setContentsMargins(2, 2, 2, 2);
    commandLineLayout->setSpacing(4);
    commandLineLayout->addWidget(m_switchList);
    commandLineLayout->addWidget(m_switchNote);

    m_testSheet = new QWidget;
    m_testSheet->setObjectName(QStringLiteral("TabSheet4"));
    m_testText = makeRichText("reTest", m_testSheet);
    // The test runs whenever its page becomes visible: by a change of page or by the panel being shown.
    m_testSheet->installEventFilter(this);

    m_pages->addTab(m_aboutSheet, QString());
    m_pages->addTab(m_systemSheet, QString());
    m_pages->addTab(m_commandLineSheet, QString());
    m_pages->addTab(m_testSheet, QString());

    m_closeButton = new QPushButton(this);
    m_closeButton->setObjectName(QStringLiteral("FermerBtn"));
    m_closeButton->setGeometry((kWidth - 75) / 2, 402, 75, 25);
    connect(m_closeButton, &QPushButton::clicked, this, &TAproposFrame::closeRequested);

    ApplyAboutTexts();
}

void TAproposFrame::ApplyAboutTexts() {
    QFont titleFont = namedFont("MS Sans Serif", 14, QFont::SansSerif);
    titleFont.setBold(true);
    m_title->setFont(titleFont);
    m_title->setText(fromUtf8(aboutTitle()));

    const QFont linkFont = namedFont("Verdana", 8, QFont::SansSerif);
    m_homepageLink->setFont(linkFont);
    m_homepageLink->setText(
        linkHtml(QString::fromLatin1(kWebsiteAddress), QStringLiteral("Homepage of Velloran")));
    m_mailLink->setFont(linkFont);
    m_mailLink->setToolTip(QStringLiteral("Send an e-mail to Velloran"));
    m_mailUrl = fromUtf8(mailToUrl("", aboutMailSubject(), m_mailBody));
    m_mailLink->setText(linkHtml(m_mailUrl, QStringLiteral("e-mail of Velloran")));

    m_picture->setToolTip(QStringLiteral("Yes, I have a big nose!?"));

    m_pages->setTabText(AboutPage, QStringLiteral("About..."));
    m_pages->setTabText(SystemPage, QStringLiteral("System"));
    m_pages->setTabText(CommandLinePage, QStringLiteral("Command Line"));
    m_pages->setTabText(TestPage, QStringLiteral("Test"));
    const QString testHint =
        QStringLiteral("Check if the relevant directshow filters are correctly installed on your system.");
    m_pages->setTabToolTip(TestPage, testHint);
    m_testSheet->setToolTip(testHint);

    m_switchList->setHorizontalHeaderLabels({QStringLiteral("Function"), QStringLiteral("Key")});
    m_switchList->setToolTip(QStringLiteral("List of command line switches."));
    m_switchNote->setFont(arialFont());
    m_switchNote->setPlainText(QStringList{
        QStringLiteral("You may launch"),
        QStringLiteral("the application"),
        QStringLiteral("with "),
        QStringLiteral("command"),
        QStringLiteral("line"),
        QStringLiteral("switches."),
        QStringLiteral("Be aware of"),
        QStringLiteral("blank spaces."),
        QStringLiteral("(The sign + may be replaced by / in a switch that is no file or folder name.)"),
    }
                                   .join(QLatin1Char('\n')));

    m_closeButton->setText(QStringLiteral("Close"));
    m_closeButton->setToolTip(QStringLiteral("Close the \"About\" window and go back to main window."));
}

void TAproposFrame::WriteSystemPage(const std::vector<ReportLine>& systemLines) {
    writeLines(m_systemText, systemLines);
    m_mailBody = aboutMailBody(systemLines);
}

void TAproposFrame::setCommandLineRows(const std::vector<std::pair<std::string, std::string>>& rows) {
    m_switchList->clearContents();
    m_switchList->setRowCount(static_cast<int>(rows.size()));
    for (int row = 0; row < static_cast<int>(rows.size()); ++row) {
        const auto& [function, key] = rows[static_cast<std::size_t>(row)];
        m_switchList->setItem(row, 0, new QTableWidgetItem(fromUtf8(function)));
        m_switchList->setItem(row, 1, new QTableWidgetItem(fromUtf8(key)));
    }
}

void TAproposFrame::ShowAbout() {
    m_title->setText(fromUtf8(aboutTitle()));
    m_mailUrl = fromUtf8(mailToUrl("", aboutMailSubject(), m_mailBody));
    m_mailLink->setText(linkHtml(m_mailUrl, QStringLiteral("e-mail of Velloran")));

    std::vector<ReportLine> aboutLines;
    for (std::string& text : aboutPageLines(lastUpdateText(systemDateFormatLocale()))) {
        aboutLines.push_back({std::move(text)});
    }
    writeLines(m_aboutText, aboutLines);

    move(0, 0);
    show();
    raise();
}

void TAproposFrame::HideAbout() { hide(); }

void TAproposFrame::showOnPage(int index) {
    // The page is chosen before the panel appears, so a "Test" page is written once, as it becomes visible.
    m_pages->setCurrentIndex(index);
    ShowAbout();
}

void TAproposFrame::RunFilterTest() { writeLines(m_testText, filterTestLines(m_lookup)); }

bool TAproposFrame::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_testSheet && event->type() == QEvent::Show) RunFilterTest();
    return QWidget::eventFilter(watched, event);
}

}  // namespace moraven
