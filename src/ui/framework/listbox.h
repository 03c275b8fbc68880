// A list-box control: one-line wrappers over its messages, sent to the
// control it is attached to.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace ui {

class ListBox {
public:
    ListBox() = default;
    explicit ListBox(HWND control) : hwnd_(control) {}

    void Attach(HWND control) { hwnd_ = control; }
    HWND hwnd() const { return hwnd_; }

    bool ResetContent() { return Send(LB_RESETCONTENT) != LB_ERR; }
    int AddString(const std::string& text) { return static_cast<int>(Send(LB_ADDSTRING, 0, Text(text))); }
    int Count() const { return static_cast<int>(Send(LB_GETCOUNT)); }
    int CurSel() const { return static_cast<int>(Send(LB_GETCURSEL)); }
    bool InitStorage(std::size_t items, std::size_t bytes) {
        return Send(LB_INITSTORAGE, items, static_cast<LPARAM>(bytes)) != LB_ERRSPACE;
    }
    // The entry's text, read into a zero-filled buffer of |bufferBytes|;
    // false when there is no such entry or it does not fit.
    bool GetText(int index, std::string& text, std::size_t bufferBytes) const;
    // Replaces every entry, with drawing held back until the list is whole,
    // and lets the horizontal scroll bar reach the end of the widest one.
    void Fill(const std::vector<std::string>& entries);

private:
    // Room for the entry's left and right padding, in pixels.
    static constexpr int kTextMargin = 6;

    // The width in pixels that shows the widest entry whole, in the list's font.
    int WidestText(const std::vector<std::string>& entries) const;
    LRESULT Send(UINT msg, WPARAM w = 0, LPARAM l = 0) const { return SendMessageA(hwnd_, msg, w, l); }
    static LPARAM Text(const std::string& s) { return reinterpret_cast<LPARAM>(s.c_str()); }

    HWND hwnd_ = nullptr;
};

}  // namespace ui
