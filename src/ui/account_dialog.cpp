#include "ui/account_dialog.h"

#include <mbstring.h>

#include "actions/messages.h"
#include "actions/wipe.h"
#include "ui/dialog_messenger.h"

CServiceAccountDlg::~CServiceAccountDlg() {
    qm::Wipe(m_strPassword);
    qm::Wipe(m_strVerifyPassword);
}

void CServiceAccountDlg::DoDataExchange(ui::DataExchange& dx) {
    dx.Text(IDC_ACCOUNT, m_strAccount);
    dx.Text(IDC_VERIFY_PASSWORD, m_strVerifyPassword);
    dx.Text(IDC_PASSWORD, m_strPassword);
}

void CServiceAccountDlg::OnOK() {
    if (!UpdateData(ui::Exchange::Save)) return;
    const auto* password = reinterpret_cast<const unsigned char*>(m_strPassword.c_str());
    const auto* verify = reinterpret_cast<const unsigned char*>(m_strVerifyPassword.c_str());
    if (_mbscmp(password, verify) != 0) {
        ShowMessage(qm::text::kPasswordMismatch, qm::text::kPasswordCaption, MB_OK | MB_ICONSTOP);
        return;
    }
    // A refused account has been explained over this dialog, which keeps
    // what was typed.
    DialogMessenger here(*this);
    if (m_check && !m_check(m_strAccount, m_strPassword, here)) return;
    ui::Dialog::OnOK();
}
