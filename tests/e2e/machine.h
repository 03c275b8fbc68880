// What the end-to-end tests prepare and inspect on the machine itself:
// services, registry values, folders and files, and commands run by cmd.
// Independent of the tool; every wait is bounded by e2e::kPatience.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "support/registry.h"

namespace e2e {

// ---- Services ----

// Stops and deletes every service whose name contains "korvane" in any
// letter case, and removes their event-log sources, including those left
// behind by services that are gone; waits until the manager has let go.
void RemoveKorvaneServices();
// An own-process service under the local system account; |commandLine| is
// registered as given.
void InstallService(const std::string& name, const std::string& commandLine, DWORD start = SERVICE_DEMAND_START);
void StartAndWaitRunning(const std::string& name);
// The current state (SERVICE_RUNNING, ...), or 0 when there is no such service.
DWORD ServiceState(const std::string& name);
bool ServiceExists(const std::string& name);
// The process a running service lives in, or 0.
DWORD ServiceProcessId(const std::string& name);
// Deletes a stopped service at once, behind the tool's back.
void DeleteServiceNow(const std::string& name);
// The names that contain "Korvane", in the manager's enumeration order.
std::vector<std::string> KorvaneServicesInManagerOrder();

// ---- Registry (HKEY_LOCAL_MACHINE) ----

using qm::test::kEventLogKey;
using qm::test::kServicesKey;
using qm::test::KeyExists;
using qm::test::ReadValue;
using qm::test::RegValue;
void DeleteValue(const std::string& key, const char* name);

// ---- Files ----

// A fresh folder under the temporary folder, deleted with its contents when
// the object goes. Its path has no trailing backslash.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

void MakeFolders(const std::string& path);
void WriteTextFile(const std::string& path, const std::string& contents);  // bytes as given
std::string ReadTextFile(const std::string& path);
bool PathExists(const std::string& path);
void CopyOneFile(const std::string& from, const std::string& to);
// The folder of a path, up to and including its last backslash.
std::string FolderOf(const std::string& path);

// ---- Commands ----

// Runs |commandLine| with |pathPrefix| put first on PATH; waits for it up
// to |limit| ms and returns its exit code. Throws when it does not end.
DWORD RunWithPathPrefix(const std::string& commandLine, const std::string& pathPrefix, DWORD limit);

}  // namespace e2e
