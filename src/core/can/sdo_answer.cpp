// SPDX-License-Identifier: MIT
#include "can/sdo_answer.h"

namespace nalvexa {

namespace {

constexpr uint8_t kAbort = 0x80;
constexpr uint8_t kToggleBit = 0x10;

bool Names(const CanMessage& f, uint16_t index, uint8_t subIndex)
{
    return f.data[1] == static_cast<uint8_t>(index) && f.data[2] == static_cast<uint8_t>(index >> 8) &&
           f.data[3] == subIndex;
}

}  // namespace

SdoAnswer SdoAnswer::Initiate(uint32_t cobId, uint8_t mask, uint8_t command, uint16_t index, uint8_t subIndex)
{
    SdoAnswer a;
    a.cobId = cobId;
    a.mask = mask;
    a.command = command;
    a.index = index;
    a.subIndex = subIndex;
    a.multiplexed = true;
    return a;
}

SdoAnswer SdoAnswer::Within(uint32_t cobId, uint8_t mask, uint8_t command, uint16_t index, uint8_t subIndex,
                            int toggle)
{
    SdoAnswer a = Initiate(cobId, mask, command, index, subIndex);
    a.multiplexed = false;
    a.toggle = toggle;
    return a;
}

bool SdoAnswer::Matches(const CanMessage& f) const
{
    // Standard data frames of eight bytes only: no RTR, no 29-bit identifier.
    if (f.id != cobId || f.type != 0 || f.length != 8) return false;
    if (f.data[0] == kAbort) return Names(f, index, subIndex);
    if ((f.data[0] & mask) != command) return false;
    if (multiplexed) return Names(f, index, subIndex);
    return toggle < 0 || ((f.data[0] & kToggleBit) != 0) == (toggle == 1);
}

}  // namespace nalvexa
