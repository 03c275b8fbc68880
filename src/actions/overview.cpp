#include "actions/overview.h"

#include <algorithm>
#include <tuple>

#include "actions/messages.h"
#include "catalogue/naming.h"

namespace qm {

namespace {

// How long an instance is given to reach the state asked for, and how
// often it is asked for its state meanwhile.
constexpr unsigned kStateWaitMs = 30000;
constexpr unsigned kStatePollMs = 250;

std::string VersionText(const std::optional<VersionNumber>& version) {
    if (!version) return text::kNoVersion;
    const VersionNumber& v = *version;
    return std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) + "." + std::to_string(v[3]);
}

void ReadRowDetails(DialogAndMachine& s, ManagerHandle manager, OverviewRow& row) {
    std::uint32_t error = 0;
    const Scoped<ServiceHandle> service(s.system, s.system.OpenServiceFor(manager, row.name, ServiceAccess::Query, error));
    if (!service || !s.system.QueryServiceAccount(service.get(), row.account)) row.account.clear();
    // The folder and the executable from one reading of its "ImagePath".
    std::string executable;
    row.folder = ScriptFolder(s, row.name, executable);
    VersionNumber version{};
    row.version.reset();
    if (!executable.empty() && s.system.ReadFileVersion(executable, version)) row.version = version;
}

// What ended a request: the error, and the state the instance was left in.
struct Halt {
    std::uint32_t error = 0;
    std::uint32_t state = 0;
};

// Waits until the instance reports |target|. A start that ends with the
// service stopped has failed with the service's own exit code.
bool WaitFor(System& system, User& user, ServiceHandle service, std::uint32_t target, ServiceStatus& status,
             Halt& halt) {
    for (unsigned waited = 0;; waited += kStatePollMs) {
        if (const std::uint32_t error = system.QueryStatus(service, status)) {
            halt = {error, 0};
            return false;
        }
        if (status.state == target) return true;
        if (target == kServiceRunning && status.state == kServiceStopped) {
            halt = {status.exitCode ? status.exitCode : kErrorProcessAborted, status.state};
            return false;
        }
        if (waited >= kStateWaitMs) {
            halt = {kErrorServiceRequestTimeout, status.state};
            return false;
        }
        user.Pause(kStatePollMs);
    }
}

// A state asked for: the state, the one on the way to it, the refusal
// that says the instance is there already, and the request. StartServiceA
// refuses a running service with ERROR_SERVICE_ALREADY_RUNNING and a
// disabled one with ERROR_SERVICE_DISABLED; ControlService refuses to stop
// a stopped one with ERROR_SERVICE_NOT_ACTIVE, and one that running
// services depend on with ERROR_DEPENDENT_SERVICES_RUNNING
// (learn.microsoft.com, StartServiceA, ControlService, Stopping a Service).
struct Move {
    std::uint32_t target, pending, harmless;
    std::uint32_t (System::*request)(ServiceHandle);
};
constexpr Move kStop{kServiceStopped, kServiceStopPending, kErrorServiceNotActive, &System::RequestStop};
constexpr Move kStart{kServiceRunning, kServiceStartPending, kErrorServiceAlreadyRunning, &System::RequestStart};

// Asks for the state unless the instance is in it or on its way, then
// waits for it.
bool Reach(System& system, User& user, ServiceHandle service, const Move& move, ServiceStatus& status, Halt& halt) {
    if (status.state == move.target) return true;
    if (status.state != move.pending) {
        const std::uint32_t error = (system.*move.request)(service);
        if (error && error != move.harmless) {
            halt = {error, status.state};
            return false;
        }
    }
    return WaitFor(system, user, service, move.target, status, halt);
}

enum class Phase { Stop, Start };

// Carries out |request| on the instance named in |status|; false, with the
// phase that failed and why, when it did not reach the state asked for.
bool ActOnOne(System& system, User& user, ManagerHandle manager, ServiceRequest request, ServiceStatus& status,
              Halt& halt, Phase& phase) {
    phase = request == ServiceRequest::Start ? Phase::Start : Phase::Stop;
    std::uint32_t error = 0;
    const Scoped<ServiceHandle> service(system,
                                        system.OpenServiceFor(manager, status.name, ServiceAccess::Control, error));
    if (!service) {
        halt = {error, 0};
        return false;
    }
    if ((error = system.QueryStatus(service.get(), status)) != 0) {
        halt = {error, 0};
        return false;
    }
    if (request != ServiceRequest::Start && !Reach(system, user, service.get(), kStop, status, halt)) return false;
    if (request == ServiceRequest::Stop) return true;
    phase = Phase::Start;
    return Reach(system, user, service.get(), kStart, status, halt);
}

std::string Failure(System& system, const char* format, const std::string& name, const Halt& halt) {
    return text::Fill(format, {name, StateText(halt.state), ErrorWords(system, halt.error)});
}

}  // namespace

std::string ErrorWords(System& system, std::uint32_t error) {
    std::string words = system.ErrorText(error);
    while (!words.empty() && (words.back() == '\n' || words.back() == '\r' || words.back() == ' ')) words.pop_back();
    if (words.empty()) words = text::Fill(text::kUnknownError, std::to_string(error));
    return words;
}

const char* ColumnTitle(OverviewColumn column) {
    switch (column) {
        case OverviewColumn::Name: return text::kColumnName;
        case OverviewColumn::State: return text::kColumnState;
        case OverviewColumn::ProcessId: return text::kColumnProcessId;
        case OverviewColumn::Version: return text::kColumnVersion;
        case OverviewColumn::Account: return text::kColumnAccount;
        default: return text::kColumnFolder;
    }
}

std::string StateText(std::uint32_t state) {
    switch (state) {
        case 0: return text::kStateUnknown;
        case kServiceStopped: return text::kStateStopped;
        case kServiceStartPending: return text::kStateStarting;
        case kServiceStopPending: return text::kStateStopping;
        case kServiceRunning: return text::kStateRunning;
        case kServiceContinuePending: return text::kStateContinuing;
        case kServicePausePending: return text::kStatePausing;
        case kServicePaused: return text::kStatePaused;
        default: return std::to_string(state);
    }
}

std::string CellText(const OverviewRow& row, OverviewColumn column) {
    switch (column) {
        case OverviewColumn::Name: return row.name;
        case OverviewColumn::State: return StateText(row.state);
        case OverviewColumn::ProcessId: return row.processId ? std::to_string(row.processId) : std::string();
        case OverviewColumn::Version: return VersionText(row.version);
        case OverviewColumn::Account: return row.account;
        default: return row.folder;
    }
}

bool ReadOverviewStates(DialogAndMachine& s, std::vector<OverviewRow>& rows) {
    rows.clear();
    const Scoped<ManagerHandle> manager(s.system, s.system.OpenManager());
    std::vector<ServiceStatus> services;
    if (!manager || !s.system.EnumServiceStatuses(manager.get(), services)) return false;
    for (const ServiceStatus& status : services) {
        if (!IsFamilyService(status.name)) continue;
        OverviewRow row;
        row.name = status.name;
        row.state = status.state;
        row.processId = status.processId;
        rows.push_back(row);
    }
    SortRows(rows, OverviewColumn::Name, false);
    return true;
}

void ReadOverviewDetails(DialogAndMachine& s, std::vector<OverviewRow>& rows) {
    const Scoped<ManagerHandle> manager(s.system, s.system.OpenManager());
    for (OverviewRow& row : rows) ReadRowDetails(s, manager.get(), row);
}

bool ReadOverview(DialogAndMachine& s, std::vector<OverviewRow>& rows) {
    if (!ReadOverviewStates(s, rows)) return false;
    ReadOverviewDetails(s, rows);
    return true;
}

void SortRows(std::vector<OverviewRow>& rows, OverviewColumn column, bool descending) {
    const auto byName = [](const OverviewRow& a, const OverviewRow& b) {
        return std::make_tuple(FoldCase(a.name), a.name) < std::make_tuple(FoldCase(b.name), b.name);
    };
    std::sort(rows.begin(), rows.end(), byName);
    const auto key = [column](const OverviewRow& row) {
        switch (column) {
            case OverviewColumn::ProcessId: return std::make_tuple(row.processId, VersionNumber{}, std::string());
            case OverviewColumn::Version:
                // No version sorts before every version.
                return std::make_tuple(row.version ? 1u : 0u, row.version.value_or(VersionNumber{}), std::string());
            default: return std::make_tuple(0u, VersionNumber{}, FoldCase(CellText(row, column)));
        }
    };
    std::stable_sort(rows.begin(), rows.end(), [&](const OverviewRow& a, const OverviewRow& b) {
        return descending ? key(b) < key(a) : key(a) < key(b);
    });
}

std::vector<std::string> RowCells(const OverviewRow& row) {
    std::vector<std::string> cells;
    for (int c = 0; c < static_cast<int>(OverviewColumn::Count); ++c) {
        cells.push_back(CellText(row, static_cast<OverviewColumn>(c)));
    }
    return cells;
}

std::string RowsAsText(const std::vector<OverviewRow>& rows) {
    std::string out;
    const auto line = [&out](const std::vector<std::string>& cells) {
        for (std::size_t c = 0; c < cells.size(); ++c) out += (c ? "\t" : "") + cells[c];
        out += "\r\n";
    };
    std::vector<std::string> titles;
    for (int c = 0; c < static_cast<int>(OverviewColumn::Count); ++c) {
        titles.push_back(ColumnTitle(static_cast<OverviewColumn>(c)));
    }
    line(titles);
    for (const OverviewRow& row : rows) line(RowCells(row));
    return out;
}

bool ActOnInstances(System& system, User& user, ServiceRequest request, const std::vector<std::string>& names,
                    InstanceProgress& progress) {
    const Scoped<ManagerHandle> manager(system, system.OpenManager());
    if (!manager) {
        user.Message(text::kOverviewReadError, text::kErrorCaption, Icon::Stop);
        return false;
    }
    user.ShowBusy(true);
    for (std::size_t i = 0; i < names.size(); ++i) {
        ServiceStatus status;
        status.name = names[i];
        Halt halt;
        Phase phase = Phase::Stop;
        const bool reached = ActOnOne(system, user, manager.get(), request, status, halt, phase);
        status.name = names[i];
        if (!reached) status.state = halt.state;
        progress.InstanceEnded(status);
        if (reached) continue;
        std::string message =
            Failure(system, phase == Phase::Stop ? text::kStopFailed : text::kStartFailed, names[i], halt);
        if (i + 1 < names.size()) message += text::kLeftAlone;
        user.ShowBusy(false);
        user.Message(message, text::kErrorCaption, Icon::Stop);
        return false;
    }
    user.ShowBusy(false);
    return true;
}

}  // namespace qm
