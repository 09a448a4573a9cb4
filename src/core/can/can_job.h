// SPDX-License-Identifier: MIT
// Work that needs the bus to itself while it runs: a client's transfer, an
// operator's procedure. It runs on the loop: started by the driver, fed the
// frames that arrive, woken by its own timers; it says when it has ended.
#pragma once

#include "can/can_library.h"

namespace nalvexa {

class CCANDriver;

class CanJob {
public:
    virtual ~CanJob() = default;
    virtual void Start() = 0;
    // Whether a frame from the bus is one this job waits for; if so it is
    // given to Take (the others are passed over).
    virtual bool Awaits(const CanMessage& frame) const = 0;
    virtual void Take(const CanMessage& frame) = 0;
    // Reading failed with the library's `code` while this job ran.
    virtual void Failed(uint32_t code) = 0;
};

}  // namespace nalvexa
