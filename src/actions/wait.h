// The one bounded wait of the actions: for a service to reach a state, to
// stay in it, or to be gone.
#pragma once

#include <functional>

#include "actions/user.h"

namespace qm {

// How often a wait asks again.
inline constexpr unsigned kPollMs = 250;

// Asks |done| at once and then every kPollMs, letting the time pass through
// |user|, until it says yes or |boundMs| have passed since the wait began.
// True when it said yes.
bool WaitUntil(User& user, unsigned boundMs, const std::function<bool()>& done);

}  // namespace qm
