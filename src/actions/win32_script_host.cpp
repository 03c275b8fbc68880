#include "actions/win32_script_host.h"

#include <windows.h>

#include <vector>

#include "actions/folder.h"
#include "catalogue/win32_system.h"

namespace qm {

namespace {

// A 32-bit process on 64-bit Windows sees the 32-bit program folders under
// these names; the service manager, a 64-bit process, sees the others.
struct Wow64Name {
    const char* reference;
    const char* nativeVariable;
};
constexpr Wow64Name kWow64Names[] = {
    {"%ProgramFiles%", "ProgramW6432"},
    {"%CommonProgramFiles%", "CommonProgramW6432"},
};

bool IsWow64() {
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

bool EqualNoCase(const std::string& text, std::size_t at, const char* word) {
    const std::size_t length = lstrlenA(word);
    return text.size() >= at + length &&
           CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, text.c_str() + at, static_cast<int>(length), word,
                          static_cast<int>(length)) == CSTR_EQUAL;
}

// Replaces the program-folder references by the 64-bit folders' values.
std::string NativeProgramFolders(const std::string& text) {
    std::string result;
    for (std::size_t i = 0; i < text.size();) {
        bool replaced = false;
        for (const Wow64Name& name : kWow64Names) {
            char value[kPathBytes] = {};
            if (!EqualNoCase(text, i, name.reference)) continue;
            const DWORD length = GetEnvironmentVariableA(name.nativeVariable, value, sizeof value);
            if (length == 0 || length >= sizeof value) continue;
            result += value;
            i += lstrlenA(name.reference);
            replaced = true;
            break;
        }
        if (!replaced) result += text[i++];
    }
    return result;
}

}  // namespace

bool Win32ScriptHost::ExpandReferences(const std::string& text, std::string& expanded) {
    const std::string source = IsWow64() ? NativeProgramFolders(text) : text;
    const DWORD needed = ExpandEnvironmentStringsA(source.c_str(), nullptr, 0);
    if (needed == 0) return false;
    std::vector<char> buffer(needed + 1, '\0');
    const DWORD written = ExpandEnvironmentStringsA(source.c_str(), buffer.data(), needed + 1);
    if (written == 0 || written > needed + 1) return false;
    expanded = buffer.data();
    return true;
}

bool Win32ScriptHost::ToConsoleCodePage(const std::string& ansi, std::string& console) {
    std::wstring wide;
    if (!Widen(ansi, CP_ACP, true, wide)) return false;
    if (wide.empty()) return console.clear(), true;
    const int length = static_cast<int>(wide.size());
    BOOL lossy = FALSE;
    const int bytes =
        WideCharToMultiByte(CP_OEMCP, WC_NO_BEST_FIT_CHARS, wide.data(), length, nullptr, 0, nullptr, &lossy);
    if (bytes <= 0 || lossy) return false;
    console.assign(static_cast<std::size_t>(bytes), '\0');
    if (WideCharToMultiByte(CP_OEMCP, WC_NO_BEST_FIT_CHARS, wide.data(), length, &console[0], bytes, nullptr,
                            &lossy) != bytes || lossy) {
        return false;
    }
    // The way back must give the same characters: no character was
    // replaced by a look-alike.
    std::wstring back;
    return Widen(console, CP_OEMCP, false, back) && back == wide;
}

bool Win32ScriptHost::WriteFileAtomically(const std::string& path, const std::string& contents) {
    // Write a temporary file beside the target, then move it into place.
    std::string folder = DriveAndDirectory(path, IsAnsiLeadByte);
    if (folder.empty()) folder = ".";
    char temp[kPathBytes] = {};
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

}  // namespace qm
