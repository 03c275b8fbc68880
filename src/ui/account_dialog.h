// The account dialog: the Windows account a new instance runs under, with
// its password typed twice.
#pragma once

#include <string>

#include "actions/user.h"
#include "ui/framework/dialog.h"
#include "ui/resource.h"

class CServiceAccountDlg : public ui::Dialog {
public:
    explicit CServiceAccountDlg(HWND parent = nullptr) : m_parent(parent) {}
    ~CServiceAccountDlg() override;

    INT_PTR DoModal() { return RunModal(IDD, m_parent); }

    std::string m_strAccount;
    std::string m_strVerifyPassword;
    std::string m_strPassword;
    qm::AccountCheck m_check;  // asked before OK closes the dialog; none: any account

protected:
    void DoDataExchange(ui::DataExchange& dx) override;
    void OnOK() override;

private:
    static constexpr int IDD = IDD_SERVICE_ACCOUNT;
    HWND m_parent;
};
