// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace nalvexa {

// CRC-16/AUG-CCITT: polynomial 0x1021, most significant bit first, no
// reflection, no final XOR, initial register 0x1D0F. Table-driven.
class LvtCrc16 {
public:
    LvtCrc16();
    uint16_t initial() const { return initial_; }
    uint16_t Compute(const uint8_t* bytes, size_t count) const { return Update(initial_, bytes, count); }
    uint16_t Update(uint16_t reg, const uint8_t* bytes, size_t count) const
    {
        for (size_t i = 0; i < count; ++i)
            reg = static_cast<uint16_t>(table_[((reg >> 8) ^ bytes[i]) & 0xFF] ^ (reg << 8));
        return reg;
    }

    // One bit at a time, for comparison.
    static uint16_t Bitwise(const uint8_t* bytes, size_t count);

private:
    std::array<uint16_t, 256> table_{};
    uint16_t initial_ = 0;
};

}  // namespace nalvexa
