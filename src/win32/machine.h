// This computer as the main dialog's actions reach it.
#pragma once

#include "actions/actions.h"
#include "catalogue/service_lister.h"
#include "win32/account_rights.h"
#include "win32/code_page.h"
#include "win32/script_host.h"
#include "win32/service_manager.h"

namespace qm {

// The machine's parts, kept for as long as the dialog that acts on them:
// the service manager and registry, what the update script needs besides,
// the lister that remembers the listing's size from one refresh to the
// next, and the account rights.
struct Machine {
    Win32System system;
    Win32ScriptHost host;
    ServiceLister lister;
    Win32AccountRights rights;

    // What an action works with: this machine under a dialog's state, view
    // and administrator, in the system's ANSI code page.
    DialogAndMachine With(MainDialogState& state, MainView& view, User& user) {
        return {Alone(user), state, view};
    }
    // What an action that needs no dialog's state works with.
    MachineContext Alone(User& user) { return {user, system, host, lister, rights, IsAnsiLeadByte}; }
};

}  // namespace qm
