// SPDX-License-Identifier: MIT
// Virtual time for the core: timers fire only when the test advances the
// clock, in the order they fall due, so time-outs are exact and instant.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "platform.h"

namespace nalvexa::test {

class ManualClock : public ITimerHost {
public:
    int64_t nowMs() const override { return now_; }
    std::unique_ptr<ITimer> createTimer(std::function<void()> onExpiry) override;

    // Runs every timer that falls due up to now + ms, then sets the time.
    void Advance(int64_t ms);
    // Runs the timers due before `ms` (absolute), then sets the time to it:
    // what happens next at that moment comes before the timers due then.
    void AdvanceBefore(int64_t ms);
    // When the next timer falls due, or kNever.
    static constexpr int64_t kNever = INT64_MAX;
    int64_t nextDue() const;
    int activeTimers() const;

private:
    struct Entry {
        bool active = false;
        int64_t due = 0;
        uint64_t order = 0;
        std::function<void()> fire;
    };
    class Timer;

    int64_t now_ = 1000;
    uint64_t starts_ = 0;
    std::vector<std::shared_ptr<Entry>> entries_;
};

class ManualPoster : public ITaskPoster {
public:
    void post(std::function<void()> task) override { tasks_.push_back(std::move(task)); }
    // Runs posted tasks, also those they post, until none is left.
    void RunAll()
    {
        while (!tasks_.empty()) {
            auto task = std::move(tasks_.front());
            tasks_.erase(tasks_.begin());
            task();
        }
    }
    size_t pending() const { return tasks_.size(); }

private:
    std::vector<std::function<void()>> tasks_;
};

}  // namespace nalvexa::test
