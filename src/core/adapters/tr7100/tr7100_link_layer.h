// SPDX-License-Identifier: MIT
#pragma once

#include <cstring>

#include "adapters/tr7100/tr7100_frame.h"
#include "stack/retrying_link_layer.h"

namespace nalvexa {

// Checksum of writes; answers must echo the request and pass the checksum
// test; bad or missing answers are repeated.
class Tr7100LinkLayer : public RetryingLinkLayer<Tr7100Frame> {
public:
    explicit Tr7100LinkLayer(ITimerHost& host) : RetryingLinkLayer(host, 500, 0) {}

protected:
    void Seal(Tr7100Frame& frame) override
    {
        if (frame.isWrite == 1) frame.Append(Sum8(frame.bytes.data(), frame.count));
    }

    uint32_t Check(Tr7100Frame& answer) override
    {
        bool checksumOk = Tr7100ChecksumPasses(answer);
        bool echoOk = answer.count >= saved_.count &&
                      std::memcmp(answer.bytes.data(), saved_.bytes.data(), static_cast<size_t>(saved_.count)) == 0;
        if (checksumOk && echoOk) {
            answer.RemoveBack(1);
            return Tr7100Frame::kNone;
        }
        return checksumOk ? Tr7100Frame::kBadEcho : Tr7100Frame::kBadChecksum;
    }

    uint32_t TimeoutError() const override { return Tr7100Frame::kNoAnswer; }
    const char* Verdict(uint32_t error) const override
    {
        return error == Tr7100Frame::kBadEcho ? "bad echo" : "bad checksum";
    }
};

}  // namespace nalvexa
