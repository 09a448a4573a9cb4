// SPDX-License-Identifier: MIT
// Byte layout of the client wire protocol: 32-bit big-endian words.
#pragma once

#include <cstddef>
#include <cstdint>

namespace nalvexa::wire {

enum RequestType : uint32_t { kRead = 1, kWrite = 2, kControl = 3, kCloseDriver = 4 };

constexpr size_t kHeaderSize = 8;
constexpr size_t kReadWriteSize = 28;  // header and five words
constexpr size_t kControlSize = 20;    // header and three words

inline uint32_t GetBE32(const uint8_t* p)
{
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

inline void PutBE32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

// Whole request size once the type is known; 0 for a type outside 1 to 4.
inline size_t FixedSize(uint32_t type)
{
    switch (type) {
    case kRead:
    case kWrite: return kReadWriteSize;
    case kControl: return kControlSize;
    case kCloseDriver: return kHeaderSize;
    default: return 0;
    }
}

}  // namespace nalvexa::wire
