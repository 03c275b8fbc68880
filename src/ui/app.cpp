#include "ui/app.h"

#include <windows.h>
#include <objbase.h>

#include "actions/messages.h"
#include "ui/framework/dialog.h"
#include "ui/main_dialog.h"

bool CServiceConfigApp::InitInstance() {
    CServiceConfigDlg dialog;
    dialog.DoModal();
    return false;
}

namespace {

CServiceConfigApp theApp;

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    ui::SetTexts({qm::text::kCaption, qm::text::kErrorCaption, qm::text::kDialogError, qm::text::kUnexpectedError});
    // The shell's folder picker needs an apartment-threaded COM.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    try {
        theApp.InitInstance();
    } catch (...) {
        MessageBoxA(nullptr, qm::text::kStartError, qm::text::kErrorCaption, MB_OK | MB_ICONSTOP);
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return 0;
}
