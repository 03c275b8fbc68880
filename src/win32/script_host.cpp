#include "win32/script_host.h"

#include <windows.h>
#include <userenv.h>

#include <cwchar>
#include <map>
#include <vector>

#include "actions/folder.h"
#include "catalogue/naming.h"
#include "win32/code_page.h"
#include "win32/path_limits.h"

namespace qm {

namespace {

// A 32-bit process on 64-bit Windows is given the 32-bit program folders
// under these names; the service manager, a 64-bit process, the others.
struct Wow64Name {
    const char* variable;
    const char* nativeVariable;
};
constexpr Wow64Name kWow64Names[] = {
    {"programfiles", "programw6432"},
    {"commonprogramfiles", "commonprogramw6432"},
};

bool IsWow64() {
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

std::string Narrow(const wchar_t* wide, std::size_t length) {
    if (length == 0) return {};
    const int size = WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string narrow(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(length), &narrow[0], size, nullptr, nullptr);
    return narrow;
}

// The variables the service manager's own environment holds: the system's,
// from the registry, never those of the administrator who runs the tool.
// Names in lower case.
bool SystemVariables(std::map<std::string, std::string>& variables) {
    void* block = nullptr;
    if (!CreateEnvironmentBlock(&block, nullptr, FALSE) || !block) return false;
    for (const wchar_t* entry = static_cast<const wchar_t*>(block); *entry; entry += wcslen(entry) + 1) {
        const wchar_t* equals = wcschr(entry + 1, L'=');  // a name such as "=C:" begins with one
        if (!equals) continue;
        variables[FoldCase(Narrow(entry, equals - entry))] = Narrow(equals + 1, wcslen(equals + 1));
    }
    DestroyEnvironmentBlock(block);
    if (IsWow64()) {
        for (const Wow64Name& name : kWow64Names) {
            const auto native = variables.find(name.nativeVariable);
            if (native != variables.end()) variables[name.variable] = native->second;
        }
    }
    return true;
}

// |folder| in full (".." resolved, slashes as backslashes) in UTF-16, with
// the prefix that lifts MAX_PATH from the wide file functions, \\?\C:\...
// or \\?\UNC\server\share\... (learn.microsoft.com, Naming Files, Paths,
// and Namespaces; GetFullPathNameW). Without a final backslash.
bool LongPath(const std::string& folder, std::wstring& path) {
    std::wstring wide;
    if (!Widen(folder, CP_ACP, true, wide) || wide.empty()) return false;
    std::vector<wchar_t> full(32768);
    const DWORD length = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0 || length >= full.size()) return false;
    wide.assign(full.data(), length);
    while (!wide.empty() && wide.back() == L'\\') wide.pop_back();
    path = wide.compare(0, 2, L"\\\\") == 0 ? L"\\\\?\\UNC\\" + wide.substr(2) : L"\\\\?\\" + wide;
    return true;
}

}  // namespace

bool Win32ScriptHost::ExpandReferences(const std::string& text, std::string& expanded) {
    if (text.find('%') == std::string::npos) {
        expanded = text;
        return true;
    }
    std::map<std::string, std::string> variables;
    if (!SystemVariables(variables)) return false;
    expanded = ExpandWith(text, [&variables](const std::string& name, std::string& value) {
        const auto found = variables.find(FoldCase(name));
        if (found == variables.end()) return false;
        value = found->second;
        return true;
    });
    return true;
}

bool Win32ScriptHost::FileExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
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

bool Win32ScriptHost::ReadFolder(const std::string& folder, std::vector<FolderEntry>& entries) {
    std::wstring root;
    if (!LongPath(folder, root)) return false;
    entries.clear();
    // Each folder's entries follow its own entry: a stack of the folders
    // still to list, with their paths below the root.
    std::vector<std::wstring> pending{std::wstring()};
    while (!pending.empty()) {
        const std::wstring below = pending.back();
        pending.pop_back();
        WIN32_FIND_DATAW found;
        // Without the short names, fetched in large batches (learn.microsoft.com, FindFirstFileExW).
        HANDLE find = FindFirstFileExW((root + L"\\" + below + L"*").c_str(), FindExInfoBasic, &found,
                                       FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
        if (find == INVALID_HANDLE_VALUE) return false;
        std::vector<std::wstring> children;
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring wide = below + name;
            FolderEntry entry;
            entry.path = Narrow(wide.c_str(), wide.size());
            entry.folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            entry.readOnly = (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
            entry.hidden = (found.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0;
            entry.bytes = entry.folder ? 0 : (std::uint64_t{found.nFileSizeHigh} << 32) | found.nFileSizeLow;
            entries.push_back(entry);
            // A link to a folder is not followed: it could lead back up.
            if (entry.folder && !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                children.push_back(wide + L"\\");
            }
        } while (FindNextFileW(find, &found));
        const bool whole = GetLastError() == ERROR_NO_MORE_FILES;
        FindClose(find);
        if (!whole) return false;
        pending.insert(pending.end(), children.rbegin(), children.rend());
    }
    return true;
}

bool Win32ScriptHost::FreeSpace(const std::string& folder, std::uint64_t& bytes) {
    // Any folder of the volume will do, a share's with its final backslash;
    // the first answer is what this account may use, less than the
    // volume's free bytes under a quota (learn.microsoft.com,
    // GetDiskFreeSpaceExA).
    std::string directory = folder;
    if (directory.empty() || directory.back() != '\\') directory += '\\';
    ULARGE_INTEGER available = {};
    if (!GetDiskFreeSpaceExA(directory.c_str(), &available, nullptr, nullptr)) return false;
    bytes = available.QuadPart;
    return true;
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

// A holder that denies write sharing makes every open for writing fail
// with ERROR_SHARING_VIOLATION, whatever sharing the opener grants
// ("CreateFileA", "Creating and Opening Files", learn.microsoft.com).
bool Win32ScriptHost::FileInUse(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_SHARING_VIOLATION;
    CloseHandle(file);
    return false;
}

bool Win32ScriptHost::ReadTextFile(const std::string& path, std::string& text) {
    constexpr DWORD kMostBytes = 64 * 1024;  // a mark is a few lines
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    text.assign(kMostBytes, '\0');
    DWORD done = 0;
    const bool read = ReadFile(file, &text[0], kMostBytes, &done, nullptr) != 0;
    CloseHandle(file);
    text.resize(read ? done : 0);
    return read;
}

}  // namespace qm
