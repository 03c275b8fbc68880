// The system's ANSI and console code pages, as the adapters need them.
#pragma once

#include <string>

namespace qm {

// The system's ANSI code page's lead bytes.
bool IsAnsiLeadByte(unsigned char c);

// |text| of code page |codePage| in UTF-16; false when it cannot be
// converted, or, when |strict|, when it holds a byte sequence the code page
// does not define.
bool Widen(const std::string& text, unsigned codePage, bool strict, std::wstring& wide);

}  // namespace qm
