#include "commands/conversion_commands.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>

#include "commands/inlay_settings.h"
#include "commands/naming_commands.h"
#include "commands/scene_commands.h"
#include "pipeline/stage_registry.h"

namespace moraven {

namespace {

constexpr std::string_view kType1Suffix = "_type1.avi";
constexpr std::string_view kType2Suffix = "_type2.avi";
constexpr std::string_view kNtscSuffix = "_ntsc.avi";
constexpr std::string_view kPalSuffix = "_pal.avi";
constexpr std::string_view kInlaySuffix = "_in.avi";
constexpr std::string_view kRecompressSuffix = "_dvtype2.avi";
constexpr std::string_view kAudioSuffix = ".wav";
constexpr std::string_view kFixedType2Suffix = "_fixed.avi";
constexpr std::string_view kNewOutputMark = ".moraven-new";
// How many free names beside an output are tried before the conversion gives up.
constexpr int kMaxNewOutputNames = 1000;

bool isDvType(const ListRecord& fichier, int type) { return fichier.isDv() && fichier.dvType() == type; }

// The DV files whose pictures the decoding graphs can read: type 2, or type 1 with the codec "dvsd".
bool decodableDv(const ListRecord& fichier) {
    return fichier.isDv() && (fichier.dvType() == 2 || fichier.codec() == "dvsd");
}

// The encoder takes any standard but PAL as NTSC, an unknown stored number included.
DvSystem recompressSystem(TvStandard standard) {
    return standard == TvStandard::Pal ? DvSystem::Pal625 : DvSystem::Ntsc525;
}

// An unknown stored number gives the setting's default rate.
int recompressSamplesPerSecond(DvSampleRate rate) {
    switch (rate) {
        case DvSampleRate::Hz32000:
            return 32000;
        case DvSampleRate::Hz44100:
            return 44100;
        case DvSampleRate::Hz48000:
            return 48000;
    }
    return 48000;
}

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

void OutputPlacement::discard() const { ::unlink(m_writeTo.c_str()); }

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

void ConversionCommands::NtscPalGeneralCondition(const TParam&, bool& visible) const {
    visible = FindFilter("Pinnacle Video Deinterlacer");
}

void ConversionCommands::NtscFileCondition(const TParam&, const ListRecord& fichier, bool&,
                                           bool& enabled) const {
    enabled = decodableDv(fichier) && fichier.tvSystem() == DvSystem::Pal625;
}

void ConversionCommands::PalFileCondition(const TParam&, const ListRecord& fichier, bool&,
                                          bool& enabled) const {
    enabled = decodableDv(fichier) && fichier.tvSystem() == DvSystem::Ntsc525;
}

void ConversionCommands::IncrusterDatecodeFileCondition(const TParam&, const ListRecord& fichier, bool&,
                                                        bool& enabled) const {
    enabled = decodableDv(fichier);
}

void ConversionCommands::ConvertirDVFileCondition(const TParam&, const ListRecord& fichier, bool&,
                                                  bool& enabled) const {
    enabled = !fichier.isDv();
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

void ConversionCommands::NtscConfirmation(const TParam&, const ListRecord& fichier,
                                          std::string& confirmMsg) const {
    replaceQuestion(ntscOutput(fichier), confirmMsg);
}

void ConversionCommands::PalConfirmation(const TParam&, const ListRecord& fichier,
                                         std::string& confirmMsg) const {
    replaceQuestion(palOutput(fichier), confirmMsg);
}

void ConversionCommands::IncrusterDatecodeConfirmation(const TParam&, const ListRecord& fichier,
                                                       std::string& confirmMsg) const {
    replaceQuestion(inlayOutput(fichier), confirmMsg);
}

void ConversionCommands::ConvertirDVConfirmation(const TParam&, const ListRecord& fichier,
                                                 std::string& confirmMsg) const {
    replaceQuestion(recompressOutput(fichier), confirmMsg);
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

void ConversionCommands::NtscExecution(const TParam&, const ListRecord& fichier, std::string& newfichier,
                                       TchUpdateType& update) {
    changeSystem(fichier, ntscOutput(fichier), DvSystem::Ntsc525, newfichier, update);
}

void ConversionCommands::PalExecution(const TParam&, const ListRecord& fichier, std::string& newfichier,
                                      TchUpdateType& update) {
    changeSystem(fichier, palOutput(fichier), DvSystem::Pal625, newfichier, update);
}

void ConversionCommands::changeSystem(const ListRecord& fichier, const std::string& output, DvSystem system,
                                      std::string& newfichier, TchUpdateType& update) {
    update = TchUpdateType::utNone;
    const bool type1Source = fichier.dvType() != 2;
    const std::int32_t hours = m_context.settings.decalageHoraire;
    const BuildGraph build = [system, type1Source](ConversionGraphs& g, const std::string& in,
                                                   const std::string& out) {
        return g.BuildNtscPalGraph(in, out, system, type1Source);
    };
    // The encoder writes headers of its own: the DV header stage puts the source's back (recording date,
    // timecode), moved by the time difference.
    const Run run = convert(fichier, output, build, [hours](ConversionGraphs& g) {
        g.setRestoreHeader(true);
        g.setHourShift(hours);
    });
    addOutputAfterRun(run, output, newfichier, update);
}

void ConversionCommands::IncrusterDatecodeExecution(const TParam&, const ListRecord& fichier,
                                                    std::string& newfichier, TchUpdateType& update) {
    update = TchUpdateType::utNone;
    const std::string output = inlayOutput(fichier);
    const DvSystem system = fichier.tvSystem();
    const bool type1Source = fichier.dvType() != 2;
    const double framesPerSecond = fichier.fps();
    const BuildGraph build = [system, type1Source](ConversionGraphs& g, const std::string& in,
                                                   const std::string& out) {
        return g.BuildInlayGraph(in, out, system, type1Source);
    };
    const Run run = convert(fichier, output, build, [this, framesPerSecond](ConversionGraphs& g) {
        InlaySetters* setters = m_context.inlaySetters ? m_context.inlaySetters(g) : nullptr;
        SuperposerSetters own(g.Superposer());
        ApplyInlaySettings(setters ? *setters : own, m_context.settings, framesPerSecond, m_context.locale,
                           true);
    });
    addOutputAfterRun(run, output, newfichier, update);
}

void ConversionCommands::ConvertirDVExecution(const TParam&, const ListRecord& fichier,
                                              std::string& newfichier, TchUpdateType& update) {
    update = TchUpdateType::utNone;
    const std::string output = recompressOutput(fichier);
    const DvSystem system = recompressSystem(m_context.settings.standardParDefaut);
    const int samplesPerSecond = recompressSamplesPerSecond(m_context.settings.frequenceDV);
    const BuildGraph build = [system, samplesPerSecond](ConversionGraphs& g, const std::string& in,
                                                        const std::string& out) {
        return g.BuildRecompressGraph(in, out, system, samplesPerSecond);
    };
    addOutputAfterRun(convert(fichier, output, build), output, newfichier, update);
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
    addOutputAfterRun(run, output, newfichier, update);
}

void ConversionCommands::addOutputAfterRun(const Run& run, const std::string& output, std::string& newfichier,
                                           TchUpdateType& update) {
    update = TchUpdateType::utNone;
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

std::string ConversionCommands::ntscOutput(const ListRecord& fichier) const {
    return conversionOutputPath(fichier.fullPath(), kNtscSuffix, m_context.settings);
}

std::string ConversionCommands::palOutput(const ListRecord& fichier) const {
    return conversionOutputPath(fichier.fullPath(), kPalSuffix, m_context.settings);
}

std::string ConversionCommands::inlayOutput(const ListRecord& fichier) const {
    return conversionOutputPath(fichier.fullPath(), kInlaySuffix, m_context.settings);
}

std::string ConversionCommands::recompressOutput(const ListRecord& fichier) const {
    return conversionOutputPath(fichier.fullPath(), kRecompressSuffix, m_context.settings);
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
                                                    const BuildGraph& build,
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
        if (!build(*graphs, input, placement.writeTo())) {
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
            case ConversionOutcome::Aborted:
                if (result.nothingWritten) {
                    // An output without a single frame is no shorter file.
                    placement.discard();
                    break;
                }
                [[fallthrough]];
            case ConversionOutcome::Completed:
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
