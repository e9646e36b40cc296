#include "commands/housekeeping_commands.h"

#include "commands/naming_commands.h"
#include "formats/binary_file.h"

namespace moraven {

namespace {

// The folder of a path, up to and including its last separator.
std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

void HousekeepingCommands::OterFichierExecution(const TParam&, const ListRecord&, std::string&,
                                                TchUpdateType& update) const {
    update = TchUpdateType::utDelete;
}

void HousekeepingCommands::SupprimerFichierFileCondition(const TParam&, const ListRecord& fichier,
                                                         bool& visible, bool& enabled) const {
    visible = enabled = !fichier.readOnly();
}

void HousekeepingCommands::SupprimerFichierConfirmation(const TParam&, const ListRecord& fichier,
                                                        std::string& confirmMsg) const {
    const std::string recycle = "\r\nIf yes, it will be sent to the Recycle bin.";
    confirmMsg = firstShortEnoughQuestion({"Do you really want to delete " + fichier.fileName() + " ?" + recycle,
                                           "Do you really want to delete this file?" + recycle});
}

void HousekeepingCommands::SupprimerFichierExecution(const TParam&, const ListRecord& fichier, std::string&,
                                                     TchUpdateType& update) const {
    if (m_context.MoveToRecycleBin && m_context.MoveToRecycleBin(fichier.fullPath())) {
        update = TchUpdateType::utDelete;
        return;
    }
    update = TchUpdateType::utNone;
    if (m_context.showError) {
        m_context.showError("Impossible to delete " + fichier.fullPath() + "\r\nIt is perhaps in use or read only");
    }
}

void HousekeepingCommands::DossierParentExecution(const TParam&, const ListRecord& fichier, std::string&,
                                                  TchUpdateType& update) const {
    update = TchUpdateType::utNone;
    if (m_context.openWithDesktop) m_context.openWithDesktop(folderOf(fichier.fullPath()));
}

void HousekeepingCommands::DefaultPlayerExecution(const TParam&, const ListRecord& fichier, std::string&,
                                                  TchUpdateType& update) const {
    update = TchUpdateType::utNone;
    if (m_context.openWithDesktop) m_context.openWithDesktop(fichier.fullPath());
}

void HousekeepingCommands::startWithFile(const std::string& program, const ListRecord& fichier) const {
    // The path goes as one argument of its own, so it needs no quotes, whatever characters it holds.
    if (m_context.startProgram && !program.empty()) m_context.startProgram(program, {fichier.fullPath()});
}

void HousekeepingCommands::SnapwickExecution(const TParam&, const ListRecord& fichier, std::string&,
                                             TchUpdateType& update) const {
    update = TchUpdateType::utNone;
    startWithFile(m_context.settings.fichierSnapwick, fichier);
}

void HousekeepingCommands::OpenFichierF3Execution(const TParam&, const ListRecord& fichier, std::string&,
                                                  TchUpdateType& update) const {
    update = TchUpdateType::utNone;
    startWithFile(m_context.settings.fichierF3, fichier);
}

void HousekeepingCommands::OpenFichierF4Execution(const TParam&, const ListRecord& fichier, std::string&,
                                                  TchUpdateType& update) const {
    update = TchUpdateType::utNone;
    startWithFile(m_context.settings.fichierF4, fichier);
}

void HousekeepingCommands::OpenFichierF3GeneralCondition(const TParam&, bool& visible) const {
    visible = fileExists(m_context.settings.fichierF3);
}

void HousekeepingCommands::OpenFichierF4GeneralCondition(const TParam&, bool& visible) const {
    visible = fileExists(m_context.settings.fichierF4);
}

void HousekeepingCommands::RiffHeaderExecution(const TParam&, const ListRecord& fichier, std::string&,
                                               TchUpdateType& update) const {
    update = TchUpdateType::utNone;
    if (!m_context.showRiffReport || m_context.showRiffReport(fichier.fullPath())) return;
    if (m_context.showWarning) {
        m_context.showWarning("The file " + fichier.fullPath() +
                              " is busy. It may be used by another process. Please wait.");
    }
}

std::string launcherCaption(const std::string& programPath) {
    std::string name = programPath.substr(programPath.rfind('/') + 1);
    if (const std::size_t dot = name.rfind('.'); dot != std::string::npos && dot > 0) name.resize(dot);
    return "Open with " + name;
}

void applyLauncherCaptions(ActionList& al, const Settings& settings) {
    const std::pair<const char*, const std::string*> launchers[] = {{"afSnapwick", &settings.fichierSnapwick},
                                                                   {"amOpenFichierF3", &settings.fichierF3},
                                                                   {"amOpenFichierF4", &settings.fichierF4}};
    for (const auto& [name, program] : launchers) {
        if (Action* action = al.find(name)) action->caption = launcherCaption(*program);
    }
}

}  // namespace moraven
