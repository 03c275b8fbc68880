#include "actions/messages.h"
#include "actions/actions.h"

namespace qm {

namespace {

// How long a deleted service is given to go, and how often it is looked for.
constexpr unsigned kRemoveWaitMs = 5000;
constexpr unsigned kRemovePollMs = 250;

// A deleted service goes once it has stopped and every handle to it is
// closed; one that does not stop stays, marked for deletion.
bool WaitUntilGone(DialogAndMachine& s, Handle manager, const std::string& name) {
    for (unsigned waited = 0; waited < kRemoveWaitMs; waited += kRemovePollMs) {
        if (!s.system.ServiceNamed(manager, name)) return true;
        s.user.Pause(kRemovePollMs);
    }
    return !s.system.ServiceNamed(manager, name);
}

}  // namespace

void RemoveInstance(DialogAndMachine& s) {
    std::string selected;
    if (!s.view.SelectedEntry(selected)) {
        RefreshServiceList(s);
        return;
    }

    bool removed = false, gone = false;
    const Handle manager = s.system.OpenManager();
    if (manager) {
        // The name remembered at selection, not the entry text of now.
        const std::string& name = s.state.m_strServiceName;
        const Handle service = s.system.OpenServiceToRemove(manager, name);
        if (service) {
            s.user.ShowBusy(true);
            s.system.StopService(service);  // a service that is not running is deleted all the same
            removed = s.system.DeleteService(service);
            s.system.CloseServiceHandle(service);
            gone = removed && WaitUntilGone(s, manager, name);
            s.user.ShowBusy(false);
        }
        s.system.CloseServiceHandle(manager);
    }

    if (gone) {
        s.user.Message(text::kRemoved, text::kCaption, Icon::Information);
    } else if (removed) {
        s.user.Message(text::kRemovePending, text::kCaption, Icon::Warning);
    } else {
        s.user.Message(text::kRemoveError, text::kErrorCaption, Icon::Stop);
    }
    RefreshServiceList(s);
}

}  // namespace qm
