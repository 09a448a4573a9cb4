// SPDX-License-Identifier: MIT
#pragma once

#include "platform.h"

namespace nalvexa {

// Text files with the standard library alone: the mode of a replaced file is
// kept, its owner cannot be. The default where no platform gives better.
class PortableTextFiles : public ITextFiles {
public:
    static PortableTextFiles& instance();
    ReadResult read(const std::string& path, std::string& text, std::string& reason) const override;
    bool replace(const std::string& path, const std::string& text, std::string& reason) override;
};

}  // namespace nalvexa
