// SPDX-License-Identifier: MIT
// What an SDO server's answer must look like to belong to the request the
// client sent (CiA 301): the receive COB-ID, eight data bytes, the server
// command specifier, and the multiplexer or the toggle bit.
#pragma once

#include <cstdint>

#include "can/can_library.h"

namespace nalvexa {

struct SdoAnswer {
    // Byte 0 masked with `mask` must equal `command`; the answer names the object.
    static SdoAnswer Initiate(uint32_t cobId, uint8_t mask, uint8_t command, uint16_t index, uint8_t subIndex);
    // An answer within a transfer: it does not name the object; `toggle` is
    // the bit it must carry, or -1 for none.
    static SdoAnswer Within(uint32_t cobId, uint8_t mask, uint8_t command, uint16_t index, uint8_t subIndex,
                            int toggle);

    uint32_t cobId = 0;
    uint8_t mask = 0, command = 0;
    uint16_t index = 0;    // an abort always names the transfer's object
    uint8_t subIndex = 0;
    bool multiplexed = false;  // the answer itself names the object
    int toggle = -1;           // 0 or 1 for a segment answer

    bool Matches(const CanMessage& frame) const;
};

}  // namespace nalvexa
