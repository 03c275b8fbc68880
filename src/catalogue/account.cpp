#include "catalogue/account.h"

#include "catalogue/naming.h"

namespace qm {

namespace {

// The first byte at which |c| stands for itself, not as the second byte
// of a double-byte character; npos when there is none.
std::size_t Find(const std::string& text, char c, bool (*isLeadByte)(unsigned char)) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (isLeadByte && isLeadByte(static_cast<unsigned char>(text[i]))) {
            ++i;
        } else if (text[i] == c) {
            return i;
        }
    }
    return std::string::npos;
}

}  // namespace

Account::Account(const std::string& typed, bool passwordTyped, bool (*isLeadByte)(unsigned char)) : typed_(typed) {
    if (const std::size_t slash = Find(typed, '\\', isLeadByte); slash != std::string::npos) {
        domain_ = typed.substr(0, slash);
        user_ = typed.substr(slash + 1);
        form_ = domain_ == "." ? AccountForm::Local : AccountForm::Qualified;
    } else if (const std::size_t at = Find(typed, '@', isLeadByte); at != std::string::npos) {
        user_ = typed.substr(0, at);
        domain_ = typed.substr(at + 1);
        form_ = AccountForm::Principal;
    } else {
        user_ = typed;
    }

    const std::string domain = FoldCase(domain_), user = FoldCase(user_);
    // The service manager runs a service with an empty account name as
    // LocalSystem (only a null one is documented).
    const bool local = form_ == AccountForm::Bare || form_ == AccountForm::Local;
    if (typed.empty() || (local && user == "localsystem") || (domain == "nt authority" && user == "system")) {
        kind_ = AccountKind::LocalSystem;
    } else if (form_ == AccountForm::Qualified && domain == "nt authority") {
        kind_ = AccountKind::WellKnownService;
    } else if (form_ == AccountForm::Qualified && domain == "nt service") {
        kind_ = AccountKind::Virtual;
    } else if (!passwordTyped && typed.back() == '$') {
        // With a password typed, a name$ is an ordinary account, checked as any.
        kind_ = AccountKind::Managed;
    }
}

// LogonUserA (https://learn.microsoft.com/en-us/windows/win32/api/winbase/nf-winbase-logonusera):
// "If you use the user principal name (UPN) format, User@DNSDomainName, the
// lpszDomain parameter must be NULL"; "If this parameter is NULL, the user
// name must be specified in UPN format. If this parameter is ".", the
// function validates the account by using only the local account database."
LogonName Account::ForLogon(const std::string& foundDomain) const {
    switch (form_) {
        case AccountForm::Principal: return {typed_, std::nullopt};
        // A look-up that named no domain: this computer's accounts.
        case AccountForm::Bare: return {user_, foundDomain.empty() ? std::string(".") : foundDomain};
        case AccountForm::Qualified:
        case AccountForm::Local: break;
    }
    return {user_, domain_};
}

}  // namespace qm
