#include "listbox.h"

namespace ui {

bool ListBox::GetText(int index, std::string& text, std::size_t bufferBytes) const {
    const LRESULT length = Send(LB_GETTEXTLEN, static_cast<WPARAM>(index));
    if (length == LB_ERR || static_cast<std::size_t>(length) >= bufferBytes) return false;
    std::vector<char> buffer(bufferBytes, '\0');
    if (Send(LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer.data())) == LB_ERR) return false;
    text = buffer.data();
    return true;
}

int ListBox::WidestText(const std::vector<std::string>& entries) const {
    if (entries.empty()) return 0;  // the refresh empties the list first: no device context for that
    int widest = 0;
    HDC dc = GetDC(hwnd_);
    if (!dc) return 0;
    HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HGDIOBJ>(Send(WM_GETFONT)));
    for (const std::string& e : entries) {
        SIZE size;
        if (GetTextExtentPoint32A(dc, e.c_str(), static_cast<int>(e.size()), &size) && size.cx > widest) {
            widest = size.cx;
        }
    }
    SelectObject(dc, previous);
    ReleaseDC(hwnd_, dc);
    return widest > 0 ? widest + kTextMargin : 0;
}

void ListBox::Fill(const std::vector<std::string>& entries) {
    // Adding entries one by one to a sorted list that redraws after each
    // costs time in proportion to the square of their number.
    Send(WM_SETREDRAW, FALSE);
    ResetContent();
    std::size_t bytes = 0;
    for (const std::string& e : entries) bytes += e.size() + 1;
    InitStorage(entries.size(), bytes);
    for (const std::string& e : entries) AddString(e);
    Send(LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(WidestText(entries)));
    Send(WM_SETREDRAW, TRUE);
    InvalidateRect(hwnd_, nullptr, TRUE);
}

}  // namespace ui
