#include "actions/session.h"
#include "catalogue/naming.h"

namespace qm {

void Wipe(std::string& secret) {
    volatile char* p = secret.empty() ? nullptr : &secret[0];
    for (std::size_t i = 0; i < secret.size(); ++i) p[i] = 0;
    secret.clear();
}

void RefreshServiceList(Session& s) {
    s.view.FillList({});
    s.members.serviceCount = 0;

    const Handle manager = s.system.OpenManager();
    if (!manager) return;  // no rights: an empty list, the suffix as it was

    std::vector<std::string> names;
    std::vector<std::string> family;
    SuffixCounter counter;
    if (s.lister.List(s.system, manager, names)) {
        for (const std::string& name : names) {
            if (!IsFamilyService(name)) continue;
            family.push_back(name);
            counter.Count(name);
        }
    }
    // Drivers and other services outside the enumeration can hold a name too.
    const std::uint32_t proposal =
        counter.Propose(names, [&](const std::string& name) { return s.system.ServiceNamed(manager, name); });
    s.system.CloseServiceHandle(manager);

    s.view.FillList(family);
    s.members.serviceCount = proposal;
    s.members.suffix = FormatSuffix(s.members.serviceCount);
    s.view.WriteControls();
}

void SelectionChanged(Session& s) {
    std::string entry;
    if (!s.view.SelectedEntry(entry)) return;
    s.members.serviceName = entry;

    std::string folder;
    if (!ReadInstallFolder(s, entry, folder)) return;  // the previous folder stays
    s.members.installPath = folder;
    s.view.ShowInstallPath(folder);
}

ValueRead ReadImagePath(Session& s, const std::string& name, std::string& imagePath) {
    const Handle key = s.system.OpenServiceKey(name);
    if (!key) return ValueRead::Missing;
    const ValueRead read = s.system.QueryImagePath(key, imagePath);
    s.system.CloseKey(key);
    return read;
}

bool ReadInstallFolder(Session& s, const std::string& name, std::string& folder) {
    std::string imagePath;
    if (ReadImagePath(s, name, imagePath) != ValueRead::Read) return false;
    folder = InstallFolder(imagePath, s.isLeadByte);
    return true;
}

}  // namespace qm
