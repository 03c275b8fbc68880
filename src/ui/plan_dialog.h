// The update's plan, before the script is written: each instance's
// version now and after, its backup against the room on its volume, and
// every problem the plan sees, those first; "Write Script" or "Cancel".
#pragma once

#include "actions/plan.h"
#include "ui/framework/dialog.h"
#include "ui/framework/listview.h"
#include "ui/resource.h"

class CPlanDlg : public ui::Dialog {
public:
    CPlanDlg(const qm::UpdatePlan& plan, HWND parent) : m_plan(plan), m_parent(parent) {}

    // IDOK for "Write Script"; IDCANCEL, or -1 when it cannot be shown.
    INT_PTR DoModal();

protected:
    void DoDataExchange(ui::DataExchange& dx) override { dx.Control(IDC_PLAN_LIST, m_list); }
    bool OnInitDialog() override;
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

private:
    static constexpr int IDD = IDD_PLAN;

    void Copy();

    const qm::UpdatePlan& m_plan;
    HWND m_parent;
    ui::ListView m_list;
};
