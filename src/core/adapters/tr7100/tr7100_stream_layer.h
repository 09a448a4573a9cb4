// SPDX-License-Identifier: MIT
#pragma once

#include "adapters/tr7100/tr7100_frame.h"
#include "server/adapter_interfaces.h"

namespace nalvexa {

// Stream mode: the six bytes after a request frame are its answer; what the
// drive sends after that goes to the client in blocks of exactly 500 bytes.
class Tr7100StreamLayer : public ProtocolLayer {
public:
    static constexpr int32_t kBlockSize = 500;

    Tr7100StreamLayer() { assembly_.inbound = 1; }
    void SetBlockSink(IRequestReply* sink) { sink_ = sink; }
    int32_t pendingBytes() const { return assembly_.count; }
    void Reset()
    {
        assembly_.Clear();
        expectAnswer_ = false;
    }

    void Process(Message* message) override
    {
        auto& piece = static_cast<Tr7100Frame&>(*message);
        if (!piece.inbound) {
            assembly_.Clear();
            expectAnswer_ = true;
            return;
        }
        for (int32_t i = 0; i < piece.count; ++i) {
            assembly_.Append(piece.bytes[i]);
            if (expectAnswer_ && assembly_.count == Tr7100Frame::kAnswerSize) {
                assembly_.from = piece.from;
                if (upper) upper->Receive(&assembly_, this);
                assembly_.Clear();
                expectAnswer_ = false;
            } else if (!expectAnswer_ && assembly_.count == kBlockSize) {
                if (sink_) sink_->SendBlock(assembly_.bytes.data(), kBlockSize);
                assembly_.Clear();
            }
        }
        piece.stop = true;
    }

private:
    Tr7100Frame assembly_;
    IRequestReply* sink_ = nullptr;
    bool expectAnswer_ = false;
};

}  // namespace nalvexa
