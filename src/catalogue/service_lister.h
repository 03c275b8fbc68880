// Lists the services the way the tool does after the first time: starting
// with the buffer the previous listing needed, so that a refresh is one
// EnumServicesStatusA call. The main dialog keeps one for its lifetime.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "catalogue/system.h"

namespace qm {

// The most a buffer learned from Windows' paged answers is allowed to be:
// the service manager's protocol takes no larger buffer there.
inline constexpr std::uint32_t kEnumPageLimit = 256u * 1024;

class ServiceLister {
public:
    // Every service name, in the manager's order, as EnumerateServices
    // gives them. The first listing asks the manager for the size first;
    // every listing remembers the size it turned out to need.
    bool List(System& system, ManagerHandle manager, std::vector<std::string>& names);

    // The buffer the next listing starts with; 0 before the first.
    std::uint32_t startBytes() const { return startBytes_; }

private:
    std::uint32_t startBytes_ = 0;
};

}  // namespace qm
