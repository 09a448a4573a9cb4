// SPDX-License-Identifier: MIT
#include "stack/retrying_link.h"

#include <algorithm>
#include <limits>

#include "trace/trace.h"

namespace nalvexa {

RetryingLink::RetryingLink(ITimerHost& host, int responseIntervalMs, int maxRepetitions)
    : host_(host), timers_(host, *this, responseIntervalMs), maxRepetitions_(maxRepetitions)
{
    wait_ = host.createTimer([this] { OnWait(); });
}

void RetryingLink::Reset()
{
    timers_.StopTimer1();
    timers_.StopTimer2();
    wait_->stop();
    phase_ = Phase::Idle;
    need_ = Need::None;
    retry_ = 0;
    neverQuietTold_ = false;
}

void RetryingLink::NewFrame()
{
    // Whatever was due belongs to the previous request.
    timers_.StopTimer1();
    timers_.StopTimer2();
    retry_ = 0;
    sends_ = 0;
    repetition_ = false;
    Hold();
}

bool RetryingLink::AcceptingAnswer() const
{
    if (phase_ == Phase::Awaiting) return true;
    if (Trace::on()) {
        Trace::Line(phase_ == Phase::Pausing    ? "dropped: came during the pause before the repetition"
                    : phase_ == Phase::PreFrame ? "dropped: came before the frame went out"
                                                : "dropped: late answer");
    }
    return false;
}

bool RetryingLink::AnswerChecked(uint32_t error)
{
    timers_.StopTimer2();
    if (error == 0) {
        retry_ = 0;
        // One frame, one answer: nothing more can come. After repetitions the
        // answer to another copy of the frame may still be on its way.
        Ended(sends_ > 1);
        return true;
    }
    if (retry_ > 1) {
        if (Trace::on()) Trace::Line(std::string(Verdict(error)) + ", the request fails");
        retry_ = 0;
        Ended(true);
        return true;
    }
    if (Trace::on()) Trace::Line(std::string(Verdict(error)) + ", repeat in 200 ms");
    phase_ = Phase::Pausing;
    timers_.StartTimer1();
    ++retry_;
    return false;
}

void RetryingLink::OnTimer1()
{
    if (phase_ != Phase::Pausing) return;
    repetition_ = true;
    Transmit();
}

void RetryingLink::OnTimer2()
{
    if (phase_ != Phase::Awaiting) return;
    Ended(true);
    if (retry_ < maxRepetitions_) {
        if (Trace::on())
            Trace::Line("time-out, repeat " + std::to_string(retry_ + 1) + " of " + std::to_string(maxRepetitions_));
        ++retry_;
        repetition_ = true;
        Hold();
        return;
    }
    if (Trace::on()) Trace::Line("time-out, the request fails");
    retry_ = 0;
    FailSaved(TimeoutError());
}

void RetryingLink::Ended(bool mayFollow)
{
    phase_ = Phase::Idle;
    if (!mayFollow) {
        need_ = Need::Silence;
        return;
    }
    need_ = Need::Quiet;
    quietFrom_ = std::max(host_.nowMs(), lastSentAt_ + std::max(responseInterval(), 0));
}

void RetryingLink::Hold()
{
    phase_ = Phase::Holding;
    holdStart_ = host_.nowMs();
    CheckLine();
}

void RetryingLink::CheckLine()
{
    const int64_t left = LineWaitLeft();
    if (left <= 0) {
        LineAllows();
        return;
    }
    const int64_t held = host_.nowMs() - holdStart_;
    if (held >= HoldBound()) {
        NeverQuiet();
        return;
    }
    if (Trace::on() && held == 0)
        Trace::Line(need_ == Need::Quiet ? "waiting for a quiet line" : "waiting for the inter-frame silence");
    wait_->start(static_cast<int>(std::min(left, HoldBound() - held)));
}

void RetryingLink::OnWait()
{
    wait_->stop();
    if (phase_ == Phase::Holding) CheckLine();
    else if (phase_ == Phase::PreFrame) Transmit();
}

void RetryingLink::LineAllows()
{
    need_ = Need::None;
    neverQuietTold_ = false;
    if (!repetition_ && PreFramePauseMs() > 0) {
        phase_ = Phase::PreFrame;
        wait_->start(PreFramePauseMs());
        return;
    }
    Transmit();
}

void RetryingLink::Transmit()
{
    // The state is set first: the answer may arrive while the frame is written.
    phase_ = Phase::Awaiting;
    lastSentAt_ = host_.nowMs();
    ++sends_;
    timers_.StartTimer2();
    SendSaved();
}

void RetryingLink::NeverQuiet()
{
    const std::string what = "no pause of " + std::to_string(NeedMs()) + " ms in " + std::to_string(HoldBound()) +
                             " ms, the request fails";
    if (!neverQuietTold_ && report_) report_(what);
    else if (Trace::on()) Trace::Line("line never quiet: " + what);
    neverQuietTold_ = true;
    phase_ = Phase::Idle;
    retry_ = 0;
    FailSaved(TimeoutError());
}

int64_t RetryingLink::LastByteAt() const
{
    return line_ ? line_->lastByteAt() : std::numeric_limits<int64_t>::min() / 2;
}

int RetryingLink::SilenceMs() const { return line_ ? line_->CharactersMs(silenceChars_) : 0; }

int RetryingLink::NeedMs() const
{
    switch (need_) {
    case Need::None: return 0;
    case Need::Silence: return SilenceMs();
    case Need::Quiet: return quietInterval();
    }
    return 0;
}

int64_t RetryingLink::LineWaitLeft() const
{
    const int ms = NeedMs();
    if (ms <= 0) return 0;
    const int64_t since = need_ == Need::Quiet ? std::max(quietFrom_, LastByteAt()) : LastByteAt();
    return since + ms - host_.nowMs();
}

int64_t RetryingLink::HoldBound() const
{
    return int64_t{kQuietBoundFactor} * std::max({responseInterval(), quietInterval(), SilenceMs(), 0});
}

}  // namespace nalvexa
