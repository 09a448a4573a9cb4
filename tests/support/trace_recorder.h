// SPDX-License-Identifier: MIT
// Collects the trace while it lives, without the time stamps.
#pragma once

#include <string>
#include <vector>

#include "trace/trace.h"

namespace nalvexa::test {

class TraceRecorder : public ITraceSink {
public:
    TraceRecorder() { Trace::Add(this); }
    ~TraceRecorder() override { Trace::Remove(this); }
    void write(const std::string& line) override { lines.push_back(line.substr(line.find(' ') + 1)); }
    std::vector<std::string> lines;
};

}  // namespace nalvexa::test
