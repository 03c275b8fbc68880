// A small modal-dialog framework over plain Win32: templates from the
// resources, routing of commands to virtual handlers, and data exchange
// between members and controls.
#pragma once

#include <windows.h>

#include <string>

namespace ui {

class DataExchange;

// The direction of a data exchange: members to controls, or controls to
// members (the controls' texts are checked on the way).
enum class Exchange { Load, Save };

// The framework's own words, in the application's language: given once at
// start-up, before the first dialog. Until then they are empty.
struct Texts {
    const char* caption = "";          // message boxes shown without a caption of their own
    const char* errorCaption = "";     // the framework's own error messages
    const char* dialogError = "";      // a dialog that cannot be created
    const char* unexpectedError = "";  // a handler that threw: the action was left unfinished
};
void SetTexts(const Texts& texts);

// The characters of an ANSI text in code page |codePage|, counted as an edit
// control counts them (a double-byte character is one).
std::size_t CharacterCount(const std::string& text, UINT codePage = CP_ACP);

class Dialog {
public:
    Dialog() = default;
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;
    virtual ~Dialog() = default;

    HWND hwnd() const { return hwnd_; }

    // Runs template |templateId| modally, owned by |parent| (none when null).
    // A dialog that cannot be created is reported here and gives -1.
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

    // False when a control's text was refused.
    bool UpdateData(Exchange direction);

protected:
    virtual void DoDataExchange(DataExchange&) {}
    // Control |id| holds more than |maxLength| characters on saving. The
    // framework only beeps and puts the focus back; a dialog that says why
    // overrides it.
    virtual void OnDataValidateError(int id, std::size_t maxLength);
    // Puts the focus on control |id| with its whole text selected.
    void ReturnToItem(int id);

    virtual bool OnInitDialog();  // true: let the system set the focus
    virtual void OnOK();
    virtual void OnCancel();
    // A control notification or menu command; false for default processing.
    // Button clicks go on to OnButtonClicked.
    virtual bool OnCommand(int id, int code);
    // A click on button |id| (or its accelerator); OK and Cancel go on to
    // OnOK and OnCancel. False for default processing.
    virtual bool OnButtonClicked(int id);
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

// Moves values between members and controls in one direction. The first
// refused value ends the exchange, as the members after it keep theirs.
class DataExchange {
public:
    DataExchange(Dialog& dialog, Exchange direction) : dialog_(dialog), direction_(direction) {}

    bool failed() const { return failed_; }

    // Attaches a control wrapper (one with Attach(HWND)) to control |id|.
    template <typename Wrapper>
    void Control(int id, Wrapper& control) {
        if (!failed_) control.Attach(dialog_.Item(id));
    }
    void Text(int id, std::string& value);
    // Limits the control to |maxLength| characters on load; refuses a
    // longer text on save.
    void Text(int id, std::string& value, std::size_t maxLength);

private:
    bool Loading() const { return direction_ == Exchange::Load; }

    Dialog& dialog_;
    Exchange direction_;
    bool failed_ = false;
};

}  // namespace ui
