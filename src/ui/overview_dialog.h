// The overview: every instance with its state, process id, version,
// account and folder; Start, Stop, Restart and a new account for the
// selected ones.
#pragma once

#include <string>
#include <vector>

#include "actions/overview.h"
#include "ui/framework/dialog.h"
#include "ui/framework/listview.h"
#include "ui/resource.h"
#include "ui/win32_user.h"
#include "win32/machine.h"

// The administrator of a window that stays responsive while an action
// waits: every message is handled meanwhile, so that a Cancel gets through.
class ResponsiveUser : public Win32User {
public:
    using Win32User::Win32User;
    void Pause(unsigned milliseconds) override;
};

class COverviewDlg : public ui::Dialog, private qm::InstanceProgress {
public:
    // Acts on |machine|; owned by |parent|.
    COverviewDlg(qm::Machine& machine, HWND parent) : m_machine(machine), m_parent(parent) {}

    INT_PTR DoModal();

protected:
    void DoDataExchange(ui::DataExchange& dx) override { dx.Control(IDC_OVERVIEW_LIST, m_list); }
    bool OnInitDialog() override;
    bool OnButtonClicked(int id) override;
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;
    // While an action runs: ends it after the instance at hand.
    void OnCancel() override;

private:
    static constexpr int IDD = IDD_OVERVIEW;

    // Reads every instance again, keeping the selection and the order.
    // Reads the rows again; |details| now, or once the window has shown the
    // states (opening it: each row's account, version and folder take far
    // longer than the one enumeration of states).
    void Refresh(bool detailsLater = false);
    void FillDetails();
    // Every row's state and process id again, from the one enumeration.
    void ReadStates();
    // Shows the rows in the order chosen, the rows named in |selected| selected.
    void Show(const std::vector<std::string>& selected);
    void SortBy(int column);
    void Act(qm::ServiceRequest request);
    void Copy();
    // The account, or the password, of the selected instances.
    void ChangeAccount();
    // The context menu of the row at |at|: select every instance under its account.
    void OfferSameAccount(POINT at);
    std::vector<qm::OverviewRow> SelectedRows() const;
    std::vector<std::string> SelectedNames() const;
    // The watch time from its field, for the action about to run.
    void ReadWatchTime();
    // The controls of an action enabled, or (while one runs) all but Cancel.
    void ShowActing(bool acting);
    // A request on one instance ended: its row shows its state and process.
    void InstanceEnded(const qm::ServiceStatus& status) override;
    void Acting(const std::string& name, unsigned watchLeftMs) override;
    bool CancelAsked() override { return m_cancelAsked; }
    unsigned WatchMs() const override { return m_watchMs; }

    qm::Machine& m_machine;
    HWND m_parent;
    ResponsiveUser m_user{*this};
    ui::ListView m_list;
    std::vector<qm::OverviewRow> m_rows;  // in the list's order
    qm::OverviewColumn m_sortColumn = qm::OverviewColumn::Name;
    bool m_descending = false;
    bool m_acting = false;       // an action runs: no reading meanwhile
    bool m_cancelAsked = false;  // the action ends after the instance at hand
    unsigned m_watchMs = qm::kDefaultWatchMs;
};
