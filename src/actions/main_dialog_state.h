// The main dialog's state, which its actions read and write.
#pragma once

#include <cstdint>
#include <string>

#include "actions/wipe.h"

namespace qm {

struct MainDialogState {
    MainDialogState() = default;
    MainDialogState(const MainDialogState&) = default;
    MainDialogState& operator=(const MainDialogState&) = default;
    ~MainDialogState() { Wipe(m_strPassword); }

    std::string m_strServiceName;       // entry last selected; the target of Remove
    std::string m_strPassword;          // last confirmed in the account dialog
    std::string m_strAccount;
    std::uint32_t m_nServiceCount = 0;  // family count, then the proposed number
    std::string m_strInstallPath;       // shown under "Installation path:"
    std::string m_strSuffix;            // the suffix field
};

}  // namespace qm
