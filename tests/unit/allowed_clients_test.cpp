// SPDX-License-Identifier: MIT
// Who may connect: the addresses and ranges of "AllowedClients", as the
// listener's peer texts meet them.
#include <gtest/gtest.h>

#include "fakes.h"
#include "server/adapter_holder.h"
#include "server/allowed_clients.h"
#include "server/server_sockets.h"
#include "manual_clock.h"

namespace nalvexa::test {
namespace {

AllowedClients Allowed(const std::string& list)
{
    AllowedClients allowed;
    std::string error;
    EXPECT_TRUE(allowed.Parse(list, error)) << list << ": " << error;
    return allowed;
}

TEST(AllowedClients, AddressesAndRangesOfBothFamilies)
{
    const AllowedClients a = Allowed(" 10.0.0.0/8 , 192.0.2.7,2001:db8::/32, ::1, 172.16.5.4/30");
    EXPECT_FALSE(a.everyone());
    for (const char* in : {"10.1.2.3:50312", "10.255.255.255:1", "192.0.2.7:9", "[2001:db8:ffff::5]:7", "[::1]:12001",
                           "172.16.5.7:1", "[fe80::1%eth0]:5"})
        EXPECT_EQ(a.Admits(in), std::string(in) != "[fe80::1%eth0]:5") << in;
    for (const char* out : {"11.0.0.1:5", "192.0.2.8:9", "[2001:db9::1]:7", "[::2]:1", "172.16.5.8:1", "", "garbage",
                            "[::1:1", "1.2.3:4"})
        EXPECT_FALSE(a.Admits(out)) << out;

    // An IPv4 range holds the IPv4 peers only, whichever way they are written.
    const AllowedClients v4 = Allowed("0.0.0.0/0");
    EXPECT_TRUE(v4.Admits("203.0.113.9:1"));
    EXPECT_FALSE(v4.Admits("[2001:db8::1]:1"));
    EXPECT_TRUE(Allowed("::ffff:192.0.2.0/120").Admits("192.0.2.200:1"));
    EXPECT_TRUE(Allowed("::/0").Admits("[2001:db8::1]:1"));

    EXPECT_TRUE(Allowed("").everyone());
    EXPECT_TRUE(Allowed(" , ").Admits("198.51.100.1:1")) << "no entries: everyone, as without the key";
}

TEST(AllowedClients, AnEntryThatIsNoAddressIsNamed)
{
    for (const char* bad : {"localhost", "10.0.0.0/33", "::/129", "10.0.0", "10.0.0.256", "010.0.0.1", "1::2::3",
                            "2001:db8::/x", "12345::", ":1", "1:2:3:4:5:6:7:8:9", "10.0.0.1/", "10.0.0.1/-1"}) {
        AllowedClients a;
        std::string error;
        EXPECT_FALSE(a.Parse("127.0.0.1, " + std::string(bad), error)) << bad;
        EXPECT_EQ(error, "\"" + std::string(bad) + "\" is not an address or an address/prefix") << bad;
        EXPECT_FALSE(a.Admits("127.0.0.1:1")) << bad << ": a list that failed lets nobody in";
    }
}

TEST(AllowedClients, TheServerAsksForEachConnectionAndSaysWhomItRefused)
{
    FakeTcpListener tcp;
    FakeNotifier notifier;
    ManualClock clock;
    ManualPoster poster;
    AdapterHolder holder;
    ServerSockets server(tcp, holder, poster, notifier, clock);
    ASSERT_TRUE(tcp.admits);
    EXPECT_TRUE(tcp.admits("198.51.100.1:1")) << "everyone until a list is set";
    server.SetAllowedClients(Allowed("192.0.2.0/24"));
    EXPECT_TRUE(tcp.admits("192.0.2.9:4000"));
    EXPECT_FALSE(tcp.admits("10.1.2.3:50312"));
    static_cast<ITcpEvents*>(tcp.events)->onClientRefused("10.1.2.3:50312");
    EXPECT_EQ(notifier.states, std::vector<std::string>{"client refused 10.1.2.3:50312: not in AllowedClients"});
}

}  // namespace
}  // namespace nalvexa::test
