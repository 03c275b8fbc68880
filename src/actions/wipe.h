// Overwriting secrets before their memory is released.
#pragma once

#include <string>

namespace qm {

// Overwrites |secret| (a password, say) and empties it.
void Wipe(std::string& secret);

}  // namespace qm
