#include "actions/plan.h"

#include <algorithm>
#include <map>
#include <set>

#include "actions/messages.h"
#include "actions/overview.h"
#include "catalogue/naming.h"

namespace qm {

namespace {

// The names a problem quotes; the rest of a long list is left out.
constexpr std::size_t kNamesQuoted = 3;
// What the update holds to tell its version by.
constexpr char kServiceExecutable[] = "KorvaneSrv.exe";

std::string Join(const char* folder, const std::string& path) {
    std::string joined = folder;
    if (!joined.empty() && joined.back() != '\\') joined += '\\';
    return joined + path;
}

// The folders |path| lies in, below the folder walked: "a\b\c" gives
// "a\" and "a\b\". The second byte of a double-byte character is no
// separator.
std::vector<std::string> Parents(const std::string& path, LeadBytePredicate isLeadByte) {
    std::vector<std::string> parents;
    for (std::size_t i = 0; i < path.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(path[i]);
        if (isLeadByte && isLeadByte(c)) {
            ++i;
        } else if (c == '\\') {
            parents.push_back(path.substr(0, i + 1));
        }
    }
    return parents;
}

// A folder as the update copy and the backup meet it.
struct Walk {
    bool read = false;
    std::uint64_t bytes = 0;        // of every file
    std::uint64_t copiedBytes = 0;  // of the files XCOPY /S copies
    std::size_t files = 0;
    std::string longest;            // the longest file path below it
    std::set<std::string> copied;   // FoldCase keys of the files XCOPY /S copies
    std::vector<std::string> hidden;  // files XCOPY /S skips as hidden or system
    std::vector<std::string> empty;   // folders XCOPY /S skips as empty
};

// XCOPY /S copies "directories and subdirectories, unless they are empty",
// and "by default, xcopy does not copy hidden or system files" (/H copies
// them); a folder that is hidden or system is passed over with what it
// holds (learn.microsoft.com, Windows commands, xcopy).
Walk WalkFolder(MachineContext& s, const std::string& folder) {
    Walk walk;
    std::vector<FolderEntry> entries;
    if (!s.host.ReadFolder(folder, entries)) return walk;
    walk.read = true;
    std::set<std::string> hiddenFolders, filled;
    std::vector<std::string> folders;
    for (const FolderEntry& entry : entries) {
        const std::string key = FoldCase(entry.path);
        bool skipped = entry.hidden;
        const std::vector<std::string> parents = Parents(entry.path, s.isLeadByte);
        for (const std::string& parent : parents) skipped = skipped || hiddenFolders.count(FoldCase(parent)) != 0;
        if (entry.folder) {
            if (skipped) {
                hiddenFolders.insert(key + "\\");
            } else {
                folders.push_back(entry.path);
            }
            continue;
        }
        walk.bytes += entry.bytes;
        if (entry.path.size() > walk.longest.size()) walk.longest = entry.path;
        if (skipped) {
            walk.hidden.push_back(entry.path);
            continue;
        }
        ++walk.files;
        walk.copiedBytes += entry.bytes;
        walk.copied.insert(key);
        for (const std::string& parent : parents) filled.insert(FoldCase(parent));
    }
    for (const std::string& path : folders) {
        if (filled.count(FoldCase(path) + "\\") == 0) walk.empty.push_back(path);
    }
    return walk;
}

// The first few of |names|, for a problem to quote.
std::string Some(const std::vector<std::string>& names) {
    std::string quoted;
    for (std::size_t i = 0; i < names.size() && i < kNamesQuoted; ++i) quoted += (i ? ", " : "") + names[i];
    return quoted;
}

// The volume a folder lies on, as a key: "c:" or "\\server\share\".
std::string VolumeKey(const std::string& folder) {
    const std::string key = FoldCase(folder);
    if (key.size() >= 2 && key[1] == ':') return key.substr(0, 2);
    std::size_t slashes = 0, i = 0;
    for (; i < key.size() && slashes < 4; ++i) slashes += key[i] == '\\';
    return key.substr(0, i);
}

// The version of each update file that replaces an executable, read once.
struct UpdateVersions {
    MachineContext& s;
    const std::string& folder;
    std::map<std::string, std::optional<VersionNumber>> read;

    std::optional<VersionNumber> Of(const std::string& path) {
        const auto [at, fresh] = read.try_emplace(FoldCase(path));
        if (fresh) {
            VersionNumber version{};
            if (s.system.ReadFileVersion(Join(folder.c_str(), path), version)) at->second = version;
        }
        return at->second;
    }
};

// The volumes' free space, read once each, less the backups counted so far.
struct Volumes {
    MachineContext& s;
    std::map<std::string, std::optional<std::uint64_t>> left;

    std::optional<std::uint64_t>& Of(const std::string& folder) {
        const auto [at, fresh] = left.try_emplace(VolumeKey(folder));
        std::uint64_t bytes = 0;
        if (fresh && s.host.FreeSpace(folder, bytes)) at->second = bytes;
        return at->second;
    }
};

void ReadDependents(MachineContext& s, ManagerHandle manager, PlanRow& row) {
    std::uint32_t error = 0;
    const Scoped<ServiceHandle> service(s.system, s.system.OpenServiceFor(manager, row.name, ServiceAccess::Query, error));
    if (!service) return;
    // SC STOP refuses a service that running services depend on (1051), and the run halts there.
    std::vector<std::string> dependents;
    if (s.system.RunningDependents(service.get(), dependents) && !dependents.empty()) {
        row.problems.push_back(text::Fill(text::kPlanDependents, Some(dependents)));
    }
}

PlanRow ReadInstance(MachineContext& s, ManagerHandle manager, const Instance& instance, const Walk& update,
                     UpdateVersions& versions, Volumes& volumes) {
    PlanRow row;
    row.name = instance.serviceName;
    ReadDependents(s, manager, row);

    // Its version now, and after: the update file that lands on its executable.
    std::string executable;
    ScriptFolder(s, instance.serviceName, executable);
    VersionNumber now{};
    if (!executable.empty() && s.system.ReadFileVersion(executable, now)) row.now = now;
    row.after = row.now;
    const std::string exeKey = FoldCase(executable), folderKey = FoldCase(instance.folder);
    const std::string landing = exeKey.compare(0, folderKey.size(), folderKey) == 0 && !folderKey.empty()
                                    ? executable.substr(instance.folder.size())
                                    : std::string();
    if (!landing.empty() && update.copied.count(FoldCase(landing))) {
        row.after = versions.Of(landing);
        if (row.now && row.after && *row.after < *row.now) {
            row.problems.push_back(text::Fill(text::kPlanDowngrade, VersionText(row.after)));
        } else if (row.now && row.after == row.now) {
            row.problems.push_back(text::kPlanSameVersion);
        }
    }

    const Walk own = WalkFolder(s, instance.folder);
    if (own.read && !instance.beside.backup.empty()) {
        row.backupBytes = own.bytes;
        std::optional<std::uint64_t>& left = volumes.Of(instance.folder);
        row.freeBytes = left;
        if (left && *left < own.bytes) {
            row.problems.push_back(text::Fill(text::kPlanNoRoom, {SizeText(own.bytes), SizeText(*left)}));
        }
        if (left) *left -= std::min(*left, own.bytes);
    }
    // Read-only files the update overwrites are no problem: the update
    // copies with /R, which "copies read-only files" (learn.microsoft.com,
    // Windows commands, xcopy), and the backup and restore with /R /K.
    // The backup copies every file into the backup, the restore back, and
    // the update copies its files into the folder: each path as long as
    // the folder's own.
    const std::string& longest = own.longest.size() > update.longest.size() ? own.longest : update.longest;
    for (const std::string* base : {&instance.folder, &instance.beside.backup}) {
        const std::string path = Join(base->c_str(), longest);
        if (!base->empty() && !longest.empty() && path.size() > kXcopyPathChars) {
            row.problems.push_back(text::Fill(text::kPlanTooLong, {std::to_string(path.size()), path}));
            break;
        }
    }
    if (!instance.beside.mark.empty() && s.host.FileExists(instance.beside.mark)) {
        row.problems.push_back(text::Fill(text::kPlanMark, instance.beside.mark));
    }
    return row;
}

std::string Count(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string Duration(std::uint64_t seconds) {
    const std::uint64_t minutes = (seconds + 59) / 60;
    if (minutes < 60) return std::to_string(minutes) + " min";
    return std::to_string(minutes / 60) + " h " + std::to_string(minutes % 60) + " min";
}

std::string Problems(const PlanRow& row) {
    std::string words;
    for (const std::string& problem : row.problems) words += (words.empty() ? "" : "; ") + problem;
    return words;
}

}  // namespace

bool UpdatePlan::HasProblem() const {
    return std::any_of(rows.begin(), rows.end(), [](const PlanRow& row) { return !row.problems.empty(); });
}

UpdatePlan ReadPlan(MachineContext& s, const std::string& updateFolder, const std::vector<Instance>& instances,
                    std::vector<LeftOutLine> leftOut) {
    UpdatePlan plan;
    plan.updateFolder = updateFolder;
    plan.instances = instances.size();
    const Walk update = WalkFolder(s, updateFolder);
    plan.updateRead = update.read;
    plan.updateFiles = update.files;
    plan.updateBytes = update.copiedBytes;
    UpdateVersions versions{s, updateFolder, {}};
    if (update.copied.count(FoldCase(kServiceExecutable))) plan.updateVersion = versions.Of(kServiceExecutable);

    PlanRow folderRow;
    folderRow.name = updateFolder;
    folderRow.after = plan.updateVersion;
    if (!update.hidden.empty()) {
        folderRow.problems.push_back(
            text::Fill(text::kPlanHidden, {std::to_string(update.hidden.size()), Some(update.hidden)}));
    }
    if (!update.empty.empty()) {
        folderRow.problems.push_back(
            text::Fill(text::kPlanEmptyFolders, {std::to_string(update.empty.size()), Some(update.empty)}));
    }
    if (!folderRow.problems.empty()) plan.rows.push_back(folderRow);

    const Scoped<ManagerHandle> manager(s.system, s.system.OpenManager());
    Volumes volumes{s, {}};
    std::vector<PlanRow> rows;
    std::uint64_t copyBytes = plan.updateBytes * instances.size();
    for (const Instance& instance : instances) {
        rows.push_back(ReadInstance(s, manager.get(), instance, update, versions, volumes));
        copyBytes += rows.back().backupBytes.value_or(0);
    }
    plan.minimumSeconds = kWatchSeconds * instances.size() + copyBytes / kCopyBytesPerSecond;
    std::stable_partition(rows.begin(), rows.end(), [](const PlanRow& row) { return !row.problems.empty(); });
    plan.rows.insert(plan.rows.end(), rows.begin(), rows.end());
    // Left out as the success message says: no problem of the run's.
    for (const LeftOutLine& line : leftOut) {
        PlanRow row;
        row.name = line.first;
        row.leftOut = line.second;
        plan.rows.push_back(row);
    }
    plan.leftOut = leftOut.size();
    return plan;
}

const char* PlanColumnTitle(PlanColumn column) {
    switch (column) {
        case PlanColumn::Name: return text::kColumnName;
        case PlanColumn::VersionNow: return text::kColumnVersionNow;
        case PlanColumn::VersionAfter: return text::kColumnVersionAfter;
        case PlanColumn::BackupSize: return text::kColumnBackupSize;
        case PlanColumn::FreeSpace: return text::kColumnFreeSpace;
        default: return text::kColumnProblem;
    }
}

std::vector<std::string> PlanRowCells(const PlanRow& row) {
    const bool instance = row.leftOut.empty();
    return {row.name,
            instance && row.now ? VersionText(row.now) : std::string(),
            row.after ? VersionText(row.after) : std::string(),
            row.backupBytes ? SizeText(*row.backupBytes) : std::string(),
            row.freeBytes ? SizeText(*row.freeBytes) : std::string(),
            instance ? Problems(row) : text::Fill(text::kPlanLeftOut, row.leftOut)};
}

std::string PlanRowsAsText(const std::vector<PlanRow>& rows) {
    std::vector<std::string> titles;
    for (int c = 0; c < static_cast<int>(PlanColumn::Count); ++c) {
        titles.push_back(PlanColumnTitle(static_cast<PlanColumn>(c)));
    }
    std::vector<std::vector<std::string>> cells;
    for (const PlanRow& row : rows) cells.push_back(PlanRowCells(row));
    return TableAsText(titles, cells);
}

std::string PlanSummary(const UpdatePlan& plan) {
    const auto problems = std::count_if(plan.rows.begin(), plan.rows.end(),
                                        [](const PlanRow& row) { return !row.problems.empty(); });
    return text::Fill(text::kPlanSummary,
                      {std::to_string(plan.instances), std::to_string(plan.leftOut), std::to_string(plan.updateFiles),
                       SizeText(plan.updateBytes),
                       plan.updateFolder, Duration(plan.minimumSeconds), std::to_string(problems)});
}

std::string PlanLine(const UpdatePlan& plan) {
    // One group per pair of versions, in the order the run meets them.
    std::vector<std::pair<std::pair<std::string, std::string>, std::size_t>> groups;
    for (const PlanRow& row : plan.rows) {
        if (!row.leftOut.empty() || row.name == plan.updateFolder) continue;
        const auto words = [](const std::optional<VersionNumber>& v) { return v ? VersionText(v) : text::kPlanNoVersion; };
        const std::pair<std::string, std::string> versions{words(row.now), words(row.after)};
        const auto found = std::find_if(groups.begin(), groups.end(), [&](const auto& g) { return g.first == versions; });
        if (found == groups.end()) {
            groups.push_back({versions, 1});
        } else {
            ++found->second;
        }
    }
    if (groups.empty()) return {};
    std::string words;
    for (const auto& [versions, count] : groups) {
        const std::string instances = Count(count, "instance", "instances");
        words += (words.empty() ? "" : ", ") +
                 (versions.first == versions.second
                      ? text::Fill(text::kPlanGroupStays, {instances, versions.first})
                      : text::Fill(text::kPlanGroup, {instances, versions.first, versions.second}));
    }
    return text::Fill(text::kPlanLine, {words, Duration(plan.minimumSeconds)});
}

std::string SizeText(std::uint64_t bytes) {
    if (bytes < 1024) return std::to_string(bytes) + " bytes";
    const char* const units[] = {"KB", "MB", "GB", "TB"};
    std::uint64_t unit = 1024;
    std::size_t i = 0;
    while (i + 1 < std::size(units) && bytes >= unit * 1024) {
        unit *= 1024;
        ++i;
    }
    const std::uint64_t tenths = (bytes * 10 + unit / 2) / unit;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " " + units[i];
}

}  // namespace qm
