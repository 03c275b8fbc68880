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
        case LeftOut::NotText: return text::kLeftOutNotText;
        case LeftOut::Misread: return text::kLeftOutMisread;
        case LeftOut::NotAbsolute: return text::kLeftOutNotAbsolute;
        case LeftOut::CodePage: return text::kLeftOutCodePage;
        default: return text::kLeftOutUnreadable;
    }
}

// The instance as the script names it: its folder expanded as the service
// manager expands it, then both in the console's code page.
LeftOut PrepareInstance(DialogAndMachine& s, const std::string& name, Instance& instance) {
    std::string imagePath, expanded;
    const ValueRead read = ReadImagePath(s, name, imagePath);
    if (read == ValueRead::TooLong) return LeftOut::TooLong;
    if (read == ValueRead::NotText) return LeftOut::NotText;
    if (read != ValueRead::Read || !s.host.ExpandReferences(imagePath, expanded)) return LeftOut::Unreadable;

    const std::string executable = ExecutablePath(expanded);
    const Instance ansi{name, InstallFolder(expanded, s.isLeadByte)};
    // A directory cut short by the folder rule would name another folder.
    if (executable.size() > kMaxPathChars || executable.find_first_of("\\/", ansi.folder.size()) != std::string::npos) {
        return LeftOut::TooLong;
    }
    const LeftOut check = CheckInstance(ansi);
    if (check != LeftOut::None) return check;
    if (!s.host.ToConsoleCodePage(ansi.serviceName, instance.serviceName) ||
        !s.host.ToConsoleCodePage(ansi.folder, instance.folder)) {
        return LeftOut::CodePage;
    }
    return LeftOut::None;
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
    if (!s.host.WriteFileAtomically(scriptPath, UpdateScript(source, instances))) {
        s.user.Message(text::Fill(text::kBatchWriteError, scriptPath), text::kErrorCaption, Icon::Stop);
        return;
    }
    s.user.Message(CreatedMessage(scriptPath, skipped), nullptr, Icon::None);
}

}  // namespace qm
