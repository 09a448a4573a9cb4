// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace nalvexa {

// A drive's LSS address: the four values of its identity object.
struct LssIdentity {
    uint32_t vendorId = 0, productCode = 0, revisionNumber = 0, serialNumber = 0;
};

}  // namespace nalvexa
