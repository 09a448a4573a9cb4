// SPDX-License-Identifier: MIT
#pragma once

#include "adapters/tr7100/tr7100_frame.h"

namespace nalvexa {

// The command byte: the request's address bits, bit 7 for a write, bit 6 on request.
class Tr7100HeaderLayer : public ProtocolLayer {
public:
    void Process(Message* message) override
    {
        auto& frame = static_cast<Tr7100Frame&>(*message);
        if (frame.error != 0) return;  // a failure travels up as it is
        if (!frame.inbound) {
            uint8_t command = frame.command;
            if (frame.isWrite == 1) command |= 0x80;
            if (frame.setBit6 == 1) command |= 0x40;
            frame.InsertFront(&command, 1);
        } else {
            frame.RemoveFront(3);  // command byte and parameter number
        }
    }
};

}  // namespace nalvexa
