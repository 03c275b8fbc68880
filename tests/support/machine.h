// What the Windows tests and the benchmark prepare and inspect on the
// machine itself: services, registry values, folders and files, and
// commands run by cmd. Independent of the tool. Every wait polls and is
// bounded; a failure throws MachineError, which fails the test.
#pragma once

#include <windows.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/registry.h"

namespace qm::test {

struct MachineError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// How long any wait may last before the test fails (milliseconds).
inline constexpr DWORD kPatience = 30000;

// Polls |done| every |interval| ms until it holds; false once |limit|
// milliseconds have passed.
template <typename Predicate>
bool PollUntil(Predicate done, DWORD limit = kPatience, DWORD interval = 50) {
    const ULONGLONG end = GetTickCount64() + limit;
    for (;;) {
        if (done()) return true;
        if (GetTickCount64() >= end) return done();
        Sleep(interval);
    }
}

std::string Lower(std::string text);

// ---- Paths ----

// A Linux path as Wine sees it through drive Z:.
std::string WinePath(const std::string& linuxPath);
// The folder of a path, up to and including its last backslash.
std::string FolderOf(const std::string& path);
// The path of the running program.
std::string ThisProgram();

// ---- Services ----

// Stops and deletes every service whose name contains "korvane" in any
// letter case, and removes their event-log sources, including those left
// behind by services that are gone; waits until the manager has let go.
void RemoveKorvaneServices();
// Asks service |name|, if there is one, to stop, and deletes it; no wait.
void RemoveService(const std::string& name);
// A service under the local system account; |commandLine| is registered as
// given; the display name is the service name unless given.
void InstallService(const std::string& name, const std::string& commandLine, DWORD start = SERVICE_DEMAND_START,
                    const std::string& displayName = {}, DWORD type = SERVICE_WIN32_OWN_PROCESS);
void StartAndWaitRunning(const std::string& name);
// The current state (SERVICE_RUNNING, ...), or 0 when there is no such service.
DWORD ServiceState(const std::string& name);
// True until the manager answers that no service of that name exists (one
// marked for deletion still exists).
bool ServiceExists(const std::string& name);
// The process a running service lives in, or 0.
DWORD ServiceProcessId(const std::string& name);
// Deletes a stopped service at once, behind the tool's back.
void DeleteServiceNow(const std::string& name);
// The names that contain "Korvane", in the manager's enumeration order.
std::vector<std::string> KorvaneServicesInManagerOrder();

// ---- Registry (HKEY_LOCAL_MACHINE) ----

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
// The names in |folder| (with or without its trailing backslash), without
// "." and "..".
std::vector<std::string> FolderEntries(const std::string& folder);

// ---- Commands ----

// Runs |commandLine| with |pathPrefix| put first on PATH; waits for it up
// to |limit| ms and returns its exit code. Throws when it does not end.
// |during|, if any, is called once it runs, with a job that holds it and
// every program it starts.
DWORD RunWithPathPrefix(const std::string& commandLine, const std::string& pathPrefix, DWORD limit,
                        const std::function<void(HANDLE job)>& during = {});

}  // namespace qm::test
