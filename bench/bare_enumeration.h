// The baseline of every measurement that lists services: the tool's
// EnumServicesStatusA calls with the same buffer growth (see
// catalogue/enumerate.cpp), and nothing else done with the entries.
#pragma once

#include <windows.h>

#include <vector>

#include "catalogue/system.h"

// Calls |visit| with each round's valid entries; returns the number of
// entries, or -1 when the enumeration fails.
template <typename Visit>
long BareEnumerate(SC_HANDLE manager, Visit&& visit) {
    DWORD bytes = qm::kEnumBufferBytes, resume = 0;
    long total = 0;
    for (int round = 0; round < 100000; ++round) {
        std::vector<unsigned char> buffer(bytes);
        auto* entries = reinterpret_cast<ENUM_SERVICE_STATUSA*>(buffer.data());
        DWORD needed = 0, count = 0, after = resume;
        const BOOL ok = EnumServicesStatusA(manager, SERVICE_WIN32, SERVICE_STATE_ALL, entries, bytes, &needed,
                                            &count, &after);
        const DWORD error = ok ? 0 : GetLastError();
        if (ok || (error == ERROR_MORE_DATA && after != resume)) {
            for (DWORD i = 0; i < count; ++i) visit(entries[i]);
            total += count;
            if (ok) return total;
            resume = after;
            continue;
        }
        if (error != ERROR_MORE_DATA && error != ERROR_INSUFFICIENT_BUFFER) break;
        const DWORD grown = needed > bytes ? needed : bytes * 2;
        if (grown > qm::kEnumBufferLimit || grown <= bytes) break;
        bytes = grown;
        resume = 0;
        total = 0;
    }
    return -1;
}

// The platform's limit: one EnumServicesStatusA call with a buffer of
// |bytes|, between opening and closing the manager. Returns the number of
// entries, or -1 when the one call did not take them all.
inline long OneEnumerationCall(DWORD bytes) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    std::vector<unsigned char> buffer(bytes);
    DWORD needed = 0, count = 0, resume = 0;
    const BOOL ok = EnumServicesStatusA(manager, SERVICE_WIN32, SERVICE_STATE_ALL,
                                        reinterpret_cast<ENUM_SERVICE_STATUSA*>(buffer.data()), bytes, &needed,
                                        &count, &resume);
    CloseServiceHandle(manager);
    return ok ? static_cast<long>(count) : -1;
}

// The smallest buffer, as the manager names it, that one call fills
// with every entry; 0 when there is none.
inline DWORD SufficientEnumerationBytes() {
    for (DWORD bytes = qm::kEnumBufferBytes; bytes <= qm::kEnumBufferLimit;) {
        SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        std::vector<unsigned char> buffer(bytes);
        DWORD needed = 0, count = 0, resume = 0;
        const BOOL ok = EnumServicesStatusA(manager, SERVICE_WIN32, SERVICE_STATE_ALL,
                                            reinterpret_cast<ENUM_SERVICE_STATUSA*>(buffer.data()), bytes,
                                            &needed, &count, &resume);
        CloseServiceHandle(manager);
        if (ok) return bytes;
        if (GetLastError() != ERROR_MORE_DATA || needed <= bytes) return 0;
        bytes = needed;
    }
    return 0;
}

// Opens the manager, enumerates and closes it again.
inline long BareEnumeration() {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    const long total = BareEnumerate(manager, [](const ENUM_SERVICE_STATUSA&) {});
    CloseServiceHandle(manager);
    return total;
}
