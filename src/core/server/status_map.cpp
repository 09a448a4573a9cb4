// SPDX-License-Identifier: MIT
#include "server/status_map.h"

#include "server/statuses.h"

namespace nalvexa {

// The client's codes: the serial adapters' own (0 to 7) as they are, the
// SDO aborts from 21, the CAN library's errors from 50, the CAN time-outs at
// 80 and 81, the LVT drive's errors from 101.
uint32_t ToWireStatus(int32_t s)
{
    if (s >= status::kOk && s <= status::kTooLong) return static_cast<uint32_t>(s);
    if (s == 8) return 21;
    if (s >= 10 && s <= 25) return static_cast<uint32_t>(s + 12);
    if (s >= 26 && s <= 39) return static_cast<uint32_t>(s + 24);
    if (s == status::kCanNoAnswer) return 80;
    if (s == status::kEmptyUpload) return 81;
    if (s >= status::kDriveErrorFirst && s <= status::kDriveErrorUnknown) return static_cast<uint32_t>(s + 59);
    return 1;  // 9, negatives and anything unknown
}

}  // namespace nalvexa
