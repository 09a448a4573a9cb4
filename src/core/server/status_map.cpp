// SPDX-License-Identifier: MIT
#include "server/status_map.h"

namespace nalvexa {

uint32_t ToWireStatus(int32_t s)
{
    if (s >= 0 && s <= 7) return static_cast<uint32_t>(s);
    if (s == 8) return 21;
    if (s >= 10 && s <= 25) return static_cast<uint32_t>(s + 12);
    if (s >= 26 && s <= 39) return static_cast<uint32_t>(s + 24);
    if (s == 40) return 80;
    if (s == 41) return 81;
    if (s >= 42 && s <= 85) return static_cast<uint32_t>(s + 59);
    return 1;  // 9, negatives and anything unknown
}

}  // namespace nalvexa
