// SPDX-License-Identifier: MIT
#include "can/can_library.h"

namespace nalvexa::can {

namespace {

constexpr BitRate kBitRates[] = {
    {10, 8, kBtr10k},   {20, 7, kBtr20k},   {50, 6, kBtr50k},  {125, 4, kBtr125k},
    {250, 3, kBtr250k}, {500, 2, kBtr500k}, {1000, 0, kBtr1M},
};

}  // namespace

int KbitPerSecond(uint16_t btr)
{
    for (const BitRate& r : kBitRates)
        if (r.btr == btr) return r.kbit;
    return 0;
}

const BitRate* FindBitRate(int kbit)
{
    for (const BitRate& r : kBitRates)
        if (r.kbit == kbit) return &r;
    return nullptr;
}

}  // namespace nalvexa::can
