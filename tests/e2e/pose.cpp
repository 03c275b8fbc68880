// Opens one of Quilmarsk's dialogs and leaves it on screen, for the README's
// screenshots:  pose QUILMARSK.EXE main|account|about|status|plan
// Prints "ready" when the dialog is up, then waits to be ended.
#include <cstdio>
#include <string>

#include "driver.h"
#include "ui/resource.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: pose QUILMARSK.EXE main|account|about|status|plan\n");
        return 2;
    }
    const std::string mode = argv[2];
    try {
        e2e::App app(e2e::WinePath(argv[1]));
        HWND main = app.WaitDialog("Korvane Multiple Services Configuration Utility");
        if (mode == "about") {
            e2e::SysCommand(main, IDM_ABOUTBOX);
            app.WaitDialog("About Quilmarsk");
        } else if (mode == "account") {
            e2e::Click(main, IDC_ADD);
            app.PickFolder(app.WaitFolderPicker(), "C:\\Korvane");
            HWND account = app.WaitDialog("Exchange Service Account");
            e2e::SetItemText(account, IDC_ACCOUNT, "KORVANE\\svc-update");
        } else if (mode == "status") {
            e2e::Click(main, IDC_STATUS);
            const HWND overview = app.WaitDialog("Korvane Services Status");
            app.ListViewRows(GetDlgItem(overview, IDC_OVERVIEW_LIST), 1);  // the second row selected
        } else if (mode == "plan") {  // an update folder that scripts/screenshots fills with problems
            e2e::Click(main, IDC_CREATE_BATCH);
            app.PickFolder(app.WaitFolderPicker(), "C:\\Korvane\\Update");
            const HWND plan = app.WaitDialog("Update Plan");
            app.ListViewRows(GetDlgItem(plan, IDC_PLAN_LIST), 1);
        }
        std::printf("ready\n");
        std::fflush(stdout);
        Sleep(INFINITE);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "pose: %s\n", e.what());
        return 1;
    }
    return 0;
}
