#include "actions/actions.h"

namespace qm {

ValueRead ReadImagePath(MachineContext& s, const std::string& name, std::string& imagePath) {
    const Scoped<KeyHandle> key(s.system, s.system.OpenServiceKey(name));
    if (!key) return ValueRead::Missing;
    return s.system.QueryImagePath(key.get(), imagePath);
}

LeftOut ReadExecutablePath(MachineContext& s, const std::string& name, std::string& executable) {
    std::string imagePath;
    switch (ReadImagePath(s, name, imagePath)) {
        case ValueRead::Read: break;
        case ValueRead::TooLong: return LeftOut::TooLong;
        case ValueRead::NotText: return LeftOut::NotText;
        default: return LeftOut::Unreadable;
    }
    // Each reading is tried as the service manager would start it.
    const auto exists = [&s](const std::string& candidate) {
        std::string expanded;
        return s.host.ExpandReferences(candidate, expanded) && s.host.FileExists(expanded);
    };
    switch (ExecutablePath(imagePath, exists, executable)) {
        case Readings::One: return LeftOut::None;
        case Readings::Several: return LeftOut::Ambiguous;
        default: return LeftOut::NoFile;
    }
}

bool ReadInstallFolder(MachineContext& s, const std::string& name, std::string& folder) {
    std::string executable;
    const LeftOut why = ReadExecutablePath(s, name, executable);
    if (why == LeftOut::NoFile) {
        // No folder the service could run from: the script leaves it out,
        // and no other service's folder stays on show.
        folder.clear();
        return true;
    }
    // Several readings: the folder of the one the service manager runs.
    if ((why != LeftOut::None && why != LeftOut::Ambiguous) || executable.size() > kMaxPathChars) return false;
    folder = DriveAndDirectory(executable, s.isLeadByte);
    return true;
}

}  // namespace qm
