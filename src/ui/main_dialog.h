// The main dialog: the list of installed instances, the proposed suffix and
// the four actions.
#pragma once

#include <string>

#include "actions/actions.h"
#include "ui/framework/dialog.h"
#include "ui/framework/listbox.h"
#include "ui/resource.h"
#include "ui/win32_user.h"
#include "win32/machine.h"

// The state the actions share is the dialog's own: m_strServiceName,
// m_strPassword, m_strAccount, m_nServiceCount, m_strInstallPath and
// m_strSuffix come from qm::MainDialogState.
class CServiceConfigDlg : public ui::Dialog, public qm::MainDialogState, private qm::MainView {
public:
    explicit CServiceConfigDlg(HWND parent = nullptr);

    INT_PTR DoModal() { return RunModal(IDD, m_parent); }

    void RefreshServiceList();

    ui::ListBox m_lstServices;
    HICON m_hIcon;

protected:
    void DoDataExchange(ui::DataExchange& dx) override;
    void OnDataValidateError(int id, std::size_t maxLength) override;
    bool OnInitDialog() override;
    bool OnCommand(int id, int code) override;
    bool OnButtonClicked(int id) override;
    bool OnSysCommand(UINT id, LPARAM lParam) override;
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

    void OnAdd();
    void OnRemove();
    void OnSelchangeServiceList();
    void OnCreateBatch();
    void OnStatus();
    bool OnPaint();
    HICON OnQueryDragIcon() { return m_hIcon; }

private:
    static constexpr int IDD = IDD_QUILMARSK_DIALOG;

    void AddAboutItem();
    // Runs one action of the core on this dialog's state and controls.
    void Act(void (*action)(qm::DialogAndMachine&));

    // The view of the controls that the actions work through.
    void WriteControls() override { UpdateData(ui::Exchange::Load); }
    bool ReadControls() override { return UpdateData(ui::Exchange::Save); }
    void ShowInstallPath(const std::string& folder) override;
    std::string SuffixField() override { return ItemText(IDC_SUFFIX); }
    void FillList(const std::vector<std::string>& serviceNames) override { m_lstServices.Fill(serviceNames); }
    bool SelectedEntry(std::string& text) override;

    HWND m_parent;
    qm::Machine m_machine;
    Win32User m_user{*this};
};
