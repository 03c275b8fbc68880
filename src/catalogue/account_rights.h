// The local security policy's account rights, as far as the tool needs
// them. The real implementation calls the LSA; tests use a stand-in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "catalogue/account.h"

namespace qm {

// An account's security identifier, as the bytes of a SID.
using Sid = std::vector<unsigned char>;

// What a look-up found.
struct FoundAccount {
    Sid sid;
    std::string domain;  // the domain (or computer) whose database holds it
};

class AccountRights {
public:
    virtual ~AccountRights() = default;

    // LsaLookupNames2 of |account| (.\name as this computer's name); false
    // when it names no account a service can run under.
    virtual bool LookUp(const Account& account, FoundAccount& found) = 0;
    // LogonUserA of |name| with |password| as a service logon, the token
    // closed at once: 0 when it logged on, else the error (GetLastError).
    virtual std::uint32_t TryServiceLogon(const LogonName& name, const std::string& password) = 0;
    // LsaEnumerateAccountRights: whether the account holds |right|. False
    // also when its rights cannot be read.
    virtual bool Holds(const Sid& sid, const std::string& right) = 0;
    // LsaAddAccountRights of |right|; false when refused.
    virtual bool Grant(const Sid& sid, const std::string& right) = 0;
};

}  // namespace qm
