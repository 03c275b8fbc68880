#include "ui/overview_dialog.h"

#include <algorithm>

#include "actions/change_account.h"
#include "actions/messages.h"

namespace {

// Posted to the dialog to read the rows' details after its first paint.
constexpr UINT kReadDetails = WM_APP + 1;

// The timer that reads every row's state and process id again, and how
// often: one enumeration, a few milliseconds for a thousand services (see
// bench/results.md).
constexpr UINT_PTR kReadStatesTimer = 1;
constexpr UINT kReadStatesMs = 5000;

// The longest watch the field takes, in seconds.
constexpr UINT kMaxWatchSeconds = 600;

// The columns' widths in dialog units, in the columns' order.
constexpr int kColumnWidths[] = {100, 45, 50, 55, 65, 125};
static_assert(std::size(kColumnWidths) == static_cast<std::size_t>(qm::OverviewColumn::Count));

}  // namespace

void ResponsiveUser::Pause(unsigned milliseconds) {
    constexpr DWORD kSlice = 50;
    const ULONGLONG end = GetTickCount64() + milliseconds;
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                // Left for the loop that ends on it.
                PostQuitMessage(static_cast<int>(message.wParam));
                return;
            }
            // The dialog's keys (Escape, Tab) as its own loop would take them.
            if (!IsDialogMessageA(owner().hwnd(), &message)) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
        }
        const ULONGLONG now = GetTickCount64();
        if (now >= end) return;
        const DWORD wait = static_cast<DWORD>(end - now < kSlice ? end - now : kSlice);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, wait, QS_ALLINPUT);
    }
}

INT_PTR COverviewDlg::DoModal() {
    // The list view's window class exists only once registered.
    if (!ui::ListView::Register()) {
        ShowMessage(qm::text::kDialogError, qm::text::kErrorCaption, MB_OK | MB_ICONSTOP);
        return -1;
    }
    return RunModal(IDD, m_parent);
}

bool COverviewDlg::OnInitDialog() {
    ui::Dialog::OnInitDialog();
    m_list.SetFullRowSelect();
    for (int c = 0; c < static_cast<int>(qm::OverviewColumn::Count); ++c) {
        RECT width = {0, 0, kColumnWidths[c], 0};
        MapDialogRect(hwnd(), &width);
        m_list.AddColumn(c, qm::ColumnTitle(static_cast<qm::OverviewColumn>(c)), width.right);
    }
    SendItemMessage(IDC_WATCH_TIME, EM_LIMITTEXT, 3);
    SetDlgItemInt(hwnd(), IDC_WATCH_TIME, qm::kDefaultWatchMs / 1000, FALSE);
    Refresh(true);
    SetTimer(hwnd(), kReadStatesTimer, kReadStatesMs, nullptr);
    return true;
}

void COverviewDlg::OnCancel() {
    if (!m_acting) {
        KillTimer(hwnd(), kReadStatesTimer);
        ui::Dialog::OnCancel();
        return;
    }
    m_cancelAsked = true;
    SetItemText(IDC_PROGRESS, qm::text::kCancelAsked);
}

bool COverviewDlg::OnButtonClicked(int id) {
    switch (id) {
        case IDC_START: Act(qm::ServiceRequest::Start); return true;
        case IDC_STOP: Act(qm::ServiceRequest::Stop); return true;
        case IDC_RESTART: Act(qm::ServiceRequest::Restart); return true;
        case IDC_REFRESH: Refresh(); return true;
        case IDC_CHANGE_ACCOUNT: ChangeAccount(); return true;
        default: return ui::Dialog::OnButtonClicked(id);
    }
}

bool COverviewDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
    if (msg == kReadDetails) {
        FillDetails();
        return true;
    }
    if (msg == WM_TIMER && wParam == kReadStatesTimer) {
        if (!m_acting) ReadStates();
        return true;
    }
    if (msg != WM_NOTIFY) return false;
    const auto* header = reinterpret_cast<const NMHDR*>(lParam);
    if (header->idFrom != IDC_OVERVIEW_LIST) return false;
    switch (header->code) {
        case LVN_COLUMNCLICK:
            SortBy(reinterpret_cast<const NMLISTVIEW*>(lParam)->iSubItem);
            break;
        case NM_RCLICK:
            OfferSameAccount(reinterpret_cast<const NMITEMACTIVATE*>(lParam)->ptAction);
            break;
        case LVN_KEYDOWN: {
            const WORD key = reinterpret_cast<const NMLVKEYDOWN*>(lParam)->wVKey;
            const bool control = GetKeyState(VK_CONTROL) < 0;
            if (key == VK_F5) {
                Refresh();
            } else if (control && key == 'A') {
                m_list.SelectAll();
            } else if (control && key == 'C') {
                Copy();
            }
            break;
        }
        default:
            return false;
    }
    result = 0;
    return true;
}

void COverviewDlg::Refresh(bool detailsLater) {
    const std::vector<std::string> selected = SelectedNames();
    qm::MachineContext context = m_machine.Alone(m_user);
    m_user.ShowBusy(true);
    const bool read = detailsLater ? qm::ReadOverviewStates(context, m_rows) : qm::ReadOverview(context, m_rows);
    m_user.ShowBusy(false);
    qm::SortRows(m_rows, m_sortColumn, m_descending);
    Show(selected);
    if (!read) {
        m_user.Message(qm::text::kOverviewReadError, qm::text::kErrorCaption, qm::Icon::Stop);
    } else if (detailsLater) {
        PostMessageA(hwnd(), kReadDetails, 0, 0);
    }
}

void COverviewDlg::FillDetails() {
    UpdateWindow(hwnd());  // the states first
    const std::vector<std::string> selected = SelectedNames();
    qm::MachineContext context = m_machine.Alone(m_user);
    m_user.ShowBusy(true);
    qm::ReadOverviewDetails(context, m_rows);
    m_user.ShowBusy(false);
    qm::SortRows(m_rows, m_sortColumn, m_descending);
    Show(selected);
}

void COverviewDlg::ReadStates() {
    // A failed reading keeps what the rows showed: the next one may succeed.
    if (!qm::ReadStatesAgain(m_machine.system, m_rows)) return;
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        for (const auto column : {qm::OverviewColumn::State, qm::OverviewColumn::ProcessId}) {
            m_list.SetCell(static_cast<int>(i), static_cast<int>(column), qm::CellText(m_rows[i], column));
        }
    }
}

void COverviewDlg::Show(const std::vector<std::string>& selected) {
    std::vector<std::vector<std::string>> cells;
    for (const qm::OverviewRow& row : m_rows) cells.push_back(qm::RowCells(row));
    m_list.Fill(cells);
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        if (std::find(selected.begin(), selected.end(), m_rows[i].name) != selected.end()) {
            m_list.Select(static_cast<int>(i), true);
        }
    }
}

void COverviewDlg::SortBy(int column) {
    if (column < 0 || column >= static_cast<int>(qm::OverviewColumn::Count)) return;
    const auto chosen = static_cast<qm::OverviewColumn>(column);
    // A second click on the same heading turns the order round.
    m_descending = chosen == m_sortColumn && !m_descending;
    m_sortColumn = chosen;
    const std::vector<std::string> selected = SelectedNames();
    qm::SortRows(m_rows, m_sortColumn, m_descending);
    Show(selected);
}

void COverviewDlg::Act(qm::ServiceRequest request) {
    const std::vector<std::string> names = SelectedNames();
    if (names.empty()) return;
    ReadWatchTime();
    ShowActing(true);
    qm::ActOnInstances(m_machine.system, m_user, request, names, *this);
    ShowActing(false);
}

void COverviewDlg::ReadWatchTime() {
    // The watch time as the field says; a field left empty or too large
    // takes the default, or the most it takes.
    BOOL read = FALSE;
    const UINT seconds = GetDlgItemInt(hwnd(), IDC_WATCH_TIME, &read, FALSE);
    m_watchMs = (read ? (seconds < kMaxWatchSeconds ? seconds : kMaxWatchSeconds) * 1000 : qm::kDefaultWatchMs);
    SetDlgItemInt(hwnd(), IDC_WATCH_TIME, m_watchMs / 1000, FALSE);
}

void COverviewDlg::ShowActing(bool acting) {
    if (acting == m_acting) return;
    m_acting = acting;
    m_cancelAsked = false;
    for (int id : {IDC_OVERVIEW_LIST, IDC_START, IDC_STOP, IDC_RESTART, IDC_REFRESH, IDC_CHANGE_ACCOUNT,
                   IDC_WATCH_TIME}) {
        EnableWindow(Item(id), acting ? FALSE : TRUE);
    }
    SetItemText(IDCANCEL, acting ? qm::text::kCancelButton : qm::text::kCloseButton);
    if (acting) return;
    SetItemText(IDC_PROGRESS, "");
    // Every row the action touched, and the others, as they are now.
    ReadStates();
    FocusItem(IDC_OVERVIEW_LIST);
}

void COverviewDlg::Acting(const std::string& name, unsigned watchLeftMs) {
    ShowActing(true);  // the restart after an account change begins
    if (m_cancelAsked) return;  // the line says the action ends
    SetItemText(IDC_PROGRESS, watchLeftMs ? qm::text::Fill(qm::text::kWatching,
                                                           {name, std::to_string((watchLeftMs + 999) / 1000)})
                                          : qm::text::Fill(qm::text::kActingOn, name));
}

void COverviewDlg::Copy() {
    const std::vector<qm::OverviewRow> rows = SelectedRows();
    if (!rows.empty() && !ui::CopyToClipboard(hwnd(), qm::RowsAsText(rows))) MessageBeep(MB_ICONEXCLAMATION);
}

void COverviewDlg::ChangeAccount() {
    qm::MachineContext context = m_machine.Alone(m_user);
    ReadWatchTime();
    const bool changed = qm::ChangeAccount(context, SelectedRows(), *this);
    ShowActing(false);
    if (changed) Refresh();
}

void COverviewDlg::OfferSameAccount(POINT at) {
    const int clicked = m_list.RowAt(at);
    if (clicked < 0 || clicked >= static_cast<int>(m_rows.size())) return;
    const std::string account = m_rows[static_cast<std::size_t>(clicked)].account;
    HMENU menu = account.empty() ? nullptr : CreatePopupMenu();
    if (!menu) return;
    const std::string item = qm::text::Fill(qm::text::kSelectSameAccount, account);
    AppendMenuA(menu, MF_STRING, IDM_SELECT_SAME_ACCOUNT, item.c_str());
    ClientToScreen(m_list.hwnd(), &at);
    // With TPM_RETURNCMD the menu answers the command chosen, 0 for none
    // (learn.microsoft.com, TrackPopupMenu).
    const BOOL chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, hwnd(), nullptr);
    DestroyMenu(menu);
    if (chosen != IDM_SELECT_SAME_ACCOUNT) return;
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        m_list.Select(static_cast<int>(i), qm::SameAccount(m_rows[i].account, account));
    }
}

std::vector<qm::OverviewRow> COverviewDlg::SelectedRows() const {
    std::vector<qm::OverviewRow> rows;
    for (int index : m_list.Selection()) {
        if (index < static_cast<int>(m_rows.size())) rows.push_back(m_rows[static_cast<std::size_t>(index)]);
    }
    return rows;
}

std::vector<std::string> COverviewDlg::SelectedNames() const {
    std::vector<std::string> names;
    for (const qm::OverviewRow& row : SelectedRows()) names.push_back(row.name);
    return names;
}

void COverviewDlg::InstanceEnded(const qm::ServiceStatus& status) {
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].name != status.name) continue;
        m_rows[i].state = status.state;
        m_rows[i].processId = status.processId;
        for (const auto column : {qm::OverviewColumn::State, qm::OverviewColumn::ProcessId}) {
            m_list.SetCell(static_cast<int>(i), static_cast<int>(column), qm::CellText(m_rows[i], column));
        }
    }
}
