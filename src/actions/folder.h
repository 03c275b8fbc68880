// The folder rule: the installation folder of a service (drive and
// directory of the executable path it is registered with), and the
// executable path a new instance is registered with.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace qm {

// Tells whether a byte starts a double-byte character in the system's ANSI
// code page. Null means a single-byte code page.
using LeadBytePredicate = bool (*)(unsigned char);

// Tells whether a path names an existing file (a folder is no file).
using FileExists = std::function<bool(const std::string&)>;

// Drive and directory of |path| as _splitpath gives them: the drive is the
// first two characters when the second is a colon; the directory runs up to
// and including the last backslash or slash (its first 255 characters).
// The second byte of a double-byte character is never a separator; pass
// null only for a single-byte code page.
std::string DriveAndDirectory(const std::string& path, LeadBytePredicate isLeadByte);

// How many readings of an "ImagePath" value name an executable.
enum class Readings { None, One, Several };

// The executable path of a registered "ImagePath" value, found as the
// service manager finds it. In double quotes, the text up to the closing
// quote. Unquoted without a blank, the whole text. Unquoted with blanks,
// the first of these that names an existing file: the text up to each
// blank in turn, then the whole text, each with ".exe" added when its last
// name has no extension. Several when a later reading names an existing
// file too (a stray C:\Program.exe before C:\Program Files\...): the
// manager runs the first. Slashes read as backslashes.
Readings ExecutablePath(const std::string& imagePath, const FileExists& exists, std::string& executable);

// The executable path for a new instance in |folder|, and the command line
// registered for it (quoted when it has a blank). False when it would not
// fit a path buffer (longer than kMaxPathChars).
bool ExecutablePaths(const std::string& folder, std::string& executable, std::string& commandLine);

// Whether |folder| names one place whatever the current folder: a drive
// letter, colon and backslash, or \\server\share\.
bool IsAbsoluteFolder(const std::string& folder);

// |folder| as one place, for comparing folders: separators as single
// backslashes, "." and ".." resolved, ASCII letters in lower case, ending
// in a backslash.
std::string FolderKey(const std::string& folder, LeadBytePredicate isLeadByte);

// Whether one of two folders (as FolderKey gives them) is, or lies inside,
// the other.
bool FoldersOverlap(const std::string& key, const std::string& otherKey);

// Why an instance is updated without a backup.
enum class NoBackup {
    None,    // it has one
    Root,    // its folder is a drive or share root: there is nothing beside it
    NoName,  // every name beside it would touch the update folder or an instance
};

// What the update script keeps beside an instance's folder: the previous
// version, a name kept free for the files of an update that failed, and
// the mark of an update under way. All empty when there is no room beside
// the folder.
struct Beside {
    std::string backup;  // <folder>.previous\ (ending in a backslash, as the others)
    std::string failed;  // <folder>.failed\ (kept free: earlier scripts moved a failed update there)
    std::string mark;    // <folder>.previous.unfinished, a file
};

// The names beside |folder|: .previous and .failed, or .previous2/.failed2
// to .previous9/.failed9 where one of the pair would touch one of |avoid|
// (FolderKey keys). Empty, with the reason, when there is none.
Beside BesideFolder(const std::string& folder, const std::vector<std::string>& avoid, LeadBytePredicate isLeadByte,
                    NoBackup& noBackup);

}  // namespace qm
