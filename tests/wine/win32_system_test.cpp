// qm::Win32System against a real service manager, registry and file system
// (Wine's, in the test prefix). Every test uses names of its own, removes
// leftovers of an earlier run first and deletes what it created.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "korvane_srv_version.h"
#include "support/machine.h"
#include "win32/account_rights.h"
#include "win32/script_host.h"
#include "win32/service_manager.h"

namespace qm {
namespace {

using namespace test;

// Services and registry keys a test creates, removed before and after it.
class Win32SystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        manager_ = system_.OpenManager();
        ASSERT_TRUE(manager_) << GetLastError();
    }
    void TearDown() override {
        for (const auto& name : services_) RemoveService(name);
        for (const auto& path : keys_) RegDeleteKeyA(HKEY_LOCAL_MACHINE, path.c_str());
        if (manager_) system_.CloseServiceHandle(manager_);
    }

    std::string FreshService(const std::string& name) {
        RemoveService(name);
        services_.push_back(name);
        return name;
    }
    std::string FreshKey(const std::string& path) {
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, path.c_str());
        keys_.push_back(path);
        return path;
    }

    SC_HANDLE Manager() const { return reinterpret_cast<SC_HANDLE>(manager_.value); }

    Win32System system_;
    ManagerHandle manager_;
    std::vector<std::string> services_;
    std::vector<std::string> keys_;
};

TEST_F(Win32SystemTest, CreatesOwnProcessAutoStartServices) {
    const std::string local = FreshService("QmWine Create 01");
    const std::string quoted = "\"C:\\Program Files\\Korvane 01\\KorvaneSrv.exe\"";
    ServiceHandle h = system_.CreateAutoStartService(manager_, local, quoted, nullptr, nullptr);
    ASSERT_TRUE(h) << GetLastError();
    system_.CloseServiceHandle(h);

    // An account that exists on every Windows system (Wine accepts any).
    const std::string other = FreshService("QmWine Create 02");
    const std::string bare = "C:\\Korvane02\\KorvaneSrv.exe";
    h = system_.CreateAutoStartService(manager_, other, bare, "NT AUTHORITY\\LocalService", "");
    ASSERT_TRUE(h) << GetLastError();
    system_.CloseServiceHandle(h);

    for (const auto& [name, path, account] :
         {std::make_tuple(local, quoted, "LocalSystem"), std::make_tuple(other, bare, "NT AUTHORITY\\LocalService")}) {
        SCOPED_TRACE(name);
        const std::string key = kServicesKey + name;
        EXPECT_EQ(ReadValue(key, "Type").number(), 0x10u);
        EXPECT_EQ(ReadValue(key, "Start").number(), 2u);
        EXPECT_EQ(ReadValue(key, "ErrorControl").number(), 1u);
        EXPECT_EQ(ReadValue(key, "DisplayName").text(), name);
        EXPECT_EQ(ReadValue(key, "ObjectName").text(), account);
        // Wine stores the path as a plain string, Windows as an expandable one.
        const RegValue image = ReadValue(key, "ImagePath");
        EXPECT_TRUE(image.type == REG_SZ || image.type == REG_EXPAND_SZ) << image.type;
        EXPECT_EQ(ReadValue(key, "ImagePath").text(), path);

        // Read back the way the tool reads it.
        const KeyHandle k = system_.OpenServiceKey(name);
        ASSERT_TRUE(k);
        std::string stored;
        EXPECT_EQ(system_.QueryImagePath(k, stored), ValueRead::Read);
        EXPECT_EQ(stored, path);
        system_.CloseKey(k);
    }

    // Both names are known to the manager, by key and by display name.
    EXPECT_TRUE(system_.ServiceNamed(manager_, "qmwine create 01"));
    EXPECT_FALSE(system_.ServiceNamed(manager_, "QmWine Create 03"));
    // A removed service is gone when its key name is, whatever display
    // name another service carries.
    InstallService(FreshService("QmWine Create 04"), bare, SERVICE_DEMAND_START, "QmWine Gone 01");
    EXPECT_TRUE(system_.ServiceNamed(manager_, "QmWine Gone 01"));
    EXPECT_TRUE(system_.ServiceGone(manager_, "QmWine Gone 01"));
    EXPECT_FALSE(system_.ServiceGone(manager_, local));

    // A taken name fails, which sends the caller to its fallback.
    EXPECT_FALSE(system_.CreateAutoStartService(manager_, local, bare, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_EXISTS));
}

TEST_F(Win32SystemTest, OpensStopsAndDeletesAStoppedService) {
    const std::string name = FreshService("QmWine Delete 01");
    EXPECT_FALSE(system_.OpenServiceToRemove(manager_, name));

    ServiceHandle h = system_.CreateAutoStartService(manager_, name, "C:\\Korvane\\KorvaneSrv.exe", nullptr, nullptr);
    ASSERT_TRUE(h) << GetLastError();
    system_.CloseServiceHandle(h);

    h = system_.OpenServiceToRemove(manager_, name);
    ASSERT_TRUE(h) << GetLastError();
    system_.StopService(h);  // not running: refused, and harmless
    EXPECT_TRUE(system_.DeleteService(h));
    system_.CloseServiceHandle(h);

    EXPECT_TRUE(PollUntil([&] { return !ServiceExists(name); }));
    EXPECT_FALSE(KeyExists(kServicesKey + name));
}

TEST_F(Win32SystemTest, StopsAndDeletesARunningInstance) {
    const std::string exe = FolderOf(ThisProgram()) + "KorvaneSrv.exe";  // the stand-in, built beside this program
    ASSERT_TRUE(PathExists(exe)) << exe;
    const std::string name = FreshService("QmWine Stop 01");
    ServiceHandle h = system_.CreateAutoStartService(manager_, name, "\"" + exe + "\"", nullptr, nullptr);
    ASSERT_TRUE(h) << GetLastError();
    system_.CloseServiceHandle(h);

    StartAndWaitRunning(name);
    // Held open, so that the service can be watched while it is deleted.
    SC_HANDLE watch = OpenServiceA(Manager(), name.c_str(), SERVICE_QUERY_STATUS);
    ASSERT_NE(watch, nullptr) << GetLastError();
    auto state = [&] {
        SERVICE_STATUS status = {};
        return QueryServiceStatus(watch, &status) ? status.dwCurrentState : 0;
    };

    h = system_.OpenServiceToRemove(manager_, name);
    ASSERT_TRUE(h) << GetLastError();
    system_.StopService(h);
    EXPECT_TRUE(system_.DeleteService(h));
    system_.CloseServiceHandle(h);

    ASSERT_TRUE(PollUntil([&] { return state() == SERVICE_STOPPED; })) << state();
    ::CloseServiceHandle(watch);
    EXPECT_TRUE(PollUntil([&] { return !ServiceExists(name); }));
}

// What the overview reads of real services: state and process id from the
// one enumeration, the account from the configuration, the version from the
// executable's resource; and the answers its start and stop act on.
TEST_F(Win32SystemTest, ReadsStateAccountAndVersionForTheOverview) {
    const std::string exe = "\"" + FolderOf(ThisProgram()) + "KorvaneSrv.exe\"";
    const std::string running = FreshService("QmWine Overview 01"), stopped = FreshService("QmWine Overview 02"),
                      disabled = FreshService("QmWine Overview 03");
    InstallService(running, exe);
    InstallService(disabled, exe, SERVICE_DISABLED);
    system_.CloseServiceHandle(system_.CreateAutoStartService(manager_, stopped, exe, ".\\qmtester", "pw"));
    StartAndWaitRunning(running);

    std::vector<ServiceStatus> services;
    ASSERT_TRUE(system_.EnumServiceStatuses(manager_, services));
    std::multimap<std::string, std::pair<std::uint32_t, std::uint32_t>> seen;  // state, process id
    for (const ServiceStatus& s : services) seen.insert({s.name, {s.state, s.processId}});
    const std::uint32_t pid = ServiceProcessId(running);
    EXPECT_NE(pid, 0u);
    EXPECT_EQ(seen.count(running) + seen.count(stopped), 2u);
    EXPECT_EQ(seen.find(running)->second, std::make_pair(std::uint32_t{SERVICE_RUNNING}, pid));
    EXPECT_EQ(seen.find(stopped)->second, std::make_pair(std::uint32_t{SERVICE_STOPPED}, std::uint32_t{0}));

    const auto open = [&](const std::string& name, ServiceAccess access) {
        std::uint32_t error = 0;
        ServiceHandle h = system_.OpenServiceFor(manager_, name, access, error);
        EXPECT_TRUE(h) << error;
        return h;
    };
    std::string account;
    ServiceHandle h = open(stopped, ServiceAccess::Query);
    EXPECT_TRUE(system_.QueryServiceAccount(h, account));
    EXPECT_EQ(account, ".\\qmtester");
    system_.CloseServiceHandle(h);

    VersionNumber v{};
    ASSERT_TRUE(system_.ReadFileVersion(exe.substr(1, exe.size() - 2), v));
    EXPECT_EQ(std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) + "." + std::to_string(v[3]),
              KORVANE_SRV_VERSION_TEXT);
    EXPECT_FALSE(system_.ReadFileVersion(ThisProgram(), v));  // it has no version resource

    h = open(disabled, ServiceAccess::Control);
    EXPECT_EQ(system_.RequestStart(h), std::uint32_t{ERROR_SERVICE_DISABLED});
    EXPECT_NE(system_.ErrorText(ERROR_SERVICE_DISABLED), "");
    system_.CloseServiceHandle(h);

    h = open(running, ServiceAccess::Control);
    EXPECT_EQ(system_.RequestStop(h), 0u);
    ServiceStatus status;
    EXPECT_TRUE(PollUntil([&] { return system_.QueryStatus(h, status) == 0 && status.state == SERVICE_STOPPED; }));
    EXPECT_EQ(system_.RequestStop(h), std::uint32_t{ERROR_SERVICE_NOT_ACTIVE});
    system_.CloseServiceHandle(h);

    // A new account for two of them, read back (Wine drops the password).
    for (const std::string& name : {stopped, disabled}) {
        h = open(name, ServiceAccess::Configure);
        EXPECT_EQ(system_.ChangeServiceAccount(h, ".\\qmrotated", "new"), 0u) << name;
        // A password alone: no account keeps the one it has.
        EXPECT_EQ(system_.ChangeServiceAccount(h, nullptr, "newer"), 0u) << name;
        EXPECT_TRUE(system_.QueryServiceAccount(h, account));
        EXPECT_EQ(account, ".\\qmrotated") << name;
        system_.CloseServiceHandle(h);
    }
    h = open(disabled, ServiceAccess::Control);  // nothing else changed: still disabled
    EXPECT_EQ(system_.RequestStart(h), std::uint32_t{ERROR_SERVICE_DISABLED});
    system_.CloseServiceHandle(h);
}

// ImagePath values written directly, in the forms the tool may meet.
TEST_F(Win32SystemTest, ReadsImagePathAsStored) {
    const std::string name = "QmWine Image 01";
    const std::string path = FreshKey(kServicesKey + name);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, path.c_str(), &key), ERROR_SUCCESS);
    // The last byte of |bytes| is left out: RegSetValueExA counts a string's
    // terminator itself when the byte after the given size is zero.
    auto set = [&](DWORD type, const std::string& bytes) {
        return RegSetValueExA(key, "ImagePath", 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                              static_cast<DWORD>(bytes.size() - 1));
    };
    auto read = [&](std::string& out) {
        out = "stale";
        const KeyHandle k = system_.OpenServiceKey(name);
        if (!k) return ValueRead::Missing;
        const ValueRead result = system_.QueryImagePath(k, out);
        system_.CloseKey(k);
        return result;
    };
    std::string got;

    // Missing value.
    EXPECT_EQ(read(got), ValueRead::Missing);

    const std::string plain = "C:\\Korvane 01\\KorvaneSrv.exe";
    const std::string expandable = "%ProgramFiles%\\Korvane\\KorvaneSrv.exe -service";
    const std::string longest(259, 'p');  // the longest path Add registers
    // A short path with long arguments: read whole, past any path buffer.
    const std::string withArguments = plain + " -config C:\\" + std::string(600, 'c');
    const struct {
        const char* what;
        DWORD type;
        std::string bytes;
        std::string expected;
    } cases[] = {
        {"plain string", REG_SZ, plain + '\0' + '#', plain},
        {"expandable string, unexpanded", REG_EXPAND_SZ, expandable + '\0' + '#', expandable},
        {"no terminator", REG_SZ, plain + '#', plain},
        {"259 characters", REG_EXPAND_SZ, longest + '\0' + '#', longest},
        {"259 characters, no terminator", REG_SZ, longest + '#', longest},
        {"260 characters, no terminator", REG_SZ, longest + "p#", longest + "p"},
        {"long arguments", REG_SZ, withArguments + '\0' + '#', withArguments},
        {"long arguments, no terminator", REG_SZ, withArguments + '#', withArguments},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(set(c.type, c.bytes), ERROR_SUCCESS);
        ASSERT_EQ(ReadValue(path, "ImagePath").raw.size(), c.bytes.size() - 1);
        EXPECT_EQ(read(got), ValueRead::Read);
        EXPECT_EQ(got, c.expected);
    }

    // Longer than any command line a service could be started with.
    ASSERT_EQ(set(REG_SZ, std::string(kMaxCommandLineChars + 1, 'p') + '\0' + '#'), ERROR_SUCCESS);
    EXPECT_EQ(read(got), ValueRead::TooLong);
    ASSERT_EQ(set(REG_BINARY, plain + '#'), ERROR_SUCCESS);
    EXPECT_EQ(read(got), ValueRead::NotText);
    RegCloseKey(key);

    // A service name as long as the service manager allows: the whole key
    // path is longer than the ANSI entry points take in one piece.
    const std::string longName = "QmWine Image " + std::string(243, 'n');
    HKEY services = nullptr, longKey = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services", 0, KEY_ALL_ACCESS, &services),
              ERROR_SUCCESS);
    ASSERT_EQ(RegCreateKeyA(services, longName.c_str(), &longKey), ERROR_SUCCESS);
    RegSetValueExA(longKey, "ImagePath", 0, REG_SZ, reinterpret_cast<const BYTE*>(plain.c_str()),
                   static_cast<DWORD>(plain.size() + 1));
    RegCloseKey(longKey);
    const KeyHandle k = system_.OpenServiceKey(longName);
    EXPECT_TRUE(k);
    EXPECT_EQ(k ? system_.QueryImagePath(k, got) : ValueRead::Missing, ValueRead::Read);
    EXPECT_EQ(got, plain);
    if (k) system_.CloseKey(k);
    RegDeleteKeyA(services, longName.c_str());
    RegCloseKey(services);

    EXPECT_FALSE(system_.OpenServiceKey("QmWine Image missing"));
}

TEST_F(Win32SystemTest, RegistersAnEventLogSource) {
    const std::string name = "QmWine Event 01";
    const std::string path = FreshKey(kEventLogKey + name);
    const std::string exe = "C:\\Program Files\\Korvane 01\\KorvaneSrv.exe";

    KeyHandle key = system_.CreateEventLogKey(name);
    ASSERT_TRUE(key);
    system_.WriteEventLogValues(key, "C:\\Old\\KorvaneSrv.exe");
    system_.CloseKey(key);
    // An existing key is opened and its values replaced.
    key = system_.CreateEventLogKey(name);
    ASSERT_TRUE(key);
    system_.WriteEventLogValues(key, exe);
    system_.CloseKey(key);

    const RegValue file = ReadValue(path, "EventMessageFile");
    EXPECT_EQ(file.type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(file.raw, exe + '\0');  // the bare path, with one terminator
    EXPECT_EQ(ReadValue(path, "TypesSupported").number(), 7u);  // a 4-byte REG_DWORD
}

// A fresh folder of its own under the temporary folder.
class WriteFileTest : public ::testing::Test {
protected:
    std::vector<std::string> List() const { return FolderEntries(folder_); }

    Win32ScriptHost system_;
    TempFolder temp_;
    const std::string folder_ = temp_.path() + "\\";
};

TEST_F(WriteFileTest, ReplacesTheWholeFileAndLeavesNothingElse) {
    const std::string path = folder_ + "KVNUpdate.cmd";
    const std::string longer = "@echo off\r\nnet stop \"Korvane Update Service 01\"\r\nbare\nline\r\n" +
                               std::string(5000, 'x') + "\r\n";
    ASSERT_TRUE(system_.WriteFileAtomically(path, longer));
    EXPECT_EQ(ReadTextFile(path), longer);  // bytes as given, no line-end translation

    const std::string shorter = "@echo off\r\n";
    ASSERT_TRUE(system_.WriteFileAtomically(path, shorter));
    EXPECT_EQ(ReadTextFile(path), shorter);
    EXPECT_EQ(List(), std::vector<std::string>{"KVNUpdate.cmd"});

    // A bare file name lands in the current folder.
    char previous[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(folder_.c_str()));
    const bool bare = system_.WriteFileAtomically("bare.cmd", longer);
    SetCurrentDirectoryA(previous);
    EXPECT_TRUE(bare);
    EXPECT_EQ(ReadTextFile(folder_ + "bare.cmd"), longer);
    EXPECT_EQ(List().size(), 2u);
}

TEST_F(WriteFileTest, FailsInAMissingFolderAndCreatesNothing) {
    const std::string missing = folder_ + "missing\\";
    EXPECT_FALSE(system_.WriteFileAtomically(missing + "KVNUpdate.cmd", "@echo off\r\n"));
    EXPECT_FALSE(PathExists(missing));
    EXPECT_TRUE(List().empty());
}

// A run of the update script holds its lock as cmd holds a redirection:
// open for writing, shared for reading only.
TEST_F(WriteFileTest, TellsAFileHeldAgainstWritingAndReadsAMark) {
    const std::string lock = folder_ + "KVNUpdate.lock", mark = folder_ + "K.previous.unfinished";
    EXPECT_FALSE(system_.FileInUse(lock));  // none there
    HANDLE held = CreateFileA(lock.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(system_.FileInUse(lock));
    CloseHandle(held);
    EXPECT_FALSE(system_.FileInUse(lock));

    std::string text;
    EXPECT_FALSE(system_.ReadTextFile(mark, text));
    WriteTextFile(mark, "running\r\nrecovery 86400 restart/60000\r\n");
    ASSERT_TRUE(system_.ReadTextFile(mark, text));
    EXPECT_EQ(text, "running\r\nrecovery 86400 restart/60000\r\n");
}

// What the update's plan reads of a folder and its volume: every file at
// every depth with its size and attributes, paths past MAX_PATH included,
// and the room left; the version of an update's KorvaneSrv.exe.
TEST_F(WriteFileTest, ReadsAFolderForThePlan) {
    const std::wstring root = L"\\\\?\\" + std::wstring(folder_.begin(), folder_.end());
    const std::string deep = "d\\" + std::string(130, 'x') + "\\" + std::string(130, 'y');  // past MAX_PATH
    for (const std::string& sub : {std::string("sub"), std::string("empty"), std::string("d"), deep.substr(0, 132), deep}) {
        ASSERT_TRUE(CreateDirectoryW((root + std::wstring(sub.begin(), sub.end())).c_str(), nullptr)) << sub;
    }
    WriteTextFile(folder_ + "a.txt", "0123456789");
    WriteTextFile(folder_ + "sub\\ro.dll", std::string(70000, 'r'));
    WriteTextFile(folder_ + "hidden.cfg", "h");
    CopyOneFile(FolderOf(ThisProgram()) + "KorvaneSrv.exe", folder_ + "KorvaneSrv.exe");
    ASSERT_TRUE(SetFileAttributesA((folder_ + "sub\\ro.dll").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(SetFileAttributesA((folder_ + "hidden.cfg").c_str(), FILE_ATTRIBUTE_HIDDEN));

    std::vector<FolderEntry> entries;
    ASSERT_TRUE(system_.ReadFolder(temp_.path(), entries));
    std::map<std::string, std::tuple<std::uint64_t, bool, bool, bool, std::size_t>> seen;  // bytes, folder, ro, hidden, at
    for (const FolderEntry& e : entries) seen[e.path] = {e.bytes, e.folder, e.readOnly, e.hidden, seen.size()};
    EXPECT_EQ(seen.size(), 9u);
    EXPECT_EQ(std::get<0>(seen["a.txt"]), 10u);
    EXPECT_EQ(seen["sub\\ro.dll"], std::make_tuple(std::uint64_t{70000}, false, true, false, std::get<4>(seen["sub\\ro.dll"])));
    EXPECT_TRUE(std::get<3>(seen["hidden.cfg"]));
    EXPECT_TRUE(std::get<1>(seen["empty"]) && std::get<1>(seen[deep]));
    EXPECT_LT(std::get<4>(seen["sub"]), std::get<4>(seen["sub\\ro.dll"]));  // a folder before what it holds
    EXPECT_FALSE(system_.ReadFolder(folder_ + "missing", entries));
    SetFileAttributesA((folder_ + "sub\\ro.dll").c_str(), FILE_ATTRIBUTE_NORMAL);

    std::uint64_t free = 0;
    EXPECT_TRUE(system_.FreeSpace(temp_.path(), free) && free > 0);
    EXPECT_FALSE(system_.FreeSpace(folder_ + "missing", free));
    VersionNumber v{};
    ASSERT_TRUE(Win32System().ReadFileVersion(folder_ + "KorvaneSrv.exe", v));
    EXPECT_EQ(std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) + "." + std::to_string(v[3]),
              KORVANE_SRV_VERSION_TEXT);
}

// A service that a running service depends on: SC STOP would refuse it.
TEST_F(Win32SystemTest, ReadsTheRunningDependentsOfAService) {
    const std::string exe = "\"" + FolderOf(ThisProgram()) + "KorvaneSrv.exe\"";
    const std::string base = FreshService("QmWine Depended 01"), dependent = FreshService("QmWine Dependent 01");
    InstallService(base, exe);
    const std::string needs = base + '\0';
    SC_HANDLE created = CreateServiceA(Manager(), dependent.c_str(), dependent.c_str(), SERVICE_ALL_ACCESS,
                                       SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                       exe.c_str(), nullptr, nullptr, needs.c_str(), nullptr, nullptr);
    ASSERT_NE(created, nullptr) << GetLastError();
    ::CloseServiceHandle(created);
    std::uint32_t error = 0;
    const ServiceHandle h = system_.OpenServiceFor(manager_, base, ServiceAccess::Query, error);
    ASSERT_TRUE(h) << error;
    std::vector<std::string> names;
    EXPECT_TRUE(system_.RunningDependents(h, names));
    EXPECT_TRUE(names.empty());  // stopped: no matter
    StartAndWaitRunning(dependent);
    EXPECT_TRUE(system_.RunningDependents(h, names));
    system_.CloseServiceHandle(h);
    // Wine's EnumDependentServicesA is a stub that answers none, ever.
    if (GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version")) GTEST_SKIP() << "Wine lists no dependents";
    EXPECT_EQ(names, std::vector<std::string>{dependent});
}

// More services than one 147,456-byte buffer holds.
// What the script is made of: references expanded as the service manager
// expands them, text in the console's code page.
TEST(Win32ScriptHost, ExpandsReferencesAndSpeaksTheConsolesCodePage) {
    Win32ScriptHost host;
    char windows[MAX_PATH] = {};
    ASSERT_NE(GetEnvironmentVariableA("SystemRoot", windows, MAX_PATH), 0u);
    std::string text;
    ASSERT_TRUE(host.ExpandReferences("%SystemRoot%\\K\\%QmNowhere%\\", text));
    EXPECT_EQ(text, std::string(windows) + "\\K\\%QmNowhere%\\");
    // The system's value, not the one the administrator's own environment
    // shadows it with.
    const char kSystemVariables[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
    HKEY system = nullptr, user = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSystemVariables, 0, KEY_SET_VALUE, &system), ERROR_SUCCESS);
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Environment", &user), ERROR_SUCCESS);
    RegSetValueExA(system, "QmKorvaneHome", 0, REG_SZ, reinterpret_cast<const BYTE*>("C:\\SysK"), 8);
    RegSetValueExA(user, "QmKorvaneHome", 0, REG_SZ, reinterpret_cast<const BYTE*>("C:\\UserK"), 9);
    SetEnvironmentVariableA("QmKorvaneHome", "C:\\UserK");
    EXPECT_TRUE(host.ExpandReferences("%QmKorvaneHome%\\K01\\", text));
    EXPECT_EQ(text, "C:\\SysK\\K01\\");
    SetEnvironmentVariableA("QmKorvaneHome", nullptr);
    RegDeleteValueA(user, "QmKorvaneHome");
    RegDeleteValueA(system, "QmKorvaneHome");
    RegCloseKey(user);
    RegCloseKey(system);

    // A file is a file; a folder is none.
    const std::string module = ThisProgram();
    ASSERT_FALSE(module.empty());
    EXPECT_TRUE(host.FileExists(module));
    EXPECT_FALSE(host.FileExists(windows));
    EXPECT_FALSE(host.FileExists(module + ".missing"));

    ASSERT_TRUE(host.ToConsoleCodePage("C:\\K 100%\\", text));
    EXPECT_EQ(text, "C:\\K 100%\\");  // ASCII byte for byte
    if (GetACP() != 1252 || GetOEMCP() != 437) GTEST_SKIP() << "code pages " << GetACP() << "/" << GetOEMCP();
    ASSERT_TRUE(host.ToConsoleCodePage("C:\\K\xE9" "a\\", text));
    EXPECT_EQ(text, "C:\\K\x82" "a\\");
    EXPECT_FALSE(host.ToConsoleCodePage("C:\\K\x80\\", text));  // the euro sign
}

TEST_F(Win32SystemTest, EnumeratesEveryServiceOnceWhenOneBufferIsTooSmall) {
    std::vector<std::string> created;
    for (int i = 0; i < 400; ++i) {
        char number[8];
        std::snprintf(number, sizeof number, "%03d", i);
        std::string name = FreshService("QmWine Enum " + std::string(number) + " " + std::string(84, 'n'));
        InstallService(name, "C:\\QmWine\\none.exe", SERVICE_DEMAND_START, name + std::string(150, 'd'));
        created.push_back(name);
    }
    // A driver is not a Win32 service and must not be listed.
    const std::string driver = FreshService("QmWine Enum driver");
    InstallService(driver, "C:\\QmWine\\none.sys", SERVICE_DEMAND_START, {}, SERVICE_KERNEL_DRIVER);

    // The premise: one call with the tool's first buffer cannot hold them all.
    std::vector<unsigned char> buffer(kEnumBufferBytes);
    DWORD needed = 0, count = 0, resume = 0;
    ASSERT_FALSE(EnumServicesStatusA(Manager(), SERVICE_WIN32, SERVICE_STATE_ALL,
                                     reinterpret_cast<ENUM_SERVICE_STATUSA*>(buffer.data()), kEnumBufferBytes,
                                     &needed, &count, &resume));
    ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));

    std::vector<std::string> names;
    ASSERT_TRUE(EnumerateServices(system_, manager_, names));
    std::map<std::string, int> seen;
    for (const auto& n : names) ++seen[n];
    for (const auto& name : created) EXPECT_EQ(seen[name], 1) << name;
    EXPECT_EQ(seen.count(driver), 0u);
    EXPECT_EQ(seen.size(), names.size()) << "a service came back more than once";
}

// A bare name is logged on with the domain its look-up found: the domain
// must come back, and .\name must find the same account as the bare name.
TEST(Win32AccountRightsTest, LooksUpAccountsWithTheirDomain) {
    char user[256] = {};
    DWORD length = sizeof user;
    ASSERT_TRUE(GetUserNameA(user, &length));
    Win32AccountRights rights;
    FoundAccount bare, local, unknown;
    ASSERT_TRUE(rights.LookUp(Account(user, true), bare));
    EXPECT_FALSE(bare.domain.empty());
    ASSERT_TRUE(rights.LookUp(Account(std::string(".\\") + user, true), local));
    EXPECT_EQ(local.sid, bare.sid);
    EXPECT_FALSE(rights.LookUp(Account("QMNODOMAIN\\nobody", true), unknown));
}

}  // namespace
}  // namespace qm
