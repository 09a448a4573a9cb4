// SPDX-License-Identifier: MIT
// The rhythm of a request-and-answer serial line, shared by the three link
// layers: when a frame may go out, how long its answer is awaited, and the
// repetitions after bad or missing answers.
//
// These lines carry no sequence numbers, so an answer can only be told from a
// late one by its time. A frame therefore goes out only when no answer to an
// earlier frame can still be on its way:
// - after a clean exchange (one frame, one good answer) once the line has
//   been quiet for the inter-frame silence (0: at once);
// - after a time-out, a failed request, or a good answer to a frame that was
//   sent more than once, once the line has been quiet for the quiet interval,
//   counted from the end of the last frame's response interval at the earliest.
// A line that never goes quiet ends the waiting frame's request after ten
// such intervals. After a bad answer the repetition follows the fixed pause,
// and what arrives during the pause is dropped.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "stack/message.h"
#include "stack/retry_timer_window.h"

namespace nalvexa {

// What the bottom of a stack knows of the line.
class ILineActivity {
public:
    virtual ~ILineActivity() = default;
    // When the last byte arrived, on the timer host's clock.
    virtual int64_t lastByteAt() const = 0;
    // How long that many characters take at the line's speed, in whole ms.
    virtual int CharactersMs(int characters) const = 0;
};

// The timing of a link layer, as the settings see it.
class LinkSettings {
public:
    virtual ~LinkSettings() = default;
    virtual int responseInterval() const = 0;
    virtual void setResponseInterval(int ms) = 0;
    virtual int maxRepetitions() const = 0;
    virtual void setMaxRepetitions(int count) = 0;
};

class RetryingLink : public ProtocolLayer, public LinkSettings, protected IRetryTimerOwner {
public:
    // A held frame gives up after this many of its longest interval.
    static constexpr int kQuietBoundFactor = 10;
    static constexpr int kFollowResponseInterval = -1;

    RetryingLink(ITimerHost& host, int responseIntervalMs, int maxRepetitions);

    void SetLine(const ILineActivity* line) { line_ = line; }
    // Told once when a line that never goes quiet begins to fail requests.
    void SetNeverQuietReport(std::function<void(const std::string&)> report) { report_ = std::move(report); }
    // Nothing awaited, no timer running: the device has gone.
    void Reset();

    int responseInterval() const override { return timers_.responseInterval(); }
    void setResponseInterval(int ms) override { timers_.setResponseInterval(ms); }
    int maxRepetitions() const override { return maxRepetitions_; }
    void setMaxRepetitions(int count) override { maxRepetitions_ = count; }
    // Milliseconds of quiet after a time-out; kFollowResponseInterval (or any
    // negative value) follows the response interval; 0 waits for nothing.
    int quietInterval() const { return quietSetting_ < 0 ? std::max(responseInterval(), 0) : quietSetting_; }
    void setQuietInterval(int ms) { quietSetting_ = ms; }
    // Character times of quiet after a clean exchange (0: none).
    int interFrameSilence() const { return silenceChars_; }
    void setInterFrameSilence(int characters) { silenceChars_ = std::max(characters, 0); }

    bool awaitingAnswer() const { return phase_ == Phase::Awaiting; }
    // The frame is held until the line allows it to go out.
    bool holding() const { return phase_ == Phase::Holding || phase_ == Phase::PreFrame; }
    int retryCounter() const { return retry_; }

protected:
    // A new frame from above is in the saved frame, sealed: send it when the line allows.
    void NewFrame();
    // Whether a whole frame from below can be an answer now; says why not in the trace.
    bool AcceptingAnswer() const;
    // The verdict on an answer (0 good, else the error its request fails
    // with when no repetition is left): true when the frame goes up.
    bool AnswerChecked(uint32_t error);

    virtual void SendSaved() = 0;                 // the saved frame, down
    virtual void FailSaved(uint32_t error) = 0;  // the saved frame, up, with that error
    virtual uint32_t TimeoutError() const = 0;
    // What a bad answer's error means, for the trace ("bad checksum").
    virtual const char* Verdict(uint32_t error) const = 0;
    // A pause some devices need before each new frame (not before repetitions).
    virtual int PreFramePauseMs() const { return 0; }

private:
    enum class Phase { Idle, Holding, PreFrame, Awaiting, Pausing };
    enum class Need { None, Silence, Quiet };

    void OnTimer1() override;
    void OnTimer2() override;
    void OnWait();
    void Hold();
    void CheckLine();
    void LineAllows();
    void Transmit();
    // The frame's exchange ended; `mayFollow`: an answer to it may still come.
    void Ended(bool mayFollow);
    void NeverQuiet();
    int SilenceMs() const;
    int NeedMs() const;  // the quiet the held frame needs
    int64_t LineWaitLeft() const;
    int64_t HoldBound() const;
    int64_t LastByteAt() const;

    ITimerHost& host_;
    RetryTimerWindow timers_;
    std::unique_ptr<ITimer> wait_;  // the hold and the pre-frame pause
    const ILineActivity* line_ = nullptr;
    std::function<void(const std::string&)> report_;
    Phase phase_ = Phase::Idle;
    Need need_ = Need::None;
    int retry_ = 0;
    int maxRepetitions_;
    int quietSetting_ = kFollowResponseInterval;
    int silenceChars_ = 0;
    int sends_ = 0;           // of the saved frame
    bool repetition_ = false;  // the held frame is sent again
    bool neverQuietTold_ = false;
    int64_t lastSentAt_ = 0;
    int64_t quietFrom_ = 0;  // a Quiet need counts from here at the earliest
    int64_t holdStart_ = 0;
};

}  // namespace nalvexa
