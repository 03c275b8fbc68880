// In-memory stand-ins for the system, the administrator and the main
// dialog's controls. Every call is recorded, in order, in one shared log;
// any operation can be told to fail.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "actions/actions.h"
#include "actions/plan.h"

namespace qm::test {

using Log = std::vector<std::string>;

struct FakeService {
    std::string name;
    std::string displayName;
    std::string commandLine;
    std::optional<std::string> account;  // nullopt: LocalSystem
    bool running = false;
    bool ignoresStop = false;  // its stop handler never answers
    bool markedForDeletion = false;
    bool disabled = false;         // a start is refused
    std::uint32_t failsStart = 0;  // the exit code it stops with during a start; 0: it starts
    bool stopRequested = false;
    std::uint32_t processId = 0;
    // Its time, on the clock of the time let pass: a start stays pending
    // |startPendingMs|, a stop |stopPendingMs| (unless it ignores stops);
    // a process lives |livesMs| after it reports running (0: on and on),
    // then ends, or with |recovered| another process takes its place.
    unsigned startPendingMs = 0, stopPendingMs = 0, livesMs = 0;
    bool recovered = false;
    bool requested = false;  // its process came from a start request (|livesMs| applies)
    std::uint64_t startedAt = 0, stopAskedAt = 0;
    std::uint32_t exitCode = 0;
};

struct FakeEventSource {
    std::string messageFile;
    std::uint32_t typesSupported = 0;
};

// The operations the stand-ins can be told to fail, one per method.
enum class Op {
    OpenManager, EnumServices, ServiceBytesNeeded, CreateAutoStartService, SetRecoveryActions, SetDescription,
    ServiceGone, OpenServiceToRemove, DeleteService, OpenServiceKey, QueryImagePath, CreateEventLogKey,
    WriteFileAtomically, LookUp, Holds, Grant, QueryRecoveryActions,
    EnumServiceStatuses, OpenServiceFor, QueryServiceAccount, QueryStatus, ChangeServiceAccount, Count
};

// The failures armed for the stand-ins of one test. A failure armed but
// never fired tests nothing: it fails the test when this object goes.
class Failures {
public:
    ~Failures();
    // Makes |op| fail its next |times| calls after the next |after|; -1 for all.
    void Fail(Op op, int times = -1, int after = 0) {
        armed_[op] = {times, 0};
        spared_[op] = after;
    }
    // Whether this call of |op| fails.
    bool Failing(Op op);

private:
    std::map<Op, std::pair<int, int>> armed_;  // the calls left to fail, the failures fired
    std::map<Op, int> spared_;                 // the calls left to succeed before them
};

class FakeSystem : public System {
public:
    enum class EnumStyle { Windows, Wine, WineNoSize };

    FakeSystem(Log& log, Failures& failures) : log_(log), failures_(failures) {}

    // The clock the services' times run on; null: it stands still at 0.
    const unsigned* clock = nullptr;

    // Set-up.
    void AddService(const std::string& name, const std::optional<std::string>& imagePath = {},
                    const std::string& displayName = {});
    // Starts service |name|; one that |ignoresStop| never answers a stop.
    void Run(const std::string& name, bool ignoresStop = false);
    void RefuseAccount(const std::string& account) { refused_.insert(account); }
    EnumStyle enumStyle = EnumStyle::Windows;
    // Bytes an entry takes in the enumeration buffer besides its strings.
    std::uint32_t entryHeaderBytes = 36;

    // Inspection.
    const std::vector<FakeService>& services() const { return services_; }
    const FakeService* Find(const std::string& name) const;
    FakeService& At(const std::string& name) { return *const_cast<FakeService*>(Find(name)); }
    std::map<std::string, std::string> imagePaths;        // by service name
    std::set<std::string> binaryImagePaths;                // names whose "ImagePath" is not a string
    std::map<std::string, RecoveryActions> recovery;       // by service name; none: cannot be read
    std::set<std::string> drivers;                         // names held by services outside the enumeration
    std::map<std::string, FakeEventSource> eventSources;  // by service name
    int enumCalls = 0;
    std::vector<std::uint32_t> enumBufferSizes;
    std::size_t OpenHandles() const { return handles_.size(); }
    std::map<std::string, VersionNumber> fileVersions;  // by path
    std::map<std::string, std::vector<std::string>> dependents;  // by service name, whatever their state

    // System.
    ManagerHandle OpenManager() override;
    EnumRound EnumServices(ManagerHandle manager, std::uint32_t bufferBytes, std::uint32_t resume) override;
    std::uint32_t ServiceBytesNeeded(ManagerHandle manager) override;
    ServiceHandle CreateAutoStartService(ManagerHandle manager, const std::string& name, const std::string& commandLine,
                         const char* account, const char* password) override;
    bool SetRecoveryActions(ServiceHandle service, const RecoveryActions& recovery) override;
    bool SetDescription(ServiceHandle service, const std::string& description) override;
    bool QueryRecoveryActions(ManagerHandle manager, const std::string& name, RecoveryActions& recovery) override;
    bool ServiceNamed(ManagerHandle manager, const std::string& name) override;
    bool ServiceGone(ManagerHandle manager, const std::string& name) override;
    ServiceHandle OpenServiceToRemove(ManagerHandle manager, const std::string& name) override;
    void StopService(ServiceHandle service) override;
    bool DeleteService(ServiceHandle service) override;
    void CloseServiceHandle(ServiceHandle service) override;
    void CloseServiceHandle(ManagerHandle manager) override;
    KeyHandle OpenServiceKey(const std::string& name) override;
    ValueRead QueryImagePath(KeyHandle key, std::string& imagePath) override;
    KeyHandle CreateEventLogKey(const std::string& name) override;
    void WriteEventLogValues(KeyHandle key, const std::string& messageFile) override;
    void CloseKey(KeyHandle key) override;
    bool EnumServiceStatuses(ManagerHandle manager, std::vector<ServiceStatus>& services) override;
    ServiceHandle OpenServiceFor(ManagerHandle manager, const std::string& name, ServiceAccess access,
                                 std::uint32_t& error) override;
    bool QueryServiceAccount(ServiceHandle service, std::string& account) override;
    std::uint32_t QueryStatus(ServiceHandle service, ServiceStatus& status) override;
    std::uint32_t RequestStart(ServiceHandle service) override;
    std::uint32_t RequestStop(ServiceHandle service) override;
    bool ReadFileVersion(const std::string& path, VersionNumber& version) override;
    bool RunningDependents(ServiceHandle service, std::vector<std::string>& names) override;
    // Error 1064 stands for one the system has no words for.
    std::string ErrorText(std::uint32_t error) override {
        return error == 1064 ? "" : "(error " + std::to_string(error) + ")\r\n";
    }
    // A service marked for deletion refuses the change (1072).
    std::uint32_t ChangeServiceAccount(ServiceHandle service, const char* account,
                                       const char* password) override;

private:
    FakeService* Named(ServiceHandle service);
    std::uint64_t Now() const { return clock ? *clock : 0; }
    // Moves the service on to what its times say it is now.
    void Settle(FakeService& s);
    ServiceStatus Status(FakeService& s);
    std::uintptr_t NewHandle(const std::string& kind, const std::string& name);
    void Close(const char* call, std::uintptr_t handle);
    std::uint32_t EntryBytes(const FakeService& s) const;

    Log& log_;
    Failures& failures_;
    std::vector<FakeService> services_;
    std::set<std::string> refused_;
    std::map<std::uintptr_t, std::pair<std::string, std::string>> handles_;  // kind, name
    std::uintptr_t nextHandle_ = 0x100;
    std::uint32_t nextProcessId_ = 1000;
};

// The environment, a console code page and the files of a machine whose
// ANSI code page is 1252 and whose console's is 437.
class FakeScriptHost : public ScriptHost {
public:
    FakeScriptHost(Log& log, Failures& failures) : log_(log), failures_(failures) {}

    std::map<std::string, std::string> environment{{"SystemRoot", "C:\\Windows"},
                                                   {"ProgramFiles", "C:\\Program Files"}};
    std::map<std::string, std::string> files;  // by path; these files exist
    std::set<std::string> inUse;               // held open against writing by another program

    std::map<std::string, std::vector<FolderEntry>> folders;  // by path; others cannot be listed
    std::map<std::string, std::uint64_t> freeSpace;           // by volume ("C:"); others cannot be read

    bool ExpandReferences(const std::string& text, std::string& expanded) override;
    bool FileExists(const std::string& path) override;
    bool ToConsoleCodePage(const std::string& ansi, std::string& console) override;
    bool WriteFileAtomically(const std::string& path, const std::string& contents) override;
    bool FileInUse(const std::string& path) override;
    bool ReadTextFile(const std::string& path, std::string& text) override;
    bool ReadFolder(const std::string& folder, std::vector<FolderEntry>& entries) override;
    bool FreeSpace(const std::string& folder, std::uint64_t& bytes) override;

private:
    Log& log_;
    Failures& failures_;
};

// The local security policy: the accounts it knows and those that hold the
// right to log on as a service. A SID is the account's name as bytes.
class FakeAccountRights : public AccountRights {
public:
    FakeAccountRights(Log& log, Failures& failures) : log_(log), failures_(failures) {}

    std::set<std::string> accounts;  // as typed
    std::string foundDomain = "HOST";  // where the look-up finds every account
    std::set<std::string> serviceLogonHolders;
    std::vector<std::uint32_t> logonAnswers;  // what the service logons answer, in turn; then 0

    bool LookUp(const Account& account, FoundAccount& found) override;
    std::uint32_t TryServiceLogon(const LogonName& name, const std::string& password) override;
    bool Holds(const Sid& sid, const std::string& right) override;
    bool Grant(const Sid& sid, const std::string& right) override;

private:
    Log& log_;
    Failures& failures_;
};

class FakeUser : public User {
public:
    explicit FakeUser(Log& log) : log_(log) {}

    // Answers, taken in order; an empty queue cancels. OK is pressed with
    // each account answer in turn until the check lets the dialog close.
    std::vector<std::optional<std::string>> folders;
    struct AccountAnswer {
        bool ok;
        std::string account, password;
    };
    std::vector<AccountAnswer> accounts;
    std::optional<std::string> modulePath = std::string("C:\\Tools\\Quilmarsk.exe");

    struct Shown {
        std::string text;
        std::string caption;  // "(default)" for a null caption
        Icon icon;
    };
    std::vector<Shown> messages;
    // What the account dialog was pre-filled with, per call.
    std::vector<std::pair<std::string, std::string>> accountPrefills;

    void Message(const std::string& text, const char* caption, Icon icon) override;
    bool BrowseForFolder(const char* title, std::string& folder) override;
    bool AskAccount(std::string& account, std::string& password, const AccountCheck& check) override;
    bool ModulePath(std::string& path) override;
    void ShowBusy(bool busy) override;
    void Pause(unsigned milliseconds) override;
    // The time is the time let pass.
    std::uint64_t Milliseconds() override { return paused; }
    bool AskYesNo(const std::string& question, const char* caption) override;
    // Answers "Write Script" when |writesPlan|.
    bool ConfirmPlan(const UpdatePlan& plan) override;

    bool answersYes = true;
    bool writesPlan = true;
    std::vector<UpdatePlan> plans;  // as shown
    unsigned paused = 0;  // milliseconds let pass
    bool busy = false;

private:
    Log& log_;
};

class FakeView : public MainView {
public:
    FakeView(Log& log, MainDialogState& state) : log_(log), state_(state) {}

    std::vector<std::string> filled;  // the entries as the tool passed them
    std::vector<std::string> list;    // as a sorted list box shows them
    int selection = -1;
    std::string pathControl;
    std::string suffixControl;
    bool readOk = true;

    void WriteControls() override;
    bool ReadControls() override;
    void ShowInstallPath(const std::string& folder) override;
    std::string SuffixField() override { return suffixControl; }
    void FillList(const std::vector<std::string>& serviceNames) override;
    bool SelectedEntry(std::string& text) override;

private:
    Log& log_;
    MainDialogState& state_;
};

// A main dialog's state with fakes around it.
struct Harness : MainDialogState {
    Log log;
    Failures failures;
    FakeSystem system{log, failures};
    FakeUser user{log};
    FakeView view{log, *this};
    FakeScriptHost host{log, failures};
    ServiceLister lister;
    FakeAccountRights rights{log, failures};
    DialogAndMachine context{{user, system, host, lister, rights, nullptr}, *this, view};

    Harness() { system.clock = &user.paused; }

    // Makes |op| fail its next |times| calls; -1 for all.
    void Fail(Op op, int times = -1, int after = 0) { failures.Fail(op, times, after); }
    // The log entries that begin with |prefix|.
    std::vector<std::string> Calls(const std::string& prefix) const;
};

}  // namespace qm::test
