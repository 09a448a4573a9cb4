// SPDX-License-Identifier: MIT
#pragma once

#include "platform.h"

namespace nalvexa {

// Settings files on a POSIX system. A file is replaced through a temporary
// file beside its target (the target of a symbolic link), which gets the
// old file's mode and owner, is flushed to the disk and renamed over it.
// Where no file can be made beside it (a folder the user may not write to),
// the file is rewritten in place, and restored should that fail.
class PosixTextFiles : public ITextFiles {
public:
    ReadResult read(const std::string& path, std::string& text, std::string& reason) const override;
    bool replace(const std::string& path, const std::string& text, std::string& reason) override;
};

}  // namespace nalvexa
