#include "ui/win32_user.h"

#include <shlobj.h>

#include "actions/wipe.h"
#include "win32/path_limits.h"
#include "ui/account_dialog.h"
#include "ui/dialog_messenger.h"
#include "ui/plan_dialog.h"

namespace {

constexpr UINT kFileSystemFoldersOnly = BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN;

}  // namespace

void Win32User::Message(const std::string& text, const char* caption, qm::Icon icon) {
    DialogMessenger(owner_).Message(text, caption, icon);
}

bool Win32User::BrowseForFolder(const char* title, std::string& folder) {
    char buffer[qm::kPathBytes] = {};
    BROWSEINFOA info = {};
    info.hwndOwner = owner_.hwnd();
    info.pidlRoot = nullptr;  // the desktop
    info.pszDisplayName = buffer;
    info.lpszTitle = title;
    info.ulFlags = kFileSystemFoldersOnly;
    PIDLIST_ABSOLUTE item = SHBrowseForFolderA(&info);
    if (!item) return false;

    // When the item has no path, the buffer keeps the display name.
    SHGetPathFromIDListA(item, buffer);
    IMalloc* allocator = nullptr;
    if (SUCCEEDED(SHGetMalloc(&allocator))) {
        allocator->Free(item);
        allocator->Release();
    }
    buffer[qm::kPathBytes - 1] = '\0';
    folder = buffer;
    return true;
}

bool Win32User::AskAccount(std::string& account, std::string& password, const qm::AccountCheck& check) {
    CServiceAccountDlg dialog(owner_.hwnd());
    dialog.m_check = check;
    dialog.m_strAccount = account;
    dialog.m_strPassword = password;
    dialog.m_strVerifyPassword = password;
    if (dialog.DoModal() != IDOK) return false;
    account = dialog.m_strAccount;
    qm::Wipe(password);
    password = dialog.m_strPassword;
    return true;
}

bool Win32User::ModulePath(std::string& path) {
    char buffer[qm::kPathBytes] = {};
    const DWORD length = GetModuleFileNameA(nullptr, buffer, qm::kPathBytes);
    // A path that fills the buffer was cut short (and Wine leaves it unterminated).
    if (length == 0 || length >= qm::kPathBytes) return false;
    path.assign(buffer, length);
    return true;
}

void Win32User::ShowBusy(bool busy) {
    if (busy) {
        HCURSOR previous = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
        if (!idleCursor_) idleCursor_ = previous;
    } else if (idleCursor_) {
        SetCursor(idleCursor_);
        idleCursor_ = nullptr;
    }
}

void Win32User::Pause(unsigned milliseconds) {
    constexpr DWORD kSlice = 50;
    const ULONGLONG end = GetTickCount64() + milliseconds;
    for (;;) {
        // Paint, and nothing else: input waits until the action is done.
        MSG message;
        while (PeekMessageA(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) DispatchMessageA(&message);
        if (idleCursor_) SetCursor(LoadCursorA(nullptr, IDC_WAIT));
        const ULONGLONG now = GetTickCount64();
        if (now >= end) return;
        Sleep(static_cast<DWORD>(end - now < kSlice ? end - now : kSlice));
    }
}

bool Win32User::AskYesNo(const std::string& question, const char* caption) {
    // MessageBoxA answers IDYES for the Yes button (learn.microsoft.com, MessageBox).
    return owner_.ShowMessage(question, caption, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

bool Win32User::ConfirmPlan(const qm::UpdatePlan& plan) {
    return CPlanDlg(plan, owner_.hwnd()).DoModal() == IDOK;
}
