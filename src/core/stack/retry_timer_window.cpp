// SPDX-License-Identifier: MIT
#include "stack/retry_timer_window.h"

#include <algorithm>

namespace nalvexa {

RetryTimerWindow::RetryTimerWindow(ITimerHost& host, IRetryTimerOwner& owner, int responseIntervalMs)
    : owner_(owner), responseInterval_(responseIntervalMs)
{
    timer1_ = host.createTimer([this] {
        timer1_->stop();
        owner_.OnTimer1();
    });
    timer2_ = host.createTimer([this] {
        timer2_->stop();
        owner_.OnTimer2();
    });
}

void RetryTimerWindow::StartTimer1() { timer1_->start(kRepeatPauseMs); }
void RetryTimerWindow::StopTimer1() { timer1_->stop(); }
// A negative interval from the ini file fires at once, like a zero one.
void RetryTimerWindow::StartTimer2() { timer2_->start(std::max(responseInterval_, 0)); }
void RetryTimerWindow::StopTimer2() { timer2_->stop(); }

}  // namespace nalvexa
