#include "support/fakes.h"

#include <algorithm>
#include <iterator>

#include <gtest/gtest.h>

namespace qm::test {

namespace {

std::string Quoted(const char* s) { return s ? "\"" + std::string(s) + "\"" : "null"; }

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

const char* IconName(Icon icon) {
    switch (icon) {
        case Icon::Information: return "information";
        case Icon::Warning: return "warning";
        case Icon::Stop: return "stop";
        default: return "none";
    }
}

}  // namespace

void FakeSystem::AddService(const std::string& name, const std::optional<std::string>& imagePath,
                            const std::string& displayName) {
    services_.push_back({name, displayName.empty() ? name : displayName, imagePath.value_or(""), {}, false});
    if (imagePath) imagePaths[name] = *imagePath;
}

void FakeSystem::Run(const std::string& name, bool ignoresStop) {
    for (FakeService& s : services_) {
        if (s.name != name) continue;
        s.running = true;
        s.ignoresStop = ignoresStop;
        s.processId = nextProcessId_++;
        s.startedAt = Now();
        s.requested = false;
    }
}

const FakeService* FakeSystem::Find(const std::string& name) const {
    for (const FakeService& s : services_)
        if (SameName(s.name, name)) return &s;
    return nullptr;
}

Failures::~Failures() {
    static const char* const kNames[] = {
        "OpenManager", "EnumServices", "ServiceBytesNeeded", "CreateAutoStartService", "SetRecoveryActions",
        "SetDescription", "ServiceGone", "OpenServiceToRemove", "DeleteService", "OpenServiceKey", "QueryImagePath",
        "CreateEventLogKey", "WriteFileAtomically", "LookUp", "Holds", "Grant", "QueryRecoveryActions",
        "EnumServiceStatuses", "OpenServiceFor", "QueryServiceAccount", "QueryStatus", "ChangeServiceAccount"};
    static_assert(std::size(kNames) == static_cast<std::size_t>(Op::Count), "a name for every operation");
    for (const auto& [op, armed] : armed_) {
        if (armed.second == 0) ADD_FAILURE() << "the failure of " << kNames[static_cast<int>(op)] << " never fired";
    }
}

bool Failures::Failing(Op op) {
    auto it = armed_.find(op);
    if (it == armed_.end() || it->second.first == 0) return false;
    if (spared_[op] > 0 && spared_[op]--) return false;
    if (it->second.first > 0) --it->second.first;
    ++it->second.second;
    return true;
}

std::uintptr_t FakeSystem::NewHandle(const std::string& kind, const std::string& name) {
    const std::uintptr_t h = nextHandle_++;
    handles_[h] = {kind, name};
    return h;
}

std::uint32_t FakeSystem::EntryBytes(const FakeService& s) const {
    return entryHeaderBytes + static_cast<std::uint32_t>(s.name.size() + 1 + s.displayName.size() + 1);
}

ManagerHandle FakeSystem::OpenManager() {
    log_.push_back("OpenManager");
    return ManagerHandle{failures_.Failing(Op::OpenManager) ? 0 : NewHandle("manager", "")};
}

EnumRound FakeSystem::EnumServices(ManagerHandle manager, std::uint32_t bufferBytes, std::uint32_t resume) {
    log_.push_back("EnumServices(" + std::to_string(bufferBytes) + ", " + std::to_string(resume) + ")");
    ++enumCalls;
    enumBufferSizes.push_back(bufferBytes);
    EnumRound r;
    r.resume = resume;
    if (handles_.count(manager.value) == 0 || failures_.Failing(Op::EnumServices)) {
        r.error = 6;  // ERROR_INVALID_HANDLE
        return r;
    }

    std::uint32_t remaining = 0;
    for (std::size_t i = resume; i < services_.size(); ++i) remaining += EntryBytes(services_[i]);

    if (enumStyle != EnumStyle::Windows) {
        if (remaining <= bufferBytes) {
            r.ok = true;
            for (std::size_t i = resume; i < services_.size(); ++i) r.names.push_back(services_[i].name);
            r.resume = 0;
            r.bytesUsed = remaining;
        } else if (enumStyle == EnumStyle::Wine) {
            r.error = kErrorMoreData;
            r.bytesNeeded = remaining;
        } else {
            r.error = kErrorInsufficientBuffer;
        }
        return r;
    }

    std::uint32_t used = 0;
    std::size_t i = resume;
    for (; i < services_.size() && used + EntryBytes(services_[i]) <= bufferBytes; ++i) {
        used += EntryBytes(services_[i]);
        r.names.push_back(services_[i].name);
    }
    if (i == services_.size()) {
        r.ok = true;
        r.resume = 0;
        r.bytesUsed = used;
    } else {
        r.error = kErrorMoreData;
        r.bytesNeeded = remaining - used;
        r.resume = static_cast<std::uint32_t>(i);
    }
    return r;
}

std::uint32_t FakeSystem::ServiceBytesNeeded(ManagerHandle manager) {
    log_.push_back("ServiceBytesNeeded");
    if (handles_.count(manager.value) == 0 || failures_.Failing(Op::ServiceBytesNeeded)) return 0;
    std::uint32_t bytes = 0;
    for (const FakeService& s : services_) bytes += EntryBytes(s) + 8;  // process id and flags
    return bytes;
}

ServiceHandle FakeSystem::CreateAutoStartService(ManagerHandle manager, const std::string& name, const std::string& commandLine,
                                 const char* account, const char* password) {
    log_.push_back("CreateService(" + name + ", " + commandLine + ", " + Quoted(account) + ", " +
                   Quoted(password) + ")");
    if (handles_.count(manager.value) == 0 || failures_.Failing(Op::CreateAutoStartService) || Find(name)) return {};
    if (account && refused_.count(account)) return {};
    FakeService s{name, name, commandLine, {}, false};
    if (account) s.account = account;
    services_.push_back(s);
    imagePaths[name] = commandLine;
    return ServiceHandle{NewHandle("service", name)};
}

bool FakeSystem::SetRecoveryActions(ServiceHandle service, const RecoveryActions& recovery) {
    std::string entry = "SetRecoveryActions(" + handles_.at(service.value).second + ": reset " +
                        std::to_string(recovery.resetSeconds) + " s;";
    for (const FailureAction& a : recovery.actions)
        entry += std::string(a.restart ? " restart " : " none ") + std::to_string(a.delayMilliseconds) + " ms";
    log_.push_back(entry + ")");
    if (failures_.Failing(Op::SetRecoveryActions)) return false;
    this->recovery[handles_.at(service.value).second] = recovery;
    return true;
}

bool FakeSystem::QueryRecoveryActions(ManagerHandle, const std::string& name, RecoveryActions& recovery) {
    log_.push_back("QueryRecoveryActions(" + name + ")");
    const auto found = this->recovery.find(name);
    if (found == this->recovery.end() || failures_.Failing(Op::QueryRecoveryActions)) return false;
    recovery = found->second;
    return true;
}

bool FakeSystem::SetDescription(ServiceHandle service, const std::string& description) {
    log_.push_back("SetDescription(" + handles_.at(service.value).second + ": " + description + ")");
    return !failures_.Failing(Op::SetDescription);
}

bool FakeSystem::ServiceNamed(ManagerHandle, const std::string& name) {
    log_.push_back("ServiceNamed(" + name + ")");
    if (Find(name) || drivers.count(name)) return true;
    for (const FakeService& s : services_)
        if (SameName(s.displayName, name)) return true;
    return false;
}

bool FakeSystem::ServiceGone(ManagerHandle, const std::string& name) {
    log_.push_back("ServiceGone(" + name + ")");
    // A failing look-up (access denied, say) is no answer that it is gone.
    return !failures_.Failing(Op::ServiceGone) && !Find(name);
}

ServiceHandle FakeSystem::OpenServiceToRemove(ManagerHandle manager, const std::string& name) {
    log_.push_back("OpenService(" + name + ")");
    if (handles_.count(manager.value) == 0 || failures_.Failing(Op::OpenServiceToRemove) || !Find(name)) return {};
    return ServiceHandle{NewHandle("service", Find(name)->name)};
}

void FakeSystem::StopService(ServiceHandle service) {
    log_.push_back("StopService");
    auto it = handles_.find(service.value);
    if (it == handles_.end()) return;
    for (FakeService& s : services_)
        if (s.name == it->second.second && !s.ignoresStop) s.running = false;
}

FakeService* FakeSystem::Named(ServiceHandle service) {
    auto it = handles_.find(service.value);
    if (it == handles_.end()) return nullptr;
    for (FakeService& s : services_)
        if (s.name == it->second.second) return &s;
    return nullptr;
}

bool FakeSystem::EnumServiceStatuses(ManagerHandle manager, std::vector<ServiceStatus>& services) {
    log_.push_back("EnumServiceStatuses");
    if (handles_.count(manager.value) == 0 || failures_.Failing(Op::EnumServiceStatuses)) return false;
    for (FakeService& s : services_) services.push_back(Status(s));
    return true;
}

ServiceHandle FakeSystem::OpenServiceFor(ManagerHandle, const std::string& name, ServiceAccess access,
                                         std::uint32_t& error) {
    log_.push_back("OpenServiceFor(" + name + (access == ServiceAccess::Control ? ", control)" : ", query)"));
    error = failures_.Failing(Op::OpenServiceFor) ? 5 : Find(name) ? 0 : 1060;  // access denied, no such service
    return error ? ServiceHandle{} : ServiceHandle{NewHandle("service", Find(name)->name)};
}

bool FakeSystem::QueryServiceAccount(ServiceHandle service, std::string& account) {
    const FakeService* s = Named(service);
    if (!s || failures_.Failing(Op::QueryServiceAccount)) return false;
    account = s->account.value_or("LocalSystem");
    return true;
}

void FakeSystem::Settle(FakeService& s) {
    const std::uint64_t now = Now();
    if (s.running && s.stopRequested && !s.ignoresStop && now >= s.stopAskedAt + s.stopPendingMs) {
        s.running = s.stopRequested = false;
        s.exitCode = 0;
    }
    if (s.running && !s.stopRequested && s.requested && s.livesMs && now >= s.startedAt + s.startPendingMs + s.livesMs) {
        s.livesMs = 0;
        if (s.recovered) {
            s.processId = nextProcessId_++;
            s.startedAt = now - s.startPendingMs;
        } else {
            s.running = false;
            s.exitCode = kErrorProcessAborted;
        }
    }
}

ServiceStatus FakeSystem::Status(FakeService& s) {
    Settle(s);
    const bool starting = s.running && Now() < s.startedAt + s.startPendingMs;
    const std::uint32_t state = !s.running       ? kServiceStopped
                                : s.stopRequested ? kServiceStopPending
                                : starting        ? kServiceStartPending
                                                  : kServiceRunning;
    return {s.name, state, s.running ? s.processId : 0, s.running ? 0 : s.exitCode};
}

std::uint32_t FakeSystem::QueryStatus(ServiceHandle service, ServiceStatus& status) {
    FakeService* s = Named(service);
    if (!s || failures_.Failing(Op::QueryStatus)) return 6;  // ERROR_INVALID_HANDLE
    status = Status(*s);
    return 0;
}

std::uint32_t FakeSystem::RequestStart(ServiceHandle service) {
    log_.push_back("RequestStart");
    FakeService& s = *Named(service);
    if (s.disabled) return 1058;  // ERROR_SERVICE_DISABLED
    Settle(s);
    if (s.running) return kErrorServiceAlreadyRunning;  // stopping too: its process is still there
    s.running = !s.failsStart;
    s.exitCode = s.failsStart;
    s.processId = nextProcessId_++;
    s.startedAt = Now();
    s.requested = true;
    return 0;
}

std::uint32_t FakeSystem::RequestStop(ServiceHandle service) {
    log_.push_back("RequestStop");
    FakeService& s = *Named(service);
    const ServiceStatus now = Status(s);
    if (now.state == kServiceStopped) return kErrorServiceNotActive;
    // No control reaches a service that is starting or stopping, a second
    // stop included: ERROR_SERVICE_CANNOT_ACCEPT_CTRL (learn.microsoft.com,
    // ControlService).
    if (now.state != kServiceRunning) return 1061;
    s.stopRequested = true;
    s.stopAskedAt = Now();
    Settle(s);
    return 0;
}

std::uint32_t FakeSystem::ChangeServiceAccount(ServiceHandle service, const char* account,
                                              const char* password) {
    FakeService& s = *Named(service);
    log_.push_back("ChangeServiceAccount(" + s.name + ", " + Quoted(account) + ", " + Quoted(password) + ")");
    if (failures_.Failing(Op::ChangeServiceAccount)) return 5;  // ERROR_ACCESS_DENIED
    if (s.markedForDeletion) return 1072;                       // ERROR_SERVICE_MARKED_FOR_DELETE
    if (account) s.account = std::string(account);
    return 0;
}

bool FakeSystem::ReadFileVersion(const std::string& path, VersionNumber& version) {
    const auto found = fileVersions.find(path);
    if (found == fileVersions.end()) return false;
    version = found->second;
    return true;
}

bool FakeSystem::RunningDependents(ServiceHandle service, std::vector<std::string>& names) {
    const FakeService* s = Named(service);
    if (!s) return false;
    for (const std::string& name : dependents[s->name]) {
        if (Find(name) && Find(name)->running) names.push_back(name);
    }
    return true;
}

bool FakeSystem::DeleteService(ServiceHandle service) {
    log_.push_back("DeleteService");
    auto it = handles_.find(service.value);
    if (it == handles_.end() || failures_.Failing(Op::DeleteService)) return false;
    const std::string name = it->second.second;
    // A service still running stays, marked for deletion.
    for (FakeService& s : services_)
        if (s.name == name && s.running) return s.markedForDeletion = true;
    services_.erase(std::remove_if(services_.begin(), services_.end(),
                                   [&](const FakeService& s) { return s.name == name; }),
                    services_.end());
    imagePaths.erase(name);
    return true;
}

void FakeSystem::Close(const char* call, std::uintptr_t handle) {
    auto it = handles_.find(handle);
    log_.push_back(std::string(call) + (it == handles_.end() ? "(?)" : "(" + it->second.first + ")"));
    if (it != handles_.end()) handles_.erase(it);
}

void FakeSystem::CloseServiceHandle(ServiceHandle service) { Close("CloseServiceHandle", service.value); }

void FakeSystem::CloseServiceHandle(ManagerHandle manager) { Close("CloseServiceHandle", manager.value); }

KeyHandle FakeSystem::OpenServiceKey(const std::string& name) {
    log_.push_back("OpenServiceKey(" + name + ")");
    if (failures_.Failing(Op::OpenServiceKey) || !Find(name)) return {};
    return KeyHandle{NewHandle("key", Find(name)->name)};
}

ValueRead FakeSystem::QueryImagePath(KeyHandle key, std::string& imagePath) {
    log_.push_back("QueryImagePath");
    auto it = handles_.find(key.value);
    if (it == handles_.end() || failures_.Failing(Op::QueryImagePath)) return ValueRead::Missing;
    auto value = imagePaths.find(it->second.second);
    if (value == imagePaths.end()) return ValueRead::Missing;
    if (binaryImagePaths.count(value->first)) return ValueRead::NotText;
    if (value->second.size() > kMaxCommandLineChars) return ValueRead::TooLong;
    imagePath = value->second;
    return ValueRead::Read;
}

KeyHandle FakeSystem::CreateEventLogKey(const std::string& name) {
    log_.push_back("CreateEventLogKey(" + name + ")");
    if (failures_.Failing(Op::CreateEventLogKey)) return {};
    eventSources[name];
    return KeyHandle{NewHandle("key", name)};
}

void FakeSystem::WriteEventLogValues(KeyHandle key, const std::string& messageFile) {
    log_.push_back("WriteEventLogValues(" + messageFile + ")");
    auto it = handles_.find(key.value);
    if (it == handles_.end()) return;
    eventSources[it->second.second] = {messageFile, 7};
}

void FakeSystem::CloseKey(KeyHandle key) {
    log_.push_back("CloseKey");
    handles_.erase(key.value);
}

bool FakeScriptHost::ExpandReferences(const std::string& text, std::string& expanded) {
    expanded = ExpandWith(text, [this](const std::string& name, std::string& value) {
        const auto found = environment.find(name);
        if (found == environment.end()) return false;
        value = found->second;
        return true;
    });
    return true;
}

bool FakeScriptHost::FileExists(const std::string& path) {
    log_.push_back("FileExists(" + path + ")");
    return files.count(path) != 0;
}

bool FakeScriptHost::ToConsoleCodePage(const std::string& ansi, std::string& console) {
    // Code page 1252 to 437, for the few letters the tests use; a byte of
    // 0x80 or more that is not among them (the euro sign, say) has no
    // equivalent.
    static const std::map<unsigned char, char> k1252To437{{0xE9, '\x82'}, {0xE4, '\x84'}, {0xFC, '\x81'}};
    console.clear();
    for (char c : ansi) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            console += c;
            continue;
        }
        auto mapped = k1252To437.find(byte);
        if (mapped == k1252To437.end()) return false;
        console += mapped->second;
    }
    return true;
}

bool FakeScriptHost::WriteFileAtomically(const std::string& path, const std::string& contents) {
    log_.push_back("ReplaceFile(" + path + ")");
    if (failures_.Failing(Op::WriteFileAtomically)) return false;
    files[path] = contents;
    return true;
}

bool FakeScriptHost::FileInUse(const std::string& path) { return inUse.count(path) != 0; }

bool FakeScriptHost::ReadTextFile(const std::string& path, std::string& text) {
    const auto found = files.find(path);
    if (found == files.end()) return false;
    text = found->second;
    return true;
}

bool FakeScriptHost::ReadFolder(const std::string& folder, std::vector<FolderEntry>& entries) {
    const auto found = folders.find(folder);
    return found != folders.end() && (entries = found->second, true);
}

bool FakeScriptHost::FreeSpace(const std::string& folder, std::uint64_t& bytes) {
    const auto found = freeSpace.find(folder.substr(0, 2));
    return found != freeSpace.end() && (bytes = found->second, true);
}

bool FakeAccountRights::LookUp(const Account& account, FoundAccount& found) {
    log_.push_back("LookUp(" + account.typed() + ")");
    if (failures_.Failing(Op::LookUp) || accounts.count(account.typed()) == 0) return false;
    found.sid.assign(account.typed().begin(), account.typed().end());
    found.domain = foundDomain;
    return true;
}

std::uint32_t FakeAccountRights::TryServiceLogon(const LogonName& name, const std::string& password) {
    log_.push_back("LogonUser(" + name.user + ", " + name.domain.value_or("null") + ", " + password + ")");
    if (logonAnswers.empty()) return 0;
    const std::uint32_t answer = logonAnswers.front();
    logonAnswers.erase(logonAnswers.begin());
    return answer;
}

bool FakeAccountRights::Holds(const Sid& sid, const std::string& right) {
    log_.push_back("Holds(" + right + ")");
    return !failures_.Failing(Op::Holds) && right == "SeServiceLogonRight" &&
           serviceLogonHolders.count(std::string(sid.begin(), sid.end())) > 0;
}

bool FakeAccountRights::Grant(const Sid& sid, const std::string& right) {
    log_.push_back("Grant(" + right + ")");
    if (failures_.Failing(Op::Grant) || right != "SeServiceLogonRight") return false;
    serviceLogonHolders.insert(std::string(sid.begin(), sid.end()));
    return true;
}

void FakeUser::Message(const std::string& text, const char* caption, Icon icon) {
    messages.push_back({text, caption ? caption : "(default)", icon});
    log_.push_back("Message(" + text + ", " + messages.back().caption + ", " + IconName(icon) + ")");
}

bool FakeUser::BrowseForFolder(const char* title, std::string& folder) {
    log_.push_back(std::string("BrowseForFolder(") + title + ")");
    if (folders.empty() || !folders.front()) {
        if (!folders.empty()) folders.erase(folders.begin());
        return false;
    }
    folder = *folders.front();
    folders.erase(folders.begin());
    return true;
}

bool FakeUser::AskAccount(std::string& account, std::string& password, const AccountCheck& check) {
    log_.push_back("AskAccount");
    accountPrefills.emplace_back(account, password);
    AccountAnswer answer{false, {}, {}};
    do {
        if (accounts.empty()) return false;
        answer = accounts.front();
        accounts.erase(accounts.begin());
        if (!answer.ok) return false;
    } while (!check(answer.account, answer.password, *this));  // a refusal keeps the dialog open
    account = answer.account;
    password = answer.password;
    return true;
}

bool FakeUser::ModulePath(std::string& path) {
    log_.push_back("ModulePath");
    if (!modulePath) return false;
    path = *modulePath;
    return true;
}

void FakeUser::ShowBusy(bool on) {
    log_.push_back(on ? "ShowBusy(on)" : "ShowBusy(off)");
    busy = on;
}

void FakeUser::Pause(unsigned milliseconds) {
    log_.push_back("Pause");
    paused += milliseconds;
}

bool FakeUser::AskYesNo(const std::string& question, const char*) {
    log_.push_back("AskYesNo(" + question + ")");
    return answersYes;
}

bool FakeUser::ConfirmPlan(const UpdatePlan& plan) {
    log_.push_back("ConfirmPlan");
    plans.push_back(plan);
    return writesPlan;
}

void FakeView::WriteControls() {
    log_.push_back("WriteControls");
    pathControl = state_.m_strInstallPath;
    suffixControl = state_.m_strSuffix;
}

bool FakeView::ReadControls() {
    log_.push_back("ReadControls");
    if (!readOk) return false;
    state_.m_strInstallPath = pathControl;
    state_.m_strSuffix = suffixControl;
    return true;
}

void FakeView::ShowInstallPath(const std::string& folder) {
    log_.push_back("ShowInstallPath(" + folder + ")");
    pathControl = folder;
}

void FakeView::FillList(const std::vector<std::string>& serviceNames) {
    log_.push_back("FillList(" + std::to_string(serviceNames.size()) + ")");
    filled = list = serviceNames;
    std::sort(list.begin(), list.end());
    selection = -1;
}

bool FakeView::SelectedEntry(std::string& text) {
    if (selection < 0 || selection >= static_cast<int>(list.size())) return false;
    text = list[static_cast<std::size_t>(selection)];
    return true;
}

std::vector<std::string> Harness::Calls(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const std::string& entry : log)
        if (entry.compare(0, prefix.size(), prefix) == 0) out.push_back(entry);
    return out;
}

}  // namespace qm::test
