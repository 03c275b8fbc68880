#include "actions/rolling.h"

#include "actions/messages.h"
#include "actions/overview.h"
#include "actions/wait.h"

namespace qm {

namespace {

// ControlService refuses any control while the service is starting or
// stopping with ERROR_SERVICE_CANNOT_ACCEPT_CTRL ("the state of the service
// is SERVICE_STOPPED, SERVICE_START_PENDING, or SERVICE_STOP_PENDING",
// learn.microsoft.com, ControlService): a pending state is waited out.
// StartServiceA refuses a running service with ERROR_SERVICE_ALREADY_RUNNING
// and a disabled one with ERROR_SERVICE_DISABLED; ControlService refuses to
// stop a stopped one with ERROR_SERVICE_NOT_ACTIVE, and one that running
// services depend on with ERROR_DEPENDENT_SERVICES_RUNNING
// (learn.microsoft.com, StartServiceA, ControlService, Stopping a Service).
struct Move {
    std::uint32_t target, pending, opposite, harmless;
    std::uint32_t (System::*request)(ServiceHandle);
};
constexpr Move kStop{kServiceStopped, kServiceStopPending, kServiceStartPending, kErrorServiceNotActive,
                     &System::RequestStop};
constexpr Move kStart{kServiceRunning, kServiceStartPending, kServiceStopPending, kErrorServiceAlreadyRunning,
                      &System::RequestStart};

// What ended a request.
struct Halt {
    enum What { Failed, Ended, Replaced } what = Failed;
    std::uint32_t error = 0;   // the system's error, or the exit code the process ended with
    std::uint32_t state = 0;   // the state the instance was left in
    std::uint64_t afterMs = 0; // Ended, Replaced: how long after it started
};

// Waits until |settled| accepts the instance's state; false, with why,
// when its status cannot be read or the bound passes first.
template <typename Settled>
bool WaitForState(System& system, User& user, ServiceHandle service, ServiceStatus& status, Halt& halt,
                  Settled settled) {
    std::uint32_t error = 0;
    const bool done = WaitUntil(user, kStateWaitMs, [&] {
        error = system.QueryStatus(service, status);
        return error || settled(status.state);
    });
    if (error) halt = {Halt::Failed, error, 0, 0};
    if (!done) halt = {Halt::Failed, kErrorServiceRequestTimeout, status.state, 0};
    return done && !error;
}

// Asks for the state unless the instance is in it or on its way, then
// waits for it. A start that ends with the service stopped has failed with
// the service's own exit code.
bool Reach(System& system, User& user, ServiceHandle service, const Move& move, ServiceStatus& status, Halt& halt) {
    if (status.state == move.opposite &&
        !WaitForState(system, user, service, status, halt, [&](std::uint32_t s) { return s != move.opposite; })) {
        return false;
    }
    if (status.state == move.target) return true;
    if (status.state != move.pending) {
        const std::uint32_t error = (system.*move.request)(service);
        if (error && error != move.harmless) {
            halt = {Halt::Failed, error, status.state, 0};
            return false;
        }
    }
    if (!WaitForState(system, user, service, status, halt,
                      [&](std::uint32_t s) { return s == move.target || s == kServiceStopped; })) {
        return false;
    }
    if (status.state == move.target) return true;
    halt = {Halt::Failed, status.exitCode ? status.exitCode : kErrorProcessAborted, status.state, 0};
    return false;
}

// Keeps an eye on an instance just started: true when it kept running with
// the same process through the watch time.
bool Watch(System& system, User& user, ServiceHandle service, ServiceStatus& status, InstanceProgress& progress,
           Halt& halt) {
    const std::uint32_t process = status.processId;
    const std::uint64_t began = user.Milliseconds();
    const unsigned watchMs = progress.WatchMs();
    std::uint32_t error = 0;
    const bool changed = WaitUntil(user, watchMs, [&] {
        const std::uint64_t watched = user.Milliseconds() - began;
        progress.Acting(status.name, watched < watchMs ? static_cast<unsigned>(watchMs - watched) : 0);
        error = system.QueryStatus(service, status);
        return error || status.state != kServiceRunning || status.processId != process;
    });
    if (!changed) return true;
    const std::uint64_t after = user.Milliseconds() - began;
    if (error) {
        halt = {Halt::Failed, error, 0, 0};
    } else if (status.processId && status.processId != process) {
        // The service manager's recovery, or someone, started another.
        halt = {Halt::Replaced, 0, status.state, after};
    } else {
        halt = {Halt::Ended, status.exitCode, status.state, after};
    }
    return false;
}

enum class Phase { Stop, Start };

// Carries out |request| on the instance named in |status|; false, with the
// phase that failed and why, when it did not reach the state asked for or
// did not stay up.
bool ActOnOne(System& system, User& user, ManagerHandle manager, ServiceRequest request, ServiceStatus& status,
              InstanceProgress& progress, Halt& halt, Phase& phase) {
    phase = request == ServiceRequest::Start ? Phase::Start : Phase::Stop;
    progress.Acting(status.name, 0);
    std::uint32_t error = 0;
    const std::string name = status.name;
    const Scoped<ServiceHandle> service(system, system.OpenServiceFor(manager, name, ServiceAccess::Control, error));
    if (!service) {
        halt = {Halt::Failed, error, 0, 0};
        return false;
    }
    if ((error = system.QueryStatus(service.get(), status)) != 0) {
        halt = {Halt::Failed, error, 0, 0};
        return false;
    }
    status.name = name;
    if (request != ServiceRequest::Start && !Reach(system, user, service.get(), kStop, status, halt)) return false;
    if (request == ServiceRequest::Stop) return true;
    phase = Phase::Start;
    const bool starts = status.state != kServiceRunning;
    if (!Reach(system, user, service.get(), kStart, status, halt)) return false;
    status.name = name;
    return !starts || Watch(system, user, service.get(), status, progress, halt);
}

std::string Seconds(std::uint64_t ms) { return std::to_string((ms + 500) / 1000); }

std::string Failure(System& system, Phase phase, const std::string& name, const Halt& halt) {
    const std::string state = StateText(halt.state);
    switch (halt.what) {
        case Halt::Replaced: return text::Fill(text::kWatchReplaced, {name, Seconds(halt.afterMs), state});
        case Halt::Ended: {
            std::string out = text::Fill(text::kWatchEnded, {name, Seconds(halt.afterMs), state});
            if (halt.error) out += "\n\n" + ErrorWords(system, halt.error);
            return out;
        }
        case Halt::Failed: break;
    }
    return text::Fill(phase == Phase::Stop ? text::kStopFailed : text::kStartFailed,
                      {name, state, ErrorWords(system, halt.error)});
}

// The instances from |first| on, a line each, under their heading.
std::string LeftAlone(const std::vector<std::string>& names, std::size_t first) {
    if (first >= names.size()) return {};
    std::string out = text::kLeftAlone;
    for (std::size_t i = first; i < names.size(); ++i) out += text::Fill(text::kInstanceLine, names[i]);
    return out;
}

}  // namespace

bool ActOnInstances(System& system, User& user, ServiceRequest request, const std::vector<std::string>& names,
                    InstanceProgress& progress) {
    const Scoped<ManagerHandle> manager(system, system.OpenManager());
    if (!manager) {
        user.Message(text::kOverviewReadError, text::kErrorCaption, Icon::Stop);
        return false;
    }
    user.ShowBusy(true);
    for (std::size_t i = 0; i < names.size(); ++i) {
        ServiceStatus status;
        status.name = names[i];
        Halt halt;
        Phase phase = Phase::Stop;
        const bool reached = ActOnOne(system, user, manager.get(), request, status, progress, halt, phase);
        status.name = names[i];
        if (!reached) status.state = halt.state;
        progress.InstanceEnded(status);
        std::string message;
        if (!reached) {
            message = Failure(system, phase, names[i], halt) + LeftAlone(names, i + 1);
        } else if (i + 1 < names.size() && progress.CancelAsked()) {
            message = text::Fill(text::kActionCancelled, names[i]) + LeftAlone(names, i + 1);
        } else {
            continue;
        }
        user.ShowBusy(false);
        user.Message(message, reached ? text::kCaption : text::kErrorCaption, reached ? Icon::Information : Icon::Stop);
        return false;
    }
    user.ShowBusy(false);
    return true;
}

}  // namespace qm
