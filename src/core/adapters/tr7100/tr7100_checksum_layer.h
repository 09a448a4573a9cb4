// SPDX-License-Identifier: MIT
#pragma once

#include <memory>

#include "adapters/tr7100/tr7100_frame.h"
#include "stack/retrying_link_layer.h"

namespace nalvexa {

// Stream mode's link: the checksum of writes, the answer's checksum test
// (no echo test, no repetition) and the response interval, so that a request
// always ends.
class Tr7100ChecksumLayer : public ProtocolLayer {
public:
    // The response interval is the link layer's setting.
    Tr7100ChecksumLayer(ITimerHost& host, const LinkSettings& timing);
    void Process(Message* message) override;
    bool awaitingAnswer() const { return awaiting_; }
    void Reset()
    {
        timer_->stop();
        awaiting_ = false;
    }

private:
    void OnTimeout();

    const LinkSettings& timing_;
    std::unique_ptr<ITimer> timer_;
    Tr7100Frame failure_;
    bool awaiting_ = false;
};

}  // namespace nalvexa
