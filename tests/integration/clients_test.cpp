// SPDX-License-Identifier: MIT
// Clients that vanish, stall, never read their answers, come in storms or
// half-close: the driver stays available for the next one and its memory flat.
#include <chrono>
#include <fstream>
#include <sched.h>
#include <thread>
#include <unistd.h>

#include "driver_fixture.h"

namespace nalvexa::it {
namespace {

using Ms = std::chrono::milliseconds;

long ResidentKb(int pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

int Shell(const std::string& command) { return std::system(command.c_str()); }

class Clients : public DriverFixture {
protected:
    // The driver on the simulated TR7100 drive, with these server settings.
    uint16_t Start(const std::string& server)
    {
        const std::string device = StartSim("tr7100", {"--set=1=0x0102"});
        return StartDriver("[TR7100]\nSerialPort=" + device + "\n[SocketServer]\nSocketPort=0\n" + server);
    }
    const Bytes read = ReadRequest(5, 2, 1, 1, 0);
    const Bytes answer = Reply(0, {0x02, 0x01});
};

TEST_F(Clients, AClientThatVanishesIsDroppedByKeepaliveAndTheNextIsServed)
{
    if (::geteuid() != 0) GTEST_SKIP() << "needs root for a network namespace of its own";
    // Only this test's process (and its children) see the namespace: loopback,
    // and a firewall rule that makes the first client vanish.
    ASSERT_EQ(::unshare(CLONE_NEWNET), 0);
    ASSERT_EQ(Shell("ip link set lo up"), 0);
    uint16_t port = Start("KeepAlive=1\n");
    Client vanishing(port);
    vanishing.Send(read);
    ASSERT_EQ(vanishing.Receive(6), answer);
    Client next(port);
    next.Send(read);
    ASSERT_EQ(Shell("nft add table inet vanish && nft add chain inet vanish out '{ type filter hook output priority 0; }'"
                  " && nft add rule inet vanish out tcp dport " + std::to_string(vanishing.localPort()) + " drop"),
              0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(next.Receive(6, 20000), answer) << driver->err();
    const auto waited = std::chrono::duration_cast<Ms>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(waited, 1000) << "probes start after a second of silence";
    EXPECT_LE(waited, 1000 + 3 * 2000 + 3000) << "then three probes two seconds apart";
    EXPECT_TRUE(driver->WaitForError(": keepalive time-out")) << driver->err();
}

TEST_F(Clients, OnlyTheAllowedClientsGetInAndARefusedOneNeverWaits)
{
    uint16_t port = Start("AllowedClients=127.0.0.2, 127.0.1.0/24, ::1\n");
    Client allowed(port, "127.0.0.1", "127.0.0.2");
    allowed.Send(read);
    ASSERT_EQ(allowed.Receive(6), answer) << driver->err();

    // While the allowed one holds the driver, a refused one is closed at once:
    // it does not wait its turn behind it.
    Client refused(port, "127.0.0.1", "127.0.0.9");
    refused.Send(read);
    EXPECT_TRUE(refused.ClosedByServer(1000)) << "closed, not kept waiting";
    EXPECT_EQ(refused.Receive(1, 200), Bytes{}) << "nothing read, nothing answered";
    const std::string line = "client refused 127.0.0.9:" + std::to_string(refused.localPort()) + ": not in AllowedClients";
    EXPECT_TRUE(driver->WaitForError(line)) << driver->err();
    Client ranged(port, "127.0.0.1", "127.0.1.77");  // in the range: waits its turn
    ranged.Send(read);
    EXPECT_TRUE(ranged.Silent(200));
    allowed.Close();
    EXPECT_EQ(ranged.Receive(6), answer);
    EXPECT_EQ(driver->err().find("client connected 127.0.0.9"), std::string::npos) << driver->err();
}

TEST_F(Clients, AnAllowedClientsListThatCannotBeReadStopsTheStart)
{
    const std::string device = StartSim("tr7100");
    WriteFile(dir + "/bad.ini", "[TR7100]\nSerialPort=" + device + "\n[SocketServer]\nSocketPort=0\nAllowedClients=10.0.0.0/8, lan\n");
    driver = std::make_unique<Process>(std::vector<std::string>{DriverProgram(), "--headless", "--ini", dir + "/bad.ini"});
    EXPECT_EQ(driver->Wait(), 1);
    EXPECT_TRUE(driver->WaitForError("cannot read AllowedClients in " + dir + "/bad.ini: \"lan\" is not an address or an address/prefix\n", 100))
        << driver->err();
    EXPECT_EQ(driver->out().find("listening"), std::string::npos);
}

TEST_F(Clients, AHalfRequestThatStallsEndsAfterTheRequestTimeout)
{
    uint16_t port = Start("RequestTimeout=1\n");
    Client staller(port);
    staller.Send(Bytes(read.begin(), read.begin() + 13));
    Client next(port);
    next.Send(read);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(next.Receive(6, 5000), answer);
    EXPECT_GE(std::chrono::steady_clock::now() - start, Ms(900));
    EXPECT_TRUE(staller.ClosedByServer());
    EXPECT_TRUE(driver->WaitForError("client gone 127.0.0.1:" + std::to_string(staller.localPort()) +
                                     ": request time-out"))
        << driver->err();

    // A live client that sends nothing stays connected.
    next.Close();
    Client idle(port);
    idle.Send(read);
    EXPECT_EQ(idle.Receive(6), answer);
    EXPECT_FALSE(idle.ClosedByServer(1500));
}

TEST_F(Clients, AClientThatLeavesHalfWayThroughARequestFreesTheDriverAtOnce)
{
    uint16_t port = Start("RequestTimeout=30\n");
    auto leaving = std::make_unique<Client>(port);
    leaving->Send(read);
    ASSERT_EQ(leaving->Receive(6), answer);
    leaving->Send(Bytes(read.begin(), read.begin() + 13));
    std::this_thread::sleep_for(Ms(50));
    Client next(port);
    next.Send(read);
    leaving.reset();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(next.Receive(6, 5000), answer);
    EXPECT_LT(std::chrono::steady_clock::now() - start, Ms(1000)) << "not after the request time-out";
}

TEST_F(Clients, AnswersThatAreNeverReadKeepMemoryFlat)
{
    // A CAN channel that cannot be opened answers every read at once: 35000 bytes each.
    uint16_t port = StartDriver("[CAN]\nChannel=slcan:" + dir + "/none\nReopenInterval=0\n[SocketServer]\nSocketPort=0\n",
                                {"CAN"});
    Client greedy(port);
    const Bytes big = ReadRequest(0, 35000, 0x2000, 1, 1);
    Bytes many;
    for (int i = 0; i < 200; ++i) many.insert(many.end(), big.begin(), big.end());
    const long before = ResidentKb(driver->pid());
    const auto start = std::chrono::steady_clock::now();
    size_t sent = 0;
    while (std::chrono::steady_clock::now() - start < Ms(3000)) {
        sent += greedy.SendSome(Bytes(many.begin() + static_cast<long>(sent % big.size()), many.end()));
        std::this_thread::sleep_for(Ms(10));
    }
    const long after = ResidentKb(driver->pid());
    EXPECT_LT(after - before, 4096) << "kB: before " << before << ", after " << after;
    EXPECT_GT(sent, 10 * big.size()) << "the driver read requests until the answers piled up";
}

TEST_F(Clients, AStormOfClientsThatLeaveTakesNoTurnAndBlocksNobody)
{
    uint16_t port = Start("");
    Client served(port);
    served.Send(read);
    ASSERT_EQ(served.Receive(6), answer);
    for (int i = 0; i < 300; ++i) {
        Client passing(port);
        ASSERT_TRUE(passing.connected()) << i;
        passing.Send(read);
    }
    std::this_thread::sleep_for(Ms(1500));
    Client later(port);
    ASSERT_TRUE(later.connected());
    later.Send(read);
    EXPECT_TRUE(later.Silent(200)) << "waits its turn";
    served.Close();
    EXPECT_EQ(later.Receive(6, 2000), answer);
    const std::string log = sim->err();
    size_t frames = 0;
    for (size_t at = log.find("rx "); at != std::string::npos; at = log.find("rx ", at + 1)) ++frames;
    EXPECT_EQ(frames, 2u) << "the clients that left sent nothing to the drive";
}

TEST_F(Clients, AfterAHalfCloseTheRequestsSentAreAnswered)
{
    uint16_t port = Start("");
    Client client(port);
    client.Send(read + read);
    client.ShutdownWrite();
    EXPECT_EQ(client.Receive(12), answer + answer);
    EXPECT_TRUE(client.ClosedByServer());
    Client next(port);
    next.Send(read);
    EXPECT_EQ(next.Receive(6), answer);
}

}  // namespace
}  // namespace nalvexa::it
