// Start, stop and restart of several instances one after another, as the
// overview and the account change do them: each started instance is
// watched before the next is touched.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "actions/user.h"
#include "catalogue/system.h"

namespace qm {

// How long a started instance must keep running with the same process
// before the next is touched, unless the window says otherwise.
inline constexpr unsigned kDefaultWatchMs = 30000;
// How long an instance is given to reach the state asked for, and to end
// a pending state before it is asked for another.
inline constexpr unsigned kStateWaitMs = 30000;

enum class ServiceRequest { Start, Stop, Restart };

// The window a rolling action runs in: told what is being done, asked
// whether to go on.
class InstanceProgress {
public:
    virtual ~InstanceProgress() = default;
    // An instance's request ended (or halted the action): its row can show it.
    virtual void InstanceEnded(const ServiceStatus& status) = 0;
    // The instance being acted on; |watchLeftMs| while it is watched, else 0.
    virtual void Acting(const std::string& /*name*/, unsigned /*watchLeftMs*/) {}
    // Asked between instances: true ends the action there.
    virtual bool CancelAsked() { return false; }
    // How long each started instance is watched.
    virtual unsigned WatchMs() const { return kDefaultWatchMs; }
};

// Asks the service manager for |request| on each of |names| in turn, each
// with a bounded wait for the state asked for (a restart stops, waits,
// starts and waits). An instance in the pending state of the opposite
// request is first given the same bound to end it. Starting a running
// instance or stopping a stopped one does nothing. An instance this started
// must then keep running with the same process through the watch time. The
// first instance that does not reach its state, or does not stay up, ends
// the run with a stop message naming it, what it did, its state and the
// system's words for the error, and the instances left as they were; those
// after it are not touched. A cancel asked for ends the run after the
// instance at hand, with a message naming those left. True when every one
// reached its state.
bool ActOnInstances(System& system, User& user, ServiceRequest request, const std::vector<std::string>& names,
                    InstanceProgress& progress);

inline bool RestartInstances(System& system, User& user, const std::vector<std::string>& names,
                             InstanceProgress& progress) {
    return ActOnInstances(system, user, ServiceRequest::Restart, names, progress);
}

}  // namespace qm
