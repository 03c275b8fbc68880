#include "actions/wait.h"

namespace qm {

bool WaitUntil(User& user, unsigned boundMs, const std::function<bool()>& done) {
    const std::uint64_t began = user.Milliseconds();
    for (;;) {
        if (done()) return true;
        const std::uint64_t waited = user.Milliseconds() - began;
        if (waited >= boundMs) return false;
        user.Pause(static_cast<unsigned>(boundMs - waited < kPollMs ? boundMs - waited : kPollMs));
    }
}

}  // namespace qm
