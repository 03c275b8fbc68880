#include "actions/messages.h"
#include "actions/actions.h"
#include "actions/wait.h"

namespace qm {

namespace {

// How long a deleted service is given to go.
constexpr unsigned kRemoveWaitMs = 5000;

// A deleted service goes once it has stopped and every handle to it is
// closed; one that does not stop stays, marked for deletion.
bool WaitUntilGone(MachineContext& s, ManagerHandle manager, const std::string& name) {
    return WaitUntil(s.user, kRemoveWaitMs, [&] { return s.system.ServiceGone(manager, name); });
}

enum class Removal { Failed, Pending, Gone };

// Stops and deletes the service, then gives it a few seconds to go, under
// the wait cursor.
Removal StopAndDelete(MachineContext& s, ManagerHandle manager, const std::string& name) {
    bool deleted = false;
    {
        const Scoped<ServiceHandle> service(s.system, s.system.OpenServiceToRemove(manager, name));
        if (!service) return Removal::Failed;
        s.user.ShowBusy(true);
        s.system.StopService(service.get());  // a service that is not running is deleted all the same
        deleted = s.system.DeleteService(service.get());
    }  // closed here: the tool's own handle would keep the service
    if (!deleted) return Removal::Failed;
    return WaitUntilGone(s, manager, name) ? Removal::Gone : Removal::Pending;
}

}  // namespace

void RemoveInstance(DialogAndMachine& s) {
    std::string selected;
    if (!s.view.SelectedEntry(selected)) {
        RefreshServiceList(s);
        return;
    }

    Removal result = Removal::Failed;
    {
        const Scoped<ManagerHandle> manager(s.system, s.system.OpenManager());
        // The name remembered at selection, not the entry text of now.
        if (manager) result = StopAndDelete(s, manager.get(), s.state.m_strServiceName);
        s.user.ShowBusy(false);
    }

    switch (result) {
        case Removal::Gone: s.user.Message(text::kRemoved, text::kCaption, Icon::Information); break;
        case Removal::Pending: s.user.Message(text::kRemovePending, text::kCaption, Icon::Warning); break;
        default: s.user.Message(text::kRemoveError, text::kErrorCaption, Icon::Stop); break;
    }
    RefreshServiceList(s);
}

}  // namespace qm
