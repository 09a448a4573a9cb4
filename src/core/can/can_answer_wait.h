// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "can/can_library.h"
#include "platform.h"

namespace nalvexa {

class CCANDriver;

// Which received frames can be the answer that is awaited. Every other frame
// on the bus (other nodes, heartbeats, PDOs, stale answers) is passed over.
using AnswerMatch = std::function<bool(const CanMessage& frame)>;

// One awaited answer of a service: the frames it takes, and how long it
// waits for them in all. Frames it passes over do not lengthen the wait; a
// frame that has arrived by the last moment still counts.
class CanAnswerWait {
public:
    CanAnswerWait(CCANDriver& bus, std::function<void()> onTimeout);
    // Waits `ms` (the driver's answer wait when negative) for a frame `match` accepts.
    void Start(AnswerMatch match, int64_t ms = -1);
    void Stop();
    bool waiting() const { return waiting_; }
    bool Awaits(const CanMessage& frame) const { return waiting_ && match_(frame); }

private:
    void Expired();

    CCANDriver& bus_;
    std::function<void()> onTimeout_;
    std::unique_ptr<ITimer> timer_;
    AnswerMatch match_;
    bool waiting_ = false;
    uint64_t started_ = 0;  // which wait this is
};

}  // namespace nalvexa
