#include "ui/main_dialog.h"

#include "actions/messages.h"
#include "catalogue/naming.h"
#include "ui/about_dialog.h"
#include "ui/overview_dialog.h"

namespace {

constexpr std::size_t kEntryBytes = 512;
// Window-menu commands carry the system's own information in their low
// four bits.
constexpr UINT kSysCommandMask = 0xFFF0;

}  // namespace

CServiceConfigDlg::CServiceConfigDlg(HWND parent)
    : m_hIcon(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME))), m_parent(parent) {}

void CServiceConfigDlg::DoDataExchange(ui::DataExchange& dx) {
    dx.Control(IDC_SERVICE_LIST, m_lstServices);
    dx.Text(IDC_INSTALL_PATH, m_strInstallPath);
    dx.Text(IDC_SUFFIX, m_strSuffix, qm::kMaxSuffixLength);
}

void CServiceConfigDlg::OnDataValidateError(int id, std::size_t maxLength) {
    ShowMessage(qm::text::Fill(qm::text::kTooLong, std::to_string(maxLength)), qm::text::kCaption,
                MB_OK | MB_ICONEXCLAMATION);
    ReturnToItem(id);
}

bool CServiceConfigDlg::OnInitDialog() {
    ui::Dialog::OnInitDialog();
    AddAboutItem();
    // Without its icon the window keeps the system's.
    if (m_hIcon) {
        SendMessageA(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
        SendMessageA(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    }
    RefreshServiceList();
    return true;
}

void CServiceConfigDlg::AddAboutItem() {
    HMENU menu = GetSystemMenu(hwnd(), FALSE);
    if (!menu) return;
    char text[256] = {};
    if (LoadStringA(GetModuleHandleA(nullptr), IDS_ABOUTBOX, text, sizeof text) <= 0 || !text[0]) return;
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING, IDM_ABOUTBOX, text);
}

void CServiceConfigDlg::Act(void (*action)(qm::DialogAndMachine&)) {
    qm::DialogAndMachine context = m_machine.With(*this, *this, m_user);
    action(context);
}

void CServiceConfigDlg::RefreshServiceList() { Act(qm::RefreshServiceList); }

bool CServiceConfigDlg::OnCommand(int id, int code) {
    if (id != IDC_SERVICE_LIST) return ui::Dialog::OnCommand(id, code);
    if (code == LBN_SELCHANGE) OnSelchangeServiceList();
    return true;
}

bool CServiceConfigDlg::OnButtonClicked(int id) {
    switch (id) {
        case IDC_ADD:
            OnAdd();
            return true;
        case IDC_REMOVE:
            OnRemove();
            return true;
        case IDC_CREATE_BATCH:
            OnCreateBatch();
            return true;
        case IDC_STATUS:
            OnStatus();
            return true;
        default:
            return ui::Dialog::OnButtonClicked(id);
    }
}

void CServiceConfigDlg::OnAdd() { Act(qm::AddInstance); }
void CServiceConfigDlg::OnRemove() { Act(qm::RemoveInstance); }
void CServiceConfigDlg::OnSelchangeServiceList() { Act(qm::SelectionChanged); }
void CServiceConfigDlg::OnCreateBatch() { Act(qm::CreateBatch); }

void CServiceConfigDlg::OnStatus() {
    COverviewDlg overview(m_machine, hwnd());
    overview.DoModal();
}

void CServiceConfigDlg::ShowInstallPath(const std::string& folder) { SetItemText(IDC_INSTALL_PATH, folder); }

bool CServiceConfigDlg::SelectedEntry(std::string& text) {
    const int selected = m_lstServices.CurSel();
    return selected != LB_ERR && m_lstServices.GetText(selected, text, kEntryBytes);
}

bool CServiceConfigDlg::OnSysCommand(UINT id, LPARAM) {
    if ((id & kSysCommandMask) != IDM_ABOUTBOX) return false;
    CAboutDlg about;
    about.DoModal(hwnd());
    return true;
}

bool CServiceConfigDlg::OnMessage(UINT msg, WPARAM, LPARAM, INT_PTR& result) {
    switch (msg) {
        case WM_PAINT:
            return OnPaint();
        case WM_QUERYDRAGICON:
            result = reinterpret_cast<INT_PTR>(OnQueryDragIcon());
            return true;
        case WM_HELP:
            // The tool has no help file: F1 does nothing.
            result = TRUE;
            return true;
        default:
            return false;
    }
}

bool CServiceConfigDlg::OnPaint() {
    if (!IsIconic(hwnd()) || !m_hIcon) return false;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd(), &paint);
    SendMessageA(hwnd(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(hwnd(), &client);
    const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, m_hIcon);
    EndPaint(hwnd(), &paint);
    return true;
}
