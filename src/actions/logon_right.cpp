#include "actions/logon_right.h"

#include "actions/account_check.h"
#include "actions/messages.h"
#include "catalogue/naming.h"

namespace qm {

bool NeedsNoLogonRight(const std::string& account) {
    static const char* const kServiceAccounts[] = {
        "localsystem",           ".\\localsystem",          "nt authority\\system",
        "nt authority\\localservice",   "nt authority\\local service",
        "nt authority\\networkservice", "nt authority\\network service",
    };
    const std::string folded = FoldCase(account);
    // Every virtual account holds it, through NT SERVICE\ALL SERVICES.
    if (folded.empty() || IsVirtualAccount(account)) return true;
    for (const char* name : kServiceAccounts)
        if (folded == name) return true;
    return false;
}

LogonRight GrantServiceLogonRight(AccountRights& rights, User& user, const std::string& account) {
    if (NeedsNoLogonRight(account)) return LogonRight::NotNeeded;

    LogonRight outcome = LogonRight::LookupFailed;
    Sid sid;
    if (rights.LookUp(account, sid)) {
        if (rights.Holds(sid, kServiceLogonRight)) return LogonRight::AlreadyHeld;
        outcome = rights.Grant(sid, kServiceLogonRight) ? LogonRight::Granted : LogonRight::GrantFailed;
    }
    if (outcome == LogonRight::Granted) {
        user.Message(text::Fill(text::kLogonRightGranted, account), text::kCaption, Icon::Information);
    } else {
        user.Message(text::Fill(text::kLogonRightWarning, account), text::kCaption, Icon::Warning);
    }
    return outcome;
}

}  // namespace qm
