#include "dialog.h"

#include <vector>

namespace ui {

namespace {

Texts g_texts;

// Overwrites a text that may be a password, then empties it.
void Scrub(std::string& text) {
    if (!text.empty()) SecureZeroMemory(&text[0], text.size());
    text.clear();
}

// Reads a control's text into a buffer that is cleared afterwards: the
// text may be a password.
std::string ReadText(HWND control) {
    const int length = GetWindowTextLengthA(control);
    std::vector<char> buffer(static_cast<std::size_t>(length > 0 ? length : 0) + 1, '\0');
    const int read = GetWindowTextA(control, buffer.data(), static_cast<int>(buffer.size()));
    std::string text(buffer.data(), read > 0 ? static_cast<std::size_t>(read) : 0);
    SecureZeroMemory(buffer.data(), buffer.size());
    return text;
}

// Messages whose result a dialog procedure returns directly rather than
// through DWLP_MSGRESULT.
bool ReturnsDirectly(UINT msg) {
    return msg == WM_QUERYDRAGICON || msg == WM_COMPAREITEM || msg == WM_VKEYTOITEM || msg == WM_CHARTOITEM ||
           (msg >= WM_CTLCOLORMSGBOX && msg <= WM_CTLCOLORSTATIC);
}

}  // namespace

void SetTexts(const Texts& texts) { g_texts = texts; }

std::size_t CharacterCount(const std::string& text, UINT codePage) {
    if (text.empty()) return 0;
    const int characters = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    return characters > 0 ? static_cast<std::size_t>(characters) : text.size();
}

INT_PTR Dialog::RunModal(int templateId, HWND parent) {
    const INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId), parent,
                                           DialogProc, reinterpret_cast<LPARAM>(this));
    if (result == -1) MessageBoxA(parent, g_texts.dialogError, g_texts.errorCaption, MB_OK | MB_ICONSTOP);
    return result;
}

std::string Dialog::ItemText(int id) const { return ReadText(Item(id)); }

int Dialog::ShowMessage(const std::string& text, const char* caption, UINT flags) const {
    return MessageBoxA(hwnd_, text.c_str(), caption ? caption : g_texts.caption, flags);
}

bool Dialog::UpdateData(Exchange direction) {
    DataExchange exchange(*this, direction);
    DoDataExchange(exchange);
    return !exchange.failed();
}

void Dialog::OnDataValidateError(int id, std::size_t) {
    MessageBeep(MB_ICONEXCLAMATION);
    ReturnToItem(id);
}

void Dialog::ReturnToItem(int id) {
    FocusItem(id);
    SelectItemText(id);
}

bool Dialog::OnInitDialog() {
    UpdateData(Exchange::Load);
    return true;
}

void Dialog::OnOK() {
    if (UpdateData(Exchange::Save)) EndDialog(IDOK);
}

void Dialog::OnCancel() { EndDialog(IDCANCEL); }

bool Dialog::OnCommand(int id, int code) { return code == BN_CLICKED && OnButtonClicked(id); }

bool Dialog::OnButtonClicked(int id) {
    switch (id) {
        case IDOK:
            OnOK();
            return true;
        case IDCANCEL:
            OnCancel();
            return true;
        default:
            return false;
    }
}

bool Dialog::OnSysCommand(UINT, LPARAM) { return false; }

bool Dialog::OnMessage(UINT, WPARAM, LPARAM, INT_PTR&) { return false; }

INT_PTR CALLBACK Dialog::DialogProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITDIALOG) {
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        reinterpret_cast<Dialog*>(lParam)->hwnd_ = window;
    }
    auto* dialog = reinterpret_cast<Dialog*>(GetWindowLongPtrA(window, DWLP_USER));
    if (!dialog) return FALSE;
    // Nothing may unwind through the system's code.
    try {
        return dialog->Route(msg, wParam, lParam);
    } catch (...) {
        MessageBoxA(window, g_texts.unexpectedError, g_texts.caption, MB_OK | MB_ICONSTOP);
        return FALSE;
    }
}

INT_PTR Dialog::Route(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_INITDIALOG:
            return OnInitDialog() ? TRUE : FALSE;
        case WM_COMMAND:
            return OnCommand(LOWORD(wParam), HIWORD(wParam)) ? TRUE : FALSE;
        case WM_SYSCOMMAND:
            return OnSysCommand(static_cast<UINT>(wParam), lParam) ? TRUE : FALSE;
        case WM_NCDESTROY:
            hwnd_ = nullptr;
            return FALSE;
        default: {
            INT_PTR result = 0;
            if (!OnMessage(msg, wParam, lParam, result)) return FALSE;
            if (ReturnsDirectly(msg)) return result;
            // A dialog procedure returns most message results through DWLP_MSGRESULT.
            SetWindowLongPtrA(hwnd_, DWLP_MSGRESULT, result);
            return TRUE;
        }
    }
}

void DataExchange::Text(int id, std::string& value) {
    if (failed_) return;
    if (Loading()) {
        dialog_.SetItemText(id, value);
        return;
    }
    std::string text = dialog_.ItemText(id);
    Scrub(value);
    value.swap(text);
}

void DataExchange::Text(int id, std::string& value, std::size_t maxLength) {
    if (failed_) return;
    if (Loading()) {
        dialog_.SendItemMessage(id, EM_LIMITTEXT, maxLength);
        dialog_.SetItemText(id, value);
        return;
    }
    std::string text = dialog_.ItemText(id);
    if (CharacterCount(text) > maxLength) {
        Scrub(text);
        failed_ = true;
        dialog_.OnDataValidateError(id, maxLength);
        return;
    }
    Scrub(value);
    value.swap(text);
}

}  // namespace ui
