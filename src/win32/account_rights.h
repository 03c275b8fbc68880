// Account rights over the local security authority (LSA) of this computer.
#pragma once

#include "catalogue/account_rights.h"

namespace qm {

class Win32AccountRights : public AccountRights {
public:
    bool LookUp(const std::string& account, Sid& sid) override;
    std::uint32_t TryServiceLogon(const std::string& account, const std::string& password) override;
    bool Holds(const Sid& sid, const std::string& right) override;
    bool Grant(const Sid& sid, const std::string& right) override;
};

}  // namespace qm
