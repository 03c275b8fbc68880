#include "support/registry.h"

#include <cstring>

namespace qm::test {

const std::string kServicesKey = "SYSTEM\\CurrentControlSet\\Services\\";
const std::string kEventLogKey = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";

std::string RegValue::text() const {
    if (!raw.empty() && raw.back() == '\0') return raw.substr(0, raw.size() - 1);
    return raw;
}

DWORD RegValue::number() const {
    DWORD n = 0xFFFFFFFF;
    if (found && type == REG_DWORD && raw.size() == sizeof n) std::memcpy(&n, raw.data(), sizeof n);
    return n;
}

RegValue ReadValue(const std::string& key, const char* name) {
    RegValue value;
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS) return value;
    DWORD size = 0;
    if (RegQueryValueExA(handle, name, nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS) {
        value.raw.resize(size);
        value.found = RegQueryValueExA(handle, name, nullptr, &value.type, reinterpret_cast<BYTE*>(&value.raw[0]),
                                       &size) == ERROR_SUCCESS;
        value.raw.resize(size);
    }
    RegCloseKey(handle);
    return value;
}

bool KeyExists(const std::string& key) {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS) return false;
    RegCloseKey(handle);
    return true;
}

}  // namespace qm::test
