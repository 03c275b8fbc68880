// Messages to the administrator as message boxes owned by one dialog.
#pragma once

#include "actions/messenger.h"
#include "ui/framework/dialog.h"

class DialogMessenger : public qm::Messenger {
public:
    explicit DialogMessenger(const ui::Dialog& owner) : owner_(owner) {}

    void Message(const std::string& text, const char* caption, qm::Icon icon) override {
        owner_.ShowMessage(text, caption, MB_OK | IconFlags(icon));
    }

private:
    static UINT IconFlags(qm::Icon icon) {
        switch (icon) {
            case qm::Icon::Information: return MB_ICONINFORMATION;
            case qm::Icon::Warning: return MB_ICONWARNING;
            case qm::Icon::Stop: return MB_ICONSTOP;
            default: return 0;
        }
    }

    const ui::Dialog& owner_;
};
