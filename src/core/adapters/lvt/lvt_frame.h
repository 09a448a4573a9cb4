// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

#include "stack/message.h"

namespace nalvexa {

class LvtFrame : public FrameOf<LvtFrame> {
public:
    enum Error : uint32_t {
        kNone = 0,
        kCrc = 2,          // CRC wrong when no repetition was left
        kTooLong = 3,      // more than 256 bytes on the line
        kNoAnswer = 4,     // no good answer after all repetitions
        kDriveStatusFirst = 5,  // 5 to 47: the controller's status 1 to 43, plus 4
        kUnknownStatus = 48,
        kTooShort = 49,    // an answer shorter than its header
        kNotTheAnswer = 50,  // good answers carried other than the data asked for
    };

    uint32_t inbound = 0;
    uint32_t error = kNone;
    uint8_t status = 0;
    // Request frames: the data bytes a good answer must carry, or -1 for any.
    int32_t answerData = -1;

    void CopyFrom(const LvtFrame& other)
    {
        CopyBytesFrom(other);
        inbound = other.inbound;
        error = other.error;
        status = other.status;
        answerData = other.answerData;
    }
    void Clear()
    {
        count = 0;
        error = kNone;
        stop = false;
    }
};

}  // namespace nalvexa
