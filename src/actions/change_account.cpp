#include "actions/change_account.h"

#include <optional>

#include "actions/account_check.h"
#include "actions/logon_right.h"
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
    std::uint32_t error = 0;      // 0: changed
    bool accountChanged = true;   // it had another account, or one that could not be read
    bool running = false;         // in any state but stopped
};

Outcome ChangeOne(System& system, ManagerHandle manager, const std::string& name, const Account& account,
                  const char* password) {
    Outcome out;
    const Scoped<ServiceHandle> service(system,
                                        system.OpenServiceFor(manager, name, ServiceAccess::Configure, out.error));
    if (!service) return out;
    std::string had;
    out.accountChanged = !system.QueryServiceAccount(service.get(), had) || !SameAccount(had, account.typed());
    ServiceStatus status;
    out.running = system.QueryStatus(service.get(), status) == 0 && status.state != kServiceStopped;
    out.error = system.ChangeServiceAccount(service.get(), account.typed(), password);
    return out;
}

}  // namespace

bool SameAccount(const std::string& a, const std::string& b) { return FoldCase(a) == FoldCase(b); }

bool ChangeAccount(DialogAndMachine& s, const std::vector<OverviewRow>& selected, InstanceProgress& progress) {
    if (selected.empty()) return false;
    std::string typed = SharedAccount(selected), password;
    const WipedOnExit wiped{password};
    std::optional<Account> checked;
    AccountVerdict verdict = AccountVerdict::Refused;
    const bool confirmed = s.user.AskAccount(
        typed, password, [&](const std::string& name, const std::string& secret, Messenger& dialog) {
            checked.emplace(name, !secret.empty(), s.isLeadByte);
            for (const OverviewRow& row : selected) {
                if (!FitsService(dialog, *checked, row.name)) return false;
            }
            verdict = CheckAccount(s.rights, dialog, *checked, secret);
            return verdict != AccountVerdict::Refused;
        });
    if (!confirmed || !checked) return false;

    const Scoped<ManagerHandle> manager(s.system, s.system.OpenManager());
    if (!manager) {
        s.user.Message(text::kOverviewReadError, text::kErrorCaption, Icon::Stop);
        return false;
    }
    const char* secret = checked->TakesNullPassword() ? nullptr : password.c_str();
    std::string changed, refused, restartLines;
    std::vector<std::string> restart;
    bool accountChanged = false;
    s.user.ShowBusy(true);
    for (const OverviewRow& row : selected) {
        const Outcome out = ChangeOne(s.system, manager.get(), row.name, *checked, secret);
        if (out.error) {
            refused += text::Fill(text::kRefusedLine, {row.name, ErrorWords(s.system, out.error)});
            continue;
        }
        changed += text::Fill(text::kInstanceLine, row.name);
        accountChanged = accountChanged || out.accountChanged;
        if (out.running) {
            restart.push_back(row.name);
            restartLines += text::Fill(text::kInstanceLine, row.name);
        }
    }
    s.user.ShowBusy(false);

    std::string message;
    if (!changed.empty()) message = text::Fill(text::kAccountChanged, checked->typed()) + changed;
    if (!refused.empty()) message += (message.empty() ? "" : "\n\n") + std::string(text::kAccountRefused) + refused;
    if (refused.empty()) {
        s.user.Message(message, text::kCaption, Icon::Information);
    } else {
        s.user.Message(message, text::kErrorCaption, Icon::Stop);
    }
    if (changed.empty()) return false;

    // A logon refused for want of the right is tried once more after the
    // grant: refused again, a policy denies it, and no restart can succeed.
    LogonRight right = LogonRight::NotNeeded;
    if (accountChanged || verdict == AccountVerdict::RightMissing) {
        right = GrantServiceLogonRight(s.rights, s.user, *checked,
                                       verdict == AccountVerdict::RightMissing ? &password : nullptr);
    }
    if (right != LogonRight::Denied && !restart.empty() &&
        s.user.AskYesNo(text::Fill(text::kRestartQuestion, restartLines), text::kCaption)) {
        RestartInstances(s.system, s.user, restart, progress);
    }
    return true;
}

}  // namespace qm
