// The update's plan: what a run of the script about to be written will
// meet, read from the machine before anything is written. It informs the
// choice to write the script; it never changes the script.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "actions/actions.h"

namespace qm {

// The longest file path XCOPY copies. On a longer one it stops with
// "Insufficient memory", exit code 4 ("initialization error ... not enough
// memory", learn.microsoft.com, Windows commands, xcopy), a few characters
// short of the 259 that MAX_PATH leaves for a path (learn.microsoft.com,
// Maximum Path Length Limitation); about 254 is what servers show.
inline constexpr std::size_t kXcopyPathChars = 254;
// How long the script watches an instance after its start.
inline constexpr std::uint64_t kWatchSeconds = 60;
// The copy rate the least time of a run is counted with: a fast local disk.
inline constexpr std::uint64_t kCopyBytesPerSecond = 200ull * 1024 * 1024;

// A service name and why it gets no block in the script.
using LeftOutLine = std::pair<std::string, std::string>;

// One line of the plan: an instance, or the update folder itself.
struct PlanRow {
    std::string name;
    std::optional<VersionNumber> now;
    std::optional<VersionNumber> after;
    std::optional<std::uint64_t> backupBytes;  // none: no backup, or its folder could not be read
    // The room on its volume when its backup starts: what the volume has
    // free now, less the backups of the instances before it there.
    std::optional<std::uint64_t> freeBytes;
    std::vector<std::string> problems;  // in words
    std::string leftOut;  // a service without a block: why; no problem of the run's
};

struct UpdatePlan {
    std::string updateFolder;
    bool updateRead = false;
    std::size_t updateFiles = 0;  // the files the update copy copies
    std::uint64_t updateBytes = 0;
    std::optional<VersionNumber> updateVersion;  // of its KorvaneSrv.exe
    // Those with a problem first, the update folder's before the instances',
    // each part in the run's order; the services left out last.
    std::vector<PlanRow> rows;
    std::size_t instances = 0;
    std::size_t leftOut = 0;
    std::uint64_t minimumSeconds = 0;  // a minute each plus the copies

    bool HasProblem() const;
};

// The plan of a run over |instances| (as the machine names them, in the
// ANSI code page, in the script's order) from |updateFolder|.
UpdatePlan ReadPlan(MachineContext& s, const std::string& updateFolder, const std::vector<Instance>& instances,
                    std::vector<LeftOutLine> leftOut);

enum class PlanColumn { Name, VersionNow, VersionAfter, BackupSize, FreeSpace, Problem, Count };

const char* PlanColumnTitle(PlanColumn column);
// Every cell of a row, in the columns' order.
std::vector<std::string> PlanRowCells(const PlanRow& row);
// The rows as tab-separated text under a heading line, CR LF line ends.
std::string PlanRowsAsText(const std::vector<PlanRow>& rows);
// The plan window's summary line.
std::string PlanSummary(const UpdatePlan& plan);
// The success message's line: how many instances go from which version to
// which, and the least time the run takes. Empty without instances.
std::string PlanLine(const UpdatePlan& plan);
// |bytes| for a person: "512 bytes", "1.5 KB", "12.0 MB", "3.2 GB".
std::string SizeText(std::uint64_t bytes);

namespace text {

inline constexpr char kColumnVersionNow[] = "Version now";
inline constexpr char kColumnVersionAfter[] = "Version after";
inline constexpr char kColumnBackupSize[] = "Backup size";
inline constexpr char kColumnFreeSpace[] = "Free space";
inline constexpr char kColumnProblem[] = "Problem";

// The problems, as the Problem column words them.
inline constexpr char kPlanNoRoom[] = "no room for its backup (%s needed, %s free)";
inline constexpr char kPlanDowngrade[] = "the update's %s is older than the version it runs";
inline constexpr char kPlanSameVersion[] = "already on the update's version";
inline constexpr char kPlanTooLong[] = "a path longer than XCOPY copies (%s characters): %s";
inline constexpr char kPlanDependents[] = "running services depend on it: %s";
inline constexpr char kPlanMark[] = "a run was cut short here: %s";
inline constexpr char kPlanHidden[] = "%s hidden or system file(s) the copy skips, such as %s";
inline constexpr char kPlanEmptyFolders[] = "%s empty folder(s) the copy skips, such as %s";
inline constexpr char kPlanLeftOut[] = "left out: %s";

// The summary line: the instances with a block and those left out, the
// update's files, size and folder, the least time, and how many lines
// hold a problem.
inline constexpr char kPlanSummary[] =
    "%s instance(s) to update, %s left out; %s file(s) (%s) from %s; the run takes at least %s; "
    "%s line(s) with a problem.";
// The success message's line; %s: the groups, then the least time.
inline constexpr char kPlanLine[] = "\n\n%s; the run takes at least %s.";
inline constexpr char kPlanGroup[] = "%s from %s to %s";
inline constexpr char kPlanGroupStays[] = "%s on %s, unchanged";
inline constexpr char kPlanNoVersion[] = "an unknown version";

}  // namespace text

}  // namespace qm
