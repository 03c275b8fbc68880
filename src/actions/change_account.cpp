#include "actions/change_account.h"

#include <optional>

#include "actions/account_check.h"
#include "actions/messages.h"
#include "actions/wipe.h"
#include "catalogue/naming.h"

namespace qm {

namespace {

// Wipes a secret on every way out of its scope.
struct WipedOnExit {
    std::string& secret;
    ~WipedOnExit() { Wipe(secret); }
};

std::string SharedAccount(const std::vector<OverviewRow>& rows) {
    for (const OverviewRow& row : rows) {
        if (!SameAccount(row.account, rows.front().account)) return {};
    }
    return rows.front().account;
}

// How one instance took the change.
struct Outcome {
    std::uint32_t error = 0;     // 0: changed, or left as it was
    bool accountChanged = true;  // it had another account, or one that could not be read
    bool running = false;        // in any state but stopped
    bool passwordless = false;   // a password alone was asked for, and it logs on without one: left
    bool unread = false;         // a password alone was asked for, and its account could not be read: left
    std::string had;             // the account it had
};

// Gives the instance |account| and |password|; with no account, the
// password alone, to an instance whose account has one.
Outcome ChangeOne(MachineContext& s, ManagerHandle manager, const std::string& name, const Account* account,
                  const char* password) {
    Outcome out;
    const Scoped<ServiceHandle> service(s.system,
                                        s.system.OpenServiceFor(manager, name, ServiceAccess::Configure, out.error));
    if (!service) return out;
    const bool read = s.system.QueryServiceAccount(service.get(), out.had);
    out.accountChanged = account && (!read || !SameAccount(out.had, account->typed()));
    if (!account) {
        // What it logs on as must be known: an empty one is LocalSystem.
        if (!read) {
            out.unread = true;
            return out;
        }
        out.passwordless = Account(out.had, false, s.isLeadByte).kind() != AccountKind::Ordinary;
        if (out.passwordless) return out;
    }
    ServiceStatus status;
    out.running = s.system.QueryStatus(service.get(), status) == 0 && status.state != kServiceStopped;
    out.error = s.system.ChangeServiceAccount(service.get(), account ? account->typed().c_str() : nullptr, password);
    return out;
}

// The accounts among |rows| that have a password, each once.
std::vector<Account> AccountsWithPassword(const std::vector<OverviewRow>& rows, LeadBytePredicate isLeadByte) {
    std::vector<Account> accounts;
    for (const OverviewRow& row : rows) {
        const Account account(row.account, true, isLeadByte);
        if (account.kind() != AccountKind::Ordinary) continue;
        bool seen = false;
        for (const Account& a : accounts) seen = seen || SameAccount(a.typed(), row.account);
        if (!seen) accounts.push_back(account);
    }
    return accounts;
}

}  // namespace

bool SameAccount(const std::string& a, const std::string& b) { return FoldCase(a) == FoldCase(b); }

bool ChangeAccount(MachineContext& s, const std::vector<OverviewRow>& selected, InstanceProgress& progress) {
    if (selected.empty()) return false;
    std::string typed = SharedAccount(selected), password;
    const WipedOnExit wiped{password};
    std::vector<std::string> names;
    for (const OverviewRow& row : selected) names.push_back(row.name);
    // No account: each instance keeps its own, and each account with a
    // password is checked with the new one.
    const std::vector<Account> own = AccountsWithPassword(selected, s.isLeadByte);
    const std::optional<CheckedAccount> checked = AskCheckedAccount(s, names, typed, password, &own);
    if (!checked) return false;

    const Scoped<ManagerHandle> manager(s.system, s.system.OpenManager());
    if (!manager) {
        s.user.Message(text::kOverviewReadError, text::kErrorCaption, Icon::Stop);
        return false;
    }
    const Account* account = checked->account ? &*checked->account : nullptr;
    const char* secret = account && account->TakesNullPassword() ? nullptr : password.c_str();
    std::string changed, refused, passwordless;
    std::vector<Outcome> outcomes;
    bool accountChanged = false;
    s.user.ShowBusy(true);
    for (const OverviewRow& row : selected) {
        outcomes.push_back(ChangeOne(s, manager.get(), row.name, account, secret));
        const Outcome& out = outcomes.back();
        if (out.error || out.unread) {
            const std::string why = out.unread ? text::kAccountUnreadable : ErrorWords(s.system, out.error);
            refused += text::Fill(text::kRefusedLine, {row.name, why});
        } else if (out.passwordless) {
            passwordless += text::Fill(text::kRefusedLine, {row.name, out.had});
        } else {
            changed += text::Fill(text::kInstanceLine, row.name);
            accountChanged = accountChanged || out.accountChanged;
        }
    }
    s.user.ShowBusy(false);

    std::string message;
    if (!changed.empty()) {
        message = (account ? text::Fill(text::kAccountChanged, account->typed()) : text::kPasswordChanged) + changed;
    }
    const auto add = [&message](const char* heading, const std::string& lines) {
        if (!lines.empty()) message += (message.empty() ? "" : "\n\n") + std::string(heading) + lines;
    };
    add(text::kNoPasswordLeft, passwordless);
    add(text::kAccountRefused, refused);
    s.user.Message(message, refused.empty() ? text::kCaption : text::kErrorCaption,
                   refused.empty() ? Icon::Information : Icon::Stop);
    if (changed.empty()) return false;

    // No restart under an account a policy denies the logon can succeed.
    const std::vector<std::string> denied = GrantLogonRights(s, *checked, accountChanged, password);
    std::vector<std::string> restart;
    std::string restartLines;
    for (std::size_t i = 0; i < selected.size(); ++i) {
        const Outcome& out = outcomes[i];
        bool refusedLogon = false;
        for (const std::string& d : denied) refusedLogon = refusedLogon || SameAccount(d, account ? d : out.had);
        if (out.error || out.unread || out.passwordless || !out.running || refusedLogon) continue;
        restart.push_back(selected[i].name);
        restartLines += text::Fill(text::kInstanceLine, selected[i].name);
    }
    if (!restart.empty() && s.user.AskYesNo(text::Fill(text::kRestartQuestion, restartLines), text::kCaption)) {
        RestartInstances(s.system, s.user, restart, progress);
    }
    return true;
}

}  // namespace qm
