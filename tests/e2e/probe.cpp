// Functions the driver runs inside the tool's process, for what Wine does not
// show other processes: which standard icon a message box shows (each process
// has handles of its own for the same icon) and the window menu's items.
#include <windows.h>

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
