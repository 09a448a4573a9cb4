// What the three serial link layers share: the copy of the last request
// frame, the response interval, repetitions after bad or missing answers.
#pragma once

#include <cstdint>

#include "stack/message.h"
#include "stack/retry_timer_window.h"

namespace nalvexa {

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
        : timers_(host, *this, responseIntervalMs), maxRepetitions_(maxRepetitions)
    {
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
            timers_.StartTimer2();
            BeforeSend();
            awaiting_ = true;
            return;
        }
        if (!awaiting_) {
            // Nothing is outstanding: a late or stray answer.
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
            retry_ = 0;
            awaiting_ = false;
            frame.error = error;
            return;
        }
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
            ++retry_;
            timers_.StartTimer2();
            SendSaved();
            return;
        }
        retry_ = 0;
        awaiting_ = false;
        saved_.error = TimeoutError();
        saved_.stop = false;
        if (upper) upper->Receive(&saved_, this);
    }

    void SendSaved()
    {
        saved_.stop = false;
        if (lower) lower->Receive(&saved_, this);
    }

    RetryTimerWindow timers_;
    FrameT saved_;
    int retry_ = 0;
    int maxRepetitions_;
    bool awaiting_ = false;
};

}  // namespace nalvexa
