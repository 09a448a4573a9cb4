// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace nalvexa {

// The plain 8-bit sum, carries discarded, no complement.
inline uint8_t Sum8(const uint8_t* bytes, int32_t count)
{
    uint8_t sum = 0;
    for (int32_t i = 0; i < count; ++i) sum = static_cast<uint8_t>(sum + bytes[i]);
    return sum;
}

}  // namespace nalvexa
