// The right to log on as a service, which a service's account needs before
// the service can start under it (else: error 1069). CreateService does
// not grant it; the tool does, after an Add under an account.
#pragma once

#include <string>

#include "actions/messenger.h"
#include "catalogue/account.h"
#include "catalogue/account_rights.h"

namespace qm {

inline constexpr char kServiceLogonRight[] = "SeServiceLogonRight";

enum class LogonRight { NotNeeded, AlreadyHeld, Granted, LookupFailed, GrantFailed, Denied };

// Looks |account| up and grants it the right when it lacks it. When the
// check's logon was refused for want of the right, |retryPassword| logs on
// once more after the grant: refused again, a policy denies the account the
// logon. Then tells the administrator: a message when granted, the policy
// when denied, a warning with the way to grant it by hand when the look-up
// or the grant failed, nothing otherwise.
LogonRight GrantServiceLogonRight(AccountRights& rights, Messenger& say, const Account& account,
                                  const std::string* retryPassword = nullptr);

}  // namespace qm
