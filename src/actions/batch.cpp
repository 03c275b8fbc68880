#include "actions/messages.h"
#include "actions/script.h"
#include "actions/session.h"
#include "catalogue/naming.h"

namespace qm {

namespace {

// Replaces the one %s of |format| by |value|.
std::string Fill(const char* format, const std::string& value) {
    std::string text(format);
    const std::size_t at = text.find("%s");
    if (at != std::string::npos) text.replace(at, 2, value);
    return text;
}

// Every family service with a readable folder, in the manager's order.
bool ReadInstances(Session& s, std::vector<Instance>& instances) {
    const Handle manager = s.system.OpenManager();
    if (!manager) return false;
    std::vector<std::string> names;
    const bool enumerated = EnumerateServices(s.system, manager, names);
    for (const std::string& name : names) {
        if (!IsFamilyService(name)) continue;
        Instance instance{name, {}};
        if (ReadInstallFolder(s, name, instance.folder)) instances.push_back(instance);
    }
    s.system.CloseServiceHandle(manager);
    return enumerated;
}

}  // namespace

void CreateBatch(Session& s) {
    std::string updateFolder;
    if (!s.user.BrowseForFolder(text::kUpdateFolderTitle, updateFolder) || updateFolder.empty()) return;

    std::string modulePath;
    if (!s.user.ModulePath(modulePath)) {
        s.user.Message(text::kBatchPathError, text::kErrorCaption, Icon::Stop);
        return;
    }
    const std::string scriptPath = ScriptPath(modulePath, s.isLeadByte);

    // Read everything before touching the script, so that a failure leaves
    // the previous one in place.
    std::vector<Instance> instances;
    if (!ReadInstances(s, instances)) {
        s.user.Message(text::kBatchServicesError, text::kErrorCaption, Icon::Stop);
        return;
    }
    if (!s.system.WriteFileAtomically(scriptPath, UpdateScript(updateFolder, instances))) {
        s.user.Message(Fill(text::kBatchWriteError, scriptPath), text::kErrorCaption, Icon::Stop);
        return;
    }
    s.user.Message(Fill(text::kBatchCreated, scriptPath), nullptr, Icon::None);
}

}  // namespace qm
