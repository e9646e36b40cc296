#include "ui/info_panel.h"

#include <algorithm>
#include <utility>

#include <QClipboard>
#include <QColor>
#include <QEvent>
#include <QFont>
#include <QFontMetrics>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QScreen>
#include <QProgressBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextEdit>

#include "formats/program_info.h"
#include "platform/system_locale.h"
#include "settings/preferences.h"
#include "ui/ui_text.h"
#include "ui/video_surface.h"

namespace moraven {

namespace {

constexpr int kCaptionLeft = 16;
constexpr int kValueLeft = 72;
constexpr int kFirstRowTop = 32;
constexpr int kRowHeight = 14;
// The file name is right-aligned against this edge (left 209 + width 44 at design).
constexpr int kNameRight = 253;
constexpr int kNameTop = 6;
constexpr int kNamePixelHeight = 13;
constexpr int kSliderMaximum = 1000;
constexpr int kSliderThickness = 20;
constexpr int kPositionBarHeight = 24;

QString fromBytes(const std::string& text) { return QString::fromStdString(text); }

QFont arialFont() {
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    return font;
}

QFont nameFont(int pixelHeight) {
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelHeight);
    return font;
}

QLabel* makeLabel(QWidget* parent, const char* name, int left, int top) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->move(left, top);
    return label;
}

QSlider* makeSlider(QWidget* parent, const char* name, Qt::Orientation orientation) {
    auto* slider = new QSlider(orientation, parent);
    slider->setObjectName(QString::fromLatin1(name));
    slider->setRange(0, kSliderMaximum);
    return slider;
}

// The hatched square in the picture's corner.
QPixmap hatchedSquare(int side) {
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::white);
    QPainter painter(&pixmap);
    painter.fillRect(pixmap.rect(), QBrush(QColor(Qt::darkBlue), Qt::DiagCrossPattern));
    painter.setPen(QColor(Qt::darkBlue));
    painter.drawRect(0, 0, side - 1, side - 1);
    return pixmap;
}

QTextCharFormat charFormat(MessageStyle style, const QFont& base) {
    QTextCharFormat format;
    QFont font = base;
    font.setBold(style != MessageStyle::Regular);
    font.setItalic(style == MessageStyle::BoldItalic);
    if (style == MessageStyle::Title) font.setPointSize(12);
    format.setFont(font);
    format.setForeground(style == MessageStyle::BoldBlue ? QColor(Qt::blue) : QColor(Qt::black));
    return format;
}

bool isLeftClick(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::MouseButtonRelease) return false;
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const auto* widget = static_cast<QWidget*>(watched);
    return mouse->button() == Qt::LeftButton && widget->rect().contains(mouse->position().toPoint());
}

}  // namespace

TBaseFrame::TBaseFrame(const Settings& settings, QWidget* parent) : QWidget(parent), m_settings(settings) {
    setObjectName(QStringLiteral("BaseFrame"));
    setFixedSize(kWidth, kHeight);
    setFont(arialFont());
    m_textOptions.locale = systemDateFormatLocale();
    m_textOptions.thousandsSeparator = QLocale::system().groupSeparator().toStdString();

    // The facts, with the copy menu and the file's hint over all of them.
    m_panel = new QWidget(this);
    m_panel->setObjectName(QStringLiteral("Panel1"));
    m_panel->setGeometry(0, 0, 273, 145);
    m_panel->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_panel, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { m_copyMenu->popup(m_panel->mapToGlobal(pos)); });

    m_bevel = new QFrame(m_panel);
    m_bevel->setObjectName(QStringLiteral("Bevel1"));
    m_bevel->setGeometry(8, 8, 257, 17);
    // Only the bottom line of the box is drawn, lowered.
    m_bevel->setStyleSheet(
        QStringLiteral("QFrame#Bevel1 { border: none; border-bottom: 2px groove #a0a0a0; }"));

    m_name = makeLabel(m_panel, "LabNom", 209, kNameTop);
    m_name->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_name->setCursor(Qt::PointingHandCursor);
    m_name->installEventFilter(this);

    const char* const captionNames[] = {"Label1", "Label2", "Label3", "Label4", "Label5", "Label6", "Label7"};
    for (int i = 0; i < 7; ++i) {
        m_captions.push_back(
            makeLabel(m_panel, captionNames[i], kCaptionLeft, kFirstRowTop + i * kRowHeight));
    }
    const std::pair<QLabel**, const char*> values[] = {
        {&m_datecode, "labDatecode"}, {&m_timecode, "LabTimecode"}, {&m_codec, "LabCodec"},
        {&m_image, "LabImage"},       {&m_duration, "LabDuree"},    {&m_fps, "labFPS"},
        {&m_audio1, "LabAudio1"},     {&m_audio2, "LabAudio2"},
    };
    int row = 0;
    for (const auto& [label, name] : values) {
        *label = makeLabel(m_panel, name, kValueLeft, kFirstRowTop + row * kRowHeight);
        ++row;
    }
    m_scenes = makeLabel(m_panel, "labscn", 240, 64);
    m_scenes->hide();

    m_gauge = new QProgressBar(this);
    m_gauge->setObjectName(QStringLiteral("Gauge1"));
    m_gauge->setGeometry(24, 148, 249, 17);
    m_gauge->setRange(0, 100);
    m_gauge->setTextVisible(false);
    m_gauge->hide();

    m_positionBar = makeSlider(this, "tb", Qt::Horizontal);
    m_positionBar->setGeometry(20, 158, 253, kPositionBarHeight);
    // The player moves when the user lets the handle go, or moves it by keys or page clicks; the timers'
    // own updates (setValue) do not count.
    connect(m_positionBar, &QSlider::sliderPressed, this, [this] { emit positionBarTaken(); });
    connect(m_positionBar, &QSlider::sliderReleased, this, [this] { emit positionBarSet(m_positionBar->value()); });
    connect(m_positionBar, &QSlider::actionTriggered, this, [this](int action) {
        if (action == QAbstractSlider::SliderMove || m_positionBar->isSliderDown()) return;
        // The action is applied after this signal: read the value once it is.
        QMetaObject::invokeMethod(
            this, [this] { emit positionBarSet(m_positionBar->value()); }, Qt::QueuedConnection);
    });

    // The picture area: the video window, and the messages in the same place.
    m_video = new VideoSurface(this);
    m_video->setObjectName(QStringLiteral("vw"));
    m_video->setGeometry(24, 186, kPictureAreaWidth, kPictureAreaHeight);
    m_video->setContextMenuPolicy(Qt::CustomContextMenu);
    m_video->installEventFilter(this);
    connect(m_video, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { emit videoMenuRequested(m_video->mapToGlobal(pos)); });

    m_messages = new QTextEdit(this);
    m_messages->setObjectName(QStringLiteral("reBaseFrame"));
    m_messages->setGeometry(24, 186, kPictureAreaWidth, kPictureAreaHeight);
    m_messages->setReadOnly(true);
    // Nothing to type into: hiding it must never hand the focus on (to the list, which would then move its
    // current row by itself).
    m_messages->setFocusPolicy(Qt::NoFocus);
    m_messages->setFrameShape(QFrame::NoFrame);
    m_messages->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_messages->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Paths have no blanks to break at.
    m_messages->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);

    m_timeStamp = makeLabel(this, "labTimeStamp", 46, 370);
    m_timeStamp->resize(205, 16);
    m_timeStamp->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    QPalette navy = m_timeStamp->palette();
    navy.setColor(QPalette::WindowText, QColor(0, 0, 128));
    m_timeStamp->setPalette(navy);

    m_inlayHorz = makeSlider(this, "incrustHorz", Qt::Horizontal);
    m_inlayHorz->setGeometry(8, 366, 257, kSliderThickness);
    // A vertical slider grows upwards, so 1000 − its value counts from the top, as the inlay's Y does.
    m_inlayVert = makeSlider(this, "incrustVert", Qt::Vertical);
    m_inlayVert->setGeometry(260, 181, kSliderThickness, 198);
    for (QSlider* slider : {m_inlayHorz, m_inlayVert}) {
        slider->setPageStep(100);
        slider->hide();
        connect(slider, &QSlider::valueChanged, this, [this] {
            emit inlayPositionChanged(m_inlayHorz->value(), kSliderMaximum - m_inlayVert->value());
        });
        connect(slider, &QSlider::sliderPressed, this, [this] { emit inlaySliderPressed(); });
        connect(slider, &QSlider::sliderReleased, this, [this] { emit inlaySliderReleased(); });
    }

    m_corner = makeLabel(this, "Shape1", 248, 352);
    m_corner->resize(30, 30);
    m_corner->setPixmap(hatchedSquare(30));
    m_corner->setCursor(Qt::PointingHandCursor);
    m_corner->installEventFilter(this);
    m_corner->hide();

    buildCopyMenu();
    setMode(DisplayMode::Message);
}

void TBaseFrame::buildCopyMenu() {
    m_copyMenu = new QMenu(this);
    m_copyMenu->setObjectName(QStringLiteral("copiermenu"));
    struct Entry {
        const char* name;
        const char* caption;
        QLabel* label;
    };
    const Entry entries[] = {
        {"Copierledatecode1", "Copy the datecode", m_datecode},
        {"Copierletimecode1", "Copy the timecode", m_timecode},
        {"Copierlecodec1", "Copy the codec", m_codec},
        {"Copierlatailledimages1", "Copy the image size", m_image},
        {"Copierladure1", "Copy the duration", m_duration},
        {"CopierlesFps1", "Copy the framerate", m_fps},
    };
    for (const Entry& entry : entries) {
        QAction* action = m_copyMenu->addAction(QString::fromLatin1(entry.caption));
        action->setObjectName(QString::fromLatin1(entry.name));
        QLabel* label = entry.label;
        connect(action, &QAction::triggered, this, [this, label] { copyToClipboard(label->text()); });
    }
    QAction* audio = m_copyMenu->addAction(QStringLiteral("Copy audio"));
    audio->setObjectName(QStringLiteral("Copierlaudio1"));
    connect(audio, &QAction::triggered, this,
            [this] { copyToClipboard(m_audio1->text() + QLatin1Char(' ') + m_audio2->text()); });
    m_copyMenu->addSeparator();
    // The exact path: on a file system that tells letter cases apart, a lower-cased path names another file.
    QAction* fullName = m_copyMenu->addAction(QStringLiteral("Copy the full name"));
    fullName->setObjectName(QStringLiteral("Copierlenomcomplet1"));
    connect(fullName, &QAction::triggered, this, [this] {
        if (m_file) copyToClipboard(uiPath(m_file->fullPath));
    });
}

void TBaseFrame::copyToClipboard(const QString& text) { QGuiApplication::clipboard()->setText(text); }

void TBaseFrame::ApplyPanelTexts() {
    QFont timeStampFont(QStringLiteral("Times New Roman"));
    timeStampFont.setStyleHint(QFont::Serif);
    timeStampFont.setPixelSize(13);
    m_timeStamp->setFont(timeStampFont);

    const char* const captions[] = {"Datecode", "Timecode", "codec", "Image", "Duration", "Fps", "Audio"};
    QLabel* const values[] = {m_datecode, m_timecode, m_codec, m_image, m_duration, m_fps, m_audio1};
    for (int i = 0; i < 7; ++i) {
        for (QLabel* label : {m_captions[i], values[i]}) {
            label->setFont(arialFont());
            label->setText(QString::fromLatin1(captions[i]));
            label->adjustSize();
        }
    }
    m_audio2->setFont(arialFont());
    m_audio2->setText(QStringLiteral("Audio"));
    m_audio2->adjustSize();
    m_scenes->setFont(arialFont());
    m_scenes->setText(QStringLiteral("scn"));
    m_scenes->adjustSize();
    setFileName(QStringLiteral("LabNom"));

    m_corner->setToolTip(QStringLiteral(
        "Click on this corner to show or hide\nthe sliders for changing the position of inlay."));
    m_positionBar->setToolTip(QStringLiteral(
        "Trackbar to navigate in the video.\nYou may also use CTRL+the arrow keys\nand F8 or F9 "
        "to move between scenes."));
    m_timeStamp->setToolTip(
        QStringLiteral("Position in the avi file of the frame currently displayed\nin hours:minutes:seconds:"
                       "frames.\nIf there is no video stream, it's in milliseconds instead of frames."));
    m_gauge->setToolTip(QStringLiteral("Gauge to show the progress of the current command"));
    m_panel->setToolTip(QStringLiteral("Informations about the selected video file."));
    m_bevel->setToolTip(QStringLiteral("Informations about the selected video file."));
    m_name->setToolTip(QStringLiteral("Click on the filename to open the parent folder"));
    m_video->setToolTip(QStringLiteral("The selected video"));
    m_inlayHorz->setToolTip(QStringLiteral(
        "Slider to change the horizontal position of inlay.\nYou may also click on the video."));
    m_inlayVert->setToolTip(
        QStringLiteral("Slider to change the vertical position of inlay.\nYou may also click on the video."));
}

void TBaseFrame::CentreInColumn(int columnWidth) {
    m_messages->move((columnWidth - m_messages->width()) / 2, m_messages->y());
    m_gauge->move((columnWidth - m_gauge->width()) / 2, m_gauge->y());
}

void TBaseFrame::setFileName(const QString& name) {
    const int width = QFontMetrics(nameFont(kNamePixelHeight)).horizontalAdvance(name);
    const QFont font = nameFont(NameFontPixelHeight(width, m_bevel->width()));
    m_name->setFont(font);
    m_name->setText(name);
    // The label grows to the left of its right edge, as wide as its text.
    const QFontMetrics metrics(font);
    const int shown = metrics.horizontalAdvance(name) + 2;
    m_name->setGeometry(kNameRight - shown, kNameTop, shown, metrics.height());
    m_name->raise();
}

void TBaseFrame::ShowFile(const TAfficherFichier& record) {
    m_textOptions.datecodePattern = m_settings.formatPourAfficherDatecode;
    const InfoFacts facts = InfoFactsOf(record, m_textOptions);

    setFileName(uiPath(record.FileName()));
    const std::pair<QLabel*, const std::string*> values[] = {
        {m_datecode, &facts.datecode}, {m_timecode, &facts.timecode},  {m_codec, &facts.codec},
        {m_image, &facts.image},       {m_duration, &facts.duration},  {m_fps, &facts.fps},
        {m_audio1, &facts.audio},      {m_audio2, &facts.audioFormat},
    };
    for (const auto& [label, text] : values) {
        label->setText(fromBytes(*text));
        label->adjustSize();
    }
    m_scenes->setVisible(record.HasScenes());
    m_panel->setToolTip(fromBytes(FileHintText(record, m_textOptions)));

    if (const auto layout = VideoAreaLayoutFor(record.Width(), record.Height(), m_video->y())) {
        applyVideoLayout(*layout);
    }
    m_corner->setVisible(record.IsDv());
    m_file = MessageFile{record.FullPath(), record.FileName(), record.Codec()};
}

void TBaseFrame::applyVideoLayout(const VideoAreaLayout& layout) {
    const PanelRect& v = layout.video;
    m_video->setGeometry(v.left, v.top, v.width, v.height);
    m_timeStamp->move(m_timeStamp->x(), layout.timeStampTop);
    m_corner->move(layout.cornerLeft, layout.cornerTop);
    m_inlayHorz->setGeometry(layout.inlayHorzLeft, layout.inlayHorzTop, layout.inlayHorzWidth,
                             m_inlayHorz->height());
    m_inlayVert->setGeometry(layout.inlayVertLeft, layout.inlayVertTop, m_inlayVert->width(),
                             layout.inlayVertHeight);
    m_positionBar->setGeometry(layout.positionBarLeft, m_positionBar->y(), layout.positionBarWidth,
                               m_positionBar->height());
}

void TBaseFrame::ClearPanel() {
    setFileName(QStringLiteral("---"));
    for (QLabel* label : {m_datecode, m_timecode, m_codec, m_image, m_duration, m_fps, m_audio1, m_audio2}) {
        label->clear();
    }
    m_scenes->hide();
    m_file.reset();
    emit panelCleared();
}

void TBaseFrame::writeLines(const std::vector<MessageLine>& lines) {
    m_messages->clear();
    QTextCursor cursor(m_messages->document());
    QTextBlockFormat centred;
    centred.setAlignment(Qt::AlignHCenter);
    bool first = true;
    for (const MessageLine& line : lines) {
        const QTextCharFormat format = charFormat(line.style, font());
        if (first) {
            cursor.setBlockFormat(centred);
            cursor.setBlockCharFormat(format);
            first = false;
        } else {
            cursor.insertBlock(centred, format);
        }
        cursor.insertText(fromBytes(line.text), format);
    }
}

void TBaseFrame::writeMessage(int number) {
    writeLines(PanelMessageLines(number, m_file ? &*m_file : nullptr));
}

void TBaseFrame::setMode(DisplayMode mode) {
    m_mode = mode;
    m_video->show();
    if (mode == DisplayMode::Video) {
        m_messages->hide();
    } else {
        if (mode == DisplayMode::Message) m_video->move(m_messages->x(), m_video->y());
        m_messages->show();
        m_messages->raise();
    }
    const bool playing = mode != DisplayMode::Message;
    m_positionBar->setVisible(playing && !m_progressShown);
    m_timeStamp->setVisible(playing);
}

void TBaseFrame::ShowVideoMode() { setMode(DisplayMode::Video); }

void TBaseFrame::ShowAudioMode(int number) {
    writeMessage(number);
    setMode(DisplayMode::Audio);
}

void TBaseFrame::ShowMessageMode(int number) {
    writeMessage(number);
    setMode(DisplayMode::Message);
}

void TBaseFrame::ShowPlaybackFailure(const std::string& reason) {
    writeLines(PlaybackFailureLines(m_file ? &*m_file : nullptr, reason));
    setMode(DisplayMode::Message);
}

void TBaseFrame::WriteWelcome() {
    ClearPanel();
    writeLines(WelcomeLines(kProgramVersion));
    setMode(DisplayMode::Message);
}

void TBaseFrame::showProgress() {
    m_progressShown = true;
    m_positionBar->hide();
    m_gauge->setValue(0);
    m_gauge->show();
    m_gauge->raise();
}

void TBaseFrame::setProgress(int percent) { m_gauge->setValue(std::clamp(percent, 0, 100)); }

void TBaseFrame::hideProgress() {
    m_progressShown = false;
    m_positionBar->setVisible(m_mode != DisplayMode::Message);
    m_gauge->hide();
}

void TBaseFrame::setInlayPosition(int x, int y) {
    const QSignalBlocker blockHorz(m_inlayHorz);
    const QSignalBlocker blockVert(m_inlayVert);
    m_inlayHorz->setValue(x);
    m_inlayVert->setValue(kSliderMaximum - y);
}

void TBaseFrame::setInlaySlidersVisible(bool visible) {
    m_inlayHorz->setVisible(visible);
    m_inlayVert->setVisible(visible);
    if (visible) {
        m_inlayHorz->raise();
        m_inlayVert->raise();
    }
}

bool TBaseFrame::inlaySlidersVisible() const { return m_inlayHorz->isVisibleTo(this); }

void TBaseFrame::setPlayTexts(const FrameLabelTexts& frame, int sliderValue, const QString& position) {
    const QString datecode = fromBytes(frame.datecode);
    const QString timecode = fromBytes(frame.timecode);
    if (m_datecode->text() != datecode) {
        m_datecode->setText(datecode);
        m_datecode->adjustSize();
    }
    if (m_timecode->text() != timecode) {
        m_timecode->setText(timecode);
        m_timecode->adjustSize();
    }
    if (!m_positionBar->isSliderDown() && m_positionBar->value() != sliderValue) {
        const QSignalBlocker block(m_positionBar);
        m_positionBar->setValue(sliderValue);
    }
    if (m_timeStamp->text() != position) m_timeStamp->setText(position);
}

int TBaseFrame::positionBarValue() const { return m_positionBar->value(); }

bool TBaseFrame::positionBarDragged() const { return m_positionBar->isSliderDown(); }

void TBaseFrame::setVideoFullScreen(bool fullScreen, const QList<QAction*>& actions) {
    if (fullScreen == m_videoFullScreen) return;
    m_videoFullScreen = fullScreen;
    if (fullScreen) {
        m_videoGeometry = m_video->geometry();
        m_fullScreenActions = actions;
        m_video->setParent(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        m_video->addActions(m_fullScreenActions);
        // The screen's whole size as well: without a window manager to honour the full-screen state, the
        // window would keep its small size.
        if (const QScreen* screen = window()->screen()) m_video->setGeometry(screen->geometry());
        m_video->showFullScreen();
        m_video->activateWindow();
    } else {
        for (QAction* action : std::as_const(m_fullScreenActions)) m_video->removeAction(action);
        m_fullScreenActions.clear();
        m_video->setParent(this, Qt::Widget);
        m_video->setGeometry(m_videoGeometry);
        m_video->show();
        // The messages stay in front of the picture in the audio and message modes.
        if (m_mode != DisplayMode::Video) m_messages->raise();
        window()->activateWindow();
    }
}

bool TBaseFrame::filterVideoEvent(QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton) return false;
        // The point within the picture itself: the surface may show bars beside it (full screen).
        QRect picture = m_video->pictureRect();
        if (picture.isEmpty()) picture = m_video->rect();
        const QPoint at = mouse->position().toPoint() - picture.topLeft();
        emit pictureClicked(at.x(), at.y(), picture.width(), picture.height());
        return false;
    }
    if (!m_videoFullScreen) return false;
    if (event->type() == QEvent::MouseButtonDblClick) {
        emit fullScreenLeaveRequested();
        return true;
    }
    // Esc leaves the full screen before any shortcut of the window sees it.
    if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
        if (static_cast<QKeyEvent*>(event)->key() != Qt::Key_Escape) return false;
        event->accept();
        if (event->type() == QEvent::KeyPress) emit fullScreenLeaveRequested();
        return true;
    }
    return false;
}

bool TBaseFrame::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_video) return filterVideoEvent(event) || QWidget::eventFilter(watched, event);
    if (watched == m_name && isLeftClick(watched, event)) {
        emit parentFolderRequested();
        return true;
    }
    if (watched == m_corner && isLeftClick(watched, event)) {
        emit inlaySlidersToggleRequested();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace moraven
