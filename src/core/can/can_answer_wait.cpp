// SPDX-License-Identifier: MIT
#include "can/can_answer_wait.h"

#include <algorithm>
#include <limits>

#include "can/can_driver.h"

namespace nalvexa {

CanAnswerWait::CanAnswerWait(CCANDriver& bus, std::function<void()> onTimeout)
    : bus_(bus), onTimeout_(std::move(onTimeout))
{
    timer_ = bus.clock().createTimer([this] { Expired(); });
}

void CanAnswerWait::Start(AnswerMatch match, int64_t ms)
{
    match_ = std::move(match);
    waiting_ = true;
    ++started_;
    const int64_t total = ms < 0 ? bus_.answerWait() : ms;
    timer_->start(static_cast<int>(std::min<int64_t>(total, std::numeric_limits<int>::max())));
    bus_.AnswerAwaited();
}

void CanAnswerWait::Stop()
{
    waiting_ = false;
    timer_->stop();
}

void CanAnswerWait::Expired()
{
    timer_->stop();
    // What has come by now still counts; taking it may already have begun the next wait.
    const uint64_t started = started_;
    bus_.LookNow();
    if (!waiting_ || started != started_) return;
    waiting_ = false;
    onTimeout_();
}

}  // namespace nalvexa
