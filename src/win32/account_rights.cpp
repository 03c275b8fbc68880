#include "win32/account_rights.h"

#include <windows.h>
#include <ntsecapi.h>

#include <string>

#include "win32/code_page.h"

namespace qm {

namespace {

constexpr NTSTATUS kStatusSuccess = 0;
constexpr std::size_t kMaxLsaChars = 0x7FFF;  // an LSA string's length is a USHORT of bytes

// The ANSI text as the LSA takes it: in the system's ANSI code page.
std::wstring Wide(const std::string& text) {
    std::wstring wide;
    return Widen(text, CP_ACP, false, wide) ? wide : std::wstring();
}

LSA_UNICODE_STRING LsaString(std::wstring& text) {
    LSA_UNICODE_STRING s;
    s.Buffer = &text[0];
    s.Length = s.MaximumLength = static_cast<USHORT>(text.size() * sizeof(wchar_t));
    return s;
}

PSID SidOf(const Sid& sid) { return const_cast<unsigned char*>(sid.data()); }

// A policy handle of this computer, closed when it goes.
class Policy {
public:
    explicit Policy(ACCESS_MASK access) {
        LSA_OBJECT_ATTRIBUTES attributes = {};
        if (LsaOpenPolicy(nullptr, &attributes, access, &handle_) != kStatusSuccess) handle_ = nullptr;
    }
    ~Policy() {
        if (handle_) LsaClose(handle_);
    }
    Policy(const Policy&) = delete;
    Policy& operator=(const Policy&) = delete;
    LSA_HANDLE get() const { return handle_; }

private:
    LSA_HANDLE handle_ = nullptr;
};

}  // namespace

// The name as the LSA takes it: user, DOMAIN\user and user@domain are all
// looked up as written (LsaLookupNames2,
// https://learn.microsoft.com/en-us/windows/win32/api/ntsecapi/nf-ntsecapi-lsalookupnames2:
// "fully qualified account names", "isolated names" and "user principal
// names (UPN)"); the referenced domain list names the domain each was found in.
bool Win32AccountRights::LookUp(const Account& account, FoundAccount& found) {
    std::wstring name = Wide(account.typed());
    // ".\name" is the service manager's spelling of a local account; the LSA
    // knows the computer by its name only.
    if (account.form() == AccountForm::Local) {
        wchar_t computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
        DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
        if (GetComputerNameW(computer, &length)) name = std::wstring(computer, length) + L"\\" + Wide(account.user());
    }
    if (name.empty() || name.size() > kMaxLsaChars / sizeof(wchar_t)) return false;

    Policy policy(POLICY_LOOKUP_NAMES);
    if (!policy.get()) return false;
    LSA_UNICODE_STRING lsaName = LsaString(name);
    PLSA_REFERENCED_DOMAIN_LIST domains = nullptr;
    PLSA_TRANSLATED_SID2 sids = nullptr;
    const NTSTATUS status = LsaLookupNames2(policy.get(), 0, 1, &lsaName, &domains, &sids);
    // A domain or an unknown name is no account a service can run under.
    const bool isAccount = status == kStatusSuccess && sids && sids[0].Sid && IsValidSid(sids[0].Sid) &&
                           sids[0].Use != SidTypeDomain && sids[0].Use != SidTypeInvalid &&
                           sids[0].Use != SidTypeUnknown;
    if (isAccount) {
        const auto* bytes = static_cast<const unsigned char*>(sids[0].Sid);
        found.sid.assign(bytes, bytes + GetLengthSid(sids[0].Sid));
        found.domain.clear();
        const LONG index = sids[0].DomainIndex;
        if (domains && index >= 0 && static_cast<ULONG>(index) < domains->Entries && domains->Domains[index].Name.Buffer) {
            const LSA_UNICODE_STRING& domain = domains->Domains[index].Name;
            const int chars = static_cast<int>(domain.Length / sizeof(wchar_t));
            const int bytes = WideCharToMultiByte(CP_ACP, 0, domain.Buffer, chars, nullptr, 0, nullptr, nullptr);
            if (bytes > 0) {
                found.domain.resize(static_cast<std::size_t>(bytes));
                WideCharToMultiByte(CP_ACP, 0, domain.Buffer, chars, &found.domain[0], bytes, nullptr, nullptr);
            }
        }
    }
    if (domains) LsaFreeMemory(domains);
    if (sids) LsaFreeMemory(sids);
    return isAccount;
}

std::uint32_t Win32AccountRights::TryServiceLogon(const LogonName& name, const std::string& password) {
    HANDLE token = nullptr;
    if (!LogonUserA(name.user.c_str(), name.domain ? name.domain->c_str() : nullptr, password.c_str(),
                    LOGON32_LOGON_SERVICE, LOGON32_PROVIDER_DEFAULT, &token)) {
        return GetLastError();
    }
    CloseHandle(token);
    return 0;
}

bool Win32AccountRights::Holds(const Sid& sid, const std::string& right) {
    Policy policy(POLICY_LOOKUP_NAMES);
    if (!policy.get() || sid.empty()) return false;
    PLSA_UNICODE_STRING rights = nullptr;
    ULONG count = 0;
    const NTSTATUS status = LsaEnumerateAccountRights(policy.get(), SidOf(sid), &rights, &count);
    bool holds = false;
    if (status == kStatusSuccess && rights) {
        const std::wstring wanted = Wide(right);
        for (ULONG i = 0; i < count && !holds; ++i) {
            holds = rights[i].Buffer &&
                    std::wstring(rights[i].Buffer, rights[i].Length / sizeof(wchar_t)) == wanted;
        }
    }
    // STATUS_OBJECT_NAME_NOT_FOUND (Wine's only answer): the account holds
    // no right at all. Any other failure is taken as not held as well.
    if (rights) LsaFreeMemory(rights);
    return holds;
}

bool Win32AccountRights::Grant(const Sid& sid, const std::string& right) {
    Policy policy(POLICY_LOOKUP_NAMES | POLICY_CREATE_ACCOUNT);
    if (!policy.get() || sid.empty()) return false;
    std::wstring name = Wide(right);
    LSA_UNICODE_STRING lsaRight = LsaString(name);
    return LsaAddAccountRights(policy.get(), SidOf(sid), &lsaRight, 1) == kStatusSuccess;
}

}  // namespace qm
