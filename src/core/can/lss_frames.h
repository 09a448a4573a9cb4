// SPDX-License-Identifier: MIT
// The frames of the layer setting services (CiA 305): the master asks on
// 0x7E5, the slaves answer on 0x7E4, eight bytes, the service's command first.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "can/can_library.h"

namespace nalvexa::lss {

constexpr uint32_t kMasterId = 0x7E5;
constexpr uint32_t kSlaveId = 0x7E4;

inline CanMessage Frame(std::initializer_list<uint8_t> bytes)
{
    CanMessage f;
    f.id = kMasterId;
    f.length = 8;
    int i = 0;
    for (uint8_t b : bytes) f.data[i++] = b;
    return f;
}

inline bool IsAnswer(const CanMessage& f) { return f.id == kSlaveId && f.type == 0 && f.length == 8; }

}  // namespace nalvexa::lss
