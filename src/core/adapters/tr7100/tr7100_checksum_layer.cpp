// SPDX-License-Identifier: MIT
#include "adapters/tr7100/tr7100_checksum_layer.h"

#include <algorithm>

namespace nalvexa {

Tr7100ChecksumLayer::Tr7100ChecksumLayer(ITimerHost& host, const LinkSettings& timing) : timing_(timing)
{
    timer_ = host.createTimer([this] { OnTimeout(); });
    failure_.inbound = 1;
}

void Tr7100ChecksumLayer::Process(Message* message)
{
    auto& frame = static_cast<Tr7100Frame&>(*message);
    if (!frame.inbound) {
        if (frame.isWrite == 1) frame.Append(Sum8(frame.bytes.data(), frame.count));
        timer_->start(std::max(timing_.responseInterval(), 0));
        awaiting_ = true;
        return;
    }
    if (!awaiting_) {
        frame.stop = true;
        return;
    }
    timer_->stop();
    awaiting_ = false;
    if (Tr7100ChecksumPasses(frame))
        frame.RemoveBack(1);
    else
        frame.error = Tr7100Frame::kBadChecksum;
}

void Tr7100ChecksumLayer::OnTimeout()
{
    timer_->stop();
    if (!awaiting_) return;
    awaiting_ = false;
    failure_.Clear();
    failure_.error = Tr7100Frame::kNoAnswer;
    if (upper) upper->Receive(&failure_, this);
}

}  // namespace nalvexa
