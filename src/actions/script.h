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

// Whether an instance can be written safely: cmd would misread a name or
// folder with a double quote, and an empty folder would make RD and XCOPY
// act on the current directory.
bool CanWriteBlock(const Instance& instance);

// One block per writable instance, in the given order, CR LF line ends:
// stop the service, remove KORVAN\KORVAN, copy the update files over the
// folder, start the service, wait a minute.
std::string UpdateScript(const std::string& updateFolder, const std::vector<Instance>& instances);

// The script beside the executable at |modulePath|.
std::string ScriptPath(const std::string& modulePath, LeadBytePredicate isLeadByte = nullptr);

}  // namespace qm
