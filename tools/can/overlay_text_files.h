// SPDX-License-Identifier: MIT
// The settings file as the tool sees it: read from the disk, changed only in
// memory, so that the command line's choices never reach the user's file.
#pragma once

#include <map>
#include <string>

#include "platform.h"

namespace nalvexa::cantool {

class OverlayTextFiles : public ITextFiles {
public:
    explicit OverlayTextFiles(const ITextFiles& disk) : disk_(disk) {}

    ReadResult read(const std::string& path, std::string& text, std::string& reason) const override
    {
        auto it = changed_.find(path);
        if (it == changed_.end()) return disk_.read(path, text, reason);
        text = it->second;
        return ReadResult::Ok;
    }
    bool replace(const std::string& path, const std::string& text, std::string&) override
    {
        changed_[path] = text;
        return true;
    }

private:
    const ITextFiles& disk_;
    std::map<std::string, std::string> changed_;
};

}  // namespace nalvexa::cantool
