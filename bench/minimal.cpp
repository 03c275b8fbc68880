// The smallest Win32 dialog program: the yardstick for Quilmarsk's start-up
// time and executable size. It shows one empty dialog until it is closed.
// Two variants tell the shares of a start-up that any such tool pays:
//   MINIMAL_ENUMERATING  first enumerates the services as the tool does (bare);
//                        given a buffer size on its command line, in one
//                        call with that buffer instead
//   MINIMAL_DIALOG       shows Quilmarsk's own main dialog instead (built with
//                        its resources and manifest, so common controls 6),
//                        after loading what Quilmarsk loads: shell32, ole32
//                        and an apartment-threaded COM; nothing fills it
#include <windows.h>

#ifdef MINIMAL_ENUMERATING
#include <cstdlib>

#include "bare_enumeration.h"
#endif
#ifdef MINIMAL_DIALOG
#include <objbase.h>
#include <shlobj.h>

#include "resource.h"
#endif

namespace {

#ifdef MINIMAL_DIALOG
constexpr int kTemplate = IDD_QUILMARSK_DIALOG;
#else
constexpr int kTemplate = 1;
#endif

INT_PTR CALLBACK DialogProc(HWND window, UINT msg, WPARAM wParam, LPARAM) {
    if (msg == WM_INITDIALOG) return TRUE;
    if (msg == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(window, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
#ifdef MINIMAL_ENUMERATING
    const DWORD bytes = __argc > 1 ? static_cast<DWORD>(std::strtoul(__argv[1], nullptr, 10)) : 0;
    if (bytes) OneEnumerationCall(bytes);
    else BareEnumeration();
#endif
#ifdef MINIMAL_DIALOG
    // Imported as Quilmarsk imports it, so that shell32 loads with the process.
    static auto volatile shellImport = &SHGetMalloc;
    (void)shellImport;
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
#endif
    DialogBoxParamA(instance, MAKEINTRESOURCEA(kTemplate), nullptr, DialogProc, 0);
#ifdef MINIMAL_DIALOG
    if (SUCCEEDED(com)) CoUninitialize();
#endif
    return 0;
}
