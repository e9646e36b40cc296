#pragma once

#include <sys/types.h>

#include <ctime>
#include <optional>
#include <string>

// The freedesktop.org trash, written by the program itself so that any name the file system holds (its
// bytes, UTF-8 or not, with blanks, "%" or line ends) can be trashed and later restored by a file manager.
//
// A trash is a folder holding "files/" (the trashed files, under names unique in that trash) and "info/"
// (one "<name>.trashinfo" per trashed file: its original path and the deletion date). The home trash,
// $XDG_DATA_HOME/Trash, takes the files of the home's device; a file on another device goes to the trash at
// the top of that device, so that trashing is always a rename on one file system, never a copy.
//
// Every path here is the file system's bytes. Nothing is shared between calls: any one thread may call, but
// two programs trashing the same name at once are kept apart only by the exclusive creation of the info file.
namespace moraven {

// One trash folder and how it records original paths.
struct TrashFolder {
    std::string folder;        // holds files/ and info/; no trailing "/"
    std::string topDirectory;  // a device's trash: the top directory Path values are relative to;
                               // empty for the home trash, whose Path values are absolute
};

// The home trash, $XDG_DATA_HOME/Trash (by default ~/.local/share/Trash), with its files/ and info/ made
// (0700) when missing. Nothing when they cannot be made.
std::optional<TrashFolder> homeTrash();

// The trash of the device whose top directory (its mount point) is `topDirectory`, for the user `uid`:
// $topdir/.Trash/$uid when $topdir/.Trash is a folder with the sticky bit and not a symbolic link (a trash
// shared by an administrator), else $topdir/.Trash-$uid. The chosen folder and its files/ and info/ are made
// (0700) when missing; a folder found there must be a real folder owned by `uid`, never a link. When
// $topdir/.Trash/$uid cannot be used, $topdir/.Trash-$uid is tried. Nothing when neither can be used.
std::optional<TrashFolder> deviceTrash(const std::string& topDirectory, uid_t uid);

// The trash for a file on device `device` whose folder's resolved path is `folder`: the home trash when it
// lies on that device, else the trash at the top directory of that device (the highest folder above
// `folder` still on it). Makes the home trash when missing. Nothing when no trash can be had.
std::optional<TrashFolder> trashFor(const std::string& folder, dev_t device);

// A path percent-encoded for the info file's Path key: every byte except the unreserved ones (ASCII letters
// and digits, "-", ".", "_", "~") and "/" becomes "%XX" with upper-case hex digits. Decoding gives back
// exactly the same bytes.
std::string escapeTrashPath(const std::string& path);

// The text of an info file: "[Trash Info]", "Path=" with `originalPath` escaped, and "DeletionDate=" with
// `deletionTime` as local time in the form YYYY-MM-DDThh:mm:ss; every line ends with "\n". `originalPath`
// is absolute for the home trash and relative to the top directory for a device's trash.
std::string trashInfoText(const std::string& originalPath, std::time_t deletionTime);

// Moves the file, folder or symbolic link at `absolutePath` (resolved folders, the entry itself not
// followed) into `trash`, which must lie on the same device, and returns its new path in files/.
//
// The entry's name is the file's name, else "<name>.2", "<name>.3" and so on (a name too long for an info
// file is shortened first, at a character's start). The info file is created first, exclusively, which
// reserves the name against other programs; the file is then renamed into files/ without replacing
// anything, and when that fails the info file is removed again. Nothing is ever replaced or deleted: on
// failure the file stays where it was. Throws FileError: AlreadyExists when no free name was found,
// AccessDenied when the trash cannot be written, another code for the other failures.
std::string moveIntoTrash(const std::string& absolutePath, const TrashFolder& trash,
                          std::time_t deletionTime);

}  // namespace moraven
