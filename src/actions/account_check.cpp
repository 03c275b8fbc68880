#include "actions/account_check.h"

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

}  // namespace

AccountVerdict CheckAccount(AccountRights& rights, Messenger& say, const Account& account,
                            const std::string& password) {
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
            say.Message(text::Fill(text::kAccountNotChecked, {std::to_string(error), account.typed()}),
                        text::kCaption, Icon::Warning);
            return AccountVerdict::Accepted;
    }
    say.Message(text::Fill(refusal, account.typed()), text::kErrorCaption, Icon::Stop);
    return AccountVerdict::Refused;
}

bool FitsService(Messenger& say, const Account& account, const std::string& serviceName) {
    if (account.kind() != AccountKind::Virtual || FoldCase(account.user()) == FoldCase(serviceName)) return true;
    say.Message(text::Fill(text::kVirtualAccountName, serviceName), text::kErrorCaption, Icon::Stop);
    return false;
}

}  // namespace qm
