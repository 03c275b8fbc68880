#include "driver.h"

#include <commctrl.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <sstream>

namespace e2e {

using qm::test::Lower;

namespace {

// The static control that holds a message box's text, in Windows and Wine.
constexpr int kMessageTextId = 0xFFFF;

// Sends a message that must be answered; a tool that does not answer within
// the patience limit has hung. Texts travel as UTF-16: Wine does not convert
// LB_GETTEXT for an ANSI caller in another process.
LRESULT Send(HWND window, UINT msg, WPARAM w = 0, LPARAM l = 0) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, msg, w, l, SMTO_NORMAL, kPatience, &result)) {
        std::ostringstream what;
        what << "message 0x" << std::hex << msg << " to window " << window << " was not answered (error "
             << std::dec << GetLastError() << ")";
        throw DriverError(what.str());
    }
    return static_cast<LRESULT>(result);
}

std::string Narrow(const std::wstring& wide) {
    if (wide.empty()) return {};
    const int size = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                         nullptr);
    std::string text(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), &text[0], size, nullptr, nullptr);
    return text;
}

std::wstring Widen(const std::string& text) {
    if (text.empty()) return {};
    const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], size);
    return wide;
}

void Post(HWND window, UINT msg, WPARAM w, LPARAM l) {
    if (!PostMessageA(window, msg, w, l)) throw DriverError("could not post to the tool's window");
}

HWND Item(HWND dialog, int id) {
    HWND item = GetDlgItem(dialog, id);
    if (!item) throw DriverError("the dialog has no control " + std::to_string(id));
    return item;
}

std::string ClassOf(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

// The window's own text, read by WM_GETTEXT (GetWindowText does not ask
// windows of other processes).
std::string TextOf(HWND window) {
    const LRESULT length = Send(window, WM_GETTEXTLENGTH);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT read = Send(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(static_cast<std::size_t>(read));
    return Narrow(text);
}

bool IsDialog(HWND window) { return ClassOf(window) == "#32770"; }

// Message boxes are dialogs marked DS_NOIDLEMSG with the text in static
// control 0xFFFF; the tool's own dialogs are not so marked.
bool IsMessageBox(HWND window) {
    if (!IsDialog(window) || !(GetWindowLongA(window, GWL_STYLE) & DS_NOIDLEMSG)) return false;
    HWND text = GetDlgItem(window, kMessageTextId);
    return text && ClassOf(text) == "Static";
}

// The icon a message box shows in its static icon control; null when none.
HICON ShownIcon(HWND box) {
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (ClassOf(child) != "Static") continue;
        if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) continue;
        if (const LRESULT icon = Send(child, STM_GETICON)) return reinterpret_cast<HICON>(icon);
    }
    return nullptr;
}

// Where module |name| lies in process |pid|.
const char* ModuleBase(DWORD pid, const char* name) {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
    MODULEENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    const char* base = nullptr;
    for (BOOL more = Module32First(snapshot, &entry); more && !base; more = Module32Next(snapshot, &entry)) {
        if (_stricmp(entry.szModule, name) == 0) base = reinterpret_cast<const char*>(entry.modBaseAddr);
    }
    CloseHandle(snapshot);
    if (!base) throw DriverError(std::string("the tool's process did not load ") + name);
    return base;
}

}  // namespace

std::string ItemText(HWND dialog, int id) { return TextOf(Item(dialog, id)); }

void SetItemText(HWND dialog, int id, const std::string& text) {
    const std::wstring wide = Widen(text);
    Send(Item(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

std::vector<std::string> ListEntries(HWND dialog, int id) {
    HWND list = Item(dialog, id);
    std::vector<std::string> entries;
    const LRESULT count = Send(list, LB_GETCOUNT);
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = Send(list, LB_GETTEXTLEN, i);
        if (length == LB_ERR) throw DriverError("list entry " + std::to_string(i) + " vanished while read");
        std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
        const LRESULT read = Send(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(&text[0]));
        text.resize(read == LB_ERR ? 0 : static_cast<std::size_t>(read));
        entries.push_back(Narrow(text));
    }
    return entries;
}

int ListSelection(HWND dialog, int id) { return static_cast<int>(Send(Item(dialog, id), LB_GETCURSEL)); }

LRESULT EditLimit(HWND dialog, int id) { return Send(Item(dialog, id), EM_GETLIMITTEXT); }

void SelectEntry(HWND dialog, int listId, int index) {
    HWND list = Item(dialog, listId);
    if (Send(list, LB_SETCURSEL, static_cast<WPARAM>(index)) == LB_ERR) {
        throw DriverError("list entry " + std::to_string(index) + " cannot be selected");
    }
    Send(dialog, WM_COMMAND, MAKEWPARAM(listId, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
}

void Click(HWND dialog, int id) {
    Post(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(Item(dialog, id)));
}

void PressButton(HWND dialog, int id) { Post(Item(dialog, id), BM_CLICK, 0, 0); }

void SysCommand(HWND window, WPARAM command) { Post(window, WM_SYSCOMMAND, command, 0); }

void WaitGone(HWND window) {
    if (!PollUntil([&] { return !IsWindow(window); })) throw DriverError("a window of the tool did not close");
}

App::App(const std::string& exePath) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::string commandLine = "\"" + exePath + "\"";
    if (!CreateProcessA(exePath.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info_)) {
        throw DriverError("cannot start " + exePath + " (error " + std::to_string(GetLastError()) + ")");
    }
}

App::~App() {
    Terminate();
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
}

bool App::Running() const { return WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }

bool App::WaitForExit(DWORD limit) const { return WaitForSingleObject(info_.hProcess, limit) == WAIT_OBJECT_0; }

void App::Terminate() {
    if (!Running()) return;
    TerminateProcess(info_.hProcess, 1);
    WaitForSingleObject(info_.hProcess, kPatience);
}

struct WindowSearch {
    DWORD pid;
    std::vector<HWND> found;
};

// An EnumWindows callback: a plain function, as a lambda has the wrong
// calling convention for 32-bit Windows.
static BOOL CALLBACK CollectVisibleWindow(HWND window, LPARAM param) {
    auto* s = reinterpret_cast<WindowSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == s->pid && IsWindowVisible(window)) s->found.push_back(window);
    return TRUE;
}

std::vector<HWND> App::Windows() const {
    WindowSearch search{pid(), {}};
    EnumWindows(CollectVisibleWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::string App::Describe() const {
    std::ostringstream out;
    out << "windows of the tool:";
    for (HWND window : Windows()) {
        char caption[256] = {};
        GetWindowTextA(window, caption, sizeof caption);
        out << " [" << ClassOf(window) << " \"" << caption << "\"" << (IsWindowEnabled(window) ? "" : " disabled")
            << "]";
    }
    if (!Running()) out << " (the process has ended)";
    return out.str();
}

HWND App::WaitDialog(const std::string& caption, bool anyCase) const {
    HWND found = nullptr;
    const auto same = [&](const std::string& text) { return anyCase ? Lower(text) == Lower(caption) : text == caption; };
    PollUntil([&] {
        for (HWND window : Windows()) {
            char text[256] = {};
            GetWindowTextA(window, text, sizeof text);
            if (IsDialog(window) && IsWindowEnabled(window) && !IsMessageBox(window) && same(text)) {
                found = window;
                return true;
            }
        }
        return !Running();
    });
    if (!found) throw DriverError("no dialog \"" + caption + "\" appeared; " + Describe());
    return found;
}

MessageBoxView App::WaitMessageBox() const {
    MessageBoxView box;
    PollUntil([&] {
        for (HWND window : Windows()) {
            if (IsWindowEnabled(window) && IsMessageBox(window)) {
                box.window = window;
                return true;
            }
        }
        return !Running();
    });
    if (!box.window) throw DriverError("no message box appeared; " + Describe());
    char caption[256] = {};
    GetWindowTextA(box.window, caption, sizeof caption);
    box.caption = caption;
    box.owner = GetWindow(box.window, GW_OWNER);
    box.text = ItemText(box.window, kMessageTextId);
    box.icon = IconOf(box.window);
    return box;
}

void App::CloseMessageBox(const MessageBoxView& box) const {
    Click(box.window, IDOK);
    WaitGone(box.window);
}

bool App::OnlyWindowIs(HWND main) const {
    // A sent message is handled only where the thread reads its queue: in the
    // dialog's own loop or in the loop of a modal window opened since.
    Send(main, WM_NULL);
    const std::vector<HWND> windows = Windows();
    return windows.size() == 1 && windows[0] == main && IsWindowEnabled(main);
}

int App::FocusedId() const {
    GUITHREADINFO thread = {};
    thread.cbSize = sizeof thread;
    if (!GetGUIThreadInfo(info_.dwThreadId, &thread) || !thread.hwndFocus) return 0;
    return GetDlgCtrlID(thread.hwndFocus);
}

HWND App::WaitFolderPicker() const { return WaitDialog("Browse for Folder", true); }

// Memory in the tool's process, for messages that the system does not
// marshal between processes.
class RemoteMemory {
public:
    RemoteMemory(HANDLE process, std::size_t size)
        : process_(process), at_(VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)) {
        if (!at_) throw DriverError("cannot allocate memory in the tool's process");
    }
    ~RemoteMemory() { VirtualFreeEx(process_, at_, 0, MEM_RELEASE); }
    RemoteMemory(const RemoteMemory&) = delete;
    RemoteMemory& operator=(const RemoteMemory&) = delete;

    char* at(std::size_t offset = 0) const { return static_cast<char*>(at_) + offset; }
    void Write(std::size_t offset, const void* data, std::size_t size) const {
        if (!WriteProcessMemory(process_, at(offset), data, size, nullptr)) {
            throw DriverError("cannot write into the tool's memory");
        }
    }
    void Read(std::size_t offset, void* data, std::size_t size) const {
        if (!ReadProcessMemory(process_, at(offset), data, size, nullptr)) {
            throw DriverError("cannot read the tool's memory");
        }
    }

private:
    HANDLE process_;
    void* at_;
};

// The text of the item selected in the picker's folder tree.
std::string SelectedFolderName(HANDLE process, HWND picker) {
    constexpr int kTreeId = 0x3741;
    constexpr std::size_t kTextAt = 512, kTextChars = MAX_PATH;
    const HWND tree = Item(picker, kTreeId);
    const auto selected = reinterpret_cast<HTREEITEM>(Send(tree, TVM_GETNEXTITEM, TVGN_CARET));
    if (!selected) return {};
    const RemoteMemory remote(process, kTextAt + kTextChars * sizeof(wchar_t));
    TVITEMW item = {};
    item.mask = TVIF_TEXT | TVIF_HANDLE;
    item.hItem = selected;
    item.pszText = reinterpret_cast<wchar_t*>(remote.at(kTextAt));
    item.cchTextMax = kTextChars;
    remote.Write(0, &item, sizeof item);
    const std::wstring empty(kTextChars, L'\0');
    remote.Write(kTextAt, empty.data(), empty.size() * sizeof(wchar_t));
    if (!Send(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(remote.at()))) return {};
    std::wstring text(kTextChars, L'\0');
    remote.Read(kTextAt, &text[0], text.size() * sizeof(wchar_t));
    text.resize(text.find(L'\0'));
    return Narrow(text);
}

void App::PickFolder(HWND picker, const std::string& folder) const {
    // The picker may still be filling its tree when it is first seen; a
    // selection made too early is lost, so repeat it until it holds.
    const RemoteMemory path(info_.hProcess, folder.size() + 1);
    path.Write(0, folder.c_str(), folder.size() + 1);
    const std::string name = folder.substr(folder.find_last_of('\\') + 1);
    const bool selected = PollUntil([&] {
        Send(picker, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(path.at()));
        return Lower(SelectedFolderName(info_.hProcess, picker)) == Lower(name);
    });
    if (!selected) throw DriverError("the folder picker did not select " + folder);
    Click(picker, IDOK);
    WaitGone(picker);
}

void App::CancelPicker(HWND picker) const {
    Click(picker, IDCANCEL);
    WaitGone(picker);
}

DWORD App::RemoteCall(const void* start, void* argument) const {
    const HANDLE thread = CreateRemoteThread(info_.hProcess, nullptr, 0,
                                             reinterpret_cast<LPTHREAD_START_ROUTINE>(const_cast<void*>(start)),
                                             argument, 0, nullptr);
    if (!thread) throw DriverError("cannot start a thread in the tool's process");
    const bool ended = WaitForSingleObject(thread, kPatience) == WAIT_OBJECT_0;
    DWORD code = 0;
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    if (!ended) throw DriverError("a thread in the tool's process did not end");
    return code;
}

qm::Icon App::IconOf(HWND box) const {
    const HICON shown = ShownIcon(box);
    return shown ? static_cast<qm::Icon>(RunProbe("StandardIcon", shown)) : qm::Icon::None;
}

std::vector<std::string> App::ProbeLines(const char* function, const void* head, std::size_t headSize) const {
    constexpr std::size_t kBytes = 4096;
    const RemoteMemory buffer(info_.hProcess, kBytes);
    buffer.Write(0, head, headSize);
    RunProbe(function, buffer.at());
    std::string text(kBytes, '\0');
    buffer.Read(0, &text[0], kBytes);
    std::vector<std::string> lines;
    std::istringstream stream(text.substr(0, text.find('\0')));
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
}

std::vector<std::string> App::WindowMenu(HWND window) const { return ProbeLines("DescribeWindowMenu", &window, sizeof window); }

std::vector<std::string> App::ListViewRows(HWND list, int select) const {
    struct {
        HWND list;
        int select;
    } head = {list, select};
    return ProbeLines("DescribeListView", &head, sizeof head);
}

void App::ChooseLastWindowMenuItem(HWND window) const {
    Post(window, WM_SYSCOMMAND, SC_KEYMENU, ' ');
    const bool open = PollUntil([&] {
        const std::vector<HWND> windows = Windows();
        return std::any_of(windows.begin(), windows.end(), [](HWND w) { return ClassOf(w) == "#32768"; });
    });
    if (!open) throw DriverError("the window menu did not open; " + Describe());
    Post(window, WM_KEYDOWN, VK_END, 0);
    Post(window, WM_CHAR, '\r', 0);
}

DWORD App::RunProbe(const char* function, void* argument) const {
    constexpr char kProbe[] = "probe.dll";
    char self[MAX_PATH] = {};
    std::string dll(self, GetModuleFileNameA(nullptr, self, MAX_PATH));
    dll = dll.substr(0, dll.find_last_of('\\') + 1) + kProbe;
    const HMODULE local = LoadLibraryA(dll.c_str());
    if (!local) throw DriverError("cannot load " + dll);
    const RemoteMemory path(info_.hProcess, dll.size() + 1);
    path.Write(0, dll.c_str(), dll.size() + 1);
    // kernel32 lies at the same address in every process.
    RemoteCall(reinterpret_cast<const void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "LoadLibraryA")),
               path.at());
    const auto* entry = reinterpret_cast<const char*>(GetProcAddress(local, function));
    if (!entry) throw DriverError(std::string("the probe has no ") + function);
    const auto offset = entry - reinterpret_cast<const char*>(local);
    return RemoteCall(ModuleBase(pid(), kProbe) + offset, argument);
}

}  // namespace e2e
