#include "win32/code_page.h"

#include <windows.h>

namespace qm {

bool IsAnsiLeadByte(unsigned char c) { return IsDBCSLeadByte(c) != FALSE; }

bool Widen(const std::string& text, unsigned codePage, bool strict, std::wstring& wide) {
    wide.clear();
    if (text.empty()) return true;
    const DWORD flags = strict ? MB_ERR_INVALID_CHARS : 0;
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(codePage, flags, text.data(), size, nullptr, 0);
    if (length <= 0) return false;
    wide.assign(static_cast<std::size_t>(length), L'\0');
    return MultiByteToWideChar(codePage, flags, text.data(), size, &wide[0], length) == length;
}

}  // namespace qm
