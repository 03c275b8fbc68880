// The text of the update script KVNUpdate.cmd.
#pragma once

#include <string>
#include <vector>

#include "actions/folder.h"

namespace qm {

inline constexpr char kScriptName[] = "KVNUpdate.cmd";
inline constexpr char kLogName[] = "KVNUpdate.log";

// Why an instance is updated without a backup.
enum class NoBackup {
    None,    // it has one
    Root,    // its folder is a drive or share root: there is nothing beside it
    NoName,  // every name beside it would touch the update folder or an instance
};

struct Instance {
    std::string serviceName;
    std::string folder;  // installation folder, normally ending in a backslash
    std::string backup;  // the folder beside it that keeps the previous version, ending in a backslash
    NoBackup noBackup = NoBackup::None;
};

// Why an instance gets no block in the script.
enum class LeftOut {
    None,
    Unreadable,   // no service key, or no "ImagePath" value
    TooLong,      // an executable path longer than a path may be
    NoFile,       // an unquoted "ImagePath" with blanks that names no existing file
    NotText,      // an "ImagePath" that is not a string
    Misread,      // a control character or double quote that cmd would act on
    NotAbsolute,  // RD and XCOPY would act on the folder the script runs in
    CodePage,     // a character the console's code page cannot represent
};

// Whether |folder| names one place whatever the current folder: a drive
// letter, colon and backslash, or \\server\share\.
bool IsAbsoluteFolder(const std::string& folder);

// Whether an instance can be written safely, checked on its name and its
// expanded folder (and its backup): cmd would take a line break for the end
// of a command and a double quote for the end of a path, and a relative
// folder would make RD and XCOPY act on whatever folder the script is run
// from.
LeftOut CheckInstance(const Instance& instance);

// |folder| as one place, for comparing folders: separators as single
// backslashes, "." and ".." resolved, ASCII letters in lower case, ending
// in a backslash.
std::string FolderKey(const std::string& folder, LeadBytePredicate isLeadByte);

// Whether one of two folders (as FolderKey gives them) is, or lies inside,
// the other.
bool FoldersOverlap(const std::string& key, const std::string& otherKey);

// The folder beside |folder| that keeps an instance's previous version:
// <folder>.previous\, or .previous2 to .previous9 where that one would touch
// one of |avoid| (FolderKey keys). Empty, with the reason, when there is none.
std::string BackupFolder(const std::string& folder, const std::vector<std::string>& avoid, LeadBytePredicate isLeadByte,
                         NoBackup& noBackup);

// The script: it checks that the update folder holds files, then updates
// each instance that passes CheckInstance, in the given order: stop and
// wait until stopped, back the folder up, remove KORVAN\KORVAN, copy the
// update files over the folder, start, wait a minute and check that it
// runs. The first instance that fails is restored from its backup and ends
// the run with exit code 1; the instances after it are not touched. Every
// step goes to KVNUpdate.log beside the script. Names and folders are taken
// literally (every % doubled); CR LF line ends.
std::string UpdateScript(const std::string& updateFolder, const std::vector<Instance>& instances);

// The script beside the executable at |modulePath|.
std::string ScriptPath(const std::string& modulePath, LeadBytePredicate isLeadByte);

}  // namespace qm
