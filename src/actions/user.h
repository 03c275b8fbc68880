// What the actions need of the administrator and of the dialog on screen.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "actions/messenger.h"

namespace qm {

struct UpdatePlan;

// Asked when OK is pressed in the account dialog, with the account and
// password typed and the messages over that dialog: false keeps the dialog
// open, having said why.
using AccountCheck =
    std::function<bool(const std::string& account, const std::string& password, Messenger& dialog)>;

// Message() is a message box owned by the main dialog.
class User : public Messenger {
public:
    // The shell's folder picker; false when cancelled. |folder| is the
    // picker's path (the display name when it cannot be converted).
    virtual bool BrowseForFolder(const char* title, std::string& folder) = 0;
    // The account dialog, pre-filled with |account| and |password| (in both
    // password fields); false when cancelled, and then nothing is changed.
    // OK closes it only when |check| accepts what was typed.
    virtual bool AskAccount(std::string& account, std::string& password, const AccountCheck& check) = 0;
    // The tool's own executable path; false when it cannot be had whole.
    virtual bool ModulePath(std::string& path) = 0;
    // The wait cursor, while an action holds the window longer than a moment.
    virtual void ShowBusy(bool busy) = 0;
    // Lets |milliseconds| pass while the window keeps painting.
    virtual void Pause(unsigned milliseconds) = 0;
    // A clock in milliseconds that only goes forward (from any start).
    virtual std::uint64_t Milliseconds() = 0;
    // A question with Yes and No buttons; true for Yes.
    virtual bool AskYesNo(const std::string& question, const char* caption) = 0;
    // The update's plan, before the script is written; true for "Write
    // Script", false for "Cancel".
    virtual bool ConfirmPlan(const UpdatePlan& plan) = 0;
};

// The controls of the main dialog, as the actions see them.
class MainView {
public:
    virtual ~MainView() = default;

    // Members to controls, and controls to members (false when refused).
    virtual void WriteControls() = 0;
    virtual bool ReadControls() = 0;
    virtual void ShowInstallPath(const std::string& folder) = 0;
    // The suffix field's text as it stands, before the controls are read.
    virtual std::string SuffixField() = 0;
    // Replaces the entries of the (sorted) service list.
    virtual void FillList(const std::vector<std::string>& serviceNames) = 0;
    // The text of the selected entry; false when nothing is selected.
    virtual bool SelectedEntry(std::string& text) = 0;
};

}  // namespace qm
