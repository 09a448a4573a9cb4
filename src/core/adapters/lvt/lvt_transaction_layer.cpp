// SPDX-License-Identifier: MIT
#include "adapters/lvt/lvt_transaction_layer.h"

#include <algorithm>

namespace nalvexa {

bool LvtTransactionLayer::CanSplit(const DriverRequest& r)
{
    if (r.kind == Write && r.slIndex3 == 0) return false;
    if (r.kind == Read && r.slIndex3 == 0) return r.length != 0;
    uint32_t elementSize = r.length / r.slIndex3;
    if (elementSize == 0) return false;
    if (r.kind == Write && r.length % r.slIndex3 != 0) return false;
    return !(r.length > kMaxFrameData && elementSize > kMaxFrameData);
}

void LvtTransactionLayer::Start(DriverRequest& r)
{
    remaining_ = 0;
    if (r.kind == Read) {
        readOffset_ = 0;
        if (r.length > kMaxFrameData && r.slIndex3 != 0) {
            elementSize_ = static_cast<int32_t>(r.length / r.slIndex3);
            elementsPerFrame_ = kMaxFrameData / elementSize_;
            remaining_ = static_cast<int32_t>(r.slIndex3) - elementsPerFrame_;
            SendFrame(r, r.slIndex2, static_cast<uint32_t>(elementsPerFrame_));
        } else {
            SendFrame(r, r.slIndex2, r.slIndex3);
        }
        return;
    }
    writeOffset_ = 0;
    elementSize_ = static_cast<int32_t>(r.length / r.slIndex3);
    if (r.length > kMaxFrameData) {
        elementsPerFrame_ = kMaxFrameData / elementSize_;
        remaining_ = static_cast<int32_t>(r.slIndex3) - elementsPerFrame_;
        SendFrame(r, r.slIndex2, static_cast<uint32_t>(elementsPerFrame_));
    } else {
        SendFrame(r, r.slIndex2, r.slIndex3);
    }
}

void LvtTransactionLayer::SendFrame(const DriverRequest& r, uint32_t offset, uint32_t count)
{
    LvtFrame& f = outgoing_;
    f.Clear();
    f.inbound = 0;
    const uint8_t head[6] = {static_cast<uint8_t>(r.slIndex1 >> 8), static_cast<uint8_t>(r.slIndex1),
                             static_cast<uint8_t>(offset >> 16),     static_cast<uint8_t>(offset >> 8),
                             static_cast<uint8_t>(offset),           static_cast<uint8_t>(count)};
    f.Append(head, 6);
    // A read of elements asks for that many elements' bytes; one of no
    // elements leaves the size to the controller.
    f.answerData = r.kind == Read && r.slIndex3 != 0 ? static_cast<int32_t>(count * (r.length / r.slIndex3)) : -1;
    if (r.kind == Write) {
        for (uint32_t j = 0; j < count; ++j) {
            for (int32_t b = elementSize_ - 1; b >= 0; --b) f.Append(r.data[static_cast<size_t>(writeOffset_ + b)]);
            writeOffset_ += elementSize_;
        }
    }
    SendDown(f);
}

void LvtTransactionLayer::SendNext(const DriverRequest& r)
{
    uint32_t done = r.slIndex3 - static_cast<uint32_t>(remaining_);
    SendFrame(r, r.slIndex2 + done, static_cast<uint32_t>(std::min(remaining_, elementsPerFrame_)));
    remaining_ -= elementsPerFrame_;
}

void LvtTransactionLayer::OnAnswer(DriverRequest& r, Message* message)
{
    const auto& f = static_cast<const LvtFrame&>(*message);
    if (f.error != LvtFrame::kNone) {
        switch (f.error) {
        case LvtFrame::kCrc: r.status = status::kBadChecksum; break;
        case LvtFrame::kTooLong: r.status = status::kTooLong; break;
        case LvtFrame::kNoAnswer: r.status = status::kNoAnswer; break;
        case LvtFrame::kTooShort: r.status = status::kFailed; break;
        case LvtFrame::kNotTheAnswer: r.status = status::kNotTheAnswer; break;
        default:
            r.status = f.error >= LvtFrame::kDriveStatusFirst && f.error < LvtFrame::kUnknownStatus
                           ? status::kDriveErrorFirst + static_cast<int32_t>(f.error - LvtFrame::kDriveStatusFirst)
                           : status::kDriveErrorUnknown;
            break;
        }
        Finish();
        return;
    }
    if (r.kind == Read) CopyAnswer(r, f);
    if (remaining_ <= 0) {
        Finish();
        return;
    }
    SendNext(r);
}

void LvtTransactionLayer::CopyAnswer(DriverRequest& r, const LvtFrame& answer)
{
    uint32_t n = r.slIndex3;
    int32_t skip = 0;
    if (n == 0) {
        n = r.length;
        skip = 1;
    }
    const int32_t e = static_cast<int32_t>(r.length / n);
    // Only whole elements that the answer holds, and only as far as data reaches.
    const int32_t k = std::max(answer.count - skip, 0) / e;
    const int32_t room = static_cast<int32_t>(r.data.size());
    for (int32_t j = 0; j < k; ++j) {
        for (int32_t b = 0; b < e; ++b) {
            int32_t to = readOffset_ + j * e + b;
            if (to >= room) break;
            r.data[static_cast<size_t>(to)] = answer.bytes[static_cast<size_t>(skip + j * e + e - 1 - b)];
        }
    }
    readOffset_ = std::min(readOffset_ + answer.count, room);
}

}  // namespace nalvexa
