// Account rights over the local security authority (LSA) of this computer.
#pragma once

#include "catalogue/account_rights.h"

namespace qm {

class Win32AccountRights : public AccountRights {
public:
    bool LookUp(const Account& account, FoundAccount& found) override;
    std::uint32_t TryServiceLogon(const LogonName& name, const std::string& password) override;
    bool Holds(const Sid& sid, const std::string& right) override;
    bool Grant(const Sid& sid, const std::string& right) override;
};

}  // namespace qm
