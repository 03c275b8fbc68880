#include "actions/actions.h"

namespace qm {

void SelectionChanged(DialogAndMachine& s) {
    std::string entry;
    if (!s.view.SelectedEntry(entry)) return;
    s.state.m_strServiceName = entry;

    std::string folder;
    if (!ReadInstallFolder(s, entry, folder)) return;  // the previous folder stays
    s.state.m_strInstallPath = folder;
    s.view.ShowInstallPath(folder);
}

}  // namespace qm
