// SPDX-License-Identifier: MIT
#pragma once

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "trace/trace.h"

namespace nalvexa {

// The trace on stderr ("-" or no name) or appended to a file, line by line.
class TraceFile : public ITraceSink {
public:
    ~TraceFile() override
    {
        Trace::Remove(this);
        if (file_ && file_ != stderr) std::fclose(file_);
    }
    // False, with the system's reason, for a file that cannot be opened.
    bool Open(const std::string& path, std::string& reason)
    {
        file_ = path.empty() || path == "-" ? stderr : std::fopen(path.c_str(), "a");
        if (!file_) {
            reason = std::strerror(errno);
            return false;
        }
        Trace::Add(this);
        return true;
    }
    void write(const std::string& line) override
    {
        std::fputs(line.c_str(), file_);
        std::fputc('\n', file_);
        std::fflush(file_);
    }

private:
    std::FILE* file_ = nullptr;
};

}  // namespace nalvexa
