// SPDX-License-Identifier: MIT
// The traffic, one line per event: what the client asked and got, what went
// out on the line or the bus and came back, and what the layers made of it.
// Off (no sink), a trace point costs one test of a flag.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "can/can_library.h"
#include "platform.h"

namespace nalvexa {

class ITraceSink {
public:
    virtual ~ITraceSink() = default;
    // One whole line, without its end; never binary.
    virtual void write(const std::string& line) = 0;
};

class Trace {
public:
    static bool on() { return !sinks_.empty(); }
    // Lines go to every sink added, stamped with the seconds since the first.
    static void Add(ITraceSink* sink);
    static void Remove(ITraceSink* sink);
    static void Line(const std::string& text);

    // The pieces of the lines.
    static std::string Hex(const uint8_t* bytes, size_t count, size_t limit = 64);
    // "can0  601   [8]  40 00 ..." as candump shows a frame; `direction` is '>' or '<'.
    static std::string CanFrame(const std::string& channel, char direction, const CanMessage& frame);
    // The interface name of a channel ("socketcan:can0" is can0, "slcan:/dev/ttyACM0" is ttyACM0).
    static std::string ChannelName(const std::string& channel);

private:
    static std::vector<ITraceSink*> sinks_;
};

// A change of state: a line for the service's log, and one in the trace.
inline void ReportState(IUserNotifier& notifier, const std::string& line)
{
    notifier.state(line);
    if (Trace::on()) Trace::Line(line);
}

}  // namespace nalvexa
