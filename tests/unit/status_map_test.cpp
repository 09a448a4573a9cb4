// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "server/driver_request.h"
#include "server/status_map.h"

namespace nalvexa {
namespace {

TEST(StatusMap, ConvertsEveryRangeOfInternalCodes)
{
    struct Case {
        int32_t internal;
        uint32_t wire;
    } cases[] = {
        {0, 0},   {1, 1},   {2, 2},   {3, 3},   {4, 4},   {5, 5},    {6, 6},   {7, 7},
        {8, 21},  {9, 1},   {10, 22}, {25, 37}, {26, 50}, {39, 63},  {40, 80}, {41, 81},
        {42, 101}, {46, 105}, {85, 144}, {86, 1}, {-1, 1}, {1000, 1}, {INT32_MIN, 1},
    };
    for (const Case& c : cases) EXPECT_EQ(ToWireStatus(c.internal), c.wire) << "internal " << c.internal;
}

TEST(DriverRequest, FillsClearTheFieldsAndAReadStartsFromZeros)
{
    DriverRequest r;
    r.data.fill(0xAA);
    r.status = 7;
    r.FillRead(1, 2, 3, 4, 5, nullptr);
    EXPECT_EQ(r.kind, Read);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.address, 1u);
    EXPECT_EQ(r.length, 2u);
    EXPECT_EQ(r.slIndex1, 3u);
    EXPECT_EQ(r.slIndex2, 4u);
    EXPECT_EQ(r.slIndex3, 5u);
    EXPECT_EQ(r.data[0], 0) << "the answer's bytes start as zeros";
    EXPECT_EQ(r.data[1], 0);
    EXPECT_EQ(r.data[2], 0xAA) << "beyond `length` nothing is sent";

    r.data[0] = 0xAA;  // a write's payload is in data before the record is filled
    r.FillWrite(9, 8, 7, 6, 5, nullptr);
    EXPECT_EQ(r.data[0], 0xAA);
    EXPECT_EQ(r.kind, Write);
    EXPECT_EQ(r.address, 9u);

    r.FillControl(1, 2, 3, nullptr);
    EXPECT_EQ(r.kind, Control);
    EXPECT_EQ(r.address, 0u);
    EXPECT_EQ(r.length, 0u);
    EXPECT_EQ(r.slIndex1, 1u);
    EXPECT_EQ(r.slIndex2, 2u);
    EXPECT_EQ(r.slIndex3, 3u);
    EXPECT_EQ(r.data[0], 0xAA);
}

}  // namespace
}  // namespace nalvexa
