// SPDX-License-Identifier: MIT
#pragma once

#include "platform.h"

namespace nalvexa {

// Headless: each message box becomes one line on stderr and never waits.
class StderrNotifier : public IUserNotifier {
public:
    void message(const std::string& text, Caption caption = Caption::Title) override;
    // Closing from a terminal or a service manager is a confirmed close.
    Answer askYesNoCancel(const std::string& text) override;
    Answer askOkCancel(const std::string& text) override;
    void state(const std::string& line) override { message(line); }
};

}  // namespace nalvexa
