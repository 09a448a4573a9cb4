// SPDX-License-Identifier: MIT
// Real time for programs without an event loop (tests on real devices):
// the clock of the core; timers can be made and started, but never fire.
#pragma once

#include <chrono>
#include <memory>
#include <thread>

#include "platform.h"

namespace nalvexa {

class SteadyClock : public ITimerHost {
public:
    int64_t nowMs() const override
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    std::unique_ptr<ITimer> createTimer(std::function<void()>) override
    {
        struct Idle : ITimer {
            void start(int) override { active = true; }
            void stop() override { active = false; }
            bool isActive() const override { return active; }
            bool active = false;
        };
        return std::make_unique<Idle>();
    }
};

}  // namespace nalvexa
