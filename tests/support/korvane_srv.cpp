// A minimal Windows service standing in for KorvaneSrv.exe in tests and
// demonstrations: it runs as an own-process service, reports itself
// running and stops when told to. It does nothing else.
//
// For the update script's tests, a file mode.txt beside it makes it
// misbehave. Its first word:
//   slow-stop         takes five seconds to stop
//   never-stop        does not stop until a file named release appears beside it
//   fail-start        fails during its start, as a broken update would
//   stop-after-start  stops with an error a second after its start
// The start faults apply only to the new version: when version.txt beside
// it begins with 2. Without mode.txt it behaves.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

SERVICE_STATUS_HANDLE g_statusHandle = nullptr;
HANDLE g_stopEvent = nullptr;
std::string g_folder;  // the folder of the executable, with its backslash
std::string g_mode;

void Report(DWORD state, DWORD exitCode = NO_ERROR, DWORD waitHint = 0) {
    static DWORD checkPoint = 1;
    SERVICE_STATUS status = {};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    status.dwWin32ExitCode = exitCode;
    status.dwWaitHint = waitHint;
    const bool settled = state == SERVICE_RUNNING || state == SERVICE_STOPPED;
    status.dwCheckPoint = settled ? 0 : checkPoint++;
    SetServiceStatus(g_statusHandle, &status);
}

// The first word of a file beside the executable, or "".
std::string FirstWord(const char* file) {
    char word[32] = {};
    if (FILE* f = std::fopen((g_folder + file).c_str(), "r")) {
        if (std::fscanf(f, "%31s", word) != 1) word[0] = '\0';
        std::fclose(f);
    }
    return word;
}

bool Exists(const char* file) { return GetFileAttributesA((g_folder + file).c_str()) != INVALID_FILE_ATTRIBUTES; }

// Stops as the mode says: at once, after five seconds, or once released.
DWORD WINAPI Stopper(LPVOID) {
    if (g_mode == "slow-stop") {
        for (int i = 0; i < 10; ++i) {
            Report(SERVICE_STOP_PENDING, NO_ERROR, 1000);
            Sleep(500);
        }
    } else if (g_mode == "never-stop") {
        while (!Exists("release")) {
            Report(SERVICE_STOP_PENDING, NO_ERROR, 1000);
            Sleep(200);
        }
    }
    SetEvent(g_stopEvent);
    return 0;
}

DWORD WINAPI Handler(DWORD control, DWORD, LPVOID, LPVOID) {
    switch (control) {
        case SERVICE_CONTROL_STOP:
        case SERVICE_CONTROL_SHUTDOWN:
            Report(SERVICE_STOP_PENDING, NO_ERROR, 3000);
            if (HANDLE thread = CreateThread(nullptr, 0, Stopper, nullptr, 0, nullptr)) {
                CloseHandle(thread);
            } else {
                SetEvent(g_stopEvent);
            }
            return NO_ERROR;
        case SERVICE_CONTROL_INTERROGATE:
            return NO_ERROR;
        default:
            return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI ServiceMain(DWORD argc, LPSTR* argv) {
    const char* name = argc > 0 && argv[0] ? argv[0] : "";
    g_statusHandle = RegisterServiceCtrlHandlerExA(name, Handler, nullptr);
    if (!g_statusHandle) return;
    g_stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!g_stopEvent) {
        Report(SERVICE_STOPPED, GetLastError());
        return;
    }
    const bool newVersion = FirstWord("version.txt").compare(0, 1, "2") == 0;
    if (newVersion && g_mode == "fail-start") {
        Report(SERVICE_STOPPED, ERROR_PROCESS_ABORTED);
        return;
    }
    Report(SERVICE_RUNNING);
    const DWORD lifetime = newVersion && g_mode == "stop-after-start" ? 1000 : INFINITE;
    if (WaitForSingleObject(g_stopEvent, lifetime) == WAIT_TIMEOUT) {
        Report(SERVICE_STOPPED, ERROR_PROCESS_ABORTED);
        return;
    }
    CloseHandle(g_stopEvent);
    Report(SERVICE_STOPPED);
}

}  // namespace

int main() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
        g_folder.assign(path, length);
        g_folder.erase(g_folder.find_last_of('\\') + 1);
    }
    g_mode = FirstWord("mode.txt");

    char emptyName[] = "";
    SERVICE_TABLE_ENTRYA table[] = {{emptyName, ServiceMain}, {nullptr, nullptr}};
    if (StartServiceCtrlDispatcherA(table)) return 0;
    const DWORD error = GetLastError();
    if (error == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) {
        std::puts("usage: KorvaneSrv.exe runs only as a Windows service, started by the service manager");
        return 1;
    }
    std::printf("KorvaneSrv: the service dispatcher failed with error %lu\n", static_cast<unsigned long>(error));
    return 2;
}
