#include "actions/logon_right.h"
#include "actions/messages.h"
#include "actions/actions.h"
#include "catalogue/naming.h"

namespace qm {

namespace {

constexpr char kExecutableName[] = "KorvaneSrv.exe";

}  // namespace

bool ExecutablePaths(const std::string& folder, std::string& executable, std::string& commandLine) {
    // The separator is always inserted, so a drive root gives C:\\KorvaneSrv.exe.
    executable = folder + "\\" + kExecutableName;
    // Unquoted, a path with blanks would make the service manager try
    // C:\Program.exe and the like first.
    const bool quote = executable.find_first_of(" \t") != std::string::npos;
    commandLine = quote ? "\"" + executable + "\"" : executable;
    return commandLine.size() <= kMaxPathChars;  // what selection and the script read back
}

bool BrowseInstallPath(DialogAndMachine& s) {
    std::string folder;
    if (!s.user.BrowseForFolder(text::kInstallTitle, folder)) return false;
    s.state.m_strInstallPath = folder;
    s.view.ShowInstallPath(folder);
    return true;
}

InstallResult InstallService(DialogAndMachine& s, const std::string& name, bool* underAccount) {
    if (underAccount) *underAccount = false;
    std::string executable, commandLine;
    if (!ExecutablePaths(s.state.m_strInstallPath, executable, commandLine)) return InstallResult::Failed;

    System& sys = s.system;
    const Scoped<ManagerHandle> manager(sys, sys.OpenManager());
    if (!manager) return InstallResult::Failed;

    Scoped<ServiceHandle> service(sys, sys.CreateAutoStartService(manager.get(), name, commandLine,
                                                                  s.state.m_strAccount.c_str(),
                                                                  s.state.m_strPassword.c_str()));
    if (service && underAccount) *underAccount = true;
    if (!service) {
        service.Reset(sys.CreateAutoStartService(manager.get(), name, commandLine, nullptr, nullptr));
        if (!service) return InstallResult::Failed;
        s.user.Message(text::kLocalSystemFallback, text::kErrorCaption, Icon::Stop);
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
    const bool confirmed = s.user.AskAccount(account, password);
    if (confirmed) {
        s.state.m_strAccount = account;
        Wipe(s.state.m_strPassword);
        s.state.m_strPassword = password;
    }
    Wipe(password);
    if (!confirmed) return;

    // Takes the suffix as typed. A refused suffix has been reported; the
    // proposal it would have fallen back to is not what was asked for.
    if (!s.view.ReadControls()) return;
    bool underAccount = false;
    const InstallResult result = InstallService(s, InstanceName(s.state.m_strSuffix), &underAccount);
    if (result == InstallResult::Installed) {
        s.user.Message(text::kInstalled, text::kCaption, Icon::Information);
    } else {
        s.user.Message(text::kInstallError, text::kErrorCaption, Icon::Stop);
    }
    // The service exists under the account: it must be able to log on.
    if (underAccount) GrantServiceLogonRight(s.rights, s.user, s.state.m_strAccount);
    // A created service belongs in the list even when its event-log key failed.
    if (result != InstallResult::Failed) RefreshServiceList(s);
}

}  // namespace qm
