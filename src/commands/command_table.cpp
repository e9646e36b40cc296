#include "commands/command_table.h"

#include <array>

namespace moraven {

namespace {

// The handlers of a row are plain functions on the command module; handler<&Class::Method> makes one from
// a method of one of the module's handler objects.
using FileConditionHandler = void (*)(Tch&, const TParam&, const ListRecord&, bool&, bool&);
using ConfirmationHandler = void (*)(Tch&, const TParam&, const ListRecord&, std::string&);
using ExecutionHandler = void (*)(Tch&, const TParam&, const ListRecord&, std::string&, TchUpdateType&);
using GeneralConditionHandler = void (*)(Tch&, const TParam&, bool&);
using ParamSource = TParam (*)(Tch&);

template <class Handlers>
Handlers& handlersOf(Tch& tch);
template <>
NamingCommands& handlersOf<NamingCommands>(Tch& tch) {
    return tch.naming();
}
template <>
SceneCommands& handlersOf<SceneCommands>(Tch& tch) {
    return tch.scenes();
}
template <>
HousekeepingCommands& handlersOf<HousekeepingCommands>(Tch& tch) {
    return tch.housekeeping();
}
template <>
PlayerCommands& handlersOf<PlayerCommands>(Tch& tch) {
    return tch.player();
}
template <>
RepairCommands& handlersOf<RepairCommands>(Tch& tch) {
    return tch.repairs();
}

template <>
ConversionCommands& handlersOf<ConversionCommands>(Tch& tch) {
    return tch.conversions();
}

template <class>
struct MethodClass;
template <class Signature, class Class>
struct MethodClass<Signature Class::*> {
    using type = Class;
};

template <auto Method, class... Args>
void handler(Tch& tch, Args... args) {
    (handlersOf<typename MethodClass<decltype(Method)>::type>(tch).*Method)(args...);
}

template <auto Method>
constexpr GeneralConditionHandler generalCondition = &handler<Method, const TParam&, bool&>;
template <auto Method>
constexpr FileConditionHandler fileCondition =
    &handler<Method, const TParam&, const ListRecord&, bool&, bool&>;
template <auto Method>
constexpr ConfirmationHandler confirmation = &handler<Method, const TParam&, const ListRecord&, std::string&>;
template <auto Method>
constexpr ExecutionHandler execution =
    &handler<Method, const TParam&, const ListRecord&, std::string&, TchUpdateType&>;

TParam creerScenesParam(Tch& tch) { return tch.scenes().CreerScenesParam(); }
TParam scenesTextParam(Tch& tch) { return tch.scenes().ScenesTextParam(); }

struct CommandRow {
    std::string_view name;
    std::string_view action;
    std::string_view category;
    std::string_view menuCaption;
    std::string_view actionShortcut;  // empty: the action takes the command's shortcut
    std::string_view shortcut;
    std::string_view letter;
    std::string_view caption;
    std::string_view monoMessage;
    Runner runner;
    FileConditionHandler fileCondition;
    ConfirmationHandler confirmation;
    ExecutionHandler execution;
    std::string_view modele = {};
    ParamSource param = nullptr;
    GeneralConditionHandler generalCondition = nullptr;
};

// Component order.
constexpr std::array kCommandTable{
    CommandRow{"DossierParent", "amDossierParent", "mono", "Parent folder", "Ctrl+F", "", "", "Parent folder",
               "", Runner::OnCurrentFile, nullptr, nullptr,
               execution<&HousekeepingCommands::DossierParentExecution>},
    CommandRow{"SupprimerFichier", "amSupprimerFichier", "multi", "Delete the file", "Shift+Del", "", "e",
               "Delete the file", "Deleting...", Runner::OnSelection,
               fileCondition<&HousekeepingCommands::SupprimerFichierFileCondition>,
               confirmation<&HousekeepingCommands::SupprimerFichierConfirmation>,
               execution<&HousekeepingCommands::SupprimerFichierExecution>},
    CommandRow{"oterfichier", "amOterFichier", "multi", "Remove the file from list", "Del", "", "",
               "Remove the file", "", Runner::OnSelection, nullptr, nullptr,
               execution<&HousekeepingCommands::OterFichierExecution>},
    CommandRow{"RiffHeader", "amRiffHeader", "mono", "Read the RIFF header", "Ctrl+H", "Ctrl+H", "",
               "Display the RIFF header", "", Runner::OnCurrentFile, nullptr, nullptr,
               execution<&HousekeepingCommands::RiffHeaderExecution>},
    CommandRow{"DefaultPlayer", "amDefaultPlayer", "mono", "Play in the default media player", "F5", "F5", "",
               "Play with the default player", "", Runner::OnCurrentFile, nullptr, nullptr,
               execution<&HousekeepingCommands::DefaultPlayerExecution>},
    CommandRow{"AjouterTimecode", "amAjouterTimecode", "multi", "Add timecode", "Ctrl+T", "Ctrl+T", "t",
               "Add the timecode", "", Runner::OnSelection,
               fileCondition<&NamingCommands::TimecodeFileCondition>,
               confirmation<&NamingCommands::AjouterTimecodeConfirmation>,
               execution<&NamingCommands::AjouterTimecodeExecution>},
    CommandRow{"AjouterDateCode", "amAjouterDatecode", "multi", "Add datecode", "Ctrl+D", "Ctrl+D", "d",
               "Add the datecode", "", Runner::OnSelection,
               fileCondition<&NamingCommands::DatecodeFileCondition>,
               confirmation<&NamingCommands::AjouterDateCodeConfirmation>,
               execution<&NamingCommands::AjouterDateCodeExecution>},
    CommandRow{
        "PurgerNom", "amPurgerNom", "multi", "Shorten the name", "", "Ctrl+Q", "q", "Shorten the filename",
        "", Runner::OnSelection, fileCondition<&NamingCommands::PurgerNomFileCondition>,
        confirmation<&NamingCommands::PurgerNomConfirmation>, execution<&NamingCommands::PurgerNomExecution>},
    CommandRow{
        "FileDate", "amFileDate", "multi", "Modify the date of file", "", "Ctrl+B", "b",
        "Modify the filedate", "", Runner::OnSelection, fileCondition<&NamingCommands::DatecodeFileCondition>,
        confirmation<&NamingCommands::FileDateConfirmation>, execution<&NamingCommands::FileDateExecution>},
    CommandRow{"RenameScAn", "amRenameScAn", "multi", "Rename", "Ctrl+R", "Ctrl+R", "r", "Rename ", "",
               Runner::OnSelection, fileCondition<&NamingCommands::DatecodeFileCondition>,
               confirmation<&NamingCommands::RenameScAnConfirmation>,
               execution<&NamingCommands::RenameScAnExecution>},
    CommandRow{"DVtype1", "amDVType1", "multi", "Convert in DV type 1", "Ctrl+Num+1", "Ctrl+1", "1",
               "Converting into DV type 1", "Converting \"%s\" into type 1", Runner::Conversion,
               fileCondition<&ConversionCommands::DVtype1FileCondition>,
               confirmation<&ConversionCommands::DVtype1Confirmation>,
               execution<&ConversionCommands::DVtype1Execution>},
    CommandRow{"DVType2", "amDVType2", "multi", "Convert in DV type 2", "Ctrl+Num+2", "Ctrl+2", "2",
               "Converting into DV type 2", "Converting \"%s\" into type 2", Runner::Conversion,
               fileCondition<&ConversionCommands::DVType2FileCondition>,
               confirmation<&ConversionCommands::DVType2Confirmation>,
               execution<&ConversionCommands::DVType2Execution>},
    CommandRow{"Ntsc", "amNTSC", "multi", "Convert in NTSC", "Ctrl+N", "", "n", "Convert into NTSC",
               "Converting \"%s\" into NTSC", Runner::Conversion,
               fileCondition<&ConversionCommands::NtscFileCondition>,
               confirmation<&ConversionCommands::NtscConfirmation>,
               execution<&ConversionCommands::NtscExecution>, "", nullptr,
               generalCondition<&ConversionCommands::NtscPalGeneralCondition>},
    CommandRow{"Pal", "amPal", "multi", "Convert in Pal", "Ctrl+P", "", "p", "Convert into Pal",
               "Converting \"%s\" into Pal", Runner::Conversion,
               fileCondition<&ConversionCommands::PalFileCondition>,
               confirmation<&ConversionCommands::PalConfirmation>,
               execution<&ConversionCommands::PalExecution>, "", nullptr,
               generalCondition<&ConversionCommands::NtscPalGeneralCondition>},
    CommandRow{"IncrusterDatecode", "amIncrusterDatecode", "multi", "Inlay", "Ctrl+I", "Ctrl+I", "i",
               "Inlay the datecode", "Inlaying the datecode into \"%s\"", Runner::Conversion,
               fileCondition<&ConversionCommands::IncrusterDatecodeFileCondition>,
               confirmation<&ConversionCommands::IncrusterDatecodeConfirmation>,
               execution<&ConversionCommands::IncrusterDatecodeExecution>},
    CommandRow{"ConvertirDV", "amConvertirDV", "multi", "Recompress in DV type 2", "Ctrl+G", "Ctrl+G", "g",
               "Recompress into DV type 2", "Converting \"%s\" into DV type 2", Runner::Conversion,
               fileCondition<&ConversionCommands::ConvertirDVFileCondition>,
               confirmation<&ConversionCommands::ConvertirDVConfirmation>,
               execution<&ConversionCommands::ConvertirDVExecution>},
    CommandRow{"CreerScenes", "amCreerScenes", "multi", "Create a scn file", "Ctrl+S", "", "s",
               "Create a scn file", "Creating a scn file for \"%s\"", Runner::Conversion, nullptr,
               confirmation<&SceneCommands::CreerScenesConfirmation>,
               execution<&SceneCommands::CreerScenesExecution>, "", &creerScenesParam},
    CommandRow{"SupprimerScenes", "amSupprimerScenes", "multi", "Delete the scn file", "", "Ctrl+Z", "z",
               "Delete the scn file", "", Runner::OnSelection,
               fileCondition<&SceneCommands::SupprimerScenesFileCondition>,
               confirmation<&SceneCommands::SupprimerScenesConfirmation>,
               execution<&SceneCommands::SupprimerScenesExecution>},
    CommandRow{"ExtraireAudio", "amExtraireAudio", "multi", "Extact audio", "Ctrl+W", "Ctrl+W", "w",
               "Extract audio", "Extracting audio from \"%s\"", Runner::Conversion,
               fileCondition<&ConversionCommands::ExtraireAudioFileCondition>,
               confirmation<&ConversionCommands::ExtraireAudioConfirmation>,
               execution<&ConversionCommands::ExtraireAudioExecution>, "", nullptr,
               generalCondition<&ConversionCommands::ExtraireAudioGeneralCondition>},
    CommandRow{"CorrigerFps", "amCorrigerFps", "multi", "Fix the video framerate", "Ctrl+Y", "Ctrl+Y", "",
               "Fix the framerate", "", Runner::Conversion,
               fileCondition<&RepairCommands::CorrigerFpsFileCondition>,
               confirmation<&RepairCommands::CorrigerFpsConfirmation>,
               execution<&RepairCommands::CorrigerFpsExecution>},
    CommandRow{"ScenesText", "amScenesText", "multi", "Export the scenes to text", "", "Ctrl+X", "x",
               "Export the list of scenes", "Exporting the list of scenes of \"%s\" into text",
               Runner::Conversion, nullptr, confirmation<&SceneCommands::ScenesTextConfirmation>, nullptr,
               "CreerScenes", &scenesTextParam},
    // Started by the window's own action afSnapwick; without a caption it gets no action of its own.
    CommandRow{"Snapwick", "afSnapwick", "mono", "", "", "F3", "", "", "", Runner::OnCurrentFile, nullptr,
               nullptr, execution<&HousekeepingCommands::SnapwickExecution>},
    CommandRow{"AfficherIncrustation", "amAfficherIncrustation", "mono", "Display the inlay", "F12", "F12", "",
               "Display the datecode", "", Runner::OnCurrentFile,
               fileCondition<&PlayerCommands::PlayerInlayFileCondition>, nullptr,
               execution<&PlayerCommands::AfficherIncrustationExecution>},
    CommandRow{"AfficherSliders", "amAfficherSliders", "mono", "Modify the position of inlay", "Alt+I", "", "",
               "Modify the position of Inlay", "", Runner::OnCurrentFile,
               fileCondition<&PlayerCommands::PlayerInlayFileCondition>, nullptr,
               execution<&PlayerCommands::AfficherSlidersExecution>},
    // Offered always: its file condition alone decides (DV files, with a time difference set).
    CommandRow{"DecalerHoraire", "amDecalerHoraire", "multi", "Fix a time difference", "Ctrl+E", "", "",
               "Fix the time difference", "Fixing the time difference in \"%s\"", Runner::Conversion,
               fileCondition<&ConversionCommands::DecalerHoraireFileCondition>,
               confirmation<&ConversionCommands::DecalerHoraireConfirmation>,
               execution<&ConversionCommands::DecalerHoraireExecution>},
    CommandRow{"CorrigerCodec", "amCorrigerCodec", "multi", "Change the codec", "Ctrl+K", "", "",
               "Change the codec", "", Runner::Conversion, nullptr,
               confirmation<&RepairCommands::CorrigerCodecConfirmation>,
               execution<&RepairCommands::CorrigerCodecExecution>},
    CommandRow{"CorrigerType2", "amCorrigertype2", "multi", "Fix the DV type 2", "Shift+Ctrl+2", "", "",
               "Fix DV type2", "Fix the DV type 2 file %s", Runner::ByCategory,
               fileCondition<&ConversionCommands::CorrigerType2FileCondition>,
               confirmation<&ConversionCommands::CorrigerType2Confirmation>,
               execution<&ConversionCommands::CorrigerType2Execution>},
    CommandRow{"OpenFichierF3", "amOpenFichierF3", "multi", "Open with...", "F3", "", "", "Open with", "",
               Runner::OnSelection, nullptr, nullptr, execution<&HousekeepingCommands::OpenFichierF3Execution>,
               "", nullptr, generalCondition<&HousekeepingCommands::OpenFichierF3GeneralCondition>},
    CommandRow{"OpenFichierF4", "amOpenFichierF4", "multi", "Open with...", "F4", "F4", "", "Open with...", "",
               Runner::OnSelection, nullptr, nullptr, execution<&HousekeepingCommands::OpenFichierF4Execution>,
               "", nullptr, generalCondition<&HousekeepingCommands::OpenFichierF4GeneralCondition>},
};

// The command actions in the order of the window's action list, which is also the order of the switches.
constexpr std::array kActionOrder{
    std::string_view("amDossierParent"),     std::string_view("amSupprimerFichier"),
    std::string_view("amOterFichier"),       std::string_view("amRiffHeader"),
    std::string_view("amDefaultPlayer"),     std::string_view("amAjouterDatecode"),
    std::string_view("amAjouterTimecode"),   std::string_view("amPurgerNom"),
    std::string_view("amFileDate"),          std::string_view("amRenameScAn"),
    std::string_view("amDVType1"),           std::string_view("amDVType2"),
    std::string_view("amNTSC"),              std::string_view("amPal"),
    std::string_view("amIncrusterDatecode"), std::string_view("amConvertirDV"),
    std::string_view("amCreerScenes"),       std::string_view("amSupprimerScenes"),
    std::string_view("amExtraireAudio"),     std::string_view("amScenesText"),
    std::string_view("amCorrigerFps"),       std::string_view("amCorrigerCodec"),
    std::string_view("amDecalerHoraire"),    std::string_view("amCorrigertype2"),
    std::string_view("amOpenFichierF3"),     std::string_view("amOpenFichierF4"),
    std::string_view("amAfficherIncrustation"), std::string_view("amAfficherSliders")};

constexpr int kCommandImageIndex = 15;

}  // namespace

Tch::Tch(const CommandContext& context)
    : m_naming(context),
      m_scenes(context),
      m_housekeeping(context),
      m_player(context),
      m_repairs(context),
      m_conversions(context) {
    for (const CommandRow& row : kCommandTable) {
        tFileAction command;
        command.Name = row.name;
        command.Switch = asciiLower(row.letter);
        command.actionName = row.action;
        command.actionCategory = row.category;
        command.menuCaption = row.menuCaption;
        command.actionShortcut = row.actionShortcut;
        command.runner = row.runner;
        command.Modele = row.modele;
        if (row.param) command.param = row.param(*this);
        if (row.generalCondition) {
            command.OnGeneralCondition = [this, f = row.generalCondition](const TParam& p, bool& visible) {
                f(*this, p, visible);
            };
        }
        if (row.fileCondition) {
            command.OnFileCondition = [this, f = row.fileCondition](const TParam& p, const ListRecord& r,
                                                                    bool& visible, bool& enabled) {
                f(*this, p, r, visible, enabled);
            };
        }
        if (row.confirmation) {
            command.OnConfirmation = [this, f = row.confirmation](const TParam& p, const ListRecord& r,
                                                                  std::string& msg) { f(*this, p, r, msg); };
        }
        if (row.execution) {
            command.OnExecution = [this, f = row.execution](const TParam& p, const ListRecord& r,
                                                            std::string& newfichier, TchUpdateType& update) {
                f(*this, p, r, newfichier, update);
            };
        }
        m_commands.push_back(std::move(command));
    }
    ApplyCommandTexts();
}

void Tch::ApplyCommandTexts() {
    for (tFileAction& command : m_commands) {
        for (const CommandRow& row : kCommandTable) {
            if (row.name != command.Name) continue;
            command.Caption = row.caption;
            command.MonoMessage = row.monoMessage;
            command.Shortcut = row.shortcut;
        }
    }
}

tFileAction* Tch::findByName(std::string_view name) {
    const std::string wanted = asciiLower(name);
    for (tFileAction& command : m_commands) {
        if (asciiLower(command.Name) == wanted) return &command;
    }
    return nullptr;
}

tFileAction* Tch::FindCommand(std::string_view actionName) {
    const std::string lower = asciiLower(actionName);
    if (lower.size() < 2) return nullptr;
    const std::string_view prefix = std::string_view(lower).substr(0, 2);
    if (prefix != "am" && prefix != "at" && prefix != "pm" && prefix != "pt") return nullptr;
    return findByName(std::string_view(lower).substr(2));
}

tFileAction* Tch::commandOfAction(std::string_view actionName) {
    const std::string wanted = asciiLower(actionName);
    for (tFileAction& command : m_commands) {
        if (asciiLower(command.actionName) == wanted) return &command;
    }
    return FindCommand(actionName);
}

void Tch::appendCommandActions(ActionList& al) const {
    for (std::string_view name : kActionOrder) {
        if (al.indexOf(name)) continue;
        for (const tFileAction& command : m_commands) {
            if (command.actionName != name) continue;
            Action action;
            action.name = command.actionName;
            action.category = command.actionCategory;
            action.caption = command.menuCaption;
            action.shortcut = command.actionShortcut;
            action.hasHandler = true;  // its handler calls the command's runner
            al.append(std::move(action));
        }
    }
}

void Tch::BuildCommandMenus(ActionList& al) {
    for (tFileAction& command : m_commands) {
        if (!command.Modele.empty()) {
            const tFileAction* model = nullptr;
            for (const tFileAction& other : m_commands) {
                if (other.Name == command.Modele) model = &other;
            }
            if (!model) continue;  // a model that does not exist: no action for this command
            if (!command.OnGeneralCondition) command.OnGeneralCondition = model->OnGeneralCondition;
            if (!command.OnFileCondition) command.OnFileCondition = model->OnFileCondition;
            if (!command.OnConfirmation) command.OnConfirmation = model->OnConfirmation;
            if (!command.OnExecution) command.OnExecution = model->OnExecution;
        }
        bool visible = true;
        if (command.OnGeneralCondition) command.OnGeneralCondition(command.param, visible);
        if (Action* action = al.find("am" + command.Name)) {
            action->visible = action->enabled = visible;
            if (action->shortcut.empty()) action->shortcut = command.Shortcut;
            if (action->caption.empty()) action->caption = command.Caption;
            if (action->category.empty()) action->category = "multi";
            if (action->imageIndex == -1) action->imageIndex = kCommandImageIndex;
        } else if (!command.Caption.empty()) {
            Action created;
            created.name = "pm" + command.Name;
            created.category = "multi";
            created.imageIndex = kCommandImageIndex;
            created.caption = command.Caption;
            created.shortcut = command.Shortcut;
            created.hasHandler = false;  // runs through RunByCategory
            created.visible = created.enabled = visible;
            al.append(std::move(created));
        }
    }
}

}  // namespace moraven
