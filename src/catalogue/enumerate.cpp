#include "catalogue/system.h"

namespace qm {

namespace {

// Guards against a service manager whose resume handle keeps moving forever.
constexpr int kMaxRounds = 100000;

}  // namespace

bool EnumerateServices(System& system, Handle manager, std::vector<std::string>& names) {
    names.clear();
    std::uint32_t bufferBytes = kEnumBufferBytes;
    std::uint32_t resume = 0;
    for (int round = 0; round < kMaxRounds; ++round) {
        EnumRound r = system.EnumServices(manager, bufferBytes, resume);
        if (RoundHasEntries(r, resume)) {
            names.insert(names.end(), r.names.begin(), r.names.end());
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
        resume = 0;
        names.clear();
    }
    names.clear();
    return false;
}

}  // namespace qm
