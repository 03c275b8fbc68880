// Drives a running Quilmarsk.exe through its windows only, from another
// process: finds its dialogs and message boxes, reads and sets control texts
// and presses buttons. Commands are posted, never sent, where the handler may
// open a modal window, so the driver never blocks on the tool's modal loops.
// Every wait polls with a generous limit and throws DriverError when the
// limit passes: a hang fails the test, slowness never does.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "actions/user.h"
#include "support/machine.h"

namespace e2e {

struct DriverError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

using qm::test::kPatience;
using qm::test::PollUntil;
using qm::test::WinePath;

// Controls of a window of another process, through messages the system
// marshals across processes.
std::string ItemText(HWND dialog, int id);
void SetItemText(HWND dialog, int id, const std::string& text);
std::vector<std::string> ListEntries(HWND dialog, int id);
int ListSelection(HWND dialog, int id);  // LB_ERR when nothing is selected
LRESULT EditLimit(HWND dialog, int id);
// Selects entry |index| of list |listId| and notifies the dialog as a
// user's click would; returns once the dialog has handled the notification.
void SelectEntry(HWND dialog, int listId, int index);
// Posts a button click (WM_COMMAND with BN_CLICKED) to the dialog.
void Click(HWND dialog, int id);
// Posts BM_CLICK to the button itself, as a mouse click would press it.
void PressButton(HWND dialog, int id);
// Posts a window-menu command, as choosing the item would.
void SysCommand(HWND window, WPARAM command);
// Waits until |window| is destroyed.
void WaitGone(HWND window);

inline constexpr int kSelectAll = -2;

struct MessageBoxView {
    HWND window = nullptr;
    HWND owner = nullptr;
    std::string caption;
    std::string text;
    qm::Icon icon = qm::Icon::None;  // the standard icon beside the text
};

// One running Quilmarsk.exe (or any dialog program); ended when destroyed.
class App {
public:
    explicit App(const std::string& exePath);
    ~App();
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    DWORD pid() const { return info_.dwProcessId; }
    bool Running() const;
    // True when the process ended within the patience limit.
    bool WaitForExit(DWORD limit = kPatience) const;
    void Terminate();

    // The visible top-level windows of the process.
    std::vector<HWND> Windows() const;
    // The enabled, visible dialog with this caption (compared without
    // regard to letter case when |anyCase|).
    HWND WaitDialog(const std::string& caption, bool anyCase = false) const;
    // The next message box of the process.
    MessageBoxView WaitMessageBox() const;
    // Presses OK on a message box and waits until it is gone.
    void CloseMessageBox(const MessageBoxView& box) const;
    // Returns once the dialog's thread is back in a message loop, so that a
    // window opened by the handler of an earlier posted command would exist
    // by now. Then tells whether |main| is the only visible window and is
    // enabled, i.e. no modal window of the tool is open.
    bool OnlyWindowIs(HWND main) const;
    // The control id of the window that has the keyboard focus in the
    // tool's dialog thread; 0 when none.
    int FocusedId() const;
    // The items of |window|'s window menu, one per line: the command id and
    // the text, or "-" for a separator.
    std::vector<std::string> WindowMenu(HWND window) const;
    // The rows of the tool's list view |list|, one line each with its cells
    // separated by tabs; row |select| alone (or kSelectAll: every row) is
    // selected first when given.
    std::vector<std::string> ListViewRows(HWND list, int select = -1) const;
    // Opens |window|'s window menu as Alt+Space does and chooses its last
    // item with End and Enter.
    void ChooseLastWindowMenuItem(HWND window) const;
    // Describes the visible windows, for failure messages.
    std::string Describe() const;

    // The shell's folder picker ("Browse for Folder").
    HWND WaitFolderPicker() const;
    // Selects |folder| in the picker (the path is written into the tool's
    // memory for BFFM_SETSELECTIONA) and presses OK.
    void PickFolder(HWND picker, const std::string& folder) const;
    void CancelPicker(HWND picker) const;

private:
    // Which standard icon |box| shows, asked in the tool's own process.
    qm::Icon IconOf(HWND box) const;
    // Runs |function| of probe.dll (found beside the driver) in the tool's
    // process, loaded there first; its exit code.
    DWORD RunProbe(const char* function, void* argument) const;
    // Runs |function| of the probe on a 4,096-byte buffer that starts with
    // |head|, and returns the lines it leaves there.
    std::vector<std::string> ProbeLines(const char* function, const void* head, std::size_t headSize) const;
    // Runs |start| on a new thread of the tool's process; its exit code.
    DWORD RemoteCall(const void* start, void* argument) const;

    PROCESS_INFORMATION info_{};
};

}  // namespace e2e
