// The right to log on as a service, which a service's account needs before
// the service can start under it (else: error 1069). CreateService does
// not grant it; the tool does, after an Add under an account.
#pragma once

#include <string>

#include "actions/user.h"
#include "catalogue/account_rights.h"

namespace qm {

inline constexpr char kServiceLogonRight[] = "SeServiceLogonRight";

enum class LogonRight { NotNeeded, AlreadyHeld, Granted, LookupFailed, GrantFailed };

// LocalSystem, LocalService and NetworkService in the spellings the service
// manager takes (letter case aside), virtual accounts, and the empty
// account: they need no right. The manager runs a service with an empty account name as
// LocalSystem (only a null one is documented), and an empty name would
// look up the built-in domain rather than an account.
bool NeedsNoLogonRight(const std::string& account);

// Looks |account| up and grants it the right when it lacks it, then tells
// the administrator: a message when granted, a warning with the way to
// grant it by hand when the lookup or the grant failed, nothing otherwise.
LogonRight GrantServiceLogonRight(AccountRights& rights, User& user, const std::string& account);

}  // namespace qm
