// The account an instance is to run under, checked when the account dialog
// is confirmed: before anything is created or changed, while what was typed
// can still be corrected.
#pragma once

#include <cstdint>
#include <string>

#include "actions/messenger.h"
#include "catalogue/account.h"
#include "catalogue/account_rights.h"

namespace qm {

// ERROR_LOGON_TYPE_NOT_GRANTED: the password is right, but the account may
// not log on as a service. Either it lacks the right, which the tool grants
// once the service exists, or a policy denies it the logon
// (SeDenyServiceLogonRight, "Deny log on as a service"), which no grant
// overcomes. Only a second logon after the grant tells them apart.
inline constexpr std::uint32_t kLogonTypeNotGranted = 1385;

enum class AccountVerdict {
    Refused,      // the administrator has been told why
    Accepted,
    RightMissing  // accepted; log on once more after the grant (kLogonTypeNotGranted)
};

// Whether |account| may run services, for any number of them: an ordinary
// account is looked up first (an unknown one is refused and no logon is
// tried, as each failed logon is written to the security log and counts
// toward a lockout), then logged on with |password| as a service. Every
// answer about the account or its password refuses it; one that says
// nothing about them is a warning. Other kinds need no check.
AccountVerdict CheckAccount(AccountRights& rights, Messenger& say, const Account& account,
                            const std::string& password);

// Whether |account| may be the account of service |serviceName|: a virtual
// account must carry the service's own name. When not, |say| has been told.
bool FitsService(Messenger& say, const Account& account, const std::string& serviceName);

}  // namespace qm
