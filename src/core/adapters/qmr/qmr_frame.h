// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

#include "stack/message.h"

namespace nalvexa {

class QmrFrame : public FrameOf<QmrFrame> {
public:
    uint32_t inbound = 0;
    // 1 controller flagged an error, 2 sum wrong three times, 3 no answer,
    // 4 answers that did not belong to the request (address, command, length)
    uint32_t error = 0;
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
        error = 0;
        stop = false;
    }
};

}  // namespace nalvexa
