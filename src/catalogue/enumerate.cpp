#include <algorithm>

#include "catalogue/service_lister.h"
#include "catalogue/system.h"

namespace qm {

namespace {

// Guards against a service manager whose resume handle keeps moving forever.
constexpr int kMaxRounds = 100000;

// One listing that starts with a buffer of |bufferBytes|. |needed| receives
// a buffer size that would have taken every entry in one call when the
// first one did not (Wine: the size that then worked; Windows: an upper
// bound from its first page), else it is left at 0. |used| receives the
// bytes the entries took when one call took them all, else 0.
bool EnumerateFrom(System& system, ManagerHandle manager, std::uint32_t bufferBytes, std::vector<std::string>& names,
                   std::uint32_t& needed, std::uint32_t& used) {
    names.clear();
    needed = used = 0;
    std::uint32_t resume = 0;
    for (int round = 0; round < kMaxRounds; ++round) {
        EnumRound r = system.EnumServices(manager, bufferBytes, resume);
        if (RoundHasEntries(r, resume)) {
            if (!r.ok && resume == 0) {
                // The first page's entries fit in the buffer; the rest need bytesNeeded more.
                needed = static_cast<std::uint32_t>(
                    std::min<std::uint64_t>(std::uint64_t{bufferBytes} + r.bytesNeeded, kEnumPageLimit));
            }
            names.insert(names.end(), r.names.begin(), r.names.end());
            if (r.ok && resume == 0) used = r.bytesUsed;
            if (r.ok) return true;
            resume = r.resume;
            continue;
        }
        if (r.error != kErrorMoreData && r.error != kErrorInsufficientBuffer) break;

        // The buffer was too small and nothing in it can be trusted: grow it
        // and start over from the first service.
        std::uint32_t grown = r.bytesNeeded > bufferBytes ? r.bytesNeeded : bufferBytes * 2;
        if (grown > kEnumBufferLimit || grown <= bufferBytes) break;
        bufferBytes = grown;
        needed = grown;
        resume = 0;
        names.clear();
    }
    names.clear();
    return false;
}

// A start size with room for the services added before the next listing
// (an Add and its refresh stay one call), within the tool's limits. Not
// much more: Wine copies the whole buffer between processes on every call.
std::uint32_t WithRoom(std::uint32_t bytes) {
    const std::uint64_t roomy = std::uint64_t{bytes} + bytes / 16 + 4096;
    return static_cast<std::uint32_t>(
        std::clamp<std::uint64_t>(roomy, kEnumBufferBytes, kEnumBufferLimit));
}

}  // namespace

bool EnumerateServices(System& system, ManagerHandle manager, std::vector<std::string>& names) {
    std::uint32_t needed = 0, used = 0;
    return EnumerateFrom(system, manager, kEnumBufferBytes, names, needed, used);
}

bool ServiceLister::List(System& system, ManagerHandle manager, std::vector<std::string>& names) {
    // A call with a buffer too small costs a whole enumeration under Wine;
    // asking for the size first costs a few milliseconds.
    if (startBytes_ == 0) startBytes_ = WithRoom(system.ServiceBytesNeeded(manager));

    std::uint32_t needed = 0, used = 0;
    bool listed = EnumerateFrom(system, manager, startBytes_, names, needed, used);
    if (!listed && startBytes_ > kEnumBufferBytes) {
        // A manager that refuses the larger buffer outright: the usual start.
        startBytes_ = kEnumBufferBytes;
        listed = EnumerateFrom(system, manager, startBytes_, names, needed, used);
    }
    if (needed > startBytes_) {
        startBytes_ = WithRoom(needed);
    } else if (used > 0) {
        // One call took them all: the next starts at what they took, which
        // may be far less than the size asked for before the first.
        startBytes_ = WithRoom(used);
    }
    return listed;
}

}  // namespace qm
