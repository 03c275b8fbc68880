#include "actions/logon_right.h"

#include "actions/account_check.h"
#include "actions/messages.h"

namespace qm {

LogonRight GrantServiceLogonRight(AccountRights& rights, Messenger& say, const Account& account,
                                  const std::string* retryPassword) {
    if (!account.NeedsLogonRight()) return LogonRight::NotNeeded;

    LogonRight outcome = LogonRight::LookupFailed;
    FoundAccount found;
    if (rights.LookUp(account, found)) {
        if (rights.Holds(found.sid, kServiceLogonRight)) {
            outcome = LogonRight::AlreadyHeld;
        } else {
            outcome = rights.Grant(found.sid, kServiceLogonRight) ? LogonRight::Granted : LogonRight::GrantFailed;
        }
    }
    const bool held = outcome == LogonRight::AlreadyHeld || outcome == LogonRight::Granted;
    if (held && retryPassword &&
        rights.TryServiceLogon(account.ForLogon(found.domain), *retryPassword) == kLogonTypeNotGranted) {
        outcome = LogonRight::Denied;
    }
    switch (outcome) {
        case LogonRight::AlreadyHeld: break;
        case LogonRight::Granted:
            say.Message(text::Fill(text::kLogonRightGranted, account.typed()), text::kCaption, Icon::Information);
            break;
        case LogonRight::Denied:
            say.Message(text::Fill(text::kServiceLogonDenied, account.typed()), text::kErrorCaption, Icon::Stop);
            break;
        default:
            say.Message(text::Fill(text::kLogonRightWarning, account.typed()), text::kCaption, Icon::Warning);
    }
    return outcome;
}

}  // namespace qm
