// SPDX-License-Identifier: MIT
#include <algorithm>
#include <cstring>

#include "can/sdo_frames.h"
#include "can/sdo_transfer.h"

namespace nalvexa {

using namespace sdo;

void SdoUpload::Start()
{
    state_ = State::Initiating;
    toggle_ = 0;
    if (!Send(Frame(kInitiateUpload))) return End();
    Expect(kScsMask, kUploadInitiated);
}

bool SdoUpload::Store(const uint8_t* bytes, uint32_t count)
{
    const uint32_t n = std::min(count, kRequestDataSize - cursor_);
    std::memcpy(r_->data.data() + cursor_, bytes, n);
    cursor_ += n;
    if (n == count) return true;
    r_->status = status::kFailed;
    return false;
}

void SdoUpload::Answered(const CanMessage& a)
{
    if (IsAbort(a)) {
        Aborted(a);
        return End();
    }
    const uint8_t command = a.data[0];
    if (state_ == State::Initiating) {
        if (command & kExpeditedBit) {
            // The size-indicated bit is not consulted: n is used as it stands.
            const uint32_t unused = (command >> 2) & 3;
            std::memset(r_->data.data() + cursor_, 0, std::min<uint32_t>(4, kRequestDataSize - cursor_));
            return End(Store(a.data + 4, 4 - unused));
        }
        if (can::LittleEndian32(a.data + 4) == 0) {
            r_->status = status::kEmptyUpload;
            return End();
        }
        // The bytes are not checked against the announced size; the end of data bounds them.
        state_ = State::Segment;
        return RequestSegment();
    }
    if (!Store(a.data + 1, 7 - ((command >> 1) & 7))) return End(false);
    if (command & kLastSegmentBit) return End();
    toggle_ ^= 1;
    RequestSegment();
}

void SdoUpload::RequestSegment()
{
    if (cursor_ >= kRequestDataSize) {
        r_->status = status::kFailed;  // more than data can hold
        return End(false);
    }
    if (!Send(Frame(static_cast<uint8_t>(kUploadSegment | (toggle_ ? kToggleBit : 0)), false))) return End();
    ExpectWithin(kScsMask, kUploadSegmentAnswer, toggle_);
}

}  // namespace nalvexa
