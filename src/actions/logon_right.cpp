#include "actions/logon_right.h"

#include <cctype>

#include "actions/messages.h"

namespace qm {

namespace {

std::string Folded(const std::string& s) {
    std::string folded(s);
    for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return folded;
}

std::string WithAccount(const char* format, const std::string& account) {
    std::string text(format);
    text.replace(text.find("%s"), 2, account);
    return text;
}

}  // namespace

bool NeedsNoLogonRight(const std::string& account) {
    static const char* const kServiceAccounts[] = {
        "localsystem",           ".\\localsystem",          "nt authority\\system",
        "nt authority\\localservice",   "nt authority\\local service",
        "nt authority\\networkservice", "nt authority\\network service",
    };
    const std::string folded = Folded(account);
    if (folded.empty()) return true;
    for (const char* name : kServiceAccounts)
        if (folded == name) return true;
    return false;
}

LogonRight GrantServiceLogonRight(AccountRights& rights, User& user, const std::string& account) {
    if (NeedsNoLogonRight(account)) return LogonRight::NotNeeded;

    LogonRight outcome = LogonRight::LookupFailed;
    Sid sid;
    if (rights.LookUp(account, sid)) {
        if (rights.Holds(sid, kServiceLogonRight)) return LogonRight::AlreadyHeld;
        outcome = rights.Grant(sid, kServiceLogonRight) ? LogonRight::Granted : LogonRight::GrantFailed;
    }
    if (outcome == LogonRight::Granted) {
        user.Message(WithAccount(text::kLogonRightGranted, account), text::kCaption, Icon::Information);
    } else {
        user.Message(WithAccount(text::kLogonRightWarning, account), text::kCaption, Icon::Warning);
    }
    return outcome;
}

}  // namespace qm
