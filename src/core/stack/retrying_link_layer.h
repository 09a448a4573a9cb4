// SPDX-License-Identifier: MIT
// What the three serial link layers share: the copy of the last request
// frame and the rhythm of the line (when it goes out, when it is repeated).
#pragma once

#include "stack/message.h"
#include "stack/retrying_link.h"

namespace nalvexa {

template <class FrameT>
class RetryingLinkLayer : public RetryingLink {
public:
    using RetryingLink::RetryingLink;

    void Process(Message* message) final
    {
        auto& frame = static_cast<FrameT&>(*message);
        // This layer sends the copy itself, when the line allows it.
        frame.stop = true;
        if (!frame.inbound) {
            Seal(frame);
            saved_.CopyFrom(frame);
            NewFrame();
            return;
        }
        if (!AcceptingAnswer()) return;
        const uint32_t error = Check(frame);
        frame.stop = !AnswerChecked(error);
        if (!frame.stop && error != 0) frame.error = error;
    }

protected:
    // Adds what the line needs to an outgoing frame (length, checksum, CRC).
    virtual void Seal(FrameT& frame) = 0;
    // 0 for a good answer, which it strips to what goes up; otherwise the
    // error the request fails with when no repetition is left.
    virtual uint32_t Check(FrameT& frame) = 0;

    void SendSaved() override
    {
        saved_.stop = false;
        saved_.error = 0;
        if (lower) lower->Receive(&saved_, this);
    }
    void FailSaved(uint32_t error) override
    {
        saved_.error = error;
        saved_.stop = false;
        if (upper) upper->Receive(&saved_, this);
    }

    FrameT saved_;
};

}  // namespace nalvexa
