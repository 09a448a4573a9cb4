// SPDX-License-Identifier: MIT
#include "can/can_procedure.h"

#include "can/can_driver.h"
#include "can/lss_frames.h"

namespace nalvexa {

using lss::IsAnswer;

CanProcedure::CanProcedure(CCANDriver& bus)
    : bus_(bus), wait_(bus, [this] { Answer(nullptr, can::kQueueEmpty); })
{
    pause_ = bus.clock().createTimer([this] {
        pause_->stop();
        Next();
    });
}

CanProcedure& CanProcedure::Send(const CanMessage& frame, bool flushFirst, const char* failure)
{
    Step s;
    s.kind = Step::SendFrame;
    s.frame = frame;
    s.flush = flushFirst;
    s.failure = failure;
    steps_.push_back(std::move(s));
    return *this;
}

CanProcedure& CanProcedure::Pause(int ms)
{
    Step s;
    s.kind = Step::PauseMs;
    s.ms = ms;
    steps_.push_back(std::move(s));
    return *this;
}

CanProcedure& CanProcedure::Await(uint8_t command, int64_t ms, Answered then)
{
    Step s;
    s.kind = Step::AwaitAnswer;
    s.command = command;
    s.ms = ms;
    s.then = std::move(then);
    steps_.push_back(std::move(s));
    return *this;
}

CanProcedure& CanProcedure::Do(std::function<void()> action)
{
    Step s;
    s.kind = Step::Action;
    s.action = std::move(action);
    steps_.push_back(std::move(s));
    return *this;
}

CanProcedure& CanProcedure::Finally(std::function<void()> done)
{
    done_ = std::move(done);
    return *this;
}

void CanProcedure::Start() { Next(); }

// Every LSS answer is kept while the procedure runs; the steps decide.
bool CanProcedure::Awaits(const CanMessage& frame) const { return IsAnswer(frame); }

void CanProcedure::Take(const CanMessage& frame)
{
    if (wait_.waiting() && frame.data[0] == awaiting_) {
        wait_.Stop();
        Answer(&frame, can::kOk);
        return;
    }
    inbox_.push_back(frame);
}

void CanProcedure::Failed(uint32_t code)
{
    if (!wait_.waiting()) return;
    wait_.Stop();
    Answer(nullptr, code);
}

void CanProcedure::Next()
{
    while (at_ < steps_.size()) {
        Step& s = steps_[at_++];
        switch (s.kind) {
        case Step::SendFrame:
            if (s.flush) {
                bus_.FlushReceiveQueue();
                inbox_.clear();
            }
            if (bus_.Send(s.frame) != can::kOk && s.failure) bus_.notifier().message(s.failure, Caption::Info);
            break;
        case Step::PauseMs: pause_->start(static_cast<int>(s.ms)); return;
        case Step::AwaitAnswer:
            awaiting_ = s.command;
            for (auto it = inbox_.begin(); it != inbox_.end(); ++it) {
                if (it->data[0] != s.command) continue;
                const CanMessage answer = *it;
                inbox_.erase(it);
                Answer(&answer, can::kOk);
                return;
            }
            wait_.Start([this](const CanMessage& f) { return IsAnswer(f) && f.data[0] == awaiting_; }, s.ms);
            return;
        case Step::Action: s.action(); break;
        }
    }
    Finish();
}

void CanProcedure::Answer(const CanMessage* answer, uint32_t failure)
{
    const Step& s = steps_[at_ - 1];
    if (s.then && !s.then(answer, failure)) {
        Finish();
        return;
    }
    Next();
}

void CanProcedure::Finish()
{
    at_ = steps_.size();
    pause_->stop();
    wait_.Stop();
    if (done_) done_();
    bus_.JobDone();
}

}  // namespace nalvexa
