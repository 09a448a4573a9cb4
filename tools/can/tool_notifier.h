// SPDX-License-Identifier: MIT
// What the driver's CAN code tells its user, for a command-line tool: message
// boxes are kept and shown with the reason a command failed; changes of
// state go to stderr as they happen.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "platform.h"

namespace nalvexa::cantool {

class ToolNotifier : public IUserNotifier {
public:
    void message(const std::string& text, Caption = Caption::Title) override { messages_.push_back(text); }
    void state(const std::string& line) override { std::fprintf(stderr, "nalvexa-can: %s\n", line.c_str()); }

    // The messages since the last call, but `except` (one the caller says better).
    std::vector<std::string> Take(const std::string& except = "")
    {
        std::vector<std::string> out;
        for (std::string& m : messages_)
            if (m != except) out.push_back(std::move(m));
        messages_.clear();
        return out;
    }
    bool HasMessages() const { return !messages_.empty(); }

private:
    std::vector<std::string> messages_;
};

}  // namespace nalvexa::cantool
