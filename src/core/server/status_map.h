// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace nalvexa {

// The only place where an adapter's internal result becomes the client's status.
uint32_t ToWireStatus(int32_t internalStatus);

}  // namespace nalvexa
