// The About box, opened from the main dialog's window menu.
#pragma once

#include "ui/framework/dialog.h"
#include "ui/resource.h"

class CAboutDlg : public ui::Dialog {
public:
    INT_PTR DoModal(HWND parent) { return RunModal(IDD, parent); }

private:
    static constexpr int IDD = IDD_ABOUTBOX;
};
