#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "commands/command_context.h"
#include "commands/file_action.h"
#include "pipeline/conversion/conversion_graphs.h"
#include "settings/preferences.h"

namespace moraven {

// The output of a conversion of `inputPath`: the input's extension replaced by `suffix` ("_type1.avi",
// ".wav"), in the input's folder when "Sauver dans le même dossier" is on, else in "Dossier pour Sauver"
// (which ends with a separator; one is put in when it does not).
std::string conversionOutputPath(const std::string& inputPath, std::string_view suffix,
                                 const Settings& settings);

// The suffix of the time-shift copy: "_hor+3.avi" for 3 hours, "_hor-5.avi" for -5, "_hor.avi" for 0.
std::string hourShiftSuffix(std::int32_t hours);

// Whether two paths name the same file: the same text, or the same device and inode.
bool sameFile(const std::string& a, const std::string& b);

// Where a conversion writes so that it never replaces a file in passing. The writers refuse an existing
// output; when the user agreed to replace one, the conversion writes under a free name beside it
// ("<output>.moraven-new", then "<output>.moraven-new2", ...) and finish() renames the new file over the old
// one (rename(2): the old output is there, whole, until the new one takes its name). A run that failed
// leaves the old output as it was. Window thread only.
class OutputPlacement {
public:
    // Looks at the output once: free, the conversion writes under its name; taken, under a free name beside
    // it. Nothing is created here.
    explicit OutputPlacement(std::string output);

    const std::string& output() const { return m_output; }
    // The path the conversion's graph writes to.
    const std::string& writeTo() const { return m_writeTo; }
    bool replaces() const { return m_writeTo != m_output; }

    // After a run whose output is complete (finished or aborted): the new file takes the output's name. An
    // empty answer when that is done or nothing was to move; else why the rename failed (the new file is
    // removed then and the old output stays).
    std::string finish() const;
    // After a run that wrote nothing worth keeping: the new file goes, and an old output stays as it was.
    void discard() const;

private:
    std::string m_output;
    std::string m_writeTo;
};

// The handlers of the conversions into new files: DVtype1 (type 2 to type 1), DVType2 (type 1 to type 2),
// Ntsc and Pal (the pictures re-encoded for the other television system), IncrusterDatecode (the datecode
// drawn into the pictures), ConvertirDV (any AVI recompressed into DV type 2), ExtraireAudio (the sound into
// WAV), CorrigerType2 (a rebuilt copy of a type-2 file) and DecalerHoraire (a copy whose recording time is
// moved by whole hours). Each runs one graph of CommandContext::conversions
// from the file to its output, with the progress shown and Esc answered through
// CommandContext::waitForWork. The source is never written; an existing output is replaced only after the
// run (see OutputPlacement), the replace question having been asked (or hidden mode asking nothing).
// Failures (no conversions, a graph that cannot be built, a failed run, the output in place of the input)
// go through CommandContext::reportFailure, which the window leaves empty; notes of a run that completed go
// through CommandContext::reportWarning. Window thread only.
class ConversionCommands {
public:
    explicit ConversionCommands(const CommandContext& context) : m_context(context) {}

    // Offered only when the "WAV Dest" stage is installed (asked once, at start).
    void ExtraireAudioGeneralCondition(const TParam& param, bool& visible) const;
    // Ntsc and Pal: offered only when the "Pinnacle Video Deinterlacer" stage is installed.
    void NtscPalGeneralCondition(const TParam& param, bool& visible) const;

    // DV type 2 files.
    void DVtype1FileCondition(const TParam& param, const ListRecord& fichier, bool& visible,
                              bool& enabled) const;
    // DV type 1 files whose codec is exactly "dvsd".
    void DVType2FileCondition(const TParam& param, const ListRecord& fichier, bool& visible,
                              bool& enabled) const;
    // DV files of the other system (PAL for Ntsc, NTSC for Pal) that are DV type 2 or whose codec is exactly
    // "dvsd".
    void NtscFileCondition(const TParam& param, const ListRecord& fichier, bool& visible,
                           bool& enabled) const;
    void PalFileCondition(const TParam& param, const ListRecord& fichier, bool& visible, bool& enabled) const;
    // DV files that are DV type 2 or whose codec is exactly "dvsd".
    void IncrusterDatecodeFileCondition(const TParam& param, const ListRecord& fichier, bool& visible,
                                        bool& enabled) const;
    // Enabled for files that are not DV; always visible.
    void ConvertirDVFileCondition(const TParam& param, const ListRecord& fichier, bool& visible,
                                  bool& enabled) const;
    // Enabled when the file has sound; hidden for a DV type-1 file whose codec is not "dvsd".
    void ExtraireAudioFileCondition(const TParam& param, const ListRecord& fichier, bool& visible,
                                    bool& enabled) const;
    // DV type 2 files whose interleaved stream sits among other streams.
    void CorrigerType2FileCondition(const TParam& param, const ListRecord& fichier, bool& visible,
                                    bool& enabled) const;
    // Visible for DV files; enabled for them when "Décalage Horaire" is not 0.
    void DecalerHoraireFileCondition(const TParam& param, const ListRecord& fichier, bool& visible,
                                     bool& enabled) const;

    // The replace question when the command's output exists; none otherwise.
    void DVtype1Confirmation(const TParam& param, const ListRecord& fichier, std::string& confirmMsg) const;
    void DVType2Confirmation(const TParam& param, const ListRecord& fichier, std::string& confirmMsg) const;
    void NtscConfirmation(const TParam& param, const ListRecord& fichier, std::string& confirmMsg) const;
    void PalConfirmation(const TParam& param, const ListRecord& fichier, std::string& confirmMsg) const;
    void IncrusterDatecodeConfirmation(const TParam& param, const ListRecord& fichier,
                                       std::string& confirmMsg) const;
    void ConvertirDVConfirmation(const TParam& param, const ListRecord& fichier,
                                 std::string& confirmMsg) const;
    void ExtraireAudioConfirmation(const TParam& param, const ListRecord& fichier,
                                   std::string& confirmMsg) const;
    void CorrigerType2Confirmation(const TParam& param, const ListRecord& fichier,
                                   std::string& confirmMsg) const;
    void DecalerHoraireConfirmation(const TParam& param, const ListRecord& fichier,
                                    std::string& confirmMsg) const;

    // The conversions. DVtype1, DVType2 and CorrigerType2 answer utAdd with the output whatever happened
    // (the list takes it only when it exists); ExtraireAudio answers utNone (a WAV file is not listed);
    // Ntsc, Pal, IncrusterDatecode, ConvertirDV and DecalerHoraire answer utAdd with the output only after a
    // run that completed or was aborted, else utNone.
    //
    // Ntsc and Pal build the graph of the file's DV type for NTSC or PAL and set the DV header stage to
    // copy the source's frame headers back and to move the recording time by "Décalage Horaire" hours.
    // IncrusterDatecode builds the inlay graph of the file's DV type and its own system, then sets the
    // inlay stage from the inlay settings (ApplyInlaySettings, enabled, with the file's frame rate and the
    // context's date locale); the DV header stage keeps what the last run left. ConvertirDV builds the
    // recompression for "Standard par défaut" (an unknown number counts as NTSC, as the encoder has always
    // taken anything but PAL) with the sound at "Frequence DV" (0: 32000 Hz, 1: 44100 Hz, 2 or an unknown
    // number: 48000 Hz, the setting's default).
    void DVtype1Execution(const TParam& param, const ListRecord& fichier, std::string& newfichier,
                          TchUpdateType& update);
    void DVType2Execution(const TParam& param, const ListRecord& fichier, std::string& newfichier,
                          TchUpdateType& update);
    void NtscExecution(const TParam& param, const ListRecord& fichier, std::string& newfichier,
                       TchUpdateType& update);
    void PalExecution(const TParam& param, const ListRecord& fichier, std::string& newfichier,
                      TchUpdateType& update);
    void IncrusterDatecodeExecution(const TParam& param, const ListRecord& fichier, std::string& newfichier,
                                    TchUpdateType& update);
    void ConvertirDVExecution(const TParam& param, const ListRecord& fichier, std::string& newfichier,
                              TchUpdateType& update);
    void ExtraireAudioExecution(const TParam& param, const ListRecord& fichier, std::string& newfichier,
                                TchUpdateType& update);
    void CorrigerType2Execution(const TParam& param, const ListRecord& fichier, std::string& newfichier,
                                TchUpdateType& update);
    void DecalerHoraireExecution(const TParam& param, const ListRecord& fichier, std::string& newfichier,
                                 TchUpdateType& update);

    // The outputs of a file, by the settings of the context.
    std::string type1Output(const ListRecord& fichier) const;
    std::string type2Output(const ListRecord& fichier) const;
    std::string ntscOutput(const ListRecord& fichier) const;
    std::string palOutput(const ListRecord& fichier) const;
    std::string inlayOutput(const ListRecord& fichier) const;
    std::string recompressOutput(const ListRecord& fichier) const;
    std::string audioOutput(const ListRecord& fichier) const;
    std::string fixedType2Output(const ListRecord& fichier) const;
    std::string hourShiftOutput(const ListRecord& fichier) const;

private:
    // Builds one graph from the input to the output (a builder of ConversionGraphs, with its other
    // arguments bound).
    using BuildGraph =
        std::function<bool(ConversionGraphs& graphs, const std::string& input, const std::string& output)>;
    // How a conversion of one file ended: not run (nothing to convert with, no graph, the output in place
    // of the input), or the run's outcome.
    struct Run {
        bool built = false;
        ConversionOutcome outcome = ConversionOutcome::Failed;
    };

    // Builds the graph from the file to `output` (or to the free name beside an existing output), lets
    // `configure` set the graph's stages, runs it, and puts the new file in place; reports what failed.
    Run convert(const ListRecord& fichier, const std::string& output, const BuildGraph& build,
                const std::function<void(ConversionGraphs&)>& configure = {});
    // The re-encoding into `system`, with the DV header stage copying the source's frame headers back.
    void changeSystem(const ListRecord& fichier, const std::string& output, DvSystem system,
                      std::string& newfichier, TchUpdateType& update);
    // utAdd with the output after a run that completed or was aborted; utNone otherwise.
    static void addOutputAfterRun(const Run& run, const std::string& output, std::string& newfichier,
                                  TchUpdateType& update);
    // utAdd with the output, whatever the conversion did; utNone when the output is the video itself.
    void addOutputAlways(const ListRecord& fichier, const std::string& output, std::string& newfichier,
                         TchUpdateType& update) const;
    // The replace question when `output` exists; otherwise none, and `output` is remembered as one the user
    // was not asked about (the execution that follows will not replace a file that appears there).
    void replaceQuestion(const std::string& output, std::string& confirmMsg) const;
    void failure(const std::string& text) const;
    void warning(const std::string& text) const;

    const CommandContext& m_context;
    // The output of the last question that found no file to replace; cleared by the execution.
    mutable std::string m_outputNotAsked;
};

}  // namespace moraven
