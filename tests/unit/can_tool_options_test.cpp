// SPDX-License-Identifier: MIT
// nalvexa-can's reading of its command line and of the interface's bit rate.
#include <gtest/gtest.h>

#include "can_options.h"
#include "interface_bitrate.h"

namespace nalvexa::cantool {
namespace {

TEST(CanToolOptions, BitRatesAreTheDrivesRatesInAnySpelling)
{
    EXPECT_EQ(ParseBitRate("500k"), 500);
    EXPECT_EQ(ParseBitRate("125K"), 125);
    EXPECT_EQ(ParseBitRate("1M"), 1000);
    EXPECT_EQ(ParseBitRate("1000k"), 1000);
    EXPECT_EQ(ParseBitRate("250000"), 250);
    for (const char* bad : {"", "k", "800k", "500", "250001", "-500k", "500kk", "0x1f4k"})
        EXPECT_EQ(ParseBitRate(bad), 0) << bad;
}

TEST(CanToolOptions, OptionsAnywhereAndTheirValuesEitherWay)
{
    Options o = ParseOptions({"sdo", "--node=5", "read", "--timeout", "250", "1018", "4", "--raw"});
    EXPECT_TRUE(o.error.empty()) << o.error;
    EXPECT_EQ(o.node, 5);
    EXPECT_EQ(o.timeoutMs, 250);
    EXPECT_TRUE(o.raw);
    EXPECT_EQ(o.command, (std::vector<std::string>{"sdo", "read", "1018", "4"}));
    std::string error;
    Command c = ParseCommand(o, error);
    EXPECT_TRUE(error.empty()) << error;
    EXPECT_EQ(c.kind, Command::SdoRead);
    EXPECT_EQ(c.index, 0x1018);
    EXPECT_EQ(c.subIndex, 4);

    o = ParseOptions({"lss", "set-node-id", "0x7f", "--identity", "1", "0x2", "3", "4294967295"});
    c = ParseCommand(o, error);
    EXPECT_TRUE(error.empty()) << error;
    EXPECT_EQ(c.newNodeId, 127);
    EXPECT_EQ(*o.identity, (std::vector<uint32_t>{1, 2, 3, 0xFFFFFFFF}));

    o = ParseOptions({"--", "nmt", "start", "all"});
    c = ParseCommand(o, error);
    EXPECT_EQ(c.nmtNode, 0);
    EXPECT_EQ(c.nmtCommand, 0x01);

    EXPECT_EQ(ParseOptions({"--node"}).error, "--node needs a value");
    EXPECT_EQ(ParseOptions({"--channel=can0"}).error,
              "--channel must be socketcan:IFACE or slcan:DEVICE[@BAUD], not \"can0\"");
}

TEST(CanToolOptions, TheInterfacesRateFromIpJson)
{
    const std::string can0 =
        R"([{"ifindex":4,"ifname":"can0","linkinfo":{"info_kind":"can","info_data":{"ctrlmode":[],"state":)"
        R"("ERROR-ACTIVE","restart_ms":0,"bittiming":{"bitrate":250000,"sample_point":"0.875"},)"
        R"("bittiming_const":{"name":"gs_usb"},"clock":48000000}}}])";
    EXPECT_EQ(BitRateFromIpJson(can0), 250000);
    EXPECT_EQ(BitRateFromIpJson(R"([{"ifname":"vcan0","linkinfo":{"info_kind":"vcan"}}])"), 0);
    EXPECT_EQ(BitRateFromIpJson(R"({"bittiming":{"bitrate":"fast"}})"), 0);
    EXPECT_EQ(BitRateFromIpJson(""), 0);
    EXPECT_EQ(InterfaceBitRate("can0; rm -rf /"), 0) << "names that are not names are not asked about";
}

}  // namespace
}  // namespace nalvexa::cantool
