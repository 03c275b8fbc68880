// The account a service runs under, read once from what the administrator
// typed. The account check, the grant of the logon right and the service
// manager calls take this value; none reads the text again.
#pragma once

#include <optional>
#include <string>

namespace qm {

// How the name was written.
enum class AccountForm {
    Qualified,  // DOMAIN\name
    Local,      // .\name: an account of this computer
    Principal,  // name@domain (a user principal name)
    Bare,       // name: the domain is whichever the look-up finds it in
};

// What kind of identity it is.
enum class AccountKind {
    LocalSystem,       // LocalSystem, .\LocalSystem, NT AUTHORITY\SYSTEM, or empty
    WellKnownService,  // NT AUTHORITY\LocalService, NT AUTHORITY\NetworkService
    Virtual,           // NT SERVICE\<service name>: one identity per service
    Managed,           // a (group) managed service account, name$, typed without a password
    Ordinary,          // any other account: it has a password to check
};

// The user name and domain as LogonUserA takes them.
struct LogonName {
    std::string user;
    std::optional<std::string> domain;  // nullopt: a null domain
};

class Account {
public:
    // |typed| as the administrator typed it; |passwordTyped| whether the
    // password fields hold anything. A backslash or @ that is the second
    // byte of a double-byte character (|isLeadByte| tells the first bytes;
    // null for a single-byte code page) separates nothing.
    Account(const std::string& typed, bool passwordTyped, bool (*isLeadByte)(unsigned char) = nullptr);

    const std::string& typed() const { return typed_; }
    AccountForm form() const { return form_; }
    AccountKind kind() const { return kind_; }
    // The part before the backslash ("." for a local one), or after the @;
    // empty for a bare name.
    const std::string& domain() const { return domain_; }
    // The name without its domain.
    const std::string& user() const { return user_; }

    // Windows keeps the passwords of virtual and managed accounts itself:
    // the service manager takes them with a null password only.
    bool TakesNullPassword() const { return kind_ == AccountKind::Virtual || kind_ == AccountKind::Managed; }
    // Local system and the well-known service accounts hold the right to
    // log on as a service already, and every virtual account holds it
    // through NT SERVICE\ALL SERVICES.
    bool NeedsLogonRight() const { return kind_ == AccountKind::Managed || kind_ == AccountKind::Ordinary; }

    // The name split for a service logon, as LogonUserA's documentation
    // requires: a user principal name whole with a null domain; otherwise
    // the user and its domain, "." for this computer's accounts, and for a
    // bare name |foundDomain|, the domain the look-up found it in.
    LogonName ForLogon(const std::string& foundDomain) const;

private:
    std::string typed_;
    AccountForm form_ = AccountForm::Bare;
    AccountKind kind_ = AccountKind::Ordinary;
    std::string domain_;
    std::string user_;
};

}  // namespace qm
