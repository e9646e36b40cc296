#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "commands/command_context.h"
#include "commands/file_action.h"
#include "window/choice_dialog_state.h"

namespace moraven {

// The entries of the frame-rate dialog's radio group.
enum FrameRateChoice : int { kFrameRatePal = 0, kFrameRateNtsc = 1, kFrameRatePersonalized = 2 };
// The entries of the codec dialog's radio group.
enum CodecChoice : int { kCodecDvsd = 0, kCodecDsvd = 1, kCodecCdvc = 2, kCodecPersonalized = 3 };

// A decimal number as the user writes it with `separator`: blanks around it, an optional sign, digits with
// at most one separator, an optional exponent. Nothing for any other text, another separator included, and
// for a value that is not finite.
std::optional<double> parseLocalDecimal(std::string_view text, std::string_view separator);
// The shortest text that reads back as `value`, with `separator` in place of the decimal point.
std::string formatLocalDecimal(double value, std::string_view separator);

// A four-character code packed into 32 bits, its first character in the lowest byte; characters past the
// fourth are dropped and missing ones are zero bytes.
std::uint32_t packFourCC(std::string_view code);

// Runs `patch` on the file; when the file is read-only the owner's write permission is granted for the
// time of the patch and taken back afterwards.
void patchAllowingReadOnly(const std::string& path, bool readOnly, const std::function<void()>& patch);

// The handlers of the two in-place header repairs: CorrigerFps ("Fix the video framerate") and
// CorrigerCodec ("Change the codec"). Each asks for the new value in its dialog, whose choice is kept for
// the next use during the run, and patches the file's headers where they are.
class RepairCommands {
public:
    explicit RepairCommands(const CommandContext& context) : m_context(context) {}

    // Offered for files that are not DV type 1 (type-2 DV and other videos).
    void CorrigerFpsFileCondition(const TParam& param, const ListRecord& fichier, bool& visible,
                                  bool& enabled) const;
    // The question for a read-only file; none otherwise.
    void CorrigerFpsConfirmation(const TParam& param, const ListRecord& fichier, std::string& confirmMsg) const;
    void CorrigerCodecConfirmation(const TParam& param, const ListRecord& fichier,
                                   std::string& confirmMsg) const;
    // The dialog, then the patch; utModify once a value was chosen (the entry is read again).
    void CorrigerFpsExecution(const TParam& param, const ListRecord& fichier, std::string& newfichier,
                              TchUpdateType& update);
    // The dialog, then the patch; utModify only when the code was written.
    void CorrigerCodecExecution(const TParam& param, const ListRecord& fichier, std::string& newfichier,
                                TchUpdateType& update);

    const ChoiceDialogState& frequenceDialog() const { return m_frequence; }
    const ChoiceDialogState& codecDialog() const { return m_codec; }

private:
    // The frame rate chosen in the dialog, or nothing when it was cancelled or its text is no number.
    std::optional<double> chosenFrameRate(const ListRecord& fichier);
    std::optional<std::string> chosenCodec(const ListRecord& fichier);
    void suspendPreview() const;
    void endSuspend() const;

    const CommandContext& m_context;
    ChoiceDialogState m_frequence;
    ChoiceDialogState m_codec;
};

}  // namespace moraven
