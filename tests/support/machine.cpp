#include "support/machine.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace qm::test {

namespace fs = std::filesystem;

namespace {

bool NamesKorvane(const std::string& name) { return Lower(name).find("korvane") != std::string::npos; }

std::string Failure(const std::string& what) { return what + " (error " + std::to_string(GetLastError()) + ")"; }

// Owns a service-manager or service handle.
class Sc {
public:
    explicit Sc(SC_HANDLE h) : h_(h) {}
    ~Sc() {
        if (h_) CloseServiceHandle(h_);
    }
    Sc(const Sc&) = delete;
    Sc& operator=(const Sc&) = delete;
    SC_HANDLE get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }

private:
    SC_HANDLE h_;
};

SC_HANDLE OpenManager() {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager) throw MachineError(Failure("cannot open the service manager"));
    return manager;
}

// Every Win32 service name, in the manager's order, read in one call: the
// buffer holds far more than a test prefix has.
std::vector<std::string> AllServices() {
    Sc manager(OpenManager());
    std::vector<BYTE> buffer(1024 * 1024);
    DWORD needed = 0, count = 0, resume = 0;
    if (!EnumServicesStatusA(manager.get(), SERVICE_WIN32, SERVICE_STATE_ALL,
                             reinterpret_cast<ENUM_SERVICE_STATUSA*>(buffer.data()), static_cast<DWORD>(buffer.size()),
                             &needed, &count, &resume)) {
        throw MachineError(Failure("cannot enumerate the services"));
    }
    std::vector<std::string> names;
    const auto* entries = reinterpret_cast<const ENUM_SERVICE_STATUSA*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) names.emplace_back(entries[i].lpServiceName);
    return names;
}

std::vector<std::string> SubKeys(const std::string& key) {
    std::vector<std::string> names;
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, &handle) != ERROR_SUCCESS) {
        return names;
    }
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof name;
        if (RegEnumKeyExA(handle, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, size);
    }
    RegCloseKey(handle);
    return names;
}

}  // namespace

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string WinePath(const std::string& linuxPath) {
    std::string path = "Z:" + linuxPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string FolderOf(const std::string& path) { return path.substr(0, path.find_last_of('\\') + 1); }

std::string ThisProgram() {
    char path[MAX_PATH + 1] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

void RemoveKorvaneServices() {
    std::vector<std::string> names;
    for (const std::string& name : AllServices()) {
        if (NamesKorvane(name)) names.push_back(name);
    }
    {
        Sc manager(OpenManager());
        for (const std::string& name : names) {
            Sc service(OpenServiceA(manager.get(), name.c_str(), SERVICE_ALL_ACCESS));
            if (!service) continue;
            SERVICE_STATUS status = {};
            ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
            PollUntil([&] {
                return QueryServiceStatus(service.get(), &status) && status.dwCurrentState == SERVICE_STOPPED;
            });
            DeleteService(service.get());
        }
    }
    for (const std::string& name : names) {
        if (!PollUntil([&] { return !ServiceExists(name); })) {
            throw MachineError("the service \"" + name + "\" could not be removed before the test");
        }
    }
    for (const std::string& name : SubKeys(kEventLogKey)) {
        if (NamesKorvane(name)) RegDeleteTreeA(HKEY_LOCAL_MACHINE, (kEventLogKey + name).c_str());
    }
}

void RemoveService(const std::string& name) {
    Sc manager(OpenManager());
    Sc service(OpenServiceA(manager.get(), name.c_str(), DELETE | SERVICE_STOP));
    if (!service) return;
    SERVICE_STATUS status = {};
    ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
    DeleteService(service.get());
}

void InstallService(const std::string& name, const std::string& commandLine, DWORD start,
                    const std::string& displayName, DWORD type) {
    Sc manager(OpenManager());
    Sc service(CreateServiceA(manager.get(), name.c_str(), (displayName.empty() ? name : displayName).c_str(),
                              SERVICE_ALL_ACCESS, type, start, SERVICE_ERROR_NORMAL, commandLine.c_str(), nullptr,
                              nullptr, nullptr, nullptr, nullptr));
    if (!service) throw MachineError(Failure("cannot create the service \"" + name + "\""));
}

void StartAndWaitRunning(const std::string& name) {
    Sc manager(OpenManager());
    Sc service(OpenServiceA(manager.get(), name.c_str(), SERVICE_START | SERVICE_QUERY_STATUS));
    if (!service || !StartServiceA(service.get(), 0, nullptr)) {
        throw MachineError(Failure("cannot start the service \"" + name + "\""));
    }
    if (!PollUntil([&] { return ServiceState(name) == SERVICE_RUNNING; })) {
        throw MachineError("the service \"" + name + "\" did not reach the running state");
    }
}

DWORD ServiceState(const std::string& name) {
    Sc manager(OpenManager());
    Sc service(OpenServiceA(manager.get(), name.c_str(), SERVICE_QUERY_STATUS));
    SERVICE_STATUS status = {};
    if (!service || !QueryServiceStatus(service.get(), &status)) return 0;
    return status.dwCurrentState;
}

bool ServiceExists(const std::string& name) {
    Sc manager(OpenManager());
    Sc service(OpenServiceA(manager.get(), name.c_str(), SERVICE_QUERY_STATUS));
    return service || GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST;
}

DWORD ServiceProcessId(const std::string& name) {
    Sc manager(OpenManager());
    Sc service(OpenServiceA(manager.get(), name.c_str(), SERVICE_QUERY_STATUS));
    SERVICE_STATUS_PROCESS status = {};
    DWORD needed = 0;
    if (!service || !QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                          sizeof status, &needed)) {
        return 0;
    }
    return status.dwProcessId;
}

void DeleteServiceNow(const std::string& name) {
    {
        Sc manager(OpenManager());
        Sc service(OpenServiceA(manager.get(), name.c_str(), DELETE));
        if (!service || !DeleteService(service.get())) {
            throw MachineError(Failure("cannot delete the service \"" + name + "\""));
        }
    }
    if (!PollUntil([&] { return !ServiceExists(name); })) throw MachineError("\"" + name + "\" stayed installed");
}

std::vector<std::string> KorvaneServicesInManagerOrder() {
    std::vector<std::string> family;
    for (const std::string& name : AllServices()) {
        if (name.find("Korvane") != std::string::npos) family.push_back(name);
    }
    return family;
}

void DeleteValue(const std::string& key, const char* name) {
    HKEY handle = nullptr;
    LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_SET_VALUE, &handle);
    if (result == ERROR_SUCCESS) {
        result = RegDeleteValueA(handle, name);
        RegCloseKey(handle);
    }
    if (result != ERROR_SUCCESS) throw MachineError("cannot delete the value " + key + "\\" + name);
}

TempFolder::TempFolder() {
    static int counter = 0;
    char temp[MAX_PATH] = {};
    if (!GetTempPathA(MAX_PATH, temp)) throw MachineError(Failure("no temporary folder"));
    char longTemp[MAX_PATH] = {};
    if (!GetLongPathNameA(temp, longTemp, MAX_PATH)) lstrcpynA(longTemp, temp, MAX_PATH);
    path_ = longTemp;
    if (!path_.empty() && path_.back() == '\\') path_.pop_back();
    path_ += "\\qm-test-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
    fs::remove_all(path_);
    MakeFolders(path_);
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

void MakeFolders(const std::string& path) { fs::create_directories(path); }

void WriteTextFile(const std::string& path, const std::string& contents) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << contents;
    if (!file) throw MachineError("cannot write " + path);
}

std::string ReadTextFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw MachineError("cannot read " + path);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool PathExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void CopyOneFile(const std::string& from, const std::string& to) {
    if (!CopyFileA(from.c_str(), to.c_str(), FALSE)) throw MachineError(Failure("cannot copy " + from));
}

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    const std::string pattern = folder + (folder.empty() || folder.back() != '\\' ? "\\*" : "*");
    const HANDLE find = FindFirstFileA(pattern.c_str(), &found);
    for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileA(find, &found)) {
        const std::string name = found.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    }
    if (find != INVALID_HANDLE_VALUE) FindClose(find);
    return names;
}

DWORD RunWithPathPrefix(const std::string& commandLine, const std::string& pathPrefix, DWORD limit,
                        const std::function<void(HANDLE job)>& during) {
    char old[32767] = {};
    const DWORD oldLength = GetEnvironmentVariableA("PATH", old, sizeof old);
    SetEnvironmentVariableA("PATH", (pathPrefix + ";" + std::string(old, oldLength)).c_str());
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child = {};
    std::string line = commandLine;
    // In a job of its own, so that it can be ended with every program it
    // started, as closing its console window ends them.
    const HANDLE job = CreateJobObjectA(nullptr, nullptr);
    const BOOL started = CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW | CREATE_SUSPENDED,
                                        nullptr, nullptr, &startup, &child);
    const DWORD error = GetLastError();
    SetEnvironmentVariableA("PATH", oldLength ? old : nullptr);
    if (!started) {
        if (job) CloseHandle(job);
        throw MachineError("cannot run " + commandLine + " (error " + std::to_string(error) + ")");
    }
    if (job) AssignProcessToJobObject(job, child.hProcess);
    ResumeThread(child.hThread);
    if (during) during(job);
    const bool ended = WaitForSingleObject(child.hProcess, limit) == WAIT_OBJECT_0;
    DWORD code = 0;
    GetExitCodeProcess(child.hProcess, &code);
    if (!ended) TerminateProcess(child.hProcess, 1);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    if (job) CloseHandle(job);
    if (!ended) throw MachineError(commandLine + " did not end");
    return code;
}

}  // namespace qm::test
