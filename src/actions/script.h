// The text of the update script KVNUpdate.cmd.
#pragma once

#include <string>
#include <vector>

#include "actions/folder.h"

namespace qm {

inline constexpr char kScriptName[] = "KVNUpdate.cmd";

struct Instance {
    std::string serviceName;
    std::string folder;  // installation folder, normally ending in a backslash
};

// Why an instance gets no block in the script.
enum class LeftOut {
    None,
    Unreadable,   // no service key, or no "ImagePath" value
    TooLong,      // an "ImagePath" longer than a path may be
    NotText,      // an "ImagePath" that is not a string
    Misread,      // a control character or double quote that cmd would act on
    NotAbsolute,  // RD and XCOPY would act on the folder the script runs in
    CodePage,     // a character the console's code page cannot represent
};

// Whether |folder| names one place whatever the current folder: a drive
// letter, colon and backslash, or \\server\share\.
bool IsAbsoluteFolder(const std::string& folder);

// Whether an instance can be written safely, checked on its name and its
// expanded folder: cmd would take a line break for the end of a command and
// a double quote for the end of a path, and a relative folder would make RD
// and XCOPY act on whatever folder the script is run from.
LeftOut CheckInstance(const Instance& instance);

// One block per instance that passes CheckInstance, in the given order,
// CR LF line ends: stop the service, remove KORVAN\KORVAN, copy the update
// files over the folder, start the service, wait a minute. Names and
// folders are taken literally: every % is doubled.
std::string UpdateScript(const std::string& updateFolder, const std::vector<Instance>& instances);

// The script beside the executable at |modulePath|.
std::string ScriptPath(const std::string& modulePath, LeadBytePredicate isLeadByte = nullptr);

}  // namespace qm
