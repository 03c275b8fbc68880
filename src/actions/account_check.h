// The account an instance is to run under, checked when the account dialog
// is confirmed: before anything is created or changed, while what was typed
// can still be corrected.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "actions/actions.h"
#include "catalogue/account.h"

namespace qm {

// ERROR_LOGON_TYPE_NOT_GRANTED: the password is right, but the account may
// not log on as a service. Either it lacks the right, which the tool grants
// once the service exists, or a policy denies it the logon
// (SeDenyServiceLogonRight, "Deny log on as a service"), which no grant
// overcomes. Only a second logon after the grant tells them apart.
inline constexpr std::uint32_t kLogonTypeNotGranted = 1385;

// An account confirmed in the account dialog, checked.
struct CheckedAccount {
    // The account typed; none when the field was left empty to change the
    // password alone, each instance keeping its own.
    std::optional<Account> account;
    // The accounts whose logon lacked only the right (kLogonTypeNotGranted).
    std::vector<Account> rightMissing;
};

// Asks for the account of the instances named |names| in the account
// dialog, pre-filled with |account| and |password|, and checks what is
// typed when OK is pressed; a refusal keeps the dialog open, having said
// why. A virtual account must carry the name of every one of them. An
// ordinary account is looked up first (an unknown one is refused and no
// logon is tried, as each failed logon is written to the security log and
// counts toward a lockout), then logged on with the password as a service:
// every answer about the account or its password refuses it, one that says
// nothing about them is a warning. With |keep|, an empty account field
// means each instance keeps its own, and each of |keep| (the accounts with
// a password) is checked with the password instead. |account| and
// |password| get what was confirmed; nothing when cancelled.
std::optional<CheckedAccount> AskCheckedAccount(MachineContext& s, const std::vector<std::string>& names,
                                                std::string& account, std::string& password,
                                                const std::vector<Account>* keep = nullptr);

// Once instances run under |checked|: the right to log on as a service to
// its account when |newlyUnder| (an instance has taken it) or when its
// logon lacked only the right; with no account, to each account whose
// logon lacked only the right. Each of those logs on once more with
// |password| after the grant. The accounts a policy denies that logon.
std::vector<std::string> GrantLogonRights(MachineContext& s, const CheckedAccount& checked, bool newlyUnder,
                                          const std::string& password);

}  // namespace qm
