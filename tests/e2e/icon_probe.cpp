// Loaded into the tool's process by the driver, to tell which standard icon
// a message box shows: only the process that loaded an icon can compare its
// handle (Wine gives each process handles of its own).
#include <windows.h>

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
