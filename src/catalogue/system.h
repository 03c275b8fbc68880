// The service-manager and registry operations the tool needs, and nothing
// more. The real implementation calls the ANSI Win32 entry points; tests use
// an in-memory stand-in.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

namespace qm {

// An opaque handle of one kind: a service-manager handle cannot be passed
// where a registry key is expected. 0 is no handle.
enum class HandleKind { Manager, Service, Key };
template <HandleKind Kind>
struct TypedHandle {
    std::uintptr_t value = 0;
    explicit operator bool() const { return value != 0; }
};
using ManagerHandle = TypedHandle<HandleKind::Manager>;
using ServiceHandle = TypedHandle<HandleKind::Service>;
using KeyHandle = TypedHandle<HandleKind::Key>;

inline constexpr std::uint32_t kErrorInsufficientBuffer = 122;
inline constexpr std::uint32_t kErrorMoreData = 234;

// The longest path the tool takes: what a Windows path buffer (MAX_PATH)
// holds besides the terminator. The executable path Add registers and the
// one the tool reads back from "ImagePath" share this limit.
inline constexpr std::size_t kMaxPathChars = 259;
// The longest command line a process can be started with: an "ImagePath"
// value with its arguments is read whole up to this.
inline constexpr std::size_t kMaxCommandLineChars = 32767;

// The first enumeration buffer, and the largest the tool will grow it to.
inline constexpr std::uint32_t kEnumBufferBytes = 0x24000;
inline constexpr std::uint32_t kEnumBufferLimit = 64u * 1024 * 1024;

// What one EnumServicesStatusA call answered.
struct EnumRound {
    bool ok = false;
    std::uint32_t error = 0;        // GetLastError() when !ok
    std::uint32_t bytesNeeded = 0;
    std::uint32_t bytesUsed = 0;    // what the entries returned took, entries and strings
    std::uint32_t resume = 0;       // resume handle after the call
    std::vector<std::string> names; // service (key) names, when the entries are valid
};

// Whether the entries of a round may be read: after success, or after
// ERROR_MORE_DATA when the resume handle moved (Windows' answer to a full
// buffer). Wine reports a count over an untouched buffer otherwise.
inline bool RoundHasEntries(const EnumRound& round, std::uint32_t resumeBefore) {
    return round.ok || (round.error == kErrorMoreData && round.resume != resumeBefore);
}

// What the service manager does when a service fails: the actions in turn,
// one per failure, the last one for every failure after; the count of
// failures starts again after |resetSeconds| without one.
struct FailureAction {
    bool restart = false;  // else: nothing
    std::uint32_t delayMilliseconds = 0;
};
struct RecoveryActions {
    std::uint32_t resetSeconds = 0;
    std::vector<FailureAction> actions;
};

// How a registry value was read.
enum class ValueRead { Read, Missing, TooLong, NotText };

// The states a service reports in SERVICE_STATUS.dwCurrentState, and the
// errors the overview tells apart (winsvc.h, winerror.h).
inline constexpr std::uint32_t kServiceStopped = 1;
inline constexpr std::uint32_t kServiceStartPending = 2;
inline constexpr std::uint32_t kServiceStopPending = 3;
inline constexpr std::uint32_t kServiceRunning = 4;
inline constexpr std::uint32_t kServiceContinuePending = 5;
inline constexpr std::uint32_t kServicePausePending = 6;
inline constexpr std::uint32_t kServicePaused = 7;
inline constexpr std::uint32_t kErrorServiceRequestTimeout = 1053;
inline constexpr std::uint32_t kErrorServiceAlreadyRunning = 1056;
inline constexpr std::uint32_t kErrorServiceNotActive = 1062;
inline constexpr std::uint32_t kErrorProcessAborted = 1067;

// A service as the enumeration with process information, or a status
// query, reports it.
struct ServiceStatus {
    std::string name;
    std::uint32_t state = 0;      // 0: not known
    std::uint32_t processId = 0;  // 0 when not running
    std::uint32_t exitCode = 0;   // dwWin32ExitCode
};

// The file version of the fixed part of a version resource, most
// significant part first.
using VersionNumber = std::array<std::uint16_t, 4>;

// What a service handle is opened for: its configuration and status, and
// besides start and stop, or a change of its configuration.
enum class ServiceAccess { Query, Control, Configure };

class System {
public:
    virtual ~System() = default;

    // OpenSCManagerA(null, null, all access).
    virtual ManagerHandle OpenManager() = 0;
    // One EnumServicesStatusA call for Win32 services in all states, with a
    // buffer of |bufferBytes| and the resume handle starting at |resume|.
    virtual EnumRound EnumServices(ManagerHandle manager, std::uint32_t bufferBytes, std::uint32_t resume) = 0;
    // One EnumServicesStatusExA call with no buffer: the bytes the same
    // services need with process information, more than EnumServicesStatusA
    // needs for them; 0 when the manager does not say.
    virtual std::uint32_t ServiceBytesNeeded(ManagerHandle manager) = 0;
    // CreateServiceA as an own-process, auto-start service with the name as
    // service and display name. Null account and password mean LocalSystem.
    virtual ServiceHandle CreateAutoStartService(ManagerHandle manager, const std::string& name, const std::string& commandLine,
                                 const char* account, const char* password) = 0;
    // ChangeServiceConfig2A: the failure actions and the description shown
    // in the Services console; false when refused.
    virtual bool SetRecoveryActions(ServiceHandle service, const RecoveryActions& recovery) = 0;
    virtual bool SetDescription(ServiceHandle service, const std::string& description) = 0;
    // QueryServiceConfig2A: the failure actions of the service with key
    // name |name|; false when they cannot be read, or hold an action other
    // than a restart or none (a command, a reboot), which RecoveryActions
    // cannot hold.
    virtual bool QueryRecoveryActions(ManagerHandle manager, const std::string& name, RecoveryActions& recovery) = 0;
    // Whether a service of any type has |name| as its key or display name,
    // including one marked for deletion.
    virtual bool ServiceNamed(ManagerHandle manager, const std::string& name) = 0;
    // Whether the service with key name |name| is gone: only the manager's
    // answer that no such service exists counts, not any other error, nor
    // another service's display name.
    virtual bool ServiceGone(ManagerHandle manager, const std::string& name) = 0;
    // OpenServiceA with delete and stop access.
    virtual ServiceHandle OpenServiceToRemove(ManagerHandle manager, const std::string& name) = 0;
    // ControlService(stop); the outcome is of no interest to the tool.
    virtual void StopService(ServiceHandle service) = 0;
    virtual bool DeleteService(ServiceHandle service) = 0;
    virtual void CloseServiceHandle(ServiceHandle service) = 0;
    virtual void CloseServiceHandle(ManagerHandle manager) = 0;

    // HKLM\SYSTEM\CurrentControlSet\Services\<name>, query access; 0 on failure.
    virtual KeyHandle OpenServiceKey(const std::string& name) = 0;
    // The "ImagePath" value as stored (string or expandable string, at most
    // kMaxCommandLineChars characters), environment references unexpanded.
    virtual ValueRead QueryImagePath(KeyHandle key, std::string& imagePath) = 0;
    // HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\<name>,
    // created or opened; 0 on failure.
    virtual KeyHandle CreateEventLogKey(const std::string& name) = 0;
    // "EventMessageFile" (expandable string) and "TypesSupported" = 7.
    virtual void WriteEventLogValues(KeyHandle key, const std::string& messageFile) = 0;
    virtual void CloseKey(KeyHandle key) = 0;

    // ---- The overview ----
    // Every Win32 service in every state with its state and process id,
    // in one EnumServicesStatusExA enumeration over as many calls as it
    // takes. False when it fails.
    virtual bool EnumServiceStatuses(ManagerHandle manager, std::vector<ServiceStatus>& services) = 0;
    // OpenServiceA for |access|; 0 on failure, with the error.
    virtual ServiceHandle OpenServiceFor(ManagerHandle manager, const std::string& name, ServiceAccess access,
                                         std::uint32_t& error) = 0;
    // QueryServiceConfigA: the account the service logs on with; false
    // when the configuration cannot be read.
    virtual bool QueryServiceAccount(ServiceHandle service, std::string& account) = 0;
    // QueryServiceStatusEx: 0, or the error when it cannot be read.
    virtual std::uint32_t QueryStatus(ServiceHandle service, ServiceStatus& status) = 0;
    // StartServiceA with no arguments, and ControlService(stop): 0 when the
    // request was accepted, else the error.
    virtual std::uint32_t RequestStart(ServiceHandle service) = 0;
    virtual std::uint32_t RequestStop(ServiceHandle service) = 0;
    // EnumDependentServicesA: the services that depend on this one and are
    // not stopped; false when they cannot be read.
    virtual bool RunningDependents(ServiceHandle service, std::vector<std::string>& names) = 0;
    // The file version of the file at |path|; false when it has no version
    // resource or it cannot be read.
    virtual bool ReadFileVersion(const std::string& path, VersionNumber& version) = 0;
    // The system's words for a Win32 error (FormatMessageA).
    virtual std::string ErrorText(std::uint32_t error) = 0;

    // ---- The account change ----
    // ChangeServiceConfigA with the account and its password and nothing
    // else: every other setting stays as it is. A null account keeps the
    // account the service has (a password change only); a null password
    // for the accounts whose password Windows keeps. 0, or the error.
    virtual std::uint32_t ChangeServiceAccount(ServiceHandle service, const char* account,
                                               const char* password) = 0;
};

// Owns a handle and closes it when its scope ends. Declared in the order
// they are opened (manager, service, key), they close in the order the
// system requires: key, service, manager.
template <typename H>
class Scoped {
public:
    Scoped(System& system, H handle) : system_(system), handle_(handle) {}
    ~Scoped() { Close(); }
    Scoped(const Scoped&) = delete;
    Scoped& operator=(const Scoped&) = delete;

    H get() const { return handle_; }
    explicit operator bool() const { return static_cast<bool>(handle_); }
    // Closes the handle held, if any, and takes |handle| instead.
    void Reset(H handle) {
        Close();
        handle_ = handle;
    }

private:
    void Close() {
        if (!handle_) return;
        if constexpr (std::is_same_v<H, KeyHandle>) {
            system_.CloseKey(handle_);
        } else {
            system_.CloseServiceHandle(handle_);
        }
        handle_ = H{};
    }

    System& system_;
    H handle_;
};

// Every service name, in the manager's order, over as many calls as it
// takes. False when the enumeration fails; |names| is then empty.
bool EnumerateServices(System& system, ManagerHandle manager, std::vector<std::string>& names);

}  // namespace qm
