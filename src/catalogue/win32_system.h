// The system interface over the real service control manager and registry,
// through their ANSI entry points.
#pragma once

#include "catalogue/system.h"

namespace qm {

class Win32System : public System {
public:
    Handle OpenManager() override;
    EnumRound EnumServices(Handle manager, std::uint32_t bufferBytes, std::uint32_t resume) override;
    std::uint32_t ServiceBytesNeeded(Handle manager) override;
    Handle CreateAutoStartService(Handle manager, const std::string& name, const std::string& commandLine,
                         const char* account, const char* password) override;
    bool ServiceNamed(Handle manager, const std::string& name) override;
    Handle OpenServiceToRemove(Handle manager, const std::string& name) override;
    void StopService(Handle service) override;
    bool DeleteService(Handle service) override;
    void CloseServiceHandle(Handle handle) override;
    Handle OpenServiceKey(const std::string& name) override;
    ValueRead QueryImagePath(Handle key, std::string& imagePath) override;
    Handle CreateEventLogKey(const std::string& name) override;
    void WriteEventLogValues(Handle key, const std::string& messageFile) override;
    void CloseKey(Handle key) override;
};

// The system's ANSI code page's lead bytes.
bool IsAnsiLeadByte(unsigned char c);

}  // namespace qm
