#include <optional>

#include "actions/account_check.h"
#include "actions/actions.h"
#include "actions/messages.h"
#include "catalogue/naming.h"

namespace qm {

namespace {

// A crashed instance is started again after a minute, twice; after a third
// failure within a day it stays down until someone looks at it.
constexpr FailureAction kRestartAfterAMinute{true, 60 * 1000};
constexpr std::uint32_t kOneDay = 24 * 60 * 60;

}  // namespace

bool BrowseInstallPath(DialogAndMachine& s) {
    std::string folder;
    if (!s.user.BrowseForFolder(text::kInstallTitle, folder)) return false;
    s.state.m_strInstallPath = folder;
    s.view.ShowInstallPath(folder);
    return true;
}

InstallResult InstallService(DialogAndMachine& s, const std::string& name, const Account& account,
                             InstallNotes* notes) {
    InstallNotes unread;
    InstallNotes& said = notes ? *notes : unread;
    std::string executable, commandLine;
    if (!ExecutablePaths(s.state.m_strInstallPath, executable, commandLine)) return InstallResult::Failed;

    System& sys = s.system;
    const Scoped<ManagerHandle> manager(sys, sys.OpenManager());
    if (!manager) return InstallResult::Failed;

    const char* password = account.TakesNullPassword() ? nullptr : s.state.m_strPassword.c_str();
    Scoped<ServiceHandle> service(sys, sys.CreateAutoStartService(manager.get(), name, commandLine,
                                                                  account.typed().c_str(), password));
    said.underAccount = static_cast<bool>(service);
    if (!service) {
        service.Reset(sys.CreateAutoStartService(manager.get(), name, commandLine, nullptr, nullptr));
        if (!service) return InstallResult::Failed;
        s.user.Message(text::kLocalSystemFallback, text::kErrorCaption, Icon::Stop);
    }
    const RecoveryActions recovery{kOneDay, {kRestartAfterAMinute, kRestartAfterAMinute, FailureAction{}}};
    if (!sys.SetRecoveryActions(service.get(), recovery)) said.warnings.push_back(text::kRecoveryWarning);
    // Tells the instances apart in the Services console.
    if (!sys.SetDescription(service.get(), text::Fill(text::kServiceDescription, s.state.m_strInstallPath))) {
        said.warnings.push_back(text::kDescriptionWarning);
    }

    const Scoped<KeyHandle> key(sys, sys.CreateEventLogKey(name));
    if (!key) return InstallResult::FailedAfterCreate;
    sys.WriteEventLogValues(key.get(), executable);
    return InstallResult::Installed;
}

void AddInstance(DialogAndMachine& s) {
    if (!BrowseInstallPath(s)) return;

    std::string account = s.state.m_strAccount;
    std::string password = s.state.m_strPassword;
    // The suffix field cannot change while the dialog is open: the name
    // checked is the name created.
    const std::optional<CheckedAccount> checked =
        AskCheckedAccount(s, {InstanceName(s.view.SuffixField())}, account, password);
    if (checked) {
        s.state.m_strAccount = account;
        Wipe(s.state.m_strPassword);
        s.state.m_strPassword = password;
    }
    Wipe(password);
    if (!checked) return;

    // Takes the suffix as typed. A refused suffix has been reported; the
    // proposal it would have fallen back to is not what was asked for.
    if (!s.view.ReadControls()) return;
    InstallNotes notes;
    const InstallResult result = InstallService(s, InstanceName(s.state.m_strSuffix), *checked->account, &notes);
    if (result == InstallResult::Installed) {
        s.user.Message(text::kInstalled, text::kCaption, Icon::Information);
    } else {
        s.user.Message(text::kInstallError, text::kErrorCaption, Icon::Stop);
    }
    // The service exists under the account: it must be able to log on.
    if (notes.underAccount) GrantLogonRights(s, *checked, true, s.state.m_strPassword);
    for (const char* warning : notes.warnings) s.user.Message(warning, text::kCaption, Icon::Warning);
    // A created service belongs in the list even when its event-log key failed.
    if (result != InstallResult::Failed) RefreshServiceList(s);
}

}  // namespace qm
