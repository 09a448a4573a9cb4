// SPDX-License-Identifier: MIT
#pragma once

#include <deque>

#include "can/can_library.h"

namespace nalvexa {

// What a back end has read from its device and the driver has not yet taken:
// frames, and the errors among them, in order. Beyond its size the oldest
// go, as an overrun.
class ReceivedFrames {
public:
    static constexpr size_t kMaxQueued = 4096;

    void Add(const CanMessage& frame) { Push({frame, can::kOk}); }
    void AddError(uint32_t code) { Push({CanMessage{}, code}); }
    bool empty() const { return queue_.empty(); }
    void clear()
    {
        queue_.clear();
        overrun_ = false;
    }
    // The library's result of a read: the next frame, an error, or queue empty.
    uint32_t Take(CanMessage& frame)
    {
        if (overrun_) {
            overrun_ = false;
            return can::kQueueOverrun;
        }
        if (queue_.empty()) return can::kQueueEmpty;
        const Entry e = queue_.front();
        queue_.pop_front();
        if (e.code == can::kOk) frame = e.frame;
        return e.code;
    }

private:
    struct Entry {
        CanMessage frame;
        uint32_t code;
    };
    void Push(const Entry& e)
    {
        if (queue_.size() >= kMaxQueued) {
            queue_.pop_front();
            overrun_ = true;
        }
        queue_.push_back(e);
    }
    std::deque<Entry> queue_;
    bool overrun_ = false;
};

}  // namespace nalvexa
