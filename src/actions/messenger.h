// The one thing an action needs to tell the administrator something: a
// message box over the window that is in front.
#pragma once

#include <string>

namespace qm {

enum class Icon { None, Information, Warning, Stop };

class Messenger {
public:
    virtual ~Messenger() = default;

    // A modal message box owned by the window; a null caption gives the
    // application's own name.
    virtual void Message(const std::string& text, const char* caption, Icon icon) = 0;
};

}  // namespace qm
