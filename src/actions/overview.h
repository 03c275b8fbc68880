// The overview of every instance: what it shows of each, and the rolling
// start, stop and restart of the instances selected there.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "actions/actions.h"

namespace qm {

// One instance as the overview shows it. What could not be read stays empty.
struct OverviewRow {
    std::string name;
    std::uint32_t state = 0;  // 0: not known
    std::uint32_t processId = 0;
    std::optional<VersionNumber> version;
    std::string account;
    std::string folder;
};

enum class OverviewColumn { Name, State, ProcessId, Version, Account, Folder, Count };

const char* ColumnTitle(OverviewColumn column);
// A state in words, or its number for one the tool does not know.
std::string StateText(std::uint32_t state);
std::string CellText(const OverviewRow& row, OverviewColumn column);
// Every cell of a row, in the columns' order.
std::vector<std::string> RowCells(const OverviewRow& row);

// Every family instance in the main list's order, with its state and
// process id from one enumeration; account, version and folder stay empty
// for ReadOverviewDetails. False, with no rows, when the services cannot
// be listed.
bool ReadOverviewStates(DialogAndMachine& s, std::vector<OverviewRow>& rows);

// Each row's account, the version of its executable and its folder as the
// update script names it. An instance whose configuration or file cannot
// be read keeps its row, with what could be read.
void ReadOverviewDetails(DialogAndMachine& s, std::vector<OverviewRow>& rows);

// Both.
bool ReadOverview(DialogAndMachine& s, std::vector<OverviewRow>& rows);

// Sorts by |column|: process ids and versions as numbers, the rest as
// text without regard to letter case; equal rows stay in name order.
void SortRows(std::vector<OverviewRow>& rows, OverviewColumn column, bool descending);

// The rows as tab-separated text under a heading line, CR LF line ends.
std::string RowsAsText(const std::vector<OverviewRow>& rows);

// The system's words for |error| without their line end, or its number
// when the system has none.
std::string ErrorWords(System& system, std::uint32_t error);

enum class ServiceRequest { Start, Stop, Restart };

// Told as each instance's request ends, so that its row can show it.
class InstanceProgress {
public:
    virtual ~InstanceProgress() = default;
    virtual void InstanceEnded(const ServiceStatus& status) = 0;
};

// Asks the service manager for |request| on each of |names| in turn, each
// with a bounded wait for the state asked for (a restart stops, waits,
// starts and waits). Starting a running instance or stopping a stopped one
// does nothing. The first instance that does not reach its state ends the
// run with a stop message naming it, its state and the system's words for
// the error; those after it are not touched. True when every one reached
// its state.
bool ActOnInstances(System& system, User& user, ServiceRequest request, const std::vector<std::string>& names,
                    InstanceProgress& progress);

inline bool RestartInstances(System& system, User& user, const std::vector<std::string>& names,
                             InstanceProgress& progress) {
    return ActOnInstances(system, user, ServiceRequest::Restart, names, progress);
}

}  // namespace qm
