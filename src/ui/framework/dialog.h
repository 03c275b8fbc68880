// A small modal-dialog framework over plain Win32: templates from the
// resources, routing of commands to virtual handlers, and data exchange
// between member strings and controls.
#pragma once

#include <windows.h>

#include <string>

namespace ui {

class DataExchange;

// The window that owns dialogs and message boxes shown without a parent.
void SetMainWindow(HWND window);
HWND MainWindow();

class Dialog {
public:
    Dialog() = default;
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;
    virtual ~Dialog() = default;

    HWND hwnd() const { return hwnd_; }

    // Runs template |templateId| modally; a null parent means the main window.
    INT_PTR RunModal(int templateId, HWND parent = nullptr);
    bool EndDialog(INT_PTR result) { return ::EndDialog(hwnd_, result) != FALSE; }

    HWND Item(int id) const { return GetDlgItem(hwnd_, id); }
    bool SetItemText(int id, const std::string& text) { return SetDlgItemTextA(hwnd_, id, text.c_str()) != FALSE; }
    std::string ItemText(int id) const;
    bool FocusItem(int id) { return SetFocus(Item(id)) != nullptr; }
    void SelectItemText(int id) { SendItemMessage(id, EM_SETSEL, 0, -1); }
    LRESULT SendItemMessage(int id, UINT msg, WPARAM w = 0, LPARAM l = 0) const {
        return SendDlgItemMessageA(hwnd_, id, msg, w, l);
    }
    int ShowMessage(const std::string& text, const char* caption, UINT flags) const;

    // Controls to members (|save|) or members to controls; false when a
    // control's text was refused.
    bool UpdateData(bool save);

protected:
    virtual void DoDataExchange(DataExchange&) {}
    // A control's text was refused on saving: tell why and put the focus back.
    virtual void OnDataError(int id, const std::string& message);

    virtual bool OnInitDialog();  // true: let the system set the focus
    virtual void OnOK();
    virtual void OnCancel();
    // A control notification or menu command; false for default processing.
    virtual bool OnCommand(int id, int code);
    // A window-menu command; false for default processing.
    virtual bool OnSysCommand(UINT id, LPARAM lParam);
    // Any other message; false for default processing.
    virtual bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, INT_PTR& result);

private:
    friend class DataExchange;
    static INT_PTR CALLBACK DialogProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
    INT_PTR Route(UINT msg, WPARAM wParam, LPARAM lParam);

    HWND hwnd_ = nullptr;
};

// Moves values between members and controls in either direction. The first
// refused value ends the exchange, as the members after it keep theirs.
class DataExchange {
public:
    DataExchange(Dialog& dialog, bool save) : dialog_(dialog), save_(save) {}

    bool saving() const { return save_; }
    bool failed() const { return failed_; }

    // The control's window, for control wrappers.
    void Control(int id, HWND& control);
    void Text(int id, std::string& value);
    // Limits the control to |maxLength| characters on load; refuses a
    // longer text on save.
    void Text(int id, std::string& value, std::size_t maxLength);

private:
    Dialog& dialog_;
    bool save_;
    bool failed_ = false;
};

}  // namespace ui
