// The text of the update script KVNUpdate.cmd.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "actions/folder.h"
#include "catalogue/system.h"

namespace qm {

inline constexpr char kScriptName[] = "KVNUpdate.cmd";
inline constexpr char kLogName[] = "KVNUpdate.log";
// Held open by a run, so that a second one refuses to start.
inline constexpr char kLockName[] = "KVNUpdate.lock";
// What SC QUERY said last, searched for the state.
inline constexpr char kStateName[] = "KVNUpdate.state";
// What the last command said, shown when it failed.
inline constexpr char kSaidName[] = "KVNUpdate.said";
// The permissions of a folder's files, carried to its copy.
inline constexpr char kAclName[] = "KVNUpdate.acl";

struct Instance {
    std::string serviceName;
    std::string folder;  // installation folder, normally ending in a backslash
    Beside beside;       // what the script keeps beside it; empty when NoBackup says why
    NoBackup noBackup = NoBackup::None;
    // Its recovery actions as read when the script was written; none when
    // they could not be read or hold more than restarts (a command, a
    // reboot), which the script then leaves as they are.
    std::optional<RecoveryActions> recovery;
};

// Why an instance gets no block in the script.
enum class LeftOut {
    None,
    Unreadable,   // no service key, or no "ImagePath" value
    TooLong,      // an executable path longer than a path may be
    NoFile,       // an unquoted "ImagePath" with blanks that names no existing file
    Ambiguous,    // an unquoted "ImagePath" with blanks of which several readings name a file
    NotText,      // an "ImagePath" that is not a string
    Misread,      // a control character or double quote that cmd would act on
    StateLike,    // a name that reads like SC QUERY's state line
    NotAbsolute,  // RD and XCOPY would act on the folder the script runs in
    CodePage,     // a character the console's code page cannot represent
};

// Whether an instance can be written safely, checked on its name and its
// expanded folder (and its backup): cmd would take a line break for the end
// of a command and a double quote for the end of a path, a relative folder
// would make RD and XCOPY act on whatever folder the script is run from,
// and a name holding " 4  RUNNING" would be taken for its state.
LeftOut CheckInstance(const Instance& instance);

// The script. One run at a time (a second one refuses with exit code 2);
// it checks that it can write its log, then updates each instance that
// passes CheckInstance, in the given order: its recovery actions cleared,
// stopped (pending states waited out), its folder backed up, KORVAN\KORVAN
// removed, the update files copied over the folder, started and watched
// for a minute, its recovery actions put back. The first instance that
// fails gets its previous version back (the backup copied over its
// folder, which is never moved) and ends the run with exit code 1; the
// instances after it are not touched. A mark beside the backup, from
// before the stop until the instance is updated, lets the next run
// restore a run cut short first, even when the update folder is empty by
// then. Every step goes to KVNUpdate.log beside the script; a command
// never depends on the log. Names and folders are taken literally (every
// % doubled); CR LF line ends. Empty if the writer's own labels do not
// add up, which a test guards.
std::string UpdateScript(const std::string& updateFolder, const std::vector<Instance>& instances);

// The line of the mark that keeps the recovery actions a run cleared, and
// those actions read back from a mark's text (none when it holds none):
// a script written after a run was cut short puts them back from there.
std::string MarkRecoveryLine(const RecoveryActions& recovery);
std::optional<RecoveryActions> RecoveryFromMark(const std::string& mark);

// The script beside the executable at |modulePath|.
std::string ScriptPath(const std::string& modulePath, LeadBytePredicate isLeadByte);

}  // namespace qm
