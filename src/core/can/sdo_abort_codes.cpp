// SPDX-License-Identifier: MIT
#include "can/sdo_abort_codes.h"

namespace nalvexa {

int32_t SdoAbortStatus(uint32_t code)
{
    struct Entry {
        uint32_t code;
        int32_t status;
    };
    static constexpr Entry kTable[] = {
        {0x05030000, 8},  {0x05040000, 9},  {0x05040001, 10}, {0x06010001, 11}, {0x06010002, 12},
        {0x06020000, 13}, {0x06040000, 14}, {0x06040041, 15}, {0x06040042, 16}, {0x06060000, 17},
        {0x06070010, 18}, {0x06090011, 19}, {0x06090030, 20}, {0x06090031, 21}, {0x06090032, 22},
        {0x08000000, 23}, {0x08000020, 24}, {0x08000022, 25},
    };
    for (const Entry& e : kTable)
        if (e.code == code) return e.status;
    return 1;
}

}  // namespace nalvexa
