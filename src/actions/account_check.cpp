#include "actions/account_check.h"

#include "actions/logon_right.h"
#include "actions/messages.h"
#include "catalogue/naming.h"

namespace qm {

namespace {

// What LogonUserA answers about an account or its password (System Error
// Codes, https://learn.microsoft.com/en-us/windows/win32/debug/system-error-codes--1300-1699-
// and --1700-3999-). The account has been found, so 1326 is its password.
constexpr std::uint32_t kLogonFailure = 1326;       // ERROR_LOGON_FAILURE
constexpr std::uint32_t kPasswordExpired = 1330;    // ERROR_PASSWORD_EXPIRED
constexpr std::uint32_t kAccountDisabled = 1331;    // ERROR_ACCOUNT_DISABLED
constexpr std::uint32_t kAccountExpired = 1793;     // ERROR_ACCOUNT_EXPIRED
constexpr std::uint32_t kPasswordMustChange = 1907; // ERROR_PASSWORD_MUST_CHANGE
constexpr std::uint32_t kAccountLockedOut = 1909;   // ERROR_ACCOUNT_LOCKED_OUT

enum class AccountVerdict {
    Refused,      // the administrator has been told why
    Accepted,
    RightMissing  // accepted; log on once more after the grant
};

AccountVerdict CheckAccount(MachineContext& s, Messenger& say, const Account& account, const std::string& password) {
    AccountRights& rights = s.rights;
    if (account.kind() != AccountKind::Ordinary) return AccountVerdict::Accepted;

    FoundAccount found;
    if (!rights.LookUp(account, found)) {
        say.Message(text::Fill(text::kUnknownAccount, account.typed()), text::kErrorCaption, Icon::Stop);
        return AccountVerdict::Refused;
    }
    const char* refusal = nullptr;
    switch (const std::uint32_t error = rights.TryServiceLogon(account.ForLogon(found.domain), password)) {
        case 0: return AccountVerdict::Accepted;
        case kLogonTypeNotGranted: return AccountVerdict::RightMissing;
        case kLogonFailure: refusal = text::kWrongPassword; break;
        case kPasswordExpired:
        case kPasswordMustChange: refusal = text::kPasswordExpired; break;
        case kAccountExpired: refusal = text::kAccountExpired; break;
        case kAccountDisabled: refusal = text::kAccountDisabled; break;
        case kAccountLockedOut: refusal = text::kAccountLockedOut; break;
        default:
            // No logon server, say: nothing is known about the password.
            say.Message(text::Fill(text::kAccountNotChecked, {account.typed(), ErrorWords(s.system, error)}),
                        text::kCaption, Icon::Warning);
            return AccountVerdict::Accepted;
    }
    say.Message(text::Fill(refusal, account.typed()), text::kErrorCaption, Icon::Stop);
    return AccountVerdict::Refused;
}

// A virtual account carries its service's own name.
bool FitsService(Messenger& say, const Account& account, const std::string& serviceName) {
    if (account.kind() != AccountKind::Virtual || FoldCase(account.user()) == FoldCase(serviceName)) return true;
    say.Message(text::Fill(text::kVirtualAccountName, serviceName), text::kErrorCaption, Icon::Stop);
    return false;
}

}  // namespace

std::optional<CheckedAccount> AskCheckedAccount(MachineContext& s, const std::vector<std::string>& names,
                                                std::string& account, std::string& password,
                                                const std::vector<Account>* keep) {
    std::optional<CheckedAccount> checked;
    const bool confirmed = s.user.AskAccount(
        account, password, [&](const std::string& typed, const std::string& secret, Messenger& dialog) {
            checked.reset();
            CheckedAccount candidate;
            std::vector<Account> toCheck;
            if (typed.empty() && keep) {
                toCheck = *keep;
            } else {
                candidate.account.emplace(typed, !secret.empty(), s.isLeadByte);
                for (const std::string& name : names) {
                    if (!FitsService(dialog, *candidate.account, name)) return false;
                }
                toCheck = {*candidate.account};
            }
            for (const Account& one : toCheck) {
                const AccountVerdict verdict = CheckAccount(s, dialog, one, secret);
                if (verdict == AccountVerdict::Refused) return false;
                if (verdict == AccountVerdict::RightMissing) candidate.rightMissing.push_back(one);
            }
            checked = std::move(candidate);
            return true;
        });
    // A dialog that closed without the check confirms nothing.
    if (!confirmed) checked.reset();
    return checked;
}

std::vector<std::string> GrantLogonRights(MachineContext& s, const CheckedAccount& checked, bool newlyUnder,
                                          const std::string& password) {
    std::vector<const Account*> toGrant;
    if (checked.account && (newlyUnder || !checked.rightMissing.empty())) toGrant.push_back(&*checked.account);
    if (!checked.account) {
        for (const Account& one : checked.rightMissing) toGrant.push_back(&one);
    }
    std::vector<std::string> denied;
    for (const Account* whom : toGrant) {
        // A logon refused for want of the right is tried once more after the
        // grant: refused again, a policy denies it.
        const bool retry = !checked.rightMissing.empty();
        if (GrantServiceLogonRight(s.rights, s.user, *whom, retry ? &password : nullptr) == LogonRight::Denied) {
            denied.push_back(whom->typed());
        }
    }
    return denied;
}

}  // namespace qm
