#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "commands/command_context.h"
#include "commands/file_action.h"

namespace moraven {

// The longest question a command may ask: a composed question that reaches this many characters gives way
// to a shorter one.
inline constexpr std::size_t kMaxQuestionLength = 255;

// The first text shorter than kMaxQuestionLength characters (UTF-8 code points), else the last one.
std::string firstShortEnoughQuestion(const std::vector<std::string>& texts);

// Whether anything (file, folder, link) is at `path`.
bool pathExists(const std::string& path);

// `candidate` when no "candidate.avi" exists, else candidate(1), candidate(2), ... the first free one.
std::string freeName(const std::string& candidate);

// The datecode text made fit for a file name: each of < > : " / \ | becomes ".".
std::string replaceForbiddenCharacters(std::string text);

// Whether a part of a name (the text after an "_") is one that the naming commands and the conversions
// append: "type2", "type1", "in", "ntsc", "pal", "am", "pm" in any case, or text without a letter a to z.
bool isRemovablePart(std::string_view part);

// `base` (a path without extension) without its trailing removable parts; only the file name is cut.
std::string shortenedBase(const std::string& base);

// Renames `base`.avi to `target`.avi without replacing any file, then the companion `base`.scn to
// `target`.scn when it exists (a failure there is ignored). On success newfichier := `target`.avi and
// update := utRename; a refused rename changes nothing and gives utNone.
void renameStep(const std::string& base, const std::string& target, std::string& newfichier,
                TchUpdateType& update);

// Sets the file's modification time to `value` (local time) and keeps its access time. Linux keeps no
// settable creation time. False when the file cannot be opened for writing or its times cannot be set.
bool setFileModificationTime(const std::string& path, DateTime value);

// The handlers of the naming and date commands: AjouterDateCode, AjouterTimecode, RenameScAn, PurgerNom and
// FileDate. They keep no state; each new name is computed once for the question and again for the work.
class NamingCommands {
public:
    explicit NamingCommands(const CommandContext& context) : m_context(context) {}

    // AjouterDateCode, RenameScAn and FileDate: the file has a datecode text other than "N/A" and "Error".
    void DatecodeFileCondition(const TParam& param, const ListRecord& fichier, bool& visible,
                               bool& enabled) const;
    void TimecodeFileCondition(const TParam& param, const ListRecord& fichier, bool& visible,
                               bool& enabled) const;
    void PurgerNomFileCondition(const TParam& param, const ListRecord& fichier, bool& visible,
                                bool& enabled) const;

    void AjouterDateCodeConfirmation(const TParam& param, const ListRecord& fichier,
                                     std::string& confirmMsg) const;
    void AjouterDateCodeExecution(const TParam& param, const ListRecord& fichier, std::string& newfichier,
                                  TchUpdateType& update) const;
    void AjouterTimecodeConfirmation(const TParam& param, const ListRecord& fichier,
                                     std::string& confirmMsg) const;
    void AjouterTimecodeExecution(const TParam& param, const ListRecord& fichier, std::string& newfichier,
                                  TchUpdateType& update) const;
    void RenameScAnConfirmation(const TParam& param, const ListRecord& fichier,
                                std::string& confirmMsg) const;
    void RenameScAnExecution(const TParam& param, const ListRecord& fichier, std::string& newfichier,
                             TchUpdateType& update) const;
    void PurgerNomConfirmation(const TParam& param, const ListRecord& fichier, std::string& confirmMsg) const;
    void PurgerNomExecution(const TParam& param, const ListRecord& fichier, std::string& newfichier,
                            TchUpdateType& update) const;
    void FileDateConfirmation(const TParam& param, const ListRecord& fichier, std::string& confirmMsg) const;
    void FileDateExecution(const TParam& param, const ListRecord& fichier, std::string& newfichier,
                           TchUpdateType& update) const;

    // The new paths without extension, as each command computes them at the moment of the call.
    std::string datecodeTarget(const ListRecord& fichier) const;
    std::string timecodeTarget(const ListRecord& fichier) const;
    std::string renameTarget(const ListRecord& fichier) const;
    std::string shortenTarget(const ListRecord& fichier) const;

private:
    std::string formatted(std::string_view pattern, DateTime value) const;

    const CommandContext& m_context;
};

}  // namespace moraven
