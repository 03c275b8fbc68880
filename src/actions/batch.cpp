#include "actions/messages.h"
#include "actions/script.h"
#include "actions/actions.h"
#include "actions/plan.h"
#include "catalogue/naming.h"

namespace qm {

namespace {

// How many left-out services the success message names one by one.
constexpr std::size_t kMaxListed = 15;

struct Skipped {
    std::string serviceName;
    LeftOut why;
    std::string executable;  // the file the service manager runs, when that is the reason
};

std::string Reason(const Skipped& skipped) {
    switch (skipped.why) {
        case LeftOut::Ambiguous: return text::Fill(text::kLeftOutAmbiguous, skipped.executable);
        case LeftOut::StateLike: return text::kLeftOutStateLike;
        case LeftOut::TooLong: return text::kLeftOutTooLong;
        case LeftOut::NoFile: return text::kLeftOutNoFile;
        case LeftOut::NotText: return text::kLeftOutNotText;
        case LeftOut::Misread: return text::kLeftOutMisread;
        case LeftOut::NotAbsolute: return text::kLeftOutNotAbsolute;
        case LeftOut::CodePage: return text::kLeftOutCodePage;
        default: return text::kLeftOutUnreadable;
    }
}

// An instance as the script will name it: its folder expanded as the
// service manager expands it, in the ANSI code page. |executable| gets the
// executable path as registered, |expanded| as the manager starts it.
LeftOut PrepareInstance(MachineContext& s, const std::string& name, Instance& instance, std::string& executable,
                        std::string& expanded) {
    const LeftOut read = ReadExecutablePath(s, name, executable);
    if (read != LeftOut::None) return read;
    if (!s.host.ExpandReferences(executable, expanded)) return LeftOut::Unreadable;
    instance.serviceName = name;
    instance.folder = DriveAndDirectory(expanded, s.isLeadByte);
    // A directory cut short by the folder rule would name another folder.
    if (expanded.size() > kMaxPathChars || expanded.find_first_of("\\/", instance.folder.size()) != std::string::npos) {
        return LeftOut::TooLong;
    }
    return CheckInstance(instance);
}

// Every family service in the manager's order, each either ready to write
// or with the reason it cannot be.
bool ReadInstances(MachineContext& s, std::vector<Instance>& instances, std::vector<Skipped>& skipped) {
    const Scoped<ManagerHandle> manager(s.system, s.system.OpenManager());
    if (!manager) return false;
    std::vector<std::string> names;
    const bool enumerated = s.lister.List(s.system, manager.get(), names);
    for (const std::string& name : names) {
        if (!IsFamilyService(name)) continue;
        Instance instance;
        std::string executable, expanded;
        const LeftOut why = PrepareInstance(s, name, instance, executable, expanded);
        if (why == LeftOut::None) {
            RecoveryActions recovery;
            if (s.system.QueryRecoveryActions(manager.get(), name, recovery)) instance.recovery = recovery;
            instances.push_back(instance);
        } else {
            skipped.push_back({name, why, executable});
        }
    }
    return enumerated;
}

// The first instance whose folder is, contains or lies inside the update
// folder: its block would delete or overwrite the update files, or copy
// one instance's own files over all others.
const Instance* OverlapsUpdateFolder(const std::vector<Instance>& instances, const std::string& updateKey,
                                     LeadBytePredicate isLeadByte) {
    for (const Instance& instance : instances) {
        if (FoldersOverlap(FolderKey(instance.folder, isLeadByte), updateKey)) return &instance;
    }
    return nullptr;
}

// Two instances whose folders are the same or lie one inside the other:
// the backup of one would copy the other, and its rollback roll the other
// back. Null when every instance has a folder of its own.
std::pair<const Instance*, const Instance*> SharedFolders(const std::vector<Instance>& instances,
                                                         LeadBytePredicate isLeadByte) {
    std::vector<std::string> keys;
    for (const Instance& instance : instances) keys.push_back(FolderKey(instance.folder, isLeadByte));
    for (std::size_t i = 0; i < instances.size(); ++i)
        for (std::size_t j = i + 1; j < instances.size(); ++j)
            if (FoldersOverlap(keys[i], keys[j])) return {&instances[i], &instances[j]};
    return {nullptr, nullptr};
}

// The first folder the update changes in which the tool's own folder
// lies: the script and its log there would be overwritten, moved aside
// or copied into every instance while the script runs. Empty when none.
std::string ToolFolderConflict(const std::vector<Instance>& instances, const std::string& toolFolder,
                               const std::string& updateFolder, LeadBytePredicate isLeadByte) {
    const std::string tool = FolderKey(toolFolder, isLeadByte);
    const auto inside = [&](const std::string& folder) {
        const std::string key = FolderKey(folder, isLeadByte);
        return !folder.empty() && tool.compare(0, key.size(), key) == 0;
    };
    if (inside(updateFolder)) {
        return text::Fill(text::kBatchToolFolderError,
                          {toolFolder, text::kToolFolderUpdate, text::kToolFolderAllInstances, updateFolder});
    }
    for (const Instance& instance : instances) {
        const std::pair<const char*, const std::string*> folders[] = {{text::kToolFolderInstance, &instance.folder},
                                                                      {text::kToolFolderBackup, &instance.beside.backup},
                                                                      {text::kToolFolderFailed, &instance.beside.failed}};
        for (const auto& [what, folder] : folders) {
            if (inside(*folder)) {
                return text::Fill(text::kBatchToolFolderError, {toolFolder, what, instance.serviceName, *folder});
            }
        }
    }
    return {};
}

// Gives each instance a backup folder beside its own that touches neither
// the update folder nor any instance's folder or backup, then puts names
// and folders in the console's code page; an instance that cannot be
// written there is left out. |machine| gets those kept as the machine
// names them.
void ForTheConsole(MachineContext& s, std::vector<Instance>& instances, const std::string& updateKey,
                   std::vector<Skipped>& skipped, std::vector<Instance>& machine) {
    std::vector<std::string> taken{updateKey};
    for (const Instance& instance : instances) taken.push_back(FolderKey(instance.folder, s.isLeadByte));
    std::vector<Instance> ready;
    for (Instance& instance : instances) {
        instance.beside = BesideFolder(instance.folder, taken, s.isLeadByte, instance.noBackup);
        if (!instance.beside.backup.empty()) {
            taken.push_back(FolderKey(instance.beside.backup, s.isLeadByte));
            taken.push_back(FolderKey(instance.beside.failed, s.isLeadByte));
            // A run cut short cleared the recovery actions and kept them in
            // the mark: the new script puts those back.
            std::string mark;
            if ((!instance.recovery || instance.recovery->actions.empty()) &&
                s.host.ReadTextFile(instance.beside.mark, mark)) {
                if (const auto kept = RecoveryFromMark(mark)) instance.recovery = kept;
            }
        }
        Instance console = instance;
        if (!s.host.ToConsoleCodePage(instance.serviceName, console.serviceName) ||
            !s.host.ToConsoleCodePage(instance.folder, console.folder) ||
            !s.host.ToConsoleCodePage(instance.beside.backup, console.beside.backup) ||
            !s.host.ToConsoleCodePage(instance.beside.failed, console.beside.failed) ||
            !s.host.ToConsoleCodePage(instance.beside.mark, console.beside.mark)) {
            skipped.push_back({instance.serviceName, LeftOut::CodePage, {}});
            continue;
        }
        ready.push_back(console);
        machine.push_back(instance);
    }
    instances.swap(ready);
}

// The success message, and a line for each service left out.
std::string CreatedMessage(const std::string& scriptPath, const std::vector<Skipped>& skipped) {
    std::string message = text::Fill(text::kBatchCreated, scriptPath);
    if (skipped.empty()) return message;
    message += text::kBatchLeftOut;
    for (std::size_t i = 0; i < skipped.size() && i < kMaxListed; ++i) {
        message += "\n" + skipped[i].serviceName + ": " + Reason(skipped[i]);
    }
    if (skipped.size() > kMaxListed) message += text::Fill(text::kBatchMoreLeftOut, std::to_string(skipped.size() - kMaxListed));
    return message;
}

}  // namespace

void CreateBatch(DialogAndMachine& s) {
    std::string updateFolder;
    if (!s.user.BrowseForFolder(text::kUpdateFolderTitle, updateFolder) || updateFolder.empty()) return;

    std::string modulePath;
    if (!s.user.ModulePath(modulePath)) {
        s.user.Message(text::kBatchPathError, text::kErrorCaption, Icon::Stop);
        return;
    }
    const std::string scriptPath = ScriptPath(modulePath, s.isLeadByte);
    // cmd reads a script line by line from where it left off: a new one
    // written under a run would send it into other instances' lines.
    const std::string lockPath = DriveAndDirectory(scriptPath, s.isLeadByte) + kLockName;
    if (s.host.FileInUse(lockPath)) {
        s.user.Message(text::Fill(text::kBatchRunning, lockPath), text::kErrorCaption, Icon::Stop);
        return;
    }

    // The picker's answer is a display name when the folder has no path.
    std::string source;
    if (!IsAbsoluteFolder(updateFolder + "\\") || !s.host.ToConsoleCodePage(updateFolder, source)) {
        s.user.Message(text::Fill(text::kBatchUpdateFolderError, updateFolder), text::kErrorCaption, Icon::Stop);
        return;
    }

    // Read everything before touching the script, so that a failure leaves
    // the previous one in place.
    std::vector<Instance> instances;
    std::vector<Skipped> skipped;
    if (!ReadInstances(s, instances, skipped)) {
        s.user.Message(text::kBatchServicesError, text::kErrorCaption, Icon::Stop);
        return;
    }
    const std::string updateKey = FolderKey(updateFolder, s.isLeadByte);
    if (const Instance* overlap = OverlapsUpdateFolder(instances, updateKey, s.isLeadByte)) {
        s.user.Message(text::Fill(text::kBatchOverlapError, {updateFolder, overlap->serviceName, overlap->folder}),
                       text::kErrorCaption, Icon::Stop);
        return;
    }
    if (const auto [one, other] = SharedFolders(instances, s.isLeadByte); one) {
        s.user.Message(text::Fill(text::kBatchNestedError,
                                  {one->serviceName, one->folder, other->serviceName, other->folder}),
                       text::kErrorCaption, Icon::Stop);
        return;
    }
    std::vector<Instance> machineInstances;
    ForTheConsole(s, instances, updateKey, skipped, machineInstances);
    const std::string conflict =
        ToolFolderConflict(instances, DriveAndDirectory(scriptPath, s.isLeadByte), updateFolder, s.isLeadByte);
    if (!conflict.empty()) {
        s.user.Message(conflict, text::kErrorCaption, Icon::Stop);
        return;
    }
    // The plan: shown when it holds a problem, for the administrator to
    // write the script or not. It never changes the script.
    std::vector<LeftOutLine> leftOut;
    for (const Skipped& one : skipped) leftOut.push_back({one.serviceName, Reason(one)});
    const UpdatePlan plan = ReadPlan(s, updateFolder, machineInstances, leftOut);
    if (plan.HasProblem() && !s.user.ConfirmPlan(plan)) return;
    const std::string script = UpdateScript(source, instances);
    if (script.empty() || !s.host.WriteFileAtomically(scriptPath, script)) {
        s.user.Message(text::Fill(text::kBatchWriteError, scriptPath), text::kErrorCaption, Icon::Stop);
        return;
    }
    s.user.Message(CreatedMessage(scriptPath, skipped) + PlanLine(plan), nullptr, Icon::None);
}

std::string ScriptFolder(MachineContext& s, const std::string& name, std::string& executable) {
    Instance instance;
    std::string registered;
    executable.clear();
    // A folder cut short would name another one.
    return PrepareInstance(s, name, instance, registered, executable) == LeftOut::TooLong ? std::string()
                                                                                         : instance.folder;
}

}  // namespace qm
