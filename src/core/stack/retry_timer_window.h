// SPDX-License-Identifier: MIT
#pragma once

#include <memory>

#include "platform.h"

namespace nalvexa {

class IRetryTimerOwner {
public:
    virtual ~IRetryTimerOwner() = default;
    virtual void OnTimer1() = 0;  // the pause before a repetition ended
    virtual void OnTimer2() = 0;  // the response interval ran out
};

// The two timers of a serial link layer: timer 1 is the fixed 200 ms pause
// before a repetition, timer 2 the response interval.
class RetryTimerWindow {
public:
    static constexpr int kRepeatPauseMs = 200;

    RetryTimerWindow(ITimerHost& host, IRetryTimerOwner& owner, int responseIntervalMs = 500);

    int responseInterval() const { return responseInterval_; }
    void setResponseInterval(int ms) { responseInterval_ = ms; }

    void StartTimer1();
    void StopTimer1();
    void StartTimer2();  // with the response interval as it is now
    void StopTimer2();

private:
    IRetryTimerOwner& owner_;
    int responseInterval_;
    std::unique_ptr<ITimer> timer1_;
    std::unique_ptr<ITimer> timer2_;
};

}  // namespace nalvexa
