// Functions the driver runs inside the tool's process, for what Wine does not
// show other processes: which standard icon a message box shows (each process
// has handles of its own for the same icon), the window menu's items and a
// list view's rows.
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "actions/user.h"

extern "C" __declspec(dllexport) DWORD WINAPI StandardIcon(void* shown) {
    const struct {
        LPCSTR name;
        qm::Icon icon;
    } kIcons[] = {
        {IDI_ASTERISK, qm::Icon::Information}, {IDI_EXCLAMATION, qm::Icon::Warning}, {IDI_HAND, qm::Icon::Stop}};
    for (const auto& standard : kIcons) {
        if (LoadIconA(nullptr, standard.name) == shown) return static_cast<DWORD>(standard.icon);
    }
    return 0xFF;  // another icon
}

// Describes the window menu of the window whose handle starts |buffer|, into
// |buffer| (4,096 bytes): one line per item, its id and text, or "-" for a
// separator.
extern "C" __declspec(dllexport) DWORD WINAPI DescribeWindowMenu(char* buffer) {
    HWND window;
    CopyMemory(&window, buffer, sizeof window);
    HMENU menu = GetSystemMenu(window, FALSE);
    std::string lines;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        char text[256] = {};
        MENUITEMINFOA item = {};
        item.cbSize = sizeof item;
        item.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING;
        item.dwTypeData = text;
        item.cch = sizeof text;
        GetMenuItemInfoA(menu, i, TRUE, &item);
        lines += (item.fType & MFT_SEPARATOR) ? "-\n" : std::to_string(item.wID) + " " + text + "\n";
    }
    lstrcpynA(buffer, lines.c_str(), 4096);
    return 0;
}

// Describes the rows of the list view whose handle starts |buffer|, into
// |buffer| (4,096 bytes): one line per row, its cells separated by tabs.
// When the int after the handle is a row's index, that row alone is
// selected first.
extern "C" __declspec(dllexport) DWORD WINAPI DescribeListView(char* buffer) {
    struct {
        HWND list;
        int select;
    } head;
    CopyMemory(&head, buffer, sizeof head);
    LVITEMA item = {};
    item.stateMask = LVIS_SELECTED;
    if (head.select >= 0 || head.select == -2) {  // -2: every row
        item.state = head.select == -2 ? LVIS_SELECTED : 0;
        SendMessageA(head.list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
        item.state = LVIS_SELECTED;
        if (head.select >= 0) SendMessageA(head.list, LVM_SETITEMSTATE, head.select, reinterpret_cast<LPARAM>(&item));
    }
    const HWND header = reinterpret_cast<HWND>(SendMessageA(head.list, LVM_GETHEADER, 0, 0));
    const LRESULT columns = SendMessageA(header, HDM_GETITEMCOUNT, 0, 0);
    std::string lines;
    for (int row = 0; row < SendMessageA(head.list, LVM_GETITEMCOUNT, 0, 0); ++row) {
        for (item.iSubItem = 0; item.iSubItem < columns; ++item.iSubItem) {
            char text[512] = {};
            item.pszText = text;
            item.cchTextMax = sizeof text;
            SendMessageA(head.list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
            lines += (item.iSubItem ? "\t" : "") + std::string(text) + (item.iSubItem + 1 == columns ? "\n" : "");
        }
    }
    lstrcpynA(buffer, lines.c_str(), 4096);
    return 0;
}
