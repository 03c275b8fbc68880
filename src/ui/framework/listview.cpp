#include "listview.h"

#include <cstring>

namespace ui {

bool ListView::Register() {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
    return InitCommonControlsEx(&controls) != FALSE;
}

bool ListView::AddColumn(int index, const std::string& title, int width) {
    std::vector<char> text(title.begin(), title.end());
    text.push_back('\0');
    LVCOLUMNA column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.pszText = text.data();
    column.cx = width;
    column.iSubItem = index;
    return Send(LVM_INSERTCOLUMNA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column)) == index;
}

void ListView::Select(int index, bool selected) {
    LVITEMA item = {};
    item.stateMask = LVIS_SELECTED;
    item.state = selected ? LVIS_SELECTED : 0;
    Send(LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
}

std::vector<int> ListView::Selection() const {
    std::vector<int> rows;
    for (int i = static_cast<int>(Send(LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED)); i >= 0;
         i = static_cast<int>(Send(LVM_GETNEXTITEM, static_cast<WPARAM>(i), LVNI_SELECTED))) {
        rows.push_back(i);
    }
    return rows;
}

int ListView::RowAt(POINT point) const {
    // LVM_SUBITEMHITTEST finds the row wherever in it the point lies; a
    // click's own item is set only over the first column
    // (learn.microsoft.com, NM_RCLICK (list view)).
    LVHITTESTINFO hit = {};
    hit.pt = point;
    return static_cast<int>(Send(LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
}

bool ListView::SetCell(int row, int column, const std::string& text) {
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = buffer.data();
    return Send(LVM_SETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item)) != FALSE;
}

void ListView::Fill(const std::vector<std::vector<std::string>>& rows) {
    Send(WM_SETREDRAW, FALSE);
    Send(LVM_DELETEALLITEMS);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        LVITEMA item = {};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(r);
        std::vector<char> first(rows[r].empty() ? 1 : rows[r][0].size() + 1, '\0');
        if (!rows[r].empty()) std::memcpy(first.data(), rows[r][0].c_str(), first.size());
        item.pszText = first.data();
        const int row = static_cast<int>(Send(LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
        if (row < 0) continue;
        for (std::size_t c = 1; c < rows[r].size(); ++c) SetCell(row, static_cast<int>(c), rows[r][c]);
    }
    Send(WM_SETREDRAW, TRUE);
    InvalidateRect(hwnd_, nullptr, TRUE);
}

bool CopyToClipboard(HWND owner, const std::string& text) {
    if (!OpenClipboard(owner)) return false;
    bool copied = false;
    if (EmptyClipboard()) {
        // The clipboard takes a movable global block and owns it once set
        // (learn.microsoft.com, SetClipboardData).
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
        if (void* bytes = block ? GlobalLock(block) : nullptr) {
            std::memcpy(bytes, text.c_str(), text.size() + 1);
            GlobalUnlock(block);
            copied = SetClipboardData(CF_TEXT, block) != nullptr;
        }
        if (block && !copied) GlobalFree(block);
    }
    CloseClipboard();
    return copied;
}

}  // namespace ui
