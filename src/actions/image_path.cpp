#include "actions/actions.h"

namespace qm {

ValueRead ReadImagePath(DialogAndMachine& s, const std::string& name, std::string& imagePath) {
    const Handle key = s.system.OpenServiceKey(name);
    if (!key) return ValueRead::Missing;
    const ValueRead read = s.system.QueryImagePath(key, imagePath);
    s.system.CloseKey(key);
    return read;
}

bool ReadInstallFolder(DialogAndMachine& s, const std::string& name, std::string& folder) {
    std::string imagePath;
    if (ReadImagePath(s, name, imagePath) != ValueRead::Read) return false;
    folder = InstallFolder(imagePath, s.isLeadByte);
    return true;
}

}  // namespace qm
