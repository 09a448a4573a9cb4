// SPDX-License-Identifier: MIT
#include "trace/trace.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace nalvexa {

std::vector<ITraceSink*> Trace::sinks_;

namespace {

using Clock = std::chrono::steady_clock;
Clock::time_point g_start = Clock::now();

}  // namespace

void Trace::Add(ITraceSink* sink)
{
    if (sinks_.empty()) g_start = Clock::now();
    if (std::find(sinks_.begin(), sinks_.end(), sink) == sinks_.end()) sinks_.push_back(sink);
}

void Trace::Remove(ITraceSink* sink)
{
    sinks_.erase(std::remove(sinks_.begin(), sinks_.end(), sink), sinks_.end());
}

void Trace::Line(const std::string& text)
{
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - g_start).count();
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%lld.%06lld ", static_cast<long long>(us / 1000000),
                  static_cast<long long>(us % 1000000));
    const std::string line = stamp + text;
    for (ITraceSink* sink : sinks_) sink->write(line);
}

std::string Trace::Hex(const uint8_t* bytes, size_t count, size_t limit)
{
    static const char* const kDigits = "0123456789abcdef";
    std::string text;
    const size_t shown = std::min(count, limit);
    text.reserve(shown * 3 + 24);
    for (size_t i = 0; i < shown; ++i) {
        if (i) text += ' ';
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 15];
    }
    if (shown < count) text += " ... (" + std::to_string(count) + " bytes)";
    return text;
}

std::string Trace::CanFrame(const std::string& channel, char direction, const CanMessage& f)
{
    char head[64];
    const bool extended = f.type & 2;
    if (extended)
        std::snprintf(head, sizeof head, "%s %c %08X   [%u] ", channel.c_str(), direction, f.id, f.length);
    else
        std::snprintf(head, sizeof head, "%s %c %03X   [%u] ", channel.c_str(), direction, f.id, f.length);
    std::string text = head;
    if (f.type & 1) return text + " remote request";
    for (int i = 0; i < std::min<int>(f.length, 8); ++i) {
        char b[4];
        std::snprintf(b, sizeof b, " %02X", f.data[i]);
        text += b;
    }
    return text;
}

std::string Trace::ChannelName(const std::string& channel)
{
    std::string name = channel.substr(channel.find(':') + 1);
    name = name.substr(0, name.find('@'));
    return name.substr(name.rfind('/') + 1);
}

}  // namespace nalvexa
