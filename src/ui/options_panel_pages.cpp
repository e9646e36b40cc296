// The controls of the settings panel: where each stands, and its English texts.
#include "ui/options_panel.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFont>
#include <QGraphicsDropShadowEffect>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>

#include "settings/options_values.h"

namespace moraven {
namespace {

// Hints and captions are written with CR LF between their lines; Qt breaks lines at LF.
QString withLineBreaks(const char* text) {
    return QString::fromUtf8(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

QFont namedFont(const char* family, QFont::StyleHint hint, int pixelSize) {
    QFont font{QString::fromLatin1(family)};
    font.setStyleHint(hint);
    font.setPixelSize(pixelSize);
    return font;
}

// Arial 8 points at the design's 96 dots per inch.
QFont arialFont() { return namedFont("Arial", QFont::SansSerif, 11); }

template <class Widget>
Widget* placed(Widget* widget, const char* name, int left, int top, int width, int height) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(left, top, width, height);
    return widget;
}

QPlainTextEdit* memo(QWidget* page, const char* name, int left, int top, int width, int height) {
    auto* edit = placed(new QPlainTextEdit(page), name, left, top, width, height);
    edit->setReadOnly(true);
    edit->setFont(arialFont());
    edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    return edit;
}

QLabel* label(QWidget* parent, const char* name, int left, int top, int width, int height = 14) {
    auto* text = placed(new QLabel(parent), name, left, top, width, height);
    text->setFont(arialFont());
    return text;
}

// A group of radio buttons, one below the other, numbered by item index in the returned button group.
QButtonGroup* radioGroup(QWidget* parent, const char* name, int left, int top, int width, int height,
                         int items) {
    auto* box = placed(new QGroupBox(parent), name, left, top, width, height);
    auto* group = new QButtonGroup(box);
    group->setObjectName(QString::fromLatin1(name));
    const int step = (height - 20) / items;
    for (int item = 0; item < items; ++item) {
        auto* button = new QRadioButton(box);
        button->setObjectName(QStringLiteral("%1_%2").arg(QString::fromLatin1(name)).arg(item));
        button->setGeometry(8, 17 + item * step, width - 14, 17);
        group->addButton(button, item);
    }
    return group;
}

// A field with a small button at its right that opens a chooser; the field carries the control's name,
// the button the name followed by "Btn".
QLineEdit* chooserField(QWidget* parent, const char* name, int left, int top, int width,
                        QToolButton** button) {
    auto* field = placed(new QLineEdit(parent), name, left, top, width - 24, 21);
    *button = placed(new QToolButton(parent), "", left + width - 22, top, 22, 21);
    (*button)->setObjectName(QString::fromLatin1(name) + QStringLiteral("Btn"));
    (*button)->setText(QStringLiteral("..."));
    return field;
}

struct ControlText {
    const char* name;
    const char* caption;  // nullptr: the control has no caption of its own
    const char* hint;     // nullptr: no hint
};

// Every caption and hint of the panel, by control name.
constexpr ControlText kTexts[] = {
    // Header.
    {"Image1", nullptr, "Yes, I have a big nose!?"},
    {"lbHomepage", nullptr, nullptr},
    {"lbMail", nullptr, "Send an e-mail to Velloran"},
    {"FermerBtn", "Close", "Close the Settings window.\r\nYou may also type F10."},
    // "Preferences".
    {"gbPrefs", "Preferences", nullptr},
    {"cbPrefsQuittant", "Save the preferences when quit",
     "Save your preferences into the registry\r\neach time you quit the application."},
    {"SpeedButton1", nullptr, "Save the preferences now into the registry."},
    {"LabelSauverNow", "Save the preferences now", nullptr},
    {"SpeedButton2", nullptr,
     "Delete the preferences from registry.\r\nAt next start, the application will load\r\nwith default "
     "parameters."},
    {"LabelEffacerPrefs", "Delete the preferences", nullptr},
    {"cbSendTo", "Shortcut in SendTo...",
     "If this box is checked, then you can send one or several AVi files\r\nto Moraven by clicking on them "
     "with the right mouse in Windows Explorer\r\nand opening the popupmenu \"Send To\"."},
    {"cbSelection", "Select when opening",
     "Check to select automatically the files when they are added to the list."},
    {"cbListe", "Save the playlist when quit",
     "Check in order to save the playlist whent quit\r\nand to restore it at next launch"},
    {"rgStandard", "Default Standard", "TV Standard used to convert non-DV avi files to DV type 2"},
    {"rgfrequenceDV", "DV Frequency", "frequency of audio when converting an AVI file to DV type 2"},
    {"lbFichierSnapwick", "Snapwick file to be launched with F2", nullptr},
    {"feFichierSnapwick", nullptr,
     "Select the exe-file for Snapwick\r\nto be launched with F2 to extract images from the selected video."},
    {"lbFichierF3", "Application launched with F3", nullptr},
    {"feFichierF3", nullptr,
     "Choose a exe file \r\nto be launched by F3 with the selected AVI files.\r\nFor example media player "
     "classic, or virtualdub..."},
    {"lbFichierF4", "Application launched with F4", nullptr},
    {"feFichierF4", nullptr,
     "Choose a exe file \r\nto be launched by F4 with the selected AVI files.\r\nFor example media player "
     "classic, or virtualdub..."},
    // "Commands".
    {"RxCheckListBox1", nullptr,
     "List of commands with their keyboard shortcuts.\r\nUncheck the commands that are not to be enabled."},
    {"SpeedButton3", nullptr, "Check all available commands."},
    {"Label4", "Check all", nullptr},
    // "Formats".
    {"GroupBox4", "Formats of datecode", nullptr},
    {"lbAjouter", "Format used to add the datecode", nullptr},
    {"edAjouter", nullptr,
     "Format used by the command \"Add datecode\"\r\nfor example   yyyy mmmm ddddd hh:nn:ss"},
    {"lbAfficherDatecode", "Format to display datecode", nullptr},
    {"edAfficherDatecode", nullptr,
     "Format used to display the datecode among informations about\r\nthe selected file. \r\nFor example "
     "ddddd hh:nn:ss"},
    {"lbAfficher1", "Inlay line 1", nullptr},
    {"edAfficher1", nullptr,
     "Format used to inlay the datecode on the first line.\r\nFor example \"dd-mm-yy\" to display only the "
     "date."},
    {"lbAfficher2", "Inlay line 2", nullptr},
    {"edAfficher2", nullptr,
     "Format used to inlay the datecode on the second line.\r\nFor example \"hh:nn:ss\" to display only the "
     "time."},
    {"GroupBox3", "Rename à la  Scenalyser", nullptr},
    {"lbRenommer", "Format for renaming", nullptr},
    {"edRenommer", nullptr, "Rootname used to build the video name\r\nin Scenalyser style"},
    {"lbRacine", "Rootname used to rename", nullptr},
    {"edRacine", nullptr, "Format used to add the datecode to the rootname\r\nin Scenalyser style"},
    // "Folders".
    {"GroupBox1", "Folders for opening videos", nullptr},
    {"lbDossierOuvrir", "Default folder for opening videos", nullptr},
    {"edDossierOuvrir", nullptr, "Default folder to open files."},
    {"lbDossierAuto", "Preferred folder ( to be opened with F7)", nullptr},
    {"edDossierAuto", nullptr,
     "\"Prefered\" Folder: it's a folder from which all AVI files\r\nmay be openend by F7 or by a clic on "
     "the "
     "button with heart."},
    {"lbDossierPlayList", "Default folder for the PlayLists ", nullptr},
    {"edDossierPlayList", nullptr, "Folder to save the playlist."},
    {"GroupBox2", "Where to save the files created by conversion", nullptr},
    {"cbsameFolder", "Convert into the same folder",
     "If checked, then all files produced by conversion will be created in the same folder\r\nthan the "
     "source "
     "file. If not, they will be created in the folder below.\r\nNote that scn files will always be in the "
     "same folder, even if this box\r\nis not checked."},
    {"lbDossierSave", "Convert into the following folder:", nullptr},
    {"edDossierSave", nullptr, "Folder for storing the files."},
    // "Inlay".
    {"sbIncrustFont", "F",
     "Choose the font for inlay of datecode. The default font\r\nwith white color seems to give the best "
     "results."},
    {"Label7", "Font", nullptr},
    {"cbAutoFontSize", "Default size",
     "Check if you want the Font size of inlay text to be set automatically,\r\naccording to the image size "
     "of "
     "video (Recommended)."},
    {"rgAlign", "Alignment",
     "Set the alignment of the inlayed text.\r\nuseful when inserting the datecode on two lines."},
    {"rgWhatIncrust", "What?", "One may inlay datecode or timecode."},
    {"cbAuto", "automatic",
     "If checked, then inlay is automatically activated for a given duration\r\neach time when an event (set "
     "in \"Mode auto\") happens.\r\nBy default, 5 seconds at each new scene"},
    {"rgAuto", "Mode Auto",
     "In Auto mode, inlay is made during a given duration\r\neither once\r\nor at each new scene\r\nor at "
     "each "
     "new day"},
    {"lbDureeIncrust", "duration in seconds", nullptr},
    {"edDureeIncrust", nullptr,
     "Duration in seconds of automatic inlay of datecode\r\n each scene change (only for DV videos)"},
    {"RxSpinEdit1", nullptr,
     "You may add or substract an integer number of hours \r\nin order to fix a time difference or a "
     "summer/winter time\r\n(between -23 and +23)"},
    {"Label8", "Time difference",
     "You may add or substract an integer number of hours \r\nin order to fix a time difference or a "
     "summer/winter time\r\n(between -23 and +23)"},
};

struct RadioItems {
    const char* name;
    const char* items[3];  // nullptr after the last
};

const RadioItems kRadioItems[] = {
    {"rgStandard", {"Pal", "Ntsc"}},
    {"rgfrequenceDV", {"32000", "44100", "48000"}},
    {"rgAlign", {"Left", "Centered", "Right"}},
    {"rgWhatIncrust", {"Datecode", "Timecode"}},
    {"rgAuto", {"once", "scene", "dayly"}},
};

struct MemoText {
    const char* name;
    const char* text;  // lines separated by CR LF
};

constexpr MemoText kMemos[] = {
    {"Memo6",
     "Modify the settings \r\n     to manage the Preferences \r\n     to change the TV standard used for "
     "recompression into DV type 2, \r\n     and to change the behaviour of Moraven. \r\nCheck also the path "
     "and filename of  Snapwick to be launched with F2 as well as two applications to be launched with F3 "
     "and F4"},
    {"Memo5",
     "\r\nCheck all\r\ncommands that\r\nshall be enabled\r\nin menus and\r\nkeyboard shortcuts.\r\n\r\nThe "
     "commands in\r\nblack cannot \r\nbe disabled.\r\n\r\n\r\nIf some\r\nCommands\r\ndo not appear "
     "here,\r\nit "
     "is because your\r\nsystem does not\r\nsupport them.\r\n\r\nThe keyboard\r\nshortcuts are "
     "displayed\r\nin parenthesis"},
    {"Memo3",
     "\r\n  * Choose the formats of datecode: For example\r\nyyyy mmmm dd hh:nn:ss gives '2006 march 12 "
     "15:46:37'\r\ndddddd gives 'sunday 2006 march 12' or ddddd gives '06/03/12'\r\nOne may add text in "
     "double quotes, for example:\r\n\"A \"dddd \" of \"mmmm gives 'A sunday of march'\r\n  * The format for "
     "renaming à la Scenalyser is by default\r\nyyyymmdd_hh.nn.ss   with a root like ClipDV'\r\n  * Inlay of "
     "datecode is similarly defined on 2 lines,\r\nbut one line may stay empty if you want all data on a "
     "single line."},
    {"Memo1",
     "\r\nChoose the default folders for opening files with\r\nthe Open command (CTRL+O) or for the "
     "preferred "
     "folder (F7).\r\n\r\nIndicate also if the files created by conversion shall be\r\ncreated in the same "
     "folder, or, if not, in which one."},
    {"Memo2",
     "\r\nSet the parameters of inlay\r\nwhile playing the DV videos or\r\nwhile creating video files by "
     "conversion\r\nwith the Inlay command (CTRL+I) of the\r\n menu Convert.\r\n\r\nTo modify the position "
     "of\r\ninlay, click on the corner at the bottom\r\nright of the video, or click on the video\r\nwith "
     "the "
     "right mouse button, or type ALT+I.\r\nThis will display sliders for changing\r\nthe "
     "position.\r\n\r\nTo "
     "modify the format of dates and\r\ntimes, (that can be put on two lines)\r\ngo to the tab Formats, and "
     "set the\r\nformats in \"Inlay line 1\" or \"Inlay line 2\""},
};

// The pages in their order, with their tab captions.
constexpr std::pair<const char*, const char*> kPageCaptions[] = {
    {"TabSheet2", "Preferences"}, {"TabSheet1", "Commands"}, {"TabSheet7", "Formats"},
    {"TabSheet3", "Folders"},     {"TabSheet4", "Inlay"},
};

}  // namespace

void TOptionsFrame::buildHeader() {
    m_title = placed(new QLabel(this), "RxLabel1", 392, 12, 196, 28);
    m_title->setAlignment(Qt::AlignCenter);
    QFont titleFont = namedFont("MS Sans Serif", QFont::SansSerif, 17);
    titleFont.setBold(true);
    m_title->setFont(titleFont);
    m_title->setStyleSheet(QStringLiteral("color: navy;"));
    auto* shadow = new QGraphicsDropShadowEffect(m_title);
    shadow->setOffset(2, 2);
    shadow->setBlurRadius(0);
    shadow->setColor(Qt::gray);
    m_title->setGraphicsEffect(shadow);

    // The picture itself is not part of the program yet; its frame keeps the place and the hint.
    m_picture = placed(new QLabel(this), "Image1", 425, 56, 130, 170);
    m_picture->setFrameShape(QFrame::Panel);
    m_picture->setFrameShadow(QFrame::Sunken);

    const QFont verdana = namedFont("Verdana", QFont::SansSerif, 12);
    m_homepageLink = placed(new QLabel(this), "lbHomepage", 392, 250, 196, 18);
    m_mailLink = placed(new QLabel(this), "lbMail", 392, 276, 196, 18);
    for (QLabel* link : {m_homepageLink, m_mailLink}) {
        link->setFont(verdana);
        link->setAlignment(Qt::AlignCenter);
        link->setTextFormat(Qt::RichText);
        link->setCursor(Qt::PointingHandCursor);
    }
    connect(m_homepageLink, &QLabel::linkActivated, this, &TOptionsFrame::openHomepageLink);
    connect(m_mailLink, &QLabel::linkActivated, this, &TOptionsFrame::openMailLink);

    m_closeButton = placed(new QPushButton(this), "FermerBtn", 452, 400, 75, 25);
    connect(m_closeButton, &QPushButton::clicked, this, &TOptionsFrame::closeRequested);
}

QWidget* TOptionsFrame::buildPreferencesPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("TabSheet2"));
    memo(page, "Memo6", 4, 4, 367, 96);

    auto* prefs = placed(new QGroupBox(page), "gbPrefs", 4, 104, 222, 148);
    m_prefsQuittant = placed(new QCheckBox(prefs), "cbPrefsQuittant", 8, 18, 208, 17);
    auto* saveNow = placed(new QToolButton(prefs), "SpeedButton1", 8, 40, 23, 22);
    saveNow->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    label(prefs, "LabelSauverNow", 36, 44, 180);
    auto* erase = placed(new QToolButton(prefs), "SpeedButton2", 8, 66, 23, 22);
    erase->setIcon(style()->standardIcon(QStyle::SP_TrashIcon));
    label(prefs, "LabelEffacerPrefs", 36, 70, 180);
    m_sendTo = placed(new QCheckBox(prefs), "cbSendTo", 8, 94, 208, 17);
    m_selection = placed(new QCheckBox(prefs), "cbSelection", 8, 112, 208, 17);
    m_liste = placed(new QCheckBox(prefs), "cbListe", 8, 130, 208, 17);

    m_standard = radioGroup(page, "rgStandard", 232, 104, 139, 60, radioItemCount<TvStandard>());
    m_frequenceDV = radioGroup(page, "rgfrequenceDV", 232, 168, 139, 84, radioItemCount<DvSampleRate>());

    QToolButton* snapwickButton = nullptr;
    QToolButton* f3Button = nullptr;
    QToolButton* f4Button = nullptr;
    label(page, "lbFichierSnapwick", 4, 260, 367);
    m_fichierSnapwick = chooserField(page, "feFichierSnapwick", 4, 276, 367, &snapwickButton);
    label(page, "lbFichierF3", 4, 304, 367);
    m_fichierF3 = chooserField(page, "feFichierF3", 4, 320, 367, &f3Button);
    label(page, "lbFichierF4", 4, 348, 367);
    m_fichierF4 = chooserField(page, "feFichierF4", 4, 364, 367, &f4Button);

    connect(m_prefsQuittant, &QCheckBox::clicked, this,
            [this](bool checked) { settings().sauverPreferencesEnQuittant = checked; });
    connect(m_selection, &QCheckBox::clicked, this,
            [this](bool checked) { settings().selectionnerALOuverture = checked; });
    connect(m_liste, &QCheckBox::clicked, this,
            [this](bool checked) { settings().sauverListeEnQuittant = checked; });
    connect(m_sendTo, &QCheckBox::clicked, this, &TOptionsFrame::cbSendToClick);
    connect(m_standard, &QButtonGroup::idClicked, this,
            [this](int item) { storeRadioItem(settings().standardParDefaut, item); });
    connect(m_frequenceDV, &QButtonGroup::idClicked, this,
            [this](int item) { storeRadioItem(settings().frequenceDV, item); });
    connect(saveNow, &QToolButton::clicked, this, &TOptionsFrame::SpeedButton1Click);
    connect(erase, &QToolButton::clicked, this, &TOptionsFrame::SpeedButton2Click);
    connect(snapwickButton, &QToolButton::clicked, this,
            [this] { chooseProgram(Launcher::Snapwick, m_fichierSnapwick); });
    connect(f3Button, &QToolButton::clicked, this, [this] { chooseProgram(Launcher::F3, m_fichierF3); });
    connect(f4Button, &QToolButton::clicked, this, [this] { chooseProgram(Launcher::F4, m_fichierF4); });
    return page;
}

QWidget* TOptionsFrame::buildCommandsPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("TabSheet1"));
    memo(page, "Memo5", 4, 4, 122, 390);
    m_commandList = placed(new QListWidget(page), "RxCheckListBox1", 130, 4, 241, 360);
    m_commandList->setFont(arialFont());
    auto* checkAllButton = placed(new QToolButton(page), "SpeedButton3", 130, 370, 23, 22);
    checkAllButton->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));
    label(page, "Label4", 158, 374, 120);
    connect(m_commandList, &QListWidget::itemChanged, this, &TOptionsFrame::commandRowChanged);
    connect(checkAllButton, &QToolButton::clicked, this, &TOptionsFrame::checkAll);
    return page;
}

QWidget* TOptionsFrame::buildFormatsPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("TabSheet7"));
    memo(page, "Memo3", 4, 4, 367, 150);

    auto* formats = placed(new QGroupBox(page), "GroupBox4", 4, 160, 367, 120);
    label(formats, "lbAjouter", 8, 18, 170);
    m_ajouter = placed(new QLineEdit(formats), "edAjouter", 8, 34, 170, 21);
    label(formats, "lbAfficherDatecode", 188, 18, 170);
    m_afficherDatecode = placed(new QLineEdit(formats), "edAfficherDatecode", 188, 34, 170, 21);
    label(formats, "lbAfficher1", 8, 70, 170);
    m_afficher1 = placed(new QLineEdit(formats), "edAfficher1", 8, 86, 170, 21);
    label(formats, "lbAfficher2", 188, 70, 170);
    m_afficher2 = placed(new QLineEdit(formats), "edAfficher2", 188, 86, 170, 21);

    auto* rename = placed(new QGroupBox(page), "GroupBox3", 4, 288, 367, 70);
    label(rename, "lbRenommer", 8, 18, 170);
    m_renommer = placed(new QLineEdit(rename), "edRenommer", 8, 34, 170, 21);
    label(rename, "lbRacine", 188, 18, 170);
    m_racine = placed(new QLineEdit(rename), "edRacine", 188, 34, 170, 21);

    const auto storeOnExit = [this](QLineEdit* field, std::string Settings::*setting) {
        connect(field, &QLineEdit::editingFinished, this,
                [this, field, setting] { settings().*setting = field->text().toStdString(); });
    };
    storeOnExit(m_ajouter, &Settings::formatPourAjouterDatecode);
    storeOnExit(m_afficherDatecode, &Settings::formatPourAfficherDatecode);
    storeOnExit(m_renommer, &Settings::formatPourRenommer);
    storeOnExit(m_racine, &Settings::racinePourRenommer);
    connect(m_afficher1, &QLineEdit::editingFinished, this, &TOptionsFrame::edAfficher1Exit);
    connect(m_afficher2, &QLineEdit::editingFinished, this, &TOptionsFrame::edAfficher1Exit);
    return page;
}

QWidget* TOptionsFrame::buildFoldersPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("TabSheet3"));
    memo(page, "Memo1", 4, 4, 367, 100);

    QToolButton* ouvrirButton = nullptr;
    QToolButton* autoButton = nullptr;
    QToolButton* playListButton = nullptr;
    QToolButton* saveButton = nullptr;
    auto* opening = placed(new QGroupBox(page), "GroupBox1", 4, 110, 367, 150);
    label(opening, "lbDossierOuvrir", 8, 18, 350);
    m_dossierOuvrir = chooserField(opening, "edDossierOuvrir", 8, 34, 351, &ouvrirButton);
    label(opening, "lbDossierAuto", 8, 62, 350);
    m_dossierAuto = chooserField(opening, "edDossierAuto", 8, 78, 351, &autoButton);
    label(opening, "lbDossierPlayList", 8, 106, 350);
    m_dossierPlayList = chooserField(opening, "edDossierPlayList", 8, 122, 351, &playListButton);

    auto* saving = placed(new QGroupBox(page), "GroupBox2", 4, 266, 367, 100);
    m_sameFolder = placed(new QCheckBox(saving), "cbsameFolder", 8, 20, 350, 17);
    label(saving, "lbDossierSave", 8, 46, 350);
    m_dossierSave = chooserField(saving, "edDossierSave", 8, 62, 351, &saveButton);

    connect(m_dossierOuvrir, &QLineEdit::editingFinished, this, &TOptionsFrame::edDossierOuvrirExit);
    connect(m_dossierAuto, &QLineEdit::editingFinished, this, &TOptionsFrame::edDossierAutoExit);
    connect(m_dossierSave, &QLineEdit::editingFinished, this, &TOptionsFrame::edDossierSaveExit);
    connect(m_sameFolder, &QCheckBox::clicked, this, &TOptionsFrame::cbsameFolderClick);
    connect(ouvrirButton, &QToolButton::clicked, this, [this] { chooseFolder(m_dossierOuvrir, true); });
    connect(autoButton, &QToolButton::clicked, this, [this] { chooseFolder(m_dossierAuto, false); });
    connect(playListButton, &QToolButton::clicked, this, [this] { chooseFolder(m_dossierPlayList, false); });
    connect(saveButton, &QToolButton::clicked, this, [this] { chooseFolder(m_dossierSave, true); });
    m_dossierSaveButton = saveButton;
    return page;
}

QWidget* TOptionsFrame::buildInlayPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("TabSheet4"));
    memo(page, "Memo2", 4, 4, 214, 390);

    auto* font = placed(new QToolButton(page), "sbIncrustFont", 224, 8, 25, 25);
    QFont fontButtonFont = namedFont("Times New Roman", QFont::Serif, 16);
    fontButtonFont.setBold(true);
    font->setFont(fontButtonFont);
    label(page, "Label7", 256, 14, 60);
    m_autoFontSize = placed(new QCheckBox(page), "cbAutoFontSize", 224, 40, 147, 17);
    m_align = radioGroup(page, "rgAlign", 224, 62, 147, 76, radioItemCount<InlayAlignment>());
    m_whatIncrust = radioGroup(page, "rgWhatIncrust", 224, 142, 147, 58, radioItemCount<InlayContent>());
    m_auto = placed(new QCheckBox(page), "cbAuto", 224, 208, 147, 17);
    m_autoMode = radioGroup(page, "rgAuto", 224, 230, 147, 76, radioItemCount<AutoInlayMode>());
    m_dureeIncrust = placed(new QLineEdit(page), "edDureeIncrust", 224, 312, 41, 21);
    label(page, "lbDureeIncrust", 270, 316, 101);
    m_decalageHoraire = placed(new QSpinBox(page), "RxSpinEdit1", 224, 344, 49, 21);
    m_decalageHoraire->setRange(-23, 23);
    label(page, "Label8", 278, 348, 93);

    // Each control writes its setting, then hands the setting to the matching setter of the inlay stage.
    const auto inlayCheck = [this](QCheckBox* box, bool Settings::*setting,
                                   void (InlaySetters::*setter)(bool)) {
        connect(box, &QCheckBox::clicked, this, [this, setting, setter](bool checked) {
            settings().*setting = checked;
            toInlay([checked, setter](InlaySetters& stage) { (stage.*setter)(checked); });
        });
    };
    inlayCheck(m_autoFontSize, &Settings::standardFontSize, &InlaySetters::SetAutoFontSize);
    inlayCheck(m_auto, &Settings::autoIncrust, &InlaySetters::SetAutoShow);
    const auto inlayRadio = [this]<class Choice>(QButtonGroup* group, Choice Settings::*setting,
                                                 void (InlaySetters::*setter)(int)) {
        connect(group, &QButtonGroup::idClicked, this, [this, setting, setter](int item) {
            storeRadioItem(settings().*setting, item);
            const int stored = storedValue(settings().*setting);
            toInlay([stored, setter](InlaySetters& stage) { (stage.*setter)(stored); });
        });
    };
    inlayRadio(m_align, &Settings::alignement, &InlaySetters::SetAlign);
    inlayRadio(m_whatIncrust, &Settings::whatIncrust, &InlaySetters::SetContent);
    inlayRadio(m_autoMode, &Settings::modeAutoIncrust, &InlaySetters::SetAutoKind);
    connect(font, &QToolButton::clicked, this, &TOptionsFrame::sbIncrustFontClick);
    connect(m_dureeIncrust, &QLineEdit::editingFinished, this, &TOptionsFrame::edDureeIncrustExit);
    connect(m_decalageHoraire, &QSpinBox::valueChanged, this, [this](int hours) {
        const std::int32_t shift = decalageHoraireFromValue(hours);
        settings().decalageHoraire = shift;
        toInlay([shift](InlaySetters& stage) { stage.SetHourShift(shift); });
    });
    return page;
}

void TOptionsFrame::ApplyOptionsTexts() {
    for (const auto& [name, caption] : kPageCaptions) {
        if (QWidget* page = findChild<QWidget*>(QString::fromLatin1(name)))
            m_pages->setTabText(m_pages->indexOf(page), QString::fromLatin1(caption));
    }
    for (const ControlText& text : kTexts) {
        const QString name = QString::fromLatin1(text.name);
        auto* control = findChild<QWidget*>(name);
        if (control == nullptr) continue;
        if (text.hint != nullptr) control->setToolTip(withLineBreaks(text.hint));
        if (text.caption == nullptr) continue;
        const QString caption = withLineBreaks(text.caption);
        if (auto* button = qobject_cast<QAbstractButton*>(control)) {
            button->setText(caption);
        } else if (auto* box = qobject_cast<QGroupBox*>(control)) {
            box->setTitle(caption);
        } else if (auto* shown = qobject_cast<QLabel*>(control)) {
            shown->setText(caption);
        }
    }
    for (const RadioItems& radio : kRadioItems) {
        auto* group = findChild<QButtonGroup*>(QString::fromLatin1(radio.name));
        for (int item = 0; item < 3 && radio.items[item] != nullptr; ++item) {
            if (QAbstractButton* button = group->button(item))
                button->setText(QString::fromLatin1(radio.items[item]));
        }
    }
    for (const MemoText& memoText : kMemos) {
        if (auto* edit = findChild<QPlainTextEdit*>(QString::fromLatin1(memoText.name)))
            edit->setPlainText(withLineBreaks(memoText.text));
    }
    m_homepageLink->setText(QStringLiteral("<a href=\"homepage\">Homepage of Velloran</a>"));
    m_mailLink->setText(QStringLiteral("<a href=\"mail\">e-mail of Velloran</a>"));
}

}  // namespace moraven
