#include "actions/actions.h"

namespace qm {

ValueRead ReadImagePath(DialogAndMachine& s, const std::string& name, std::string& imagePath) {
    const Scoped<KeyHandle> key(s.system, s.system.OpenServiceKey(name));
    if (!key) return ValueRead::Missing;
    return s.system.QueryImagePath(key.get(), imagePath);
}

bool ReadInstallFolder(DialogAndMachine& s, const std::string& name, std::string& folder) {
    std::string imagePath;
    if (ReadImagePath(s, name, imagePath) != ValueRead::Read) return false;
    folder = InstallFolder(imagePath, s.isLeadByte);
    return true;
}

}  // namespace qm
