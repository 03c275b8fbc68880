// The overview of every instance: what it shows of each. Its rolling start,
// stop and restart are in rolling.h.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "actions/actions.h"
#include "actions/rolling.h"

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

// A file version as a.b.c.d, or a dash for none.
std::string VersionText(const std::optional<VersionNumber>& version);
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
bool ReadOverviewStates(MachineContext& s, std::vector<OverviewRow>& rows);

// Each row's account, the version of its executable and its folder as the
// update script names it. An instance whose configuration or file cannot
// be read keeps its row, with what could be read.
void ReadOverviewDetails(MachineContext& s, std::vector<OverviewRow>& rows);

// Both.
bool ReadOverview(MachineContext& s, std::vector<OverviewRow>& rows);

// Every row's state and process id read again with the one enumeration,
// the rest kept; a row whose instance is no longer listed shows neither.
// False, the rows unchanged, when the services cannot be listed.
bool ReadStatesAgain(System& system, std::vector<OverviewRow>& rows);

// Sorts by |column|: process ids and versions as numbers, the rest as
// text without regard to letter case; equal rows stay in name order.
void SortRows(std::vector<OverviewRow>& rows, OverviewColumn column, bool descending);

// The rows as tab-separated text under a heading line, CR LF line ends.
std::string RowsAsText(const std::vector<OverviewRow>& rows);

// Rows under a heading line, tab-separated with CR LF line ends, as a
// spreadsheet or a ticket takes them from the clipboard.
std::string TableAsText(const std::vector<std::string>& titles, const std::vector<std::vector<std::string>>& rows);

}  // namespace qm
