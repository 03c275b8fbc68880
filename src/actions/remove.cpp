#include "actions/messages.h"
#include "actions/session.h"

namespace qm {

void RemoveInstance(Session& s) {
    std::string selected;
    if (!s.view.SelectedEntry(selected)) {
        RefreshServiceList(s);
        return;
    }

    bool removed = false;
    const Handle manager = s.system.OpenManager();
    if (manager) {
        // The name remembered at selection, not the entry text of now.
        const Handle service = s.system.OpenServiceToRemove(manager, s.members.serviceName);
        if (service) {
            s.system.StopService(service);  // a service that is not running is deleted all the same
            removed = s.system.DeleteService(service);
            s.system.CloseServiceHandle(service);
        }
        s.system.CloseServiceHandle(manager);
    }

    if (removed) {
        s.user.Message(text::kRemoved, text::kCaption, Icon::Information);
    } else {
        s.user.Message(text::kRemoveError, text::kErrorCaption, Icon::Stop);
    }
    RefreshServiceList(s);
}

}  // namespace qm
