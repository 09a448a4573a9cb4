// SPDX-License-Identifier: MIT
#include "adapters/lvt/lvt_crc.h"

namespace nalvexa {

namespace {

constexpr uint16_t kPolynomial = 0x1021;

uint16_t Step(uint16_t reg)
{
    return static_cast<uint16_t>(reg & 0x8000 ? (reg << 1) ^ kPolynomial : reg << 1);
}

}  // namespace

LvtCrc16::LvtCrc16()
{
    for (unsigned i = 0; i < 256; ++i) {
        uint16_t reg = static_cast<uint16_t>(i << 8);
        for (int bit = 0; bit < 8; ++bit) reg = Step(reg);
        table_[i] = reg;
    }
    // The initial register is what two 0xFF bytes leave in a zero register.
    const uint8_t ones[2] = {0xFF, 0xFF};
    initial_ = Update(0, ones, 2);
}

uint16_t LvtCrc16::Bitwise(const uint8_t* bytes, size_t count)
{
    uint16_t reg = 0x1D0F;
    for (size_t i = 0; i < count; ++i) {
        reg = static_cast<uint16_t>(reg ^ (bytes[i] << 8));
        for (int bit = 0; bit < 8; ++bit) reg = Step(reg);
    }
    return reg;
}

}  // namespace nalvexa
