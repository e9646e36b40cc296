#pragma once

#include <ctime>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "commands/command_context.h"
#include "commands/file_action.h"

namespace moraven {

// The longest question a command may ask: a composed question that reaches this many characters gives way
// to a shorter one.
inline constexpr std::size_t kMaxQuestionLength = 255;

// The first text shorter than kMaxQuestionLength characters (UTF-8 code points), else the last one.
std::string firstShortEnoughQuestion(const std::vector<std::string>& texts);

// The question before an output that exists is replaced: "Do you want to replace the existing file <output>
// ?", or `shortQuestion` when that is too long.
std::string replaceExistingFileQuestion(const std::string& output,
                                        std::string_view shortQuestion = "Do you want to replace the existing file ?");

// Whether anything (file, folder, link) is at `path`.
bool pathExists(const std::string& path);

// `candidate` when no "candidate.avi" exists, else candidate(1), candidate(2), ... the first free one.
std::string freeName(const std::string& candidate);

// The datecode text made fit for a file name: each of < > : " / \ | becomes ".".
std::string replaceForbiddenCharacters(std::string text);

// Text from the settings or a date made safe as part of one file name: "/" and NUL become ".", so that a
// generated name never leaves its folder nor ends early.
std::string withoutPathSeparators(std::string text);

// Whether the file has a recording date to write: a DV file whose datecode text is neither "N/A" nor
// "Error". A file that is not DV, or could not be read, has none (its date value 0 is no recording date).
bool hasRecordingDate(const ListRecord& fichier);

// Whether a part of a name (the text after an "_") is one that the naming commands and the conversions
// append: "type2", "type1", "in", "ntsc", "pal", "am", "pm" in any case, or text without a letter a to z.
bool isRemovablePart(std::string_view part);

// `base` (a path without extension) without its trailing removable parts; only the file name is cut, and
// never to nothing: a cut that would leave an empty name ("_12" -> "") is not made.
std::string shortenedBase(const std::string& base);

// The free names of the renames, found from one listing of each folder instead of a probe per number: a
// run that gives thousands of files the same candidate looks at each folder once, not at every number.
//
// A folder is listed again when its modification time differs from the one seen at the last listing or
// after the last rename made here (another program changed it meanwhile), or when the disk shows a name
// it holds for taken to be free. The answer is only a hint: the
// rename itself never replaces a file, and a name found taken then is marked with taken() and the next one
// asked for. At most kMaxFolders folders are kept; past that the cache starts again. Window thread only.
class FreeNames {
public:
    static constexpr std::size_t kMaxFolders = 64;

    // As freeName(): `candidate` (a path without extension) when no "candidate.avi" is in its folder, else
    // candidate(N) with the first number N whose ".avi" name is free.
    std::string freeName(const std::string& candidate);
    // `path` (with extension) is known to be taken, whatever the listing said.
    void taken(const std::string& path);
    // A rename made here moved `from` to `to` (full paths with extension, in the same folder or not).
    void renamed(const std::string& from, const std::string& to);

    // How many times a folder was listed (for the tests of the listing's reuse).
    std::size_t listings() const { return m_listings; }

private:
    struct Folder {
        struct timespec modified {};
        std::unordered_set<std::string> names;
        // Per candidate name, the lowest number that may still be free: every number below it was seen
        // taken since the last listing (a name released since lowered it again).
        std::unordered_map<std::string, unsigned long> firstUntried;
    };
    // The folder's entry, listed when it is new, its time changed, or `listAgain`.
    Folder& folder(const std::string& folderPath, bool listAgain = false);
    void restamp(const std::string& folderPath);

    std::unordered_map<std::string, Folder> m_folders;
    std::size_t m_listings = 0;
};

// Renames `base`.avi to `target`.avi without replacing any file, then the companion `base`.scn to
// `target`.scn when it exists (a failure there is ignored). On success newfichier := `target`.avi and
// update := utRename; a refused rename changes nothing and gives utNone.
void renameStep(const std::string& base, const std::string& target, std::string& newfichier,
                TchUpdateType& update);

// Sets the file's modification time to `value` (local time) and keeps its access time. Linux keeps no
// settable creation time. Throws FileError, naming the file and the reason, when the file cannot be opened
// for writing, the value is no date the system can hold, or its times cannot be set.
void changeFileModificationTime(const std::string& path, DateTime value);
// The same, answering false instead of throwing.
bool setFileModificationTime(const std::string& path, DateTime value);

// The handlers of the naming and date commands: AjouterDateCode, AjouterTimecode, RenameScAn, PurgerNom and
// FileDate. Each new name is computed once for the question and again for the work; the only state kept is
// the folder listings of FreeNames, a cache that the folders' modification times keep honest.
//
// The renames work on the listed file whatever the case of its extension and give the new name ".avi". A
// rename that finds its free name taken meanwhile tries the next free one. A rename, a companion ".scn"
// rename or a file date that fails is reported through CommandContext::reportFailure with its reason (the
// window leaves that empty and says nothing), and the entry stays as it was.
class NamingCommands {
public:
    explicit NamingCommands(const CommandContext& context) : m_context(context) {}

    // AjouterDateCode, RenameScAn and FileDate: the file has a recording date (hasRecordingDate).
    void DatecodeFileCondition(const TParam& param, const ListRecord& fichier, bool& visible,
                               bool& enabled) const;
    void TimecodeFileCondition(const TParam& param, const ListRecord& fichier, bool& visible,
                               bool& enabled) const;
    // PurgerNom: the last part of the file name is removable and cutting leaves a name.
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
    // The candidates (paths without extension) before the free name is looked for.
    std::string datecodeCandidate(const ListRecord& fichier) const;
    std::string timecodeCandidate(const ListRecord& fichier) const;
    std::string renameCandidate(const ListRecord& fichier) const;
    // The rename step for the free name of `candidate`, retried with the next free name while the name
    // turns out taken at the rename.
    void renameToFreeName(const ListRecord& fichier, const std::string& candidate, std::string& newfichier,
                          TchUpdateType& update) const;
    void report(const std::string& text) const;

    const CommandContext& m_context;
    mutable FreeNames m_freeNames;
};

}  // namespace moraven
