// SPDX-License-Identifier: MIT
// The QMR frame on the line: length byte, address, command, parameters or
// status flags and payload, and the 8-bit sum of everything before it.
#pragma once

#include "adapters/qmr/qmr_frame.h"
#include "stack/reassembly_layer.h"
#include "stack/retrying_link_layer.h"
#include "stack/sum8.h"

namespace nalvexa {

// Address and command going down; address, command and status flags coming up.
class QmrHeaderLayer : public ProtocolLayer {
public:
    static constexpr uint8_t kErrorFlag = 0x04;

    void Process(Message* message) override
    {
        auto& frame = static_cast<QmrFrame&>(*message);
        if (frame.error != QmrFrame::kNone) return;
        if (!frame.inbound) {
            const uint8_t head[2] = {frame.address, frame.command};
            frame.InsertFront(head, 2);
            return;
        }
        // A response too short for its header leaves no payload and no flags.
        frame.address = frame.count > 0 ? frame.bytes[0] : 0;
        frame.command = frame.count > 1 ? frame.bytes[1] : 0;
        frame.flags = frame.count > 2 ? frame.bytes[2] : 0;
        frame.RemoveFront(3);
        if (frame.flags & kErrorFlag) frame.error = QmrFrame::kFlagged;
    }
};

class QmrLinkLayer : public RetryingLinkLayer<QmrFrame> {
public:
    explicit QmrLinkLayer(ITimerHost& host) : RetryingLinkLayer(host, 500, 0) {}

protected:
    void Seal(QmrFrame& frame) override
    {
        const uint8_t length = static_cast<uint8_t>(frame.count + 1);
        frame.InsertFront(&length, 1);
        frame.Append(Sum8(frame.bytes.data(), frame.count));
    }

    uint32_t Check(QmrFrame& frame) override
    {
        if (frame.count < 1 || Sum8(frame.bytes.data(), frame.count - 1) != frame.bytes[frame.count - 1])
            return QmrFrame::kBadSum;
        if (!AnswersRequest(frame)) return QmrFrame::kNotTheAnswer;
        frame.RemoveFront(1);
        frame.RemoveBack(1);
        return QmrFrame::kNone;
    }

    // The answer carries the request's address and command, and a read's
    // answer exactly the bytes it asked for (the last parameter byte), unless
    // the controller flags an error.
    bool AnswersRequest(const QmrFrame& a) const
    {
        static constexpr int32_t kHead = 5;  // length, address, command, flags, sum
        const auto& r = saved_.bytes;
        if (a.count < 4 || a.bytes[1] != r[1] || a.bytes[2] != r[2]) return false;
        const bool read = r[2] == 0x01 || r[2] == 0x11;
        if (!read || saved_.count < 7) return true;
        if (a.count >= kHead && (a.bytes[3] & QmrHeaderLayer::kErrorFlag)) return true;
        return a.count - kHead == r[5];
    }

    uint32_t TimeoutError() const override { return QmrFrame::kNoAnswer; }
    const char* Verdict(uint32_t error) const override
    {
        return error == QmrFrame::kNotTheAnswer ? "bad answer: another address, command or length" : "bad checksum";
    }
};

class QmrReassemblyLayer : public LengthPrefixedReassembly<QmrFrame> {
public:
    using LengthPrefixedReassembly::LengthPrefixedReassembly;
};

}  // namespace nalvexa
