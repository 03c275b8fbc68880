// The main dialog's shared state and everything its actions work through.
#pragma once

#include <cstdint>
#include <string>

#include "actions/folder.h"
#include "actions/script_host.h"
#include "actions/user.h"
#include "catalogue/account_rights.h"
#include "catalogue/service_lister.h"
#include "catalogue/system.h"

namespace qm {

// The main dialog's members that the actions read and write.
struct DialogMembers {
    std::string& serviceName;    // entry last selected; the target of Remove
    std::string& password;       // last confirmed in the account dialog
    std::string& account;
    std::uint32_t& serviceCount; // family count, then the proposed number
    std::string& installPath;
    std::string& suffix;
};

struct Session {
    System& system;
    User& user;
    MainView& view;
    ScriptHost& host;
    ServiceLister& lister;   // outlives the actions: remembers the listing's size
    AccountRights& rights;
    DialogMembers members;
    LeadBytePredicate isLeadByte = nullptr;
};

// Overwrites a secret before its memory is released.
void Wipe(std::string& secret);

// Rebuilds the list and the proposed suffix.
void RefreshServiceList(Session& s);

// Selection changed: remember the entry and show its installation folder.
void SelectionChanged(Session& s);

// The folder picker for the installation folder; true when one was chosen.
bool BrowseInstallPath(Session& s);

enum class InstallResult { Failed, FailedAfterCreate, Installed };

// Creates the service named |name| under the account, falling back to the
// local system account, and registers its event-log source.
// |underAccount| tells whether it was created under the account typed.
InstallResult InstallService(Session& s, const std::string& name, bool* underAccount = nullptr);

// The Add button.
void AddInstance(Session& s);

// The Remove button.
void RemoveInstance(Session& s);

// The Create Batch button.
void CreateBatch(Session& s);

// The "ImagePath" of service |name|; Missing also when there is no key.
ValueRead ReadImagePath(Session& s, const std::string& name, std::string& imagePath);

// The installation folder of service |name| from its "ImagePath"; false
// when the key or the value cannot be read.
bool ReadInstallFolder(Session& s, const std::string& name, std::string& folder);

// The executable path for a new instance in |folder|, and the command line
// registered for it (quoted when it has a blank). False when it would not
// fit a 260-byte path buffer.
bool ExecutablePaths(const std::string& folder, std::string& executable, std::string& commandLine);

}  // namespace qm
