// SPDX-License-Identifier: MIT
#pragma once

#include <string>

#include "platform.h"

namespace nalvexa {

// The boxes a face shows for its dialogs and for the engine: a message, a
// warning with OK and Cancel, a question with Yes, No and Cancel.
class IDialogHost {
public:
    virtual ~IDialogHost() = default;
    virtual void Show(const std::string& text, Caption caption) = 0;
    void Say(const std::string& text) { Show(text, Caption::Title); }
    // True for OK.
    virtual bool Confirm(const std::string& warning) = 0;
    // True for Yes.
    virtual bool Ask(const std::string& question) = 0;
};

}  // namespace nalvexa
