// The administrator as the actions reach them: message boxes, the shell's
// folder picker and the account dialog, owned by the main dialog.
#pragma once

#include "actions/user.h"
#include "ui/framework/dialog.h"

class Win32User : public qm::User {
public:
    explicit Win32User(const ui::Dialog& owner) : owner_(owner) {}

    void Message(const std::string& text, const char* caption, qm::Icon icon) override;
    bool BrowseForFolder(const char* title, std::string& folder) override;
    bool AskAccount(std::string& account, std::string& password, const qm::AccountCheck& check) override;
    bool ModulePath(std::string& path) override;
    void ShowBusy(bool busy) override;
    void Pause(unsigned milliseconds) override;
    std::uint64_t Milliseconds() override { return GetTickCount64(); }
    bool AskYesNo(const std::string& question, const char* caption) override;
    bool ConfirmPlan(const qm::UpdatePlan& plan) override;

protected:
    const ui::Dialog& owner() const { return owner_; }

private:
    const ui::Dialog& owner_;
    HCURSOR idleCursor_ = nullptr;  // the cursor before the wait cursor, while busy
};
