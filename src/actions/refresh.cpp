#include "actions/actions.h"
#include "catalogue/naming.h"

namespace qm {

void RefreshServiceList(DialogAndMachine& s) {
    s.view.FillList({});
    s.state.m_nServiceCount = 0;

    const Scoped<ManagerHandle> manager(s.system, s.system.OpenManager());
    if (!manager) return;  // no rights: an empty list, the suffix as it was

    std::vector<std::string> names;
    std::vector<std::string> family;
    SuffixCounter counter;
    if (s.lister.List(s.system, manager.get(), names)) {
        for (const std::string& name : names) {
            if (!IsFamilyService(name)) continue;
            family.push_back(name);
            counter.Count(name);
        }
    }
    // Drivers and other services outside the enumeration can hold a name too.
    const std::uint32_t proposal =
        counter.Propose(names, [&](const std::string& name) { return s.system.ServiceNamed(manager.get(), name); });

    s.view.FillList(family);
    s.state.m_nServiceCount = proposal;
    s.state.m_strSuffix = FormatSuffix(s.state.m_nServiceCount);
    s.view.WriteControls();
}

}  // namespace qm
