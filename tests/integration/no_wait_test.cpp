// SPDX-License-Identifier: MIT
// Nothing holds the loop: a signal ends the driver at once in the middle of a
// CAN transfer, a client that vanishes meanwhile is noticed, and the fixed
// pauses of the serial protocols are still on the line as they were.
#include <chrono>
#include <csignal>
#include <regex>
#include <sched.h>
#include <thread>
#include <unistd.h>

#include "driver_fixture.h"

namespace nalvexa::it {
namespace {

using Clock = std::chrono::steady_clock;

long MsSince(Clock::time_point t)
{
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

class NoWait : public DriverFixture {
protected:
    uint16_t StartCan(std::vector<std::string> sim, const std::string& can = "", const std::string& server = "")
    {
        std::string device = StartSim("canopen", sim);
        return StartDriver("[CAN]\nChannel=slcan:" + device + "\n" + can + "[SocketServer]\nSocketPort=0\n" + server,
                           {"CAN"});
    }
};

TEST_F(NoWait, ASignalDuringACanTransferEndsTheDriverAtOnceWithTheSettingsSaved)
{
    struct Case {
        const char* what;
        std::vector<std::string> sim;
        Bytes request;
    } cases[] = {
        {"a segmented upload stopped half-way", {"--fill=0x2200/1=200", "--stall=3"}, ReadRequest(0, 200, 0x2200, 1, 1)},
        {"a block download awaiting its acknowledgement", {"--stall=1"}, WriteRequest(0, Bytes(64, 5), 0x3007, 1, 1)},
        {"a read from a silent drive", {"--silent"}, ReadRequest(0, 4, 0x2000, 1, 3)},
    };
    for (const Case& c : cases) {
        uint16_t port = StartCan(c.sim);
        Client client(port);
        client.Send(c.request);
        ASSERT_TRUE(client.Silent(300)) << c.what << ": the transfer waits";
        const auto signalled = Clock::now();
        driver->Signal(SIGTERM);
        EXPECT_EQ(driver->Wait(3000), 0) << c.what;
        EXPECT_LT(MsSince(signalled), 1000) << c.what;
        EXPECT_NE(ReadFile(iniPath).find("SdoTransmitCobId=1537"), std::string::npos) << c.what << ": saved";
    }
}

TEST_F(NoWait, AClientThatVanishesDuringALongCanWaitIsDroppedByKeepalive)
{
    if (::geteuid() != 0) GTEST_SKIP() << "needs root for a network namespace of its own";
    ASSERT_EQ(::unshare(CLONE_NEWNET), 0);
    ASSERT_EQ(std::system("ip link set lo up"), 0);
    uint16_t port = StartCan({"--silent"}, "AnswerTimeout=20000\n", "KeepAlive=1\n");
    Client vanishing(port);
    vanishing.Send(ReadRequest(0, 4, 0x2000, 1, 1));
    ASSERT_TRUE(vanishing.Silent(200));
    const std::string rule = "nft add table inet vanish && nft add chain inet vanish out "
                             "'{ type filter hook output priority 0; }' && nft add rule inet vanish out tcp dport " +
                             std::to_string(vanishing.localPort()) + " drop";
    ASSERT_EQ(std::system(rule.c_str()), 0);
    const auto start = Clock::now();
    EXPECT_TRUE(driver->WaitForError(": keepalive time-out", 15000)) << driver->err();
    EXPECT_LT(MsSince(start), 1000 + 3 * 2000 + 3000) << "long before the 20 s answer wait ends";
    Client next(port);
    next.Send(ReadRequest(0, 4, 0x2000, 1, 1));
    EXPECT_TRUE(next.Silent(200)) << "served: its own read waits for the silent drive";
}

// The sim's log lines "@MS KIND HEX", in their order.
struct Stamp {
    long at;
    std::string kind, hex;
};
std::vector<Stamp> Stamped(const std::string& log)
{
    std::vector<Stamp> out;
    const std::regex line("@(\\d+) (sent|byte) ([0-9a-f ]+)");
    for (auto it = std::sregex_iterator(log.begin(), log.end(), line); it != std::sregex_iterator(); ++it)
        out.push_back({std::stol((*it)[1]), (*it)[2], (*it)[3]});
    return out;
}

TEST_F(NoWait, AnLvtFrameStillFollowsItsAnswerByTwentyMilliseconds)
{
    uint16_t port = StartWithSim("lvt", {"--object=0x10/2/300", "--times", "--bytes", "--quiet"}, "", "LVT");
    Client client(port);
    client.Send(ReadRequest(0, 200, 0x10, 0, 100));  // two frames
    ASSERT_EQ(client.Receive(204).size(), 204u);
    const std::vector<Stamp> log = Stamped(sim->err());
    // The first byte after the first answer went out begins the second frame.
    long answered = -1, second = -1;
    for (const Stamp& s : log) {
        if (s.kind == "sent" && answered < 0) answered = s.at;
        else if (s.kind == "byte" && answered >= 0) {
            second = s.at;
            EXPECT_EQ(s.hex, "08") << "a read frame's length byte";
            break;
        }
    }
    ASSERT_GE(second, 0) << sim->err();
    EXPECT_GE(second - answered, 20) << sim->err();
}

}  // namespace
}  // namespace nalvexa::it
