// SPDX-License-Identifier: MIT
#include "adapters/tr7100/tr7100_frame.h"

namespace nalvexa {

bool Tr7100ChecksumPasses(const Tr7100Frame& answer)
{
    if (answer.count < Tr7100Frame::kAnswerSize) return false;
    const auto& b = answer.bytes;
    if (b[0] & 0x80) return true;
    return b[5] == static_cast<uint8_t>(b[3] + b[4]);
}

}  // namespace nalvexa
