// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

#include "stack/message.h"

namespace nalvexa {

class QmrFrame : public FrameOf<QmrFrame> {
public:
    enum Error : uint32_t {
        kNone = 0,
        kFlagged = 1,       // the controller flagged an error
        kBadSum = 2,        // the sum wrong on the last attempt
        kNoAnswer = 3,      // no answer after all repetitions
        kNotTheAnswer = 4,  // answers of another address, command or length
    };

    uint32_t inbound = 0;
    uint32_t error = kNone;
    uint8_t address = 0;
    uint8_t command = 0;
    uint8_t flags = 0;

    void CopyFrom(const QmrFrame& other)
    {
        CopyBytesFrom(other);
        inbound = other.inbound;
        error = other.error;
        address = other.address;
        command = other.command;
        flags = other.flags;
    }
    void Clear()
    {
        count = 0;
        error = kNone;
        stop = false;
    }
};

}  // namespace nalvexa
