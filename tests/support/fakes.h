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

#include "actions/session.h"

namespace qm::test {

using Log = std::vector<std::string>;

struct FakeService {
    std::string name;
    std::string displayName;
    std::string commandLine;
    std::optional<std::string> account;  // nullopt: LocalSystem
    bool running = false;
};

struct FakeEventSource {
    std::string messageFile;
    std::uint32_t typesSupported = 0;
};

class FakeSystem : public System {
public:
    enum class EnumStyle { Windows, Wine, WineNoSize };

    explicit FakeSystem(Log& log) : log_(log) {}

    // Set-up.
    void AddService(const std::string& name, const std::optional<std::string>& imagePath = {},
                    const std::string& displayName = {});
    // Makes |op| (a method name) fail its next |times| calls; -1 for all.
    void Fail(const std::string& op, int times = -1) { failures_[op] = times; }
    void RefuseAccount(const std::string& account) { refused_.insert(account); }
    EnumStyle enumStyle = EnumStyle::Windows;
    // Bytes an entry takes in the enumeration buffer besides its strings.
    std::uint32_t entryHeaderBytes = 36;

    // Inspection.
    const std::vector<FakeService>& services() const { return services_; }
    const FakeService* Find(const std::string& name) const;
    std::map<std::string, std::string> imagePaths;        // by service name
    std::map<std::string, FakeEventSource> eventSources;  // by service name
    std::map<std::string, std::string> files;             // by path
    int enumCalls = 0;
    std::vector<std::uint32_t> enumBufferSizes;
    std::size_t OpenHandles() const { return handles_.size(); }

    // System.
    Handle OpenManager() override;
    EnumRound EnumServices(Handle manager, std::uint32_t bufferBytes, std::uint32_t resume) override;
    Handle CreateAutoStartService(Handle manager, const std::string& name, const std::string& commandLine,
                         const char* account, const char* password) override;
    Handle OpenServiceToRemove(Handle manager, const std::string& name) override;
    void StopService(Handle service) override;
    bool DeleteService(Handle service) override;
    void CloseServiceHandle(Handle handle) override;
    Handle OpenServiceKey(const std::string& name) override;
    bool QueryImagePath(Handle key, std::string& imagePath) override;
    Handle CreateEventLogKey(const std::string& name) override;
    void WriteEventLogValues(Handle key, const std::string& messageFile) override;
    void CloseKey(Handle key) override;
    bool WriteFileAtomically(const std::string& path, const std::string& contents) override;

private:
    bool Failing(const std::string& op);
    Handle NewHandle(const std::string& kind, const std::string& name);
    std::uint32_t EntryBytes(const FakeService& s) const;

    Log& log_;
    std::vector<FakeService> services_;
    std::map<std::string, int> failures_;
    std::set<std::string> refused_;
    std::map<Handle, std::pair<std::string, std::string>> handles_;  // kind, name
    Handle nextHandle_ = 0x100;
};

class FakeUser : public User {
public:
    explicit FakeUser(Log& log) : log_(log) {}

    // Answers, taken in order; an empty queue cancels.
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
    bool AskAccount(std::string& account, std::string& password) override;
    bool ModulePath(std::string& path) override;

private:
    Log& log_;
};

class FakeView : public MainView {
public:
    FakeView(Log& log, DialogMembers& members) : log_(log), members_(members) {}

    std::vector<std::string> list;
    int selection = -1;
    std::string pathControl;
    std::string suffixControl;
    bool readOk = true;

    void WriteControls() override;
    bool ReadControls() override;
    void ShowInstallPath(const std::string& folder) override;
    void FillList(const std::vector<std::string>& serviceNames) override;
    bool SelectedEntry(std::string& text) override;

private:
    Log& log_;
    DialogMembers& members_;
};

// A main dialog's members with fakes around them.
struct Harness {
    Log log;
    std::string serviceName, password, account, installPath, suffix;
    std::uint32_t serviceCount = 0;
    DialogMembers members{serviceName, password, account, serviceCount, installPath, suffix};
    FakeSystem system{log};
    FakeUser user{log};
    FakeView view{log, members};
    Session session{system, user, view, members, nullptr};

    // The log entries that begin with |prefix|.
    std::vector<std::string> Calls(const std::string& prefix) const;
};

}  // namespace qm::test
