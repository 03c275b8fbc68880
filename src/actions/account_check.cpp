#include "actions/account_check.h"

#include <cstdint>
#include <cstring>

#include "actions/logon_right.h"
#include "actions/messages.h"
#include "catalogue/naming.h"

namespace qm {

namespace {

constexpr char kVirtualPrefix[] = "nt service\\";
constexpr char kBuiltInPrefix[] = "nt authority\\";

// What LogonUserA answers about an account or its password.
constexpr std::uint32_t kLogonFailure = 1326;  // a wrong password, or no such account
constexpr std::uint32_t kPasswordExpired = 1330;
constexpr std::uint32_t kAccountDisabled = 1331;
// The password is right; the account lacks the right to log on as a
// service, which the Add grants after the creation.
constexpr std::uint32_t kLogonTypeNotGranted = 1385;
constexpr std::uint32_t kPasswordMustChange = 1907;
constexpr std::uint32_t kAccountLockedOut = 1909;

bool StartsWith(const std::string& folded, const char* prefix) {
    return folded.compare(0, std::strlen(prefix), prefix) == 0;
}

}  // namespace

bool IsVirtualAccount(const std::string& account) { return StartsWith(FoldCase(account), kVirtualPrefix); }

AccountKind KindOf(const std::string& account) {
    if (IsVirtualAccount(account)) return AccountKind::Virtual;
    if (!account.empty() && account.back() == '$') return AccountKind::Managed;
    if (NeedsNoLogonRight(account) || StartsWith(FoldCase(account), kBuiltInPrefix)) return AccountKind::BuiltIn;
    return AccountKind::WithPassword;
}

bool CheckAccount(AccountRights& rights, User& dialog, const std::string& account, const std::string& password,
                  const std::string& serviceName) {
    switch (KindOf(account)) {
        case AccountKind::BuiltIn:
        case AccountKind::Managed:
            return true;
        case AccountKind::Virtual:
            if (FoldCase(account) == FoldCase("NT SERVICE\\" + serviceName)) return true;
            dialog.Message(text::Fill(text::kVirtualAccountName, serviceName), text::kErrorCaption, Icon::Stop);
            return false;
        case AccountKind::WithPassword:
            break;
    }

    const char* refusal = nullptr;
    switch (const std::uint32_t error = rights.TryServiceLogon(account, password)) {
        case 0:
        case kLogonTypeNotGranted:
            return true;
        case kLogonFailure: {
            Sid sid;
            refusal = rights.LookUp(account, sid) ? text::kWrongPassword : text::kUnknownAccount;
            break;
        }
        case kPasswordExpired:
        case kPasswordMustChange:
            refusal = text::kPasswordExpired;
            break;
        case kAccountDisabled:
            refusal = text::kAccountDisabled;
            break;
        case kAccountLockedOut:
            refusal = text::kAccountLockedOut;
            break;
        default:
            // No logon server, say: nothing is known about the password.
            dialog.Message(text::Fill(text::kAccountNotChecked, {std::to_string(error), account}),
                           text::kCaption, Icon::Warning);
            return true;
    }
    dialog.Message(text::Fill(refusal, account), text::kErrorCaption, Icon::Stop);
    return false;
}

}  // namespace qm
