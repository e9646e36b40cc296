#include "ui/action_icons.h"

#include <QApplication>
#include <QStyle>

namespace moraven {

namespace {

struct IconRow {
    std::string_view action;
    const char* themeName;
    QStyle::StandardPixmap fallback;
};

constexpr IconRow kIcons[] = {
    {"afOuvrirFichiers", "document-open", QStyle::SP_DialogOpenButton},
    {"afCollerFichiers", "edit-paste", QStyle::SP_FileDialogContentsView},
    {"afOuvrirunDossier", "folder-open", QStyle::SP_DirOpenIcon},
    {"afOuvrirDossierPrefere", "folder-favorites", QStyle::SP_DirHomeIcon},
    {"afOuvrirTout", "drive-harddisk", QStyle::SP_DriveHDIcon},
    {"afOuvrirPlayList", "document-open-recent", QStyle::SP_FileDialogListView},
    {"afSauverListe", "document-save-as", QStyle::SP_DialogSaveButton},
    {"amDossierParent", "folder", QStyle::SP_FileDialogToParent},
    {"avMute", "audio-volume-high", QStyle::SP_MediaVolume},
    {"avPlayStop", "media-playback-start", QStyle::SP_MediaPlay},
    {"amAfficherIncrustation", "insert-text", QStyle::SP_FileDialogDetailedView},
    {"amAfficherSliders", "transform-move", QStyle::SP_ArrowRight},
    {"afViderListe", "edit-clear", QStyle::SP_DialogResetButton},
    {"afSelectionnerTout", "edit-select-all", QStyle::SP_DialogApplyButton},
    {"afOptions", "preferences-system", QStyle::SP_FileDialogDetailedView},
    {"afApropos", "help-about", QStyle::SP_MessageBoxQuestion},
    {"afQuitter", "application-exit", QStyle::SP_DialogCloseButton},
    {"afInterrompre", "process-stop", QStyle::SP_BrowserStop},
    {"amSupprimerFichier", "user-trash", QStyle::SP_TrashIcon},
    {"amOterFichier", "list-remove", QStyle::SP_DialogDiscardButton},
    {"amRiffHeader", "document-properties", QStyle::SP_FileDialogInfoView},
    {"amDefaultPlayer", "applications-multimedia", QStyle::SP_MediaPlay},
};

}  // namespace

QIcon actionIcon(std::string_view actionName) {
    for (const IconRow& row : kIcons) {
        if (row.action != actionName) continue;
        const QIcon fallback = QApplication::style()->standardIcon(row.fallback);
        return QIcon::fromTheme(QString::fromLatin1(row.themeName), fallback);
    }
    return {};
}

}  // namespace moraven
