#include "catalogue/win32_system.h"

#include "actions/folder.h"

#include <windows.h>

#include <vector>

namespace qm {

namespace {

constexpr char kServicesKey[] = "SYSTEM\\CurrentControlSet\\Services\\";
constexpr char kEventLogKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";
constexpr DWORD kImagePathBytes = 260;
constexpr DWORD kTypesSupported = 7;  // error, warning and information events

SC_HANDLE Sc(Handle h) { return reinterpret_cast<SC_HANDLE>(h); }
HKEY Key(Handle h) { return reinterpret_cast<HKEY>(h); }
template <typename T>
Handle ToHandle(T h) { return reinterpret_cast<Handle>(h); }

}  // namespace

Handle Win32System::OpenManager() {
    return ToHandle(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
}

EnumRound Win32System::EnumServices(Handle manager, std::uint32_t bufferBytes, std::uint32_t resume) {
    std::vector<unsigned char> buffer(bufferBytes);
    auto* entries = reinterpret_cast<ENUM_SERVICE_STATUSA*>(buffer.data());
    DWORD needed = 0, count = 0, resumeHandle = resume;
    EnumRound r;
    r.ok = EnumServicesStatusA(Sc(manager), SERVICE_WIN32, SERVICE_STATE_ALL, entries, bufferBytes, &needed,
                               &count, &resumeHandle) != FALSE;
    r.error = r.ok ? 0 : GetLastError();
    r.bytesNeeded = needed;
    r.count = count;
    r.resume = resumeHandle;
    if (RoundHasEntries(r, resume)) {
        // Never trust a count beyond what the buffer can hold.
        const DWORD fit = bufferBytes / sizeof(ENUM_SERVICE_STATUSA);
        r.names.reserve(count < fit ? count : fit);
        for (DWORD i = 0; i < count && i < fit; ++i) {
            if (entries[i].lpServiceName) r.names.emplace_back(entries[i].lpServiceName);
        }
    }
    return r;
}

Handle Win32System::CreateAutoStartService(Handle manager, const std::string& name, const std::string& commandLine,
                                   const char* account, const char* password) {
    return ToHandle(CreateServiceA(Sc(manager), name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                   SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                   commandLine.c_str(), nullptr, nullptr, nullptr, account, password));
}

Handle Win32System::OpenServiceToRemove(Handle manager, const std::string& name) {
    return ToHandle(OpenServiceA(Sc(manager), name.c_str(), DELETE | SERVICE_STOP));
}

void Win32System::StopService(Handle service) {
    SERVICE_STATUS status = {};
    ControlService(Sc(service), SERVICE_CONTROL_STOP, &status);
}

bool Win32System::DeleteService(Handle service) { return ::DeleteService(Sc(service)) != FALSE; }

void Win32System::CloseServiceHandle(Handle handle) { ::CloseServiceHandle(Sc(handle)); }

Handle Win32System::OpenServiceKey(const std::string& name) {
    HKEY key = nullptr;
    const std::string path = kServicesKey + name;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return 0;
    return ToHandle(key);
}

bool Win32System::QueryImagePath(Handle key, std::string& imagePath) {
    char value[kImagePathBytes] = {};
    DWORD type = REG_SZ;
    DWORD size = kImagePathBytes - 1;
    if (RegQueryValueExA(Key(key), "ImagePath", nullptr, &type, reinterpret_cast<BYTE*>(value), &size) !=
        ERROR_SUCCESS) {
        return false;
    }
    // Windows stores it as an expandable string, Wine as a plain one.
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    // The value need not carry its terminator; the last byte stays zero.
    imagePath.assign(value, strnlen(value, size < kImagePathBytes - 1 ? size : kImagePathBytes - 1));
    return true;
}

Handle Win32System::CreateEventLogKey(const std::string& name) {
    HKEY key = nullptr;
    const std::string path = kEventLogKey + name;
    if (RegCreateKeyA(HKEY_LOCAL_MACHINE, path.c_str(), &key) != ERROR_SUCCESS) return 0;
    return ToHandle(key);
}

void Win32System::WriteEventLogValues(Handle key, const std::string& messageFile) {
    RegSetValueExA(Key(key), "EventMessageFile", 0, REG_EXPAND_SZ,
                   reinterpret_cast<const BYTE*>(messageFile.c_str()), static_cast<DWORD>(messageFile.size() + 1));
    const DWORD types = kTypesSupported;
    RegSetValueExA(Key(key), "TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&types), sizeof types);
}

void Win32System::CloseKey(Handle key) { RegCloseKey(Key(key)); }

bool Win32System::WriteFileAtomically(const std::string& path, const std::string& contents) {
    // Write a temporary file beside the target, then move it into place.
    std::string folder = DriveAndDirectory(path, IsAnsiLeadByte);
    if (folder.empty()) folder = ".";
    char temp[MAX_PATH] = {};
    if (GetTempFileNameA(folder.c_str(), "kvn", 0, temp) == 0) return false;

    bool written = false;
    HANDLE file = CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD done = 0;
        written = WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &done, nullptr) &&
                  done == contents.size() && FlushFileBuffers(file);
        written = CloseHandle(file) && written;
    }
    if (written && MoveFileExA(temp, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    DeleteFileA(temp);
    return false;
}

bool IsAnsiLeadByte(unsigned char c) { return IsDBCSLeadByte(c) != FALSE; }

}  // namespace qm
