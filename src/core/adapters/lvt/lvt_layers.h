// SPDX-License-Identifier: MIT
// The LVT frame on the line: length byte, payload, CRC-16 high byte first.
// Answers carry a 6-byte header whose last byte is the controller's status.
#pragma once

#include "adapters/lvt/lvt_crc.h"
#include "adapters/lvt/lvt_frame.h"
#include "platform.h"
#include "stack/reassembly_layer.h"
#include "stack/retrying_link_layer.h"

namespace nalvexa {

class LvtStatusLayer : public ProtocolLayer {
public:
    static constexpr int32_t kHeaderSize = 6;
    static constexpr uint8_t kLastKnownStatus = 43;

    void Process(Message* message) override
    {
        auto& frame = static_cast<LvtFrame&>(*message);
        if (!frame.inbound || frame.error != LvtFrame::kNone) return;
        if (frame.count < kHeaderSize) {
            frame.count = 0;
            frame.error = LvtFrame::kTooShort;
            return;
        }
        frame.status = frame.bytes[5];
        frame.RemoveFront(kHeaderSize);
        if (frame.status >= 1 && frame.status <= kLastKnownStatus)
            frame.error = LvtFrame::kDriveStatusFirst + frame.status - 1u;
        else if (frame.status > kLastKnownStatus)
            frame.error = LvtFrame::kUnknownStatus;
    }
};

class LvtLinkLayer : public RetryingLinkLayer<LvtFrame> {
public:
    static constexpr int kPreFramePauseMs = 20;

    explicit LvtLinkLayer(ITimerHost& host) : RetryingLinkLayer(host, 200, 1) {}
    const LvtCrc16& crc() const { return crc_; }

protected:
    void Seal(LvtFrame& frame) override
    {
        const uint8_t length = static_cast<uint8_t>(frame.count + 2);
        frame.InsertFront(&length, 1);
        uint16_t crc = crc_.Compute(frame.bytes.data(), static_cast<size_t>(frame.count));
        frame.Append(static_cast<uint8_t>(crc >> 8));
        frame.Append(static_cast<uint8_t>(crc));
    }

    uint32_t Check(LvtFrame& frame) override
    {
        if (crc_.Compute(frame.bytes.data(), static_cast<size_t>(frame.count)) != 0) return LvtFrame::kCrc;
        if (!AnswersRequest(frame)) return LvtFrame::kNotTheAnswer;
        frame.RemoveFront(1);
        frame.RemoveBack(2);
        return LvtFrame::kNone;
    }

    // A successful answer carries exactly the data its request asked for;
    // one that reports an error from the controller need not.
    bool AnswersRequest(const LvtFrame& a) const
    {
        static constexpr int32_t kFraming = 3;  // length byte and CRC
        const int32_t data = a.count - kFraming - LvtStatusLayer::kHeaderSize;
        const uint8_t status = a.bytes[1 + LvtStatusLayer::kHeaderSize - 1];
        if (saved_.answerData < 0 || data < 0 || status != 0) return true;
        return data == saved_.answerData;
    }

    uint32_t TimeoutError() const override { return LvtFrame::kNoAnswer; }
    const char* Verdict(uint32_t error) const override
    {
        return error == LvtFrame::kNotTheAnswer ? "bad answer: other than the bytes asked for" : "bad CRC";
    }
    // The controller needs a quiet line before each new frame.
    int PreFramePauseMs() const override { return kPreFramePauseMs; }

private:
    LvtCrc16 crc_;
};

class LvtReassemblyLayer : public LengthPrefixedReassembly<LvtFrame> {
public:
    using LengthPrefixedReassembly::LengthPrefixedReassembly;
};

}  // namespace nalvexa
