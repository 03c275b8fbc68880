// One account, or one new password, given to several instances at once
// from the overview.
#pragma once

#include <string>
#include <vector>

#include "actions/actions.h"
#include "actions/overview.h"

namespace qm {

// Whether two accounts as the service manager reports them are the same
// (names are compared without regard to letter case).
bool SameAccount(const std::string& a, const std::string& b);

// Asks for the account of the instances of |selected| in the account
// dialog, pre-filled with the account they share (empty when they differ),
// and checks it once as Add does; a virtual account that does not fit every
// one of them is refused there. Then gives it to each instance in turn, and
// says in one message which got it and which were refused, and why; a
// refused one keeps what it had. An empty account changes the password
// alone: each instance keeps its own account (each account with a password
// is checked once with the new one), and those that log on without a
// password are left as they were and named; an account is never changed
// unless one is typed. The right to log on as a service is granted once,
// when an instance changed its account, or to an account whose logon
// lacked only that right. The changed instances that run are offered a
// restart, as the service manager logs on with the new password at the
// next start only; the restart halts at the first failure. The password is
// wiped when done. True when any instance changed.
bool ChangeAccount(MachineContext& s, const std::vector<OverviewRow>& selected, InstanceProgress& progress);

}  // namespace qm
