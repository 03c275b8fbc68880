// The actions of the main dialog, and what they work with.
#pragma once

#include <string>
#include <vector>

#include "actions/folder.h"
#include "actions/main_dialog_state.h"
#include "actions/script.h"
#include "actions/script_host.h"
#include "actions/user.h"
#include "catalogue/account.h"
#include "catalogue/account_rights.h"
#include "catalogue/service_lister.h"
#include "catalogue/system.h"

namespace qm {

// What an action that works on the machine alone works with: the
// administrator, and the machine it acts on.
struct MachineContext {
    User& user;
    System& system;         // the service manager and the registry
    ScriptHost& host;       // what the update script needs besides
    ServiceLister& lister;  // outlives the actions: remembers the listing's size
    AccountRights& rights;
    LeadBytePredicate isLeadByte;  // null only for a single-byte code page
};

// What an action of the main dialog works with: the machine, and the
// dialog's state and controls.
struct DialogAndMachine : MachineContext {
    MainDialogState& state;
    MainView& view;
};

// Rebuilds the list and the proposed suffix.
void RefreshServiceList(DialogAndMachine& s);

// Selection changed: remember the entry and show its installation folder.
void SelectionChanged(DialogAndMachine& s);

// The folder picker for the installation folder; true when one was chosen.
bool BrowseInstallPath(DialogAndMachine& s);

enum class InstallResult { Failed, FailedAfterCreate, Installed };

// What an Add has to say after its own messages.
struct InstallNotes {
    bool underAccount = false;          // created under the account typed
    std::vector<const char*> warnings;  // settings the service manager refused
};

// Creates the service named |name| under |account| (with the password
// kept, unless the account takes none), falling back to the local system
// account, sets its recovery actions and description, and registers its
// event-log source.
InstallResult InstallService(DialogAndMachine& s, const std::string& name, const Account& account,
                             InstallNotes* notes = nullptr);

// The Add button.
void AddInstance(DialogAndMachine& s);

// The Remove button.
void RemoveInstance(DialogAndMachine& s);

// The Create Batch button.
void CreateBatch(DialogAndMachine& s);

// The "ImagePath" of service |name|; Missing also when there is no key.
ValueRead ReadImagePath(MachineContext& s, const std::string& name, std::string& imagePath);

// The executable path of service |name| as the service manager finds it,
// environment references unexpanded; otherwise why it cannot be had.
// Ambiguous comes with the reading the service manager runs.
LeftOut ReadExecutablePath(MachineContext& s, const std::string& name, std::string& executable);

// The installation folder of service |name| from its "ImagePath"; false
// when the key or the value cannot be read. Empty when the value names no
// existing file.
bool ReadInstallFolder(MachineContext& s, const std::string& name, std::string& folder);

// The installation folder of service |name| as the update script names
// it; empty when it has none the script could name. |executable| gets its
// executable as the service manager starts it (empty when unknown).
std::string ScriptFolder(MachineContext& s, const std::string& name, std::string& executable);

}  // namespace qm
