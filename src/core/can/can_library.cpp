// SPDX-License-Identifier: MIT
#include "can/can_library.h"

namespace nalvexa::can {

int KbitPerSecond(uint16_t btr)
{
    switch (btr) {
    case kBtr10k: return 10;
    case kBtr20k: return 20;
    case kBtr50k: return 50;
    case kBtr125k: return 125;
    case kBtr250k: return 250;
    case kBtr500k: return 500;
    case kBtr1M: return 1000;
    default: return 0;
    }
}

}  // namespace nalvexa::can
