// SPDX-License-Identifier: MIT
// The top of a serial stack: requests wait in arrival order and go to the
// drive one at a time; each is answered exactly once.
#pragma once

#include <deque>
#include <functional>
#include <utility>

#include "server/adapter_interfaces.h"
#include "server/driver_request.h"
#include "stack/message.h"

namespace nalvexa {

class TransactionLayer : public EndpointNode {
public:
    void Enqueue(DriverRequest* request)
    {
        pending_.push_back(request);
        StartNext();
    }
    bool busy() const { return busy_; }
    // An operator's procedure needs the line: `then` runs once the request on
    // it has ended, and no request goes out until Release.
    void Hold(std::function<void()> then)
    {
        held_ = true;
        if (!busy_)
            then();
        else
            onHeld_ = std::move(then);
    }
    void Release()
    {
        held_ = false;
        StartNext();
    }
    size_t pendingCount() const { return pending_.size(); }
    // Ends every request at once with `status`: the one on the line and those queued.
    void FailAll(int32_t status)
    {
        std::deque<DriverRequest*> ending;
        ending.swap(pending_);
        busy_ = false;
        for (DriverRequest* request : ending) {
            request->status = status;
            if (request->replySink) request->replySink->SendReply();
        }
    }

    void Process(Message* message) final
    {
        if (pending_.empty()) return;  // nothing asked for this
        OnAnswer(*pending_.front(), message);
    }

protected:
    virtual void Start(DriverRequest& request) = 0;
    virtual void OnAnswer(DriverRequest& request, Message* message) = 0;

    void SendDown(Frame& frame)
    {
        frame.stop = false;
        if (neighbour) neighbour->Receive(&frame, this);
    }

    // Replies to the oldest request and moves on to the next.
    void Finish()
    {
        DriverRequest* request = pending_.front();
        pending_.pop_front();
        busy_ = false;
        if (request->replySink) request->replySink->SendReply();
        if (onHeld_) std::exchange(onHeld_, nullptr)();
        StartNext();
    }

private:
    void StartNext()
    {
        if (busy_ || held_ || pending_.empty()) return;
        busy_ = true;
        Start(*pending_.front());
    }

    std::deque<DriverRequest*> pending_;
    std::function<void()> onHeld_;
    bool busy_ = false;
    bool held_ = false;
};

}  // namespace nalvexa
