// SPDX-License-Identifier: MIT
#include <algorithm>
#include <cstring>

#include "can/adapter_can.h"
#include "can/sdo_frames.h"
#include "can/sdo_transfer.h"

namespace nalvexa {

using namespace sdo;

void SdoBlockDownload::Start()
{
    state_ = State::Initiating;
    CanMessage initiate = Frame(kInitiateBlockDownload);
    for (int i = 0; i < 4; ++i) initiate.data[4 + i] = static_cast<uint8_t>(r_->length >> (8 * i));
    if (!Send(initiate)) return End();
    Expect(kBlockMask, kBlockInitiated);
}

// The first failure ends the transfer.
void SdoBlockDownload::Answered(const CanMessage& a)
{
    if (IsAbort(a)) {
        Aborted(a);
        return End();
    }
    switch (state_) {
    case State::Initiating: {
        // A block holds at most 127 segments: beyond that the sequence number would carry the last-segment flag.
        const uint8_t blockSize = std::min(a.data[4], kMaxBlockSize);
        // One block carrying the first 64 bytes of data, zeros where the client gave fewer.
        uint32_t budget = std::min(kBlockBytes, r_->length), cursor = 0;
        for (uint8_t q = 1; q <= blockSize; ++q) {
            const uint32_t k = std::min<uint32_t>(7, budget);
            budget -= k;
            CanMessage segment = Frame(static_cast<uint8_t>(q | (q == blockSize ? kLastBlockSegment : 0)), false);
            std::memcpy(segment.data + 1, r_->data.data() + cursor, k);
            can_.library().CAN_Status();
            if (!Send(segment)) return End();
            cursor += k;
        }
        state_ = State::Acknowledging;
        return ExpectWithin(kBlockMask, kBlockAcknowledged, -1);
    }
    case State::Acknowledging:
        // Its next block size is read and not used: one block is all.
        state_ = State::Ending;
        if (!Send(Frame(kEndBlockDownload, false))) return End();
        return ExpectWithin(kBlockMask, kBlockEnded, -1);
    case State::Ending: return End();
    }
}

}  // namespace nalvexa
