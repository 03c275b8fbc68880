// A report-style list-view control (common controls): one-line wrappers
// over its messages, sent to the control it is attached to, and the
// keyboard shortcuts and clipboard a table of text needs.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

namespace ui {

class ListView {
public:
    ListView() = default;
    explicit ListView(HWND control) : hwnd_(control) {}

    // Registers the list-view window class (InitCommonControlsEx); needed
    // before a dialog with one is created. False when refused.
    static bool Register();

    void Attach(HWND control) { hwnd_ = control; }
    HWND hwnd() const { return hwnd_; }

    // Whole rows selected, several at a time.
    void SetFullRowSelect() {
        Send(LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    }
    bool AddColumn(int index, const std::string& title, int width);
    int Count() const { return static_cast<int>(Send(LVM_GETITEMCOUNT)); }
    bool IsSelected(int index) const { return Send(LVM_GETITEMSTATE, index, LVIS_SELECTED) != 0; }
    void Select(int index, bool selected);
    void SelectAll() { Select(-1, true); }
    // The indexes of the selected rows, in order.
    std::vector<int> Selection() const;
    // The row at |point| (client coordinates) anywhere in it; -1 for none.
    int RowAt(POINT point) const;
    bool SetCell(int row, int column, const std::string& text);
    // Replaces every row with |rows|' cells, with drawing held back until
    // the list is whole.
    void Fill(const std::vector<std::vector<std::string>>& rows);

private:
    LRESULT Send(UINT msg, WPARAM w = 0, LPARAM l = 0) const { return SendMessageA(hwnd_, msg, w, l); }

    HWND hwnd_ = nullptr;
};

// Puts |text| on the clipboard as ANSI text, owned by |owner|; false when
// the clipboard could not be had.
bool CopyToClipboard(HWND owner, const std::string& text);

}  // namespace ui
