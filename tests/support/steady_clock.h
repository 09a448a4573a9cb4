// Real time for code that waits on real devices: the clock and the sleeper
// of the core, without an event loop (timers are not available).
#pragma once

#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform.h"

namespace nalvexa::test {

class SteadyClock : public ITimerHost, public ISleeper {
public:
    int64_t nowMs() const override
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    std::unique_ptr<ITimer> createTimer(std::function<void()>) override { std::abort(); }
    void sleepMs(int ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
};

}  // namespace nalvexa::test
