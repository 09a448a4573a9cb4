// SPDX-License-Identifier: MIT
#pragma once

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "trace/trace.h"

namespace nalvexa {

// The trace on stderr ("-" or no name) or appended to a file, line by line.
// A file that cannot take a line (a full disk) ends the trace with a word on
// stderr, and keeps no part of that line: what it holds are whole lines.
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
        path_ = file_ == stderr ? "stderr" : path;
        // Unbuffered: a line that fails leaves nothing behind to be written later.
        if (file_ != stderr) std::setvbuf(file_, nullptr, _IONBF, 0);
        Trace::Add(this);
        return true;
    }
    void write(const std::string& line) override
    {
        if (stopped_) return;
        const std::string whole = line + '\n';
        const long start = file_ == stderr || std::fseek(file_, 0, SEEK_END) != 0 ? -1 : std::ftell(file_);
        if (std::fwrite(whole.data(), 1, whole.size(), file_) == whole.size()) return;
        const int error = errno;
        stopped_ = true;
        std::clearerr(file_);
        if (start >= 0) CutTo(start);
        if (file_ != stderr)
            std::fprintf(stderr, "trace stopped: %s: %s\n", path_.c_str(), std::strerror(error));
    }

private:
    void CutTo(long length)
    {
#ifdef _WIN32
        (void)_chsize(_fileno(file_), length);
#else
        (void)::ftruncate(fileno(file_), length);
#endif
    }

    std::FILE* file_ = nullptr;
    std::string path_;
    bool stopped_ = false;
};

}  // namespace nalvexa
