// SPDX-License-Identifier: MIT
#include <algorithm>
#include <cstring>

#include "can/sdo_frames.h"
#include "can/sdo_transfer.h"

namespace nalvexa {

using namespace sdo;

void SdoDownload::Start()
{
    sent_ = 0;
    toggle_ = 0;
    if (n_ <= 4) {
        state_ = State::Expedited;
        CanMessage f = Frame(static_cast<uint8_t>(kInitiateExpeditedDownload + (4 - n_) * 4));
        std::memcpy(f.data + 4, r_->data.data() + cursor_, n_);
        cursor_ += n_;
        if (!Send(f)) return End();
        return Expect(kScsMask, kDownloadInitiated);
    }
    state_ = State::Initiating;
    CanMessage initiate = Frame(kInitiateSegmentedDownload);
    initiate.data[4] = static_cast<uint8_t>(n_);
    if (!Send(initiate)) return End();
    Expect(kScsMask, kDownloadInitiated);
}

void SdoDownload::Answered(const CanMessage& a)
{
    // An answer other than an abort is accepted without inspection.
    if (IsAbort(a)) {
        Aborted(a);
        // An abort of the initiation ends this object; of a segment, the segments go on.
        if (state_ != State::Segment) return End();
    }
    if (state_ == State::Expedited) return End();
    NoAnswer();
}

// Without an answer the segments are sent all the same.
void SdoDownload::NoAnswer()
{
    if (state_ == State::Expedited || sent_ >= n_) return End();
    SendSegment();
}

void SdoDownload::SendSegment()
{
    if (state_ == State::Segment) toggle_ ^= 1;
    state_ = State::Segment;
    const uint32_t k = std::min<uint32_t>(7, n_ - sent_);
    const bool last = n_ - sent_ <= 7;
    CanMessage segment =
        Frame(static_cast<uint8_t>((toggle_ ? kToggleBit : 0) | (last ? ((7 - k) << 1) | kLastSegmentBit : 0)), false);
    std::memcpy(segment.data + 1, r_->data.data() + cursor_, k);
    if (!Send(segment)) return End();
    cursor_ += k;
    sent_ += k;
    ExpectWithin(kScsMask, kDownloadSegmentAnswer, toggle_);
}

}  // namespace nalvexa
