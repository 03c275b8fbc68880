#include "actions/wipe.h"

namespace qm {

void Wipe(std::string& secret) {
    volatile char* p = secret.empty() ? nullptr : &secret[0];
    for (std::size_t i = 0; i < secret.size(); ++i) p[i] = 0;
    secret.clear();
}

}  // namespace qm
