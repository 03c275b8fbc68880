#include "actions/overview.h"

#include <algorithm>
#include <tuple>

#include "actions/messages.h"
#include "catalogue/naming.h"

namespace qm {

namespace {

void ReadRowDetails(MachineContext& s, ManagerHandle manager, OverviewRow& row) {
    std::uint32_t error = 0;
    const Scoped<ServiceHandle> service(s.system, s.system.OpenServiceFor(manager, row.name, ServiceAccess::Query, error));
    if (!service || !s.system.QueryServiceAccount(service.get(), row.account)) row.account.clear();
    // The folder and the executable from one reading of its "ImagePath".
    std::string executable;
    row.folder = ScriptFolder(s, row.name, executable);
    // An unquoted path with several readings, which the script leaves out:
    // as the main list does, the folder of the file the service manager runs.
    std::string runs;
    if (row.folder.empty() && ReadExecutablePath(s, row.name, runs) == LeftOut::Ambiguous &&
        s.host.ExpandReferences(runs, executable)) {
        row.folder = DriveAndDirectory(executable, s.isLeadByte);
    }
    VersionNumber version{};
    row.version.reset();
    if (!executable.empty() && s.system.ReadFileVersion(executable, version)) row.version = version;
}

}  // namespace

std::string VersionText(const std::optional<VersionNumber>& version) {
    if (!version) return text::kNoVersion;
    const VersionNumber& v = *version;
    return std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) + "." + std::to_string(v[3]);
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

namespace {

bool EnumerateStatuses(System& system, std::vector<ServiceStatus>& services) {
    const Scoped<ManagerHandle> manager(system, system.OpenManager());
    return manager && system.EnumServiceStatuses(manager.get(), services);
}

}  // namespace

bool ReadStatesAgain(System& system, std::vector<OverviewRow>& rows) {
    std::vector<ServiceStatus> services;
    if (!EnumerateStatuses(system, services)) return false;
    for (OverviewRow& row : rows) {
        row.state = row.processId = 0;
        for (const ServiceStatus& status : services) {
            if (status.name != row.name) continue;
            row.state = status.state;
            row.processId = status.processId;
        }
    }
    return true;
}

bool ReadOverviewStates(MachineContext& s, std::vector<OverviewRow>& rows) {
    rows.clear();
    std::vector<ServiceStatus> services;
    if (!EnumerateStatuses(s.system, services)) return false;
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

void ReadOverviewDetails(MachineContext& s, std::vector<OverviewRow>& rows) {
    const Scoped<ManagerHandle> manager(s.system, s.system.OpenManager());
    for (OverviewRow& row : rows) ReadRowDetails(s, manager.get(), row);
}

bool ReadOverview(MachineContext& s, std::vector<OverviewRow>& rows) {
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

std::string TableAsText(const std::vector<std::string>& titles, const std::vector<std::vector<std::string>>& rows) {
    std::string out;
    const auto line = [&out](const std::vector<std::string>& cells) {
        for (std::size_t c = 0; c < cells.size(); ++c) out += (c ? "\t" : "") + cells[c];
        out += "\r\n";
    };
    line(titles);
    for (const std::vector<std::string>& row : rows) line(row);
    return out;
}

std::string RowsAsText(const std::vector<OverviewRow>& rows) {
    std::vector<std::string> titles;
    for (int c = 0; c < static_cast<int>(OverviewColumn::Count); ++c) {
        titles.push_back(ColumnTitle(static_cast<OverviewColumn>(c)));
    }
    std::vector<std::vector<std::string>> cells;
    for (const OverviewRow& row : rows) cells.push_back(RowCells(row));
    return TableAsText(titles, cells);
}

}  // namespace qm
