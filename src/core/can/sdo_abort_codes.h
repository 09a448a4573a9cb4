// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace nalvexa {

// The request status for an SDO abort code; 1 for a code not in the table.
int32_t SdoAbortStatus(uint32_t abortCode);

// What the code means (CiA 301), for people.
const char* SdoAbortText(uint32_t abortCode);

}  // namespace nalvexa
