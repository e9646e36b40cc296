#include "commands/conversion_commands.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>

#include "commands/naming_commands.h"
#include "commands/scene_commands.h"
#include "pipeline/stage_registry.h"

namespace moraven {

namespace {

constexpr std::string_view kType1Suffix = "_type1.avi";
constexpr std::string_view kType2Suffix = "_type2.avi";
constexpr std::string_view kAudioSuffix = ".wav";
constexpr std::string_view kFixedType2Suffix = "_fixed.avi";
constexpr std::string_view kNewOutputMark = ".moraven-new";
// How many free names beside an output are tried before the conversion gives up.
constexpr int kMaxNewOutputNames = 1000;

bool isDvType(const ListRecord& fichier, int type) { return fichier.isDv() && fichier.dvType() == type; }

bool somethingAt(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

}  // namespace

std::string conversionOutputPath(const std::string& inputPath, std::string_view suffix,
                                 const Settings& settings) {
    const std::string sameFolder = replaceExtension(inputPath, suffix);
    if (settings.sauverDansLeMemeDossier) return sameFolder;
    const std::size_t slash = sameFolder.rfind('/');
    const std::string name = slash == std::string::npos ? sameFolder : sameFolder.substr(slash + 1);
    std::string folder = settings.dossierPourSauver;
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder + name;
}

std::string hourShiftSuffix(std::int32_t hours) {
    std::string suffix = "_hor";
    if (hours > 0) suffix += "+" + std::to_string(hours);
    // Widened first: the negation of the smallest int32 does not fit it.
    if (hours < 0) suffix += "-" + std::to_string(-static_cast<std::int64_t>(hours));
    return suffix + ".avi";
}

bool sameFile(const std::string& a, const std::string& b) {
    if (a == b) return true;
    struct stat first {};
    struct stat second {};
    if (::stat(a.c_str(), &first) != 0 || ::stat(b.c_str(), &second) != 0) return false;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

OutputPlacement::OutputPlacement(std::string output) : m_output(std::move(output)), m_writeTo(m_output) {
    if (!somethingAt(m_output)) return;
    // A name that nothing holds now; the writer refuses it anyway if another program takes it meanwhile.
    for (int n = 1; n <= kMaxNewOutputNames; ++n) {
        std::string candidate = m_output + std::string(kNewOutputMark);
        if (n > 1) candidate += std::to_string(n);
        if (!somethingAt(candidate)) {
            m_writeTo = std::move(candidate);
            return;
        }
    }
    // Every name taken: the writer is handed the output itself, which it refuses; nothing is replaced.
}

std::string OutputPlacement::finish() const {
    if (!replaces() || !somethingAt(m_writeTo)) return {};
    if (::rename(m_writeTo.c_str(), m_output.c_str()) == 0) return {};
    const int error = errno;
    ::unlink(m_writeTo.c_str());
    return "Cannot replace " + m_output + ": " + std::strerror(error);
}

void ConversionCommands::replaceQuestion(const std::string& output, std::string& confirmMsg) const {
    if (!pathExists(output)) {
        m_outputNotAsked = output;
        return;
    }
    m_outputNotAsked.clear();
    confirmMsg = replaceExistingFileQuestion(output);
}

void ConversionCommands::ExtraireAudioGeneralCondition(const TParam&, bool& visible) const {
    visible = FindFilter("WAV Dest");
}

void ConversionCommands::DVtype1FileCondition(const TParam&, const ListRecord& fichier, bool&,
                                              bool& enabled) const {
    enabled = isDvType(fichier, 2);
}

void ConversionCommands::DVType2FileCondition(const TParam&, const ListRecord& fichier, bool&,
                                              bool& enabled) const {
    enabled = isDvType(fichier, 1) && fichier.codec() == "dvsd";
}

void ConversionCommands::ExtraireAudioFileCondition(const TParam&, const ListRecord& fichier, bool& visible,
                                                    bool& enabled) const {
    enabled = fichier.audioText() != "N/A";
    visible = !(isDvType(fichier, 1) && fichier.codec() != "dvsd");
}

void ConversionCommands::CorrigerType2FileCondition(const TParam&, const ListRecord& fichier, bool&,
                                                    bool& enabled) const {
    enabled = isDvType(fichier, 2) && fichier.type2Iavs();
}

void ConversionCommands::DecalerHoraireFileCondition(const TParam&, const ListRecord& fichier, bool& visible,
                                                     bool& enabled) const {
    visible = fichier.isDv();
    enabled = fichier.isDv() && m_context.settings.decalageHoraire != 0;
}

void ConversionCommands::DVtype1Confirmation(const TParam&, const ListRecord& fichier,
                                             std::string& confirmMsg) const {
    replaceQuestion(type1Output(fichier), confirmMsg);
}

void ConversionCommands::DVType2Confirmation(const TParam&, const ListRecord& fichier,
                                             std::string& confirmMsg) const {
    replaceQuestion(type2Output(fichier), confirmMsg);
}

void ConversionCommands::ExtraireAudioConfirmation(const TParam&, const ListRecord& fichier,
                                                   std::string& confirmMsg) const {
    replaceQuestion(audioOutput(fichier), confirmMsg);
}

void ConversionCommands::CorrigerType2Confirmation(const TParam&, const ListRecord& fichier,
                                                   std::string& confirmMsg) const {
    replaceQuestion(fixedType2Output(fichier), confirmMsg);
}

void ConversionCommands::DecalerHoraireConfirmation(const TParam&, const ListRecord& fichier,
                                                    std::string& confirmMsg) const {
    replaceQuestion(hourShiftOutput(fichier), confirmMsg);
}

void ConversionCommands::DVtype1Execution(const TParam&, const ListRecord& fichier, std::string& newfichier,
                                          TchUpdateType& update) {
    const std::string output = type1Output(fichier);
    convert(fichier, output, &ConversionGraphs::BuildType1Graph);
    addOutputAlways(fichier, output, newfichier, update);
}

void ConversionCommands::DVType2Execution(const TParam&, const ListRecord& fichier, std::string& newfichier,
                                          TchUpdateType& update) {
    const std::string output = type2Output(fichier);
    convert(fichier, output, &ConversionGraphs::BuildType2Graph);
    addOutputAlways(fichier, output, newfichier, update);
}

void ConversionCommands::ExtraireAudioExecution(const TParam&, const ListRecord& fichier, std::string&,
                                                TchUpdateType& update) {
    update = TchUpdateType::utNone;
    convert(fichier, audioOutput(fichier), &ConversionGraphs::BuildAudioGraph);
}

void ConversionCommands::CorrigerType2Execution(const TParam&, const ListRecord& fichier,
                                                std::string& newfichier, TchUpdateType& update) {
    const std::string output = fixedType2Output(fichier);
    convert(fichier, output, &ConversionGraphs::BuildRemuxGraph);
    addOutputAlways(fichier, output, newfichier, update);
}

void ConversionCommands::DecalerHoraireExecution(const TParam&, const ListRecord& fichier,
                                                 std::string& newfichier, TchUpdateType& update) {
    update = TchUpdateType::utNone;
    const std::int32_t hours = m_context.settings.decalageHoraire;
    const std::string output = hourShiftOutput(fichier);
    // The DV header stage moves every frame's recording time and copies no stored header back.
    const Run run =
        convert(fichier, output, &ConversionGraphs::BuildTimeShiftGraph, [hours](ConversionGraphs& g) {
            g.setHourShift(hours);
            g.setRestoreHeader(false);
        });
    if (run.built &&
        (run.outcome == ConversionOutcome::Completed || run.outcome == ConversionOutcome::Aborted)) {
        newfichier = output;
        update = TchUpdateType::utAdd;
    }
}

std::string ConversionCommands::type1Output(const ListRecord& fichier) const {
    return conversionOutputPath(fichier.fullPath(), kType1Suffix, m_context.settings);
}

std::string ConversionCommands::type2Output(const ListRecord& fichier) const {
    return conversionOutputPath(fichier.fullPath(), kType2Suffix, m_context.settings);
}

std::string ConversionCommands::audioOutput(const ListRecord& fichier) const {
    return conversionOutputPath(fichier.fullPath(), kAudioSuffix, m_context.settings);
}

std::string ConversionCommands::fixedType2Output(const ListRecord& fichier) const {
    return conversionOutputPath(fichier.fullPath(), kFixedType2Suffix, m_context.settings);
}

std::string ConversionCommands::hourShiftOutput(const ListRecord& fichier) const {
    return conversionOutputPath(fichier.fullPath(), hourShiftSuffix(m_context.settings.decalageHoraire),
                                m_context.settings);
}

ConversionCommands::Run ConversionCommands::convert(const ListRecord& fichier, const std::string& output,
                                                    BuildGraph build,
                                                    const std::function<void(ConversionGraphs&)>& configure) {
    Run run;
    const std::string input = fichier.fullPath();
    // The question was asked of this output a moment ago, and it was not there: a file that took its name
    // since then is nobody's agreement to replace.
    const bool askedWithoutOutput = output == m_outputNotAsked;
    m_outputNotAsked.clear();
    if (askedWithoutOutput && pathExists(output)) {
        failure("Cannot convert " + input + ": " + output +
                " appeared after the question and is left as it is");
        return run;
    }
    if (sameFile(input, output)) {
        failure("Cannot convert " + input + ": the output " + output + " is the video itself");
        return run;
    }
    ConversionGraphs* graphs = m_context.conversions ? m_context.conversions() : nullptr;
    if (!graphs) {
        failure("Cannot convert " + input + ": the conversions are not available");
        return run;
    }
    try {
        const OutputPlacement placement(output);
        if (!(graphs->*build)(input, placement.writeTo())) {
            const std::string reason = graphs->lastBuildError();
            failure("Cannot convert " + input + (reason.empty() ? std::string() : ": " + reason));
            return run;
        }
        run.built = true;
        if (configure) configure(*graphs);
        const auto tick = [this](int percent) {
            return m_context.waitForWork && m_context.waitForWork(percent);
        };
        const ConversionResult result = graphs->RunConversionGraph(tick);
        run.outcome = result.outcome;
        switch (result.outcome) {
            case ConversionOutcome::Completed:
            case ConversionOutcome::Aborted:
                if (const std::string error = placement.finish(); !error.empty()) {
                    failure(error);
                    // The new file did not take the output's name: the list has nothing new to show.
                    run.outcome = ConversionOutcome::Failed;
                    return run;
                }
                for (const std::string& note : result.warnings) warning(output + ": " + note);
                break;
            case ConversionOutcome::Failed:
                failure("Cannot convert " + input +
                        (result.message.empty() ? std::string() : ": " + result.message));
                break;
            case ConversionOutcome::ZeroDuration:
                warning(input + ": nothing to convert");
                break;
        }
    } catch (const std::exception& error) {
        // The command ends for this file; the source and any old output are as they were.
        failure(error.what());
        run.outcome = ConversionOutcome::Failed;
    }
    return run;
}

void ConversionCommands::addOutputAlways(const ListRecord& fichier, const std::string& output,
                                         std::string& newfichier, TchUpdateType& update) const {
    // The list takes the output only when it exists, an old one included; an output refused for being the
    // video itself is not touched.
    update = TchUpdateType::utNone;
    if (sameFile(fichier.fullPath(), output)) return;
    newfichier = output;
    update = TchUpdateType::utAdd;
}

void ConversionCommands::failure(const std::string& text) const {
    if (m_context.reportFailure) m_context.reportFailure(text);
}

void ConversionCommands::warning(const std::string& text) const {
    if (m_context.reportWarning) m_context.reportWarning(text);
}

}  // namespace moraven
