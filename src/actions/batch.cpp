#include "actions/messages.h"
#include "actions/script.h"
#include "actions/actions.h"
#include "catalogue/naming.h"

namespace qm {

namespace {

// How many left-out services the success message names one by one.
constexpr std::size_t kMaxListed = 15;

struct Skipped {
    std::string serviceName;
    LeftOut why;
};

const char* Reason(LeftOut why) {
    switch (why) {
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
// service manager expands it, in the ANSI code page.
LeftOut PrepareInstance(DialogAndMachine& s, const std::string& name, Instance& instance) {
    std::string executable, expanded;
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
bool ReadInstances(DialogAndMachine& s, std::vector<Instance>& instances, std::vector<Skipped>& skipped) {
    const Scoped<ManagerHandle> manager(s.system, s.system.OpenManager());
    if (!manager) return false;
    std::vector<std::string> names;
    const bool enumerated = s.lister.List(s.system, manager.get(), names);
    for (const std::string& name : names) {
        if (!IsFamilyService(name)) continue;
        Instance instance;
        const LeftOut why = PrepareInstance(s, name, instance);
        if (why == LeftOut::None) {
            instances.push_back(instance);
        } else {
            skipped.push_back({name, why});
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

// Gives each instance a backup folder beside its own that touches neither
// the update folder nor any instance's folder or backup, then puts names
// and folders in the console's code page; an instance that cannot be
// written there is left out.
void ForTheConsole(DialogAndMachine& s, std::vector<Instance>& instances, const std::string& updateKey,
                   std::vector<Skipped>& skipped) {
    std::vector<std::string> taken{updateKey};
    for (const Instance& instance : instances) taken.push_back(FolderKey(instance.folder, s.isLeadByte));
    std::vector<Instance> ready;
    for (Instance& instance : instances) {
        instance.backup = BackupFolder(instance.folder, taken, s.isLeadByte, instance.noBackup);
        if (!instance.backup.empty()) taken.push_back(FolderKey(instance.backup, s.isLeadByte));
        Instance console = instance;
        if (!s.host.ToConsoleCodePage(instance.serviceName, console.serviceName) ||
            !s.host.ToConsoleCodePage(instance.folder, console.folder) ||
            !s.host.ToConsoleCodePage(instance.backup, console.backup)) {
            skipped.push_back({instance.serviceName, LeftOut::CodePage});
            continue;
        }
        ready.push_back(console);
    }
    instances.swap(ready);
}

// The success message, and a line for each service left out.
std::string CreatedMessage(const std::string& scriptPath, const std::vector<Skipped>& skipped) {
    std::string message = text::Fill(text::kBatchCreated, scriptPath);
    if (skipped.empty()) return message;
    message += text::kBatchLeftOut;
    for (std::size_t i = 0; i < skipped.size() && i < kMaxListed; ++i) {
        message += "\n" + skipped[i].serviceName + ": " + Reason(skipped[i].why);
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
    ForTheConsole(s, instances, updateKey, skipped);
    if (!s.host.WriteFileAtomically(scriptPath, UpdateScript(source, instances))) {
        s.user.Message(text::Fill(text::kBatchWriteError, scriptPath), text::kErrorCaption, Icon::Stop);
        return;
    }
    s.user.Message(CreatedMessage(scriptPath, skipped), nullptr, Icon::None);
}

std::string ScriptFolder(DialogAndMachine& s, const std::string& name) {
    Instance instance;
    // A folder cut short would name another one.
    return PrepareInstance(s, name, instance) == LeftOut::TooLong ? std::string() : instance.folder;
}

}  // namespace qm
