#include "win32/service_manager.h"

#include <windows.h>

#include <vector>

#include "win32/path_limits.h"

namespace qm {

namespace {

// The parents of the service keys and of the event-log sources. A service
// key is opened below its parent: a whole path of more than 260 characters
// is refused by the ANSI entry points, while the name itself may have 256.
constexpr char kServicesKey[] = "SYSTEM\\CurrentControlSet\\Services";
constexpr char kEventLogKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application";
constexpr DWORD kTypesSupported = 7;  // error, warning and information events

template <HandleKind Kind>
SC_HANDLE Sc(TypedHandle<Kind> h) { return reinterpret_cast<SC_HANDLE>(h.value); }
HKEY Key(KeyHandle h) { return reinterpret_cast<HKEY>(h.value); }
template <typename H, typename T>
H ToHandle(T h) { return H{reinterpret_cast<std::uintptr_t>(h)}; }

}  // namespace

ManagerHandle Win32System::OpenManager() {
    return ToHandle<ManagerHandle>(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
}

EnumRound Win32System::EnumServices(ManagerHandle manager, std::uint32_t bufferBytes, std::uint32_t resume) {
    std::vector<unsigned char> buffer(bufferBytes);
    auto* entries = reinterpret_cast<ENUM_SERVICE_STATUSA*>(buffer.data());
    DWORD needed = 0, count = 0, resumeHandle = resume;
    EnumRound r;
    r.ok = EnumServicesStatusA(Sc(manager), SERVICE_WIN32, SERVICE_STATE_ALL, entries, bufferBytes, &needed,
                               &count, &resumeHandle) != FALSE;
    r.error = r.ok ? 0 : GetLastError();
    r.bytesNeeded = needed;
    r.resume = resumeHandle;
    if (RoundHasEntries(r, resume)) {
        // Never trust a count beyond what the buffer can hold.
        const DWORD fit = bufferBytes / sizeof(ENUM_SERVICE_STATUSA);
        r.names.reserve(count < fit ? count : fit);
        for (DWORD i = 0; i < count && i < fit; ++i) {
            if (!entries[i].lpServiceName) continue;
            r.names.emplace_back(entries[i].lpServiceName);
            r.bytesUsed += static_cast<std::uint32_t>(sizeof(ENUM_SERVICE_STATUSA) + r.names.back().size() + 1 +
                                                      (entries[i].lpDisplayName ? strlen(entries[i].lpDisplayName) : 0) + 1);
        }
    }
    return r;
}

std::uint32_t Win32System::ServiceBytesNeeded(ManagerHandle manager) {
    // Wine's EnumServicesStatusA fetches every entry whatever the buffer;
    // its EnumServicesStatusExA with no buffer only asks for the size.
    DWORD needed = 0, count = 0, resumeHandle = 0;
    if (EnumServicesStatusExA(Sc(manager), SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_STATE_ALL, nullptr, 0,
                              &needed, &count, &resumeHandle, nullptr) ||
        GetLastError() != ERROR_MORE_DATA) {
        return 0;
    }
    return needed;
}

ServiceHandle Win32System::CreateAutoStartService(ManagerHandle manager, const std::string& name, const std::string& commandLine,
                                   const char* account, const char* password) {
    return ToHandle<ServiceHandle>(CreateServiceA(Sc(manager), name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                   SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                   commandLine.c_str(), nullptr, nullptr, nullptr, account, password));
}

bool Win32System::SetRecoveryActions(ServiceHandle service, const RecoveryActions& recovery) {
    std::vector<SC_ACTION> actions;
    for (const FailureAction& a : recovery.actions) {
        actions.push_back({a.restart ? SC_ACTION_RESTART : SC_ACTION_NONE, a.delayMilliseconds});
    }
    SERVICE_FAILURE_ACTIONSA info = {};  // no reboot message, no command
    info.dwResetPeriod = recovery.resetSeconds;
    info.cActions = static_cast<DWORD>(actions.size());
    info.lpsaActions = actions.data();
    return ChangeServiceConfig2A(Sc(service), SERVICE_CONFIG_FAILURE_ACTIONS, &info) != FALSE;
}

bool Win32System::SetDescription(ServiceHandle service, const std::string& description) {
    std::vector<char> text(description.begin(), description.end());
    text.push_back('\0');
    SERVICE_DESCRIPTIONA info = {text.data()};
    return ChangeServiceConfig2A(Sc(service), SERVICE_CONFIG_DESCRIPTION, &info) != FALSE;
}

bool Win32System::QueryRecoveryActions(ManagerHandle manager, const std::string& name, RecoveryActions& recovery) {
    SC_HANDLE service = OpenServiceA(Sc(manager), name.c_str(), SERVICE_QUERY_CONFIG);
    if (!service) return false;
    DWORD needed = 0;
    std::vector<BYTE> buffer;
    bool read = false;
    if (!QueryServiceConfig2A(service, SERVICE_CONFIG_FAILURE_ACTIONS, nullptr, 0, &needed) &&
        GetLastError() == ERROR_INSUFFICIENT_BUFFER && needed > 0) {
        buffer.resize(needed);
        read = QueryServiceConfig2A(service, SERVICE_CONFIG_FAILURE_ACTIONS, buffer.data(), needed, &needed) != FALSE;
    }
    ::CloseServiceHandle(service);
    if (!read) return false;
    const auto* info = reinterpret_cast<const SERVICE_FAILURE_ACTIONSA*>(buffer.data());
    recovery = {};
    recovery.resetSeconds = info->dwResetPeriod;
    for (DWORD i = 0; i < info->cActions; ++i) {
        const SC_ACTION& a = info->lpsaActions[i];
        if (a.Type != SC_ACTION_NONE && a.Type != SC_ACTION_RESTART) return false;
        recovery.actions.push_back({a.Type == SC_ACTION_RESTART, a.Delay});
    }
    return true;
}

bool Win32System::ServiceNamed(ManagerHandle manager, const std::string& name) {
    SC_HANDLE service = OpenServiceA(Sc(manager), name.c_str(), SERVICE_QUERY_STATUS);
    if (service) {
        ::CloseServiceHandle(service);
        return true;
    }
    // Any other answer (access denied, marked for deletion) means it is there.
    if (GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST) return true;
    char keyName[257] = {};
    DWORD size = sizeof keyName;
    return GetServiceKeyNameA(Sc(manager), name.c_str(), keyName, &size) ||
           GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST;
}

bool Win32System::ServiceGone(ManagerHandle manager, const std::string& name) {
    SC_HANDLE service = OpenServiceA(Sc(manager), name.c_str(), SERVICE_QUERY_STATUS);
    if (service) {
        ::CloseServiceHandle(service);
        return false;
    }
    return GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
}

ServiceHandle Win32System::OpenServiceToRemove(ManagerHandle manager, const std::string& name) {
    return ToHandle<ServiceHandle>(OpenServiceA(Sc(manager), name.c_str(), DELETE | SERVICE_STOP));
}

void Win32System::StopService(ServiceHandle service) {
    SERVICE_STATUS status = {};
    ControlService(Sc(service), SERVICE_CONTROL_STOP, &status);
}

bool Win32System::DeleteService(ServiceHandle service) { return ::DeleteService(Sc(service)) != FALSE; }

void Win32System::CloseServiceHandle(ServiceHandle service) { ::CloseServiceHandle(Sc(service)); }

void Win32System::CloseServiceHandle(ManagerHandle manager) { ::CloseServiceHandle(Sc(manager)); }

KeyHandle Win32System::OpenServiceKey(const std::string& name) {
    HKEY services = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kServicesKey, 0, KEY_QUERY_VALUE, &services) != ERROR_SUCCESS) return {};
    HKEY key = nullptr;
    const LONG opened = RegOpenKeyExA(services, name.c_str(), 0, KEY_QUERY_VALUE, &key);
    RegCloseKey(services);
    return opened == ERROR_SUCCESS ? ToHandle<KeyHandle>(key) : KeyHandle{};
}

ValueRead Win32System::QueryImagePath(KeyHandle key, std::string& imagePath) {
    // The value is read whole: arguments may make it far longer than a
    // path. One byte more than asked for stays zero whatever is written.
    std::vector<char> value(kPathBytes + 1, '\0');
    for (;;) {
        DWORD type = REG_SZ;
        DWORD size = static_cast<DWORD>(value.size() - 1);
        const LONG read = RegQueryValueExA(Key(key), "ImagePath", nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size);
        if (read == ERROR_MORE_DATA) {
            if (size > kMaxCommandLineChars + 1 || size < value.size()) return ValueRead::TooLong;
            value.assign(size + 1, '\0');
            continue;
        }
        if (read != ERROR_SUCCESS) return ValueRead::Missing;
        // Windows stores it as an expandable string, Wine as a plain one.
        if (type != REG_SZ && type != REG_EXPAND_SZ) return ValueRead::NotText;
        // The value need not carry its terminator.
        const std::size_t length = strnlen(value.data(), size < value.size() ? size : value.size() - 1);
        if (length > kMaxCommandLineChars) return ValueRead::TooLong;
        imagePath.assign(value.data(), length);
        return ValueRead::Read;
    }
}

KeyHandle Win32System::CreateEventLogKey(const std::string& name) {
    HKEY sources = nullptr;
    if (RegCreateKeyA(HKEY_LOCAL_MACHINE, kEventLogKey, &sources) != ERROR_SUCCESS) return {};
    HKEY key = nullptr;
    const LONG created = RegCreateKeyA(sources, name.c_str(), &key);
    RegCloseKey(sources);
    return created == ERROR_SUCCESS ? ToHandle<KeyHandle>(key) : KeyHandle{};
}

void Win32System::WriteEventLogValues(KeyHandle key, const std::string& messageFile) {
    RegSetValueExA(Key(key), "EventMessageFile", 0, REG_EXPAND_SZ,
                   reinterpret_cast<const BYTE*>(messageFile.c_str()), static_cast<DWORD>(messageFile.size() + 1));
    const DWORD types = kTypesSupported;
    RegSetValueExA(Key(key), "TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&types), sizeof types);
}

void Win32System::CloseKey(KeyHandle key) { RegCloseKey(Key(key)); }

bool Win32System::EnumServiceStatuses(ManagerHandle manager, std::vector<ServiceStatus>& services) {
    // EnumServicesStatusExA with SC_ENUM_PROCESS_INFO fills an array of
    // ENUM_SERVICE_STATUS_PROCESSA with the strings they point to; on
    // ERROR_MORE_DATA the entries that fitted are valid when the resume
    // handle moved, and |needed| tells the bytes the rest take
    // (learn.microsoft.com, EnumServicesStatusExA). Wine, like its
    // EnumServicesStatusA, may answer a small buffer with no entries at all:
    // the buffer then grows to what it asked for. Asking for the size
    // first costs Wine a whole enumeration: only the first time.
    services.clear();
    std::uint32_t bytes = statusBytes_ ? statusBytes_ : ServiceBytesNeeded(manager);
    if (bytes == 0) bytes = kEnumBufferBytes;
    DWORD resume = 0;
    for (;;) {
        std::vector<ENUM_SERVICE_STATUS_PROCESSA> entries(bytes / sizeof(ENUM_SERVICE_STATUS_PROCESSA) + 1);
        const DWORD size = static_cast<DWORD>(entries.size() * sizeof(ENUM_SERVICE_STATUS_PROCESSA));
        DWORD needed = 0, count = 0;
        const DWORD before = resume;
        const bool ok = EnumServicesStatusExA(Sc(manager), SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_STATE_ALL,
                                              reinterpret_cast<LPBYTE>(entries.data()), size, &needed, &count,
                                              &resume, nullptr) != FALSE;
        const DWORD error = ok ? 0 : GetLastError();
        if (ok || (error == ERROR_MORE_DATA && resume != before)) {
            for (DWORD i = 0; i < count && i < entries.size(); ++i) {
                const ENUM_SERVICE_STATUS_PROCESSA& e = entries[i];
                if (!e.lpServiceName) continue;
                services.push_back({e.lpServiceName, e.ServiceStatusProcess.dwCurrentState,
                                    e.ServiceStatusProcess.dwProcessId, e.ServiceStatusProcess.dwWin32ExitCode});
            }
        }
        if (ok) {
            statusBytes_ = bytes;
            return true;
        }
        if (error != ERROR_MORE_DATA) break;
        if (resume == before) {
            if (needed <= size || needed > kEnumBufferLimit) break;
            bytes = needed;
        }
    }
    services.clear();
    return false;
}

ServiceHandle Win32System::OpenServiceFor(ManagerHandle manager, const std::string& name, ServiceAccess access,
                                          std::uint32_t& error) {
    DWORD rights = SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS;
    // EnumDependentServicesA needs SERVICE_ENUMERATE_DEPENDENTS (learn.microsoft.com, EnumDependentServicesA).
    if (access == ServiceAccess::Query) rights |= SERVICE_ENUMERATE_DEPENDENTS;
    if (access == ServiceAccess::Control) rights |= SERVICE_START | SERVICE_STOP;
    // ChangeServiceConfigA needs SERVICE_CHANGE_CONFIG (learn.microsoft.com, ChangeServiceConfigA).
    if (access == ServiceAccess::Configure) rights |= SERVICE_CHANGE_CONFIG;
    SC_HANDLE service = OpenServiceA(Sc(manager), name.c_str(), rights);
    error = service ? 0 : GetLastError();
    return ToHandle<ServiceHandle>(service);
}

bool Win32System::QueryServiceAccount(ServiceHandle service, std::string& account) {
    // The configuration takes at most 8K bytes (learn.microsoft.com,
    // QueryServiceConfigA): one call with a buffer that size.
    constexpr DWORD kConfigBytes = 8 * 1024;
    std::vector<QUERY_SERVICE_CONFIGA> config(kConfigBytes / sizeof(QUERY_SERVICE_CONFIGA) + 1);
    DWORD needed = 0;
    if (!QueryServiceConfigA(Sc(service), config.data(), static_cast<DWORD>(config.size() * sizeof config[0]),
                             &needed)) {
        return false;
    }
    account = config[0].lpServiceStartName ? config[0].lpServiceStartName : "";
    return true;
}

std::uint32_t Win32System::QueryStatus(ServiceHandle service, ServiceStatus& status) {
    SERVICE_STATUS_PROCESS process = {};
    DWORD needed = 0;
    if (!QueryServiceStatusEx(Sc(service), SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&process), sizeof process,
                              &needed)) {
        return GetLastError();
    }
    status.state = process.dwCurrentState;
    status.processId = process.dwProcessId;
    status.exitCode = process.dwWin32ExitCode;
    return 0;
}

std::uint32_t Win32System::RequestStart(ServiceHandle service) {
    return StartServiceA(Sc(service), 0, nullptr) ? 0 : GetLastError();
}

std::uint32_t Win32System::RequestStop(ServiceHandle service) {
    SERVICE_STATUS status = {};
    return ControlService(Sc(service), SERVICE_CONTROL_STOP, &status) ? 0 : GetLastError();
}

bool Win32System::ReadFileVersion(const std::string& path, VersionNumber& version) {
    // The version record is the resource VS_VERSION_INFO of type RT_VERSION.
    // GetFileVersionInfoSizeA and GetFileVersionInfoA would each load the
    // file; it is loaded once here, as data. The root block, a single
    // backslash, of the record is its fixed part, VS_FIXEDFILEINFO, whose
    // signature is 0xFEEF04BD and whose file version is two 32-bit halves,
    // most significant first (learn.microsoft.com, VerQueryValueA and
    // VS_FIXEDFILEINFO).
    constexpr DWORD kFixedSignature = 0xFEEF04BD;
    HMODULE file = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!file) return false;
    std::vector<DWORD> record;
    if (HRSRC found = FindResourceA(file, MAKEINTRESOURCEA(VS_VERSION_INFO), MAKEINTRESOURCEA(16) /* RT_VERSION */)) {
        const DWORD size = SizeofResource(file, found);
        const HGLOBAL loaded = LoadResource(file, found);
        const void* bytes = loaded ? LockResource(loaded) : nullptr;
        if (bytes && size) {
            record.assign(size / sizeof(DWORD) + 1, 0);
            CopyMemory(record.data(), bytes, size);
        }
    }
    FreeLibrary(file);
    void* block = nullptr;
    UINT length = 0;
    char root[] = "\\";
    if (record.empty() || !VerQueryValueA(record.data(), root, &block, &length) || !block ||
        length < sizeof(VS_FIXEDFILEINFO)) {
        return false;
    }
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(block);
    if (fixed->dwSignature != kFixedSignature) return false;
    version = {HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS),
               LOWORD(fixed->dwFileVersionLS)};
    return true;
}

bool Win32System::RunningDependents(ServiceHandle service, std::vector<std::string>& names) {
    // SERVICE_ACTIVE lists the dependents in every state but stopped. A
    // call without a buffer fails with ERROR_MORE_DATA and the size needed;
    // the list never takes more than 64,000 bytes (learn.microsoft.com,
    // EnumDependentServicesA).
    DWORD needed = 0, count = 0;
    if (EnumDependentServicesA(Sc(service), SERVICE_ACTIVE, nullptr, 0, &needed, &count)) return true;
    if (GetLastError() != ERROR_MORE_DATA || needed == 0) return false;
    std::vector<ENUM_SERVICE_STATUSA> entries(needed / sizeof(ENUM_SERVICE_STATUSA) + 1);
    if (!EnumDependentServicesA(Sc(service), SERVICE_ACTIVE, entries.data(),
                                static_cast<DWORD>(entries.size() * sizeof(ENUM_SERVICE_STATUSA)), &needed, &count)) {
        return false;
    }
    for (DWORD i = 0; i < count; ++i) names.push_back(entries[i].lpServiceName);
    return true;
}

std::string Win32System::ErrorText(std::uint32_t error) {
    // The system's message for the error in the user's language, without
    // inserts (learn.microsoft.com, FormatMessageA); empty when it has none.
    char text[1024] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                        text, sizeof text, nullptr);
    return std::string(text, length < sizeof text ? length : 0);
}

std::uint32_t Win32System::ChangeServiceAccount(ServiceHandle service, const char* account,
                                               const char* password) {
    // SERVICE_NO_CHANGE for the type, start type and error control, and null
    // for the path, group, tag, dependencies and display name, leave those as
    // they are; so does a null account name, which keeps the account the
    // service has (learn.microsoft.com, ChangeServiceConfigA,
    // lpServiceStartName). The service
    // manager keeps the password and logs on with it at the next start
    // ("Changing the Password on a Service's User Account").
    return ChangeServiceConfigA(Sc(service), SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, nullptr, nullptr,
                                nullptr, nullptr, account, password, nullptr)
               ? 0
               : GetLastError();
}

}  // namespace qm
