// The system interface over the real service control manager and registry,
// through their ANSI entry points.
#pragma once

#include <string>

#include "catalogue/system.h"

namespace qm {

class Win32System : public System {
public:
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
    std::string ErrorText(std::uint32_t error) override;
    std::uint32_t ChangeServiceAccount(ServiceHandle service, const char* account,
                                       const char* password) override;

private:
    // The bytes the last enumeration with process information took: the
    // next one starts there, and is then one call.
    std::uint32_t statusBytes_ = 0;
};

}  // namespace qm
