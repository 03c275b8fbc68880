// The account a new instance is to run under, checked when the account
// dialog is confirmed: before anything is created, while what was typed can
// still be corrected.
#pragma once

#include <string>

#include "actions/user.h"
#include "catalogue/account_rights.h"

namespace qm {

// Built-in: LocalSystem, NT AUTHORITY\..., and the empty account (which the
// service manager runs as LocalSystem). Virtual: NT SERVICE\<service name>,
// one identity per service. Managed: a (group) managed service account,
// whose name ends in $. Windows keeps the passwords of virtual and managed
// accounts itself; the service manager takes them with a null password only.
enum class AccountKind { BuiltIn, Virtual, Managed, WithPassword };

bool IsVirtualAccount(const std::string& account);
AccountKind KindOf(const std::string& account);

inline bool TakesNullPassword(AccountKind kind) {
    return kind == AccountKind::Virtual || kind == AccountKind::Managed;
}

// Whether |account| may be used for the service |serviceName|; when not,
// |dialog| has been told why. An account with a password is tried with a
// service logon: an answer about the account or its password refuses it,
// any other answer is a warning and lets it be used.
bool CheckAccount(AccountRights& rights, User& dialog, const std::string& account, const std::string& password,
                  const std::string& serviceName);

}  // namespace qm
