#include "ui/plan_dialog.h"

#include "actions/messages.h"

namespace {

// The columns' widths in dialog units, in the columns' order.
constexpr int kColumnWidths[] = {95, 50, 50, 52, 45, 205};
static_assert(std::size(kColumnWidths) == static_cast<std::size_t>(qm::PlanColumn::Count));

}  // namespace

INT_PTR CPlanDlg::DoModal() {
    // The list view's window class exists only once registered.
    if (!ui::ListView::Register()) {
        ShowMessage(qm::text::kDialogError, qm::text::kErrorCaption, MB_OK | MB_ICONSTOP);
        return -1;
    }
    return RunModal(IDD, m_parent);
}

bool CPlanDlg::OnInitDialog() {
    ui::Dialog::OnInitDialog();
    m_list.SetFullRowSelect();
    for (int c = 0; c < static_cast<int>(qm::PlanColumn::Count); ++c) {
        RECT width = {0, 0, kColumnWidths[c], 0};
        MapDialogRect(hwnd(), &width);
        m_list.AddColumn(c, qm::PlanColumnTitle(static_cast<qm::PlanColumn>(c)), width.right);
    }
    std::vector<std::vector<std::string>> cells;
    for (const qm::PlanRow& row : m_plan.rows) cells.push_back(qm::PlanRowCells(row));
    m_list.Fill(cells);
    SetItemText(IDC_PLAN_SUMMARY, qm::PlanSummary(m_plan));
    return true;
}

bool CPlanDlg::OnMessage(UINT msg, WPARAM, LPARAM lParam, INT_PTR& result) {
    if (msg != WM_NOTIFY) return false;
    const auto* header = reinterpret_cast<const NMHDR*>(lParam);
    if (header->idFrom != IDC_PLAN_LIST || header->code != LVN_KEYDOWN) return false;
    const WORD key = reinterpret_cast<const NMLVKEYDOWN*>(lParam)->wVKey;
    if (GetKeyState(VK_CONTROL) < 0 && key == 'A') {
        m_list.SelectAll();
    } else if (GetKeyState(VK_CONTROL) < 0 && key == 'C') {
        Copy();
    }
    result = 0;
    return true;
}

void CPlanDlg::Copy() {
    std::vector<qm::PlanRow> rows;
    for (int index : m_list.Selection()) {
        if (index < static_cast<int>(m_plan.rows.size())) rows.push_back(m_plan.rows[static_cast<std::size_t>(index)]);
    }
    if (!rows.empty() && !ui::CopyToClipboard(hwnd(), qm::PlanRowsAsText(rows))) MessageBeep(MB_ICONEXCLAMATION);
}
