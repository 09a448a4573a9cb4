// SPDX-License-Identifier: MIT
// An operator's procedure on the bus (NMT, LSS): frames, fixed pauses and
// awaited answers, one step after the other, as a job of the loop. The
// pauses are timers; an answer that comes during a pause is kept for the
// step that awaits it, until the next frame that flushes.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "can/can_answer_wait.h"
#include "can/can_job.h"
#include "platform.h"

namespace nalvexa {

class CanProcedure : public CanJob {
public:
    // An awaited answer (or none: `failure` is the library's code, kQueueEmpty
    // after the time-out); false ends the procedure there.
    using Answered = std::function<bool(const CanMessage* answer, uint32_t failure)>;

    explicit CanProcedure(CCANDriver& bus);

    // A frame (after flushing what was received, with `flushFirst`); a failed
    // write shows `failure`, if any.
    CanProcedure& Send(const CanMessage& frame, bool flushFirst, const char* failure);
    CanProcedure& Pause(int ms);
    // Waits up to `ms` (the driver's answer wait when negative) for an LSS
    // slave's answer to the service `command`.
    CanProcedure& Await(uint8_t command, int64_t ms, Answered then);
    CanProcedure& Do(std::function<void()> action);
    // After the last step, or the step that ended it.
    CanProcedure& Finally(std::function<void()> done);

    void Start() override;
    bool Awaits(const CanMessage& frame) const override;
    void Take(const CanMessage& frame) override;
    void Failed(uint32_t code) override;

private:
    struct Step {
        enum Kind { SendFrame, PauseMs, AwaitAnswer, Action } kind = Action;
        CanMessage frame{};
        bool flush = false;
        const char* failure = nullptr;
        int64_t ms = 0;
        uint8_t command = 0;
        Answered then;
        std::function<void()> action;
    };

    void Next();
    void Answer(const CanMessage* answer, uint32_t failure);
    void Finish();

    CCANDriver& bus_;
    std::vector<Step> steps_;
    size_t at_ = 0;
    std::unique_ptr<ITimer> pause_;
    CanAnswerWait wait_;
    uint8_t awaiting_ = 0;  // the command of the answer awaited
    std::deque<CanMessage> inbox_;
    std::function<void()> done_;
};

}  // namespace nalvexa
