// Reading HKEY_LOCAL_MACHINE directly, for the Windows tests that check what
// the tool or its adapter wrote.
#pragma once

#include <windows.h>

#include <string>

namespace qm::test {

extern const std::string kServicesKey;  // ends in a backslash
extern const std::string kEventLogKey;  // ends in a backslash

struct RegValue {
    bool found = false;
    DWORD type = REG_NONE;
    std::string raw;  // the bytes as stored, a string's terminator included

    // A string value without its terminator.
    std::string text() const;
    // A 4-byte REG_DWORD, or 0xFFFFFFFF when the value is not one.
    DWORD number() const;
};

RegValue ReadValue(const std::string& key, const char* name);
bool KeyExists(const std::string& key);

}  // namespace qm::test
