// The buffers the Win32 adapters read paths into.
#pragma once

#include <windows.h>

#include <cstddef>

#include "catalogue/system.h"

namespace qm {

// A Windows path buffer (MAX_PATH): the longest path the tool takes
// (kMaxPathChars) and the terminator.
inline constexpr std::size_t kPathBytes = kMaxPathChars + 1;
static_assert(kPathBytes == MAX_PATH, "a path the tool takes fills a MAX_PATH buffer");

}  // namespace qm
