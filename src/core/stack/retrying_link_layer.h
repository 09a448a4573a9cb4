// SPDX-License-Identifier: MIT
// What the three serial link layers share: the copy of the last request
// frame, the response interval, repetitions after bad or missing answers.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>

#include "stack/message.h"
#include "stack/retry_timer_window.h"
#include "trace/trace.h"

namespace nalvexa {

// What the bottom of a stack knows of the bytes that arrive on the line.
class ILineActivity {
public:
    virtual ~ILineActivity() = default;
    // When the last byte arrived, on the timer host's clock.
    virtual int64_t lastByteAt() const = 0;
};

// The response interval and repetition count, as the settings see them.
class LinkSettings {
public:
    virtual ~LinkSettings() = default;
    virtual int responseInterval() const = 0;
    virtual void setResponseInterval(int ms) = 0;
    virtual int maxRepetitions() const = 0;
    virtual void setMaxRepetitions(int count) = 0;
};

template <class FrameT>
class RetryingLinkLayer : public ProtocolLayer, public LinkSettings, protected IRetryTimerOwner {
public:
    RetryingLinkLayer(ITimerHost& host, int responseIntervalMs, int maxRepetitions)
        : host_(host), timers_(host, *this, responseIntervalMs), maxRepetitions_(maxRepetitions)
    {
        quietCheck_ = host.createTimer([this] { OnQuietCheck(); });
    }

    // The line whose quiet a request waits for after a failed one.
    void SetLine(const ILineActivity* line) { line_ = line; }
    // A frame is held back until the line has been quiet long enough.
    bool holdingFrame() const { return holding_; }
    // Nothing awaited, no timer running: the device has gone.
    void Reset()
    {
        timers_.StopTimer1();
        timers_.StopTimer2();
        quietCheck_->stop();
        awaiting_ = holding_ = afterFailure_ = false;
        retry_ = 0;
    }

    int responseInterval() const override { return timers_.responseInterval(); }
    void setResponseInterval(int ms) override { timers_.setResponseInterval(ms); }
    int maxRepetitions() const override { return maxRepetitions_; }
    void setMaxRepetitions(int count) override { maxRepetitions_ = count; }
    bool awaitingAnswer() const { return awaiting_; }
    int retryCounter() const { return retry_; }

    void Process(Message* message) final
    {
        auto& frame = static_cast<FrameT&>(*message);
        if (!frame.inbound) {
            Seal(frame);
            saved_.CopyFrom(frame);
            // A repetition still due belongs to the previous request.
            timers_.StopTimer1();
            if (afterFailure_ && !LineQuiet()) {
                // The drive may still be answering the request that failed:
                // that answer must not be taken for this one.
                if (Trace::on()) Trace::Line("waiting for a quiet line after the failed request");
                frame.stop = true;
                holding_ = true;
                quietCheck_->start(QuietLeft());
                return;
            }
            afterFailure_ = false;
            timers_.StartTimer2();
            BeforeSend();
            awaiting_ = true;
            return;
        }
        if (!awaiting_) {
            // Nothing is outstanding: a late or stray answer.
            if (Trace::on()) Trace::Line("dropped: late answer");
            frame.stop = true;
            return;
        }
        timers_.StopTimer2();
        uint32_t error = Check(frame);
        if (error == 0) {
            retry_ = 0;
            awaiting_ = false;
            return;
        }
        if (retry_ > 1) {
            if (Trace::on()) Trace::Line(std::string(Verdict(error)) + ", the request fails");
            retry_ = 0;
            awaiting_ = false;
            frame.error = error;
            Failed();
            return;
        }
        if (Trace::on()) Trace::Line(std::string(Verdict(error)) + ", repeat in 200 ms");
        frame.stop = true;
        timers_.StartTimer1();
        ++retry_;
    }

protected:
    // Adds what the line needs to an outgoing frame (length, checksum, CRC).
    virtual void Seal(FrameT& frame) = 0;
    // 0 for a good answer, which it strips to what goes up; otherwise the
    // error the request fails with when no repetition is left.
    virtual uint32_t Check(FrameT& frame) = 0;
    virtual uint32_t TimeoutError() const = 0;
    // What a bad answer's error means, for the trace ("bad checksum").
    virtual const char* Verdict(uint32_t error) const = 0;
    virtual void BeforeSend() {}

    void OnTimer1() override
    {
        if (!awaiting_) return;
        SendSaved();
        // Without this a drive that falls silent after a bad answer would
        // leave the request unanswered for ever.
        timers_.StartTimer2();
    }

    void OnTimer2() override
    {
        if (retry_ < maxRepetitions_) {
            if (Trace::on())
                Trace::Line("time-out, repeat " + std::to_string(retry_ + 1) + " of " + std::to_string(maxRepetitions_));
            ++retry_;
            timers_.StartTimer2();
            SendSaved();
            return;
        }
        if (Trace::on()) Trace::Line("time-out, the request fails");
        retry_ = 0;
        awaiting_ = false;
        saved_.error = TimeoutError();
        saved_.stop = false;
        Failed();
        if (upper) upper->Receive(&saved_, this);
    }

    // The request ended without a good answer, now.
    void Failed()
    {
        afterFailure_ = true;
        failedAt_ = host_.nowMs();
    }

    int64_t QuietSince() const
    {
        return std::max(failedAt_, line_ ? line_->lastByteAt() : std::numeric_limits<int64_t>::min());
    }
    bool LineQuiet() const { return host_.nowMs() - QuietSince() >= responseInterval(); }
    int QuietLeft() const
    {
        return static_cast<int>(std::max<int64_t>(QuietSince() + responseInterval() - host_.nowMs(), 1));
    }

    void OnQuietCheck()
    {
        quietCheck_->stop();
        if (!holding_) return;
        if (!LineQuiet()) {
            quietCheck_->start(QuietLeft());
            return;
        }
        holding_ = false;
        afterFailure_ = false;
        timers_.StartTimer2();
        BeforeSend();
        awaiting_ = true;
        SendSaved();
    }

    void SendSaved()
    {
        saved_.stop = false;
        if (lower) lower->Receive(&saved_, this);
    }

    ITimerHost& host_;
    RetryTimerWindow timers_;
    std::unique_ptr<ITimer> quietCheck_;
    const ILineActivity* line_ = nullptr;
    FrameT saved_;
    int retry_ = 0;
    int maxRepetitions_;
    bool awaiting_ = false;
    bool afterFailure_ = false;
    bool holding_ = false;
    int64_t failedAt_ = 0;
};

}  // namespace nalvexa
