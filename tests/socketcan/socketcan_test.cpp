// SPDX-License-Identifier: MIT
// SocketCAN against a real kernel CAN stack (vcan0). Run inside the VM of
// with-socketcan; where the kernel has no CAN sockets these tests skip.
#include <gtest/gtest.h>

#include <net/if.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "driver_fixture.h"
#include "socketcan_library.h"

#ifndef PF_CAN
#define PF_CAN 29
#endif

namespace nalvexa::it {
namespace {

bool HaveVcan0()
{
    int fd = ::socket(PF_CAN, SOCK_RAW, 1 /* CAN_RAW */);
    if (fd < 0) return false;
    ::close(fd);
    return ::if_nametoindex("vcan0") != 0;
}

#define REQUIRE_VCAN0()                                                                   \
    if (!HaveVcan0()) GTEST_SKIP() << "no CAN sockets or no vcan0 here (run under with-socketcan)"

CanMessage Frame(uint32_t id, std::vector<uint8_t> data)
{
    CanMessage m;
    m.id = id;
    m.length = static_cast<uint8_t>(data.size());
    for (size_t i = 0; i < data.size(); ++i) m.data[i] = data[i];
    return m;
}

bool ReadWithin(SocketCanLibrary& bus, CanMessage& m, int ms)
{
    for (auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
         std::chrono::steady_clock::now() < end;) {
        if (bus.CAN_Read(m) == can::kOk) return true;
        bus.WaitForFrame(50);
    }
    return false;
}

TEST(SocketCan, FramesBothWaysWithASecondRawSocket)
{
    REQUIRE_VCAN0();
    SocketCanLibrary a("vcan0"), b("vcan0");
    ASSERT_EQ(a.CAN_Init(can::kBtr500k, 0, 5, 0, 0), can::kOk);
    ASSERT_EQ(b.CAN_Init(can::kBtr500k, 0, 5, 0, 0), can::kOk);
    CanMessage m;
    EXPECT_EQ(a.CAN_Read(m), can::kQueueEmpty);

    ASSERT_EQ(a.CAN_Write(Frame(0x601, {0x40, 0x00, 0x20, 0x01, 0, 0, 0, 0})), can::kOk);
    ASSERT_TRUE(ReadWithin(b, m, 1000));
    EXPECT_EQ(uint32_t{m.id}, 0x601u);
    EXPECT_EQ(m.length, 8);
    EXPECT_EQ(m.data[0], 0x40);
    EXPECT_EQ(m.data[3], 0x01);
    EXPECT_EQ(a.CAN_Read(m), can::kQueueEmpty) << "a socket does not read its own frames";

    ASSERT_EQ(b.CAN_Write(Frame(0x12345678, {0xAB, 0xCD})), can::kOk);
    ASSERT_TRUE(ReadWithin(a, m, 1000));
    EXPECT_EQ(uint32_t{m.id}, 0x12345678u);
    EXPECT_EQ(m.type, 2) << "an extended identifier";
    EXPECT_EQ(m.length, 2);
    EXPECT_EQ(m.data[1], 0xCD);
    EXPECT_EQ(a.CAN_Close(), can::kOk);
    EXPECT_EQ(a.CAN_Read(m), can::kIllHandle);
}

TEST(SocketCan, TheKernelPassesOnlyTheFilteredIdentifiersAndAClearedFilterPassesAll)
{
    REQUIRE_VCAN0();
    SocketCanLibrary driver("vcan0"), bus("vcan0");
    // Set before the open, applied by it.
    driver.SetReceiveFilter({{0x7E4, 0x7FF}, {0x580, 0x780}});
    ASSERT_EQ(driver.CAN_Init(can::kBtr500k, 0, 5, 0, 0), can::kOk);
    ASSERT_EQ(bus.CAN_Init(can::kBtr500k, 0, 5, 0, 0), can::kOk);
    // A PDO, a heartbeat, a 29-bit frame whose low bits match, a remote frame, then two SDO answers.
    CanMessage remote = Frame(0x585, {}), extended = Frame(0x10000581, {9});
    remote.type = 1;
    extended.type = 2;
    for (const CanMessage& f : {Frame(0x181, {1, 2}), Frame(0x705, {0x7F}), extended, remote,
                                Frame(0x581, {0x43, 0, 0x20, 1, 4, 3, 2, 1}), Frame(0x5FF, {0x80})})
        ASSERT_EQ(bus.CAN_Write(f), can::kOk);
    CanMessage m;
    ASSERT_TRUE(ReadWithin(driver, m, 1000));
    EXPECT_EQ(uint32_t{m.id}, 0x581u);
    EXPECT_EQ(m.type, 0);
    ASSERT_TRUE(ReadWithin(driver, m, 1000));
    EXPECT_EQ(uint32_t{m.id}, 0x5FFu);
    EXPECT_FALSE(ReadWithin(driver, m, 200)) << "passed through: id " << std::hex << uint32_t{m.id};

    driver.SetReceiveFilter({});  // on an open socket, at once
    ASSERT_EQ(bus.CAN_Write(Frame(0x181, {1})), can::kOk);
    ASSERT_TRUE(ReadWithin(driver, m, 1000));
    EXPECT_EQ(uint32_t{m.id}, 0x181u);
}

TEST(SocketCan, AnInterfaceThatDoesNotExistFailsTheOpen)
{
    REQUIRE_VCAN0();
    SocketCanLibrary bus("nosuch0");
    EXPECT_EQ(bus.CAN_Init(can::kBtr500k, 0, 5, 0, 0), can::kResource);
}

class SocketCanEndToEnd : public DriverFixture {};

TEST_F(SocketCanEndToEnd, SdoReadAndWriteThroughTheDriver)
{
    REQUIRE_VCAN0();
    sim = std::make_unique<Process>(std::vector<std::string>{NALVEXA_SIM_BIN, "canopen", "--socketcan=vcan0"});
    ASSERT_EQ(sim->WaitForLine("interface "), "interface vcan0") << sim->err();
    uint16_t port = StartDriver("[CAN]\nChannel=socketcan:vcan0\n[SocketServer]\nSocketPort=0\n", {"CAN"});
    Client client(port);
    client.Send(ReadRequest(0, 7, 0x2000, 1, 3));
    EXPECT_EQ(client.Receive(11), Reply(0, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77}));
    client.Send(WriteRequest(0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 0x2000, 2, 2));
    EXPECT_EQ(client.Receive(4), Reply(0));
    client.Send(ReadRequest(0, 10, 0x2000, 2, 2));
    EXPECT_EQ(client.Receive(14), Reply(0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_TRUE(sim->WaitForError("rx 601 21 00 20 02 0a 00 00 00\n")) << sim->err();
}

TEST_F(SocketCanEndToEnd, AMissingInterfaceIsReportedAtStart)
{
    REQUIRE_VCAN0();
    uint16_t port = StartDriver("[CAN]\nChannel=socketcan:nosuch0\n[SocketServer]\nSocketPort=0\n", {"CAN"});
    EXPECT_TRUE(driver->WaitForError("error while init CAN-Driver"));
    Client client(port);
    client.Send(ReadRequest(0, 2, 0x2000, 1, 1));
    EXPECT_EQ(client.Receive(6), Reply(63, {0, 0}));
}

TEST_F(SocketCanEndToEnd, AnInterfaceDownEndsRequestsAtOnceAndOneDeletedAndMadeAgainIsBoundAgain)
{
    REQUIRE_VCAN0();
    auto ip = [](const std::string& args) { return std::system(("ip link " + args).c_str()); };
    if (::if_nametoindex("vcan1") == 0) GTEST_SKIP() << "no vcan1";
    auto startSim = [this] {
        sim = std::make_unique<Process>(std::vector<std::string>{NALVEXA_SIM_BIN, "canopen", "--socketcan=vcan1"});
        return sim->WaitForLine("interface ") == "interface vcan1";
    };
    ASSERT_TRUE(startSim()) << sim->err();
    uint16_t port = StartDriver("[CAN]\nChannel=socketcan:vcan1\nReopenInterval=200\n[SocketServer]\nSocketPort=0\n", {"CAN"});
    const Bytes read = ReadRequest(0, 2, 0x2000, 1, 1);
    auto ask = [&](int timeoutMs) {
        Client client(port);
        client.Send(read);
        return client.Receive(6, timeoutMs);
    };
    EXPECT_EQ(ask(3000), Reply(0, {0x11, 0x22}));

    ASSERT_EQ(ip("set vcan1 down"), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ask(3000), Reply(54, {0, 0})) << "BUSOFF: the interface is down";
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    ASSERT_EQ(ip("set vcan1 up"), 0);
    EXPECT_EQ(ask(3000), Reply(0, {0x11, 0x22}));
    EXPECT_TRUE(driver->WaitForErrorLines({"CAN bus-off socketcan:vcan1", "CAN bus recovered socketcan:vcan1"}))
        << driver->err();

    // Unplugged and plugged in again: a new interface of the same name.
    ASSERT_EQ(ip("del vcan1"), 0);
    sim->Wait(3000);
    EXPECT_EQ(ask(3000), Reply(63, {0, 0}));
    EXPECT_TRUE(driver->WaitForError("CAN channel lost socketcan:vcan1: No such device")) << driver->err();
    ASSERT_EQ(ip("add vcan1 type vcan"), 0);
    ASSERT_EQ(ip("set vcan1 up"), 0);
    ASSERT_TRUE(startSim()) << sim->err();
    EXPECT_TRUE(driver->WaitForError("CAN channel reopened socketcan:vcan1", 3000)) << driver->err();
    EXPECT_EQ(ask(3000), Reply(0, {0x11, 0x22}));
}

TEST_F(SocketCanEndToEnd, TheCommissioningToolScansTwoDrivesBesideTheRunningDriver)
{
    REQUIRE_VCAN0();
    Process second({NALVEXA_SIM_BIN, "canopen", "--socketcan=vcan0", "--node=6"});
    sim = std::make_unique<Process>(std::vector<std::string>{NALVEXA_SIM_BIN, "canopen", "--socketcan=vcan0", "--node=5"});
    ASSERT_EQ(sim->WaitForLine("interface "), "interface vcan0") << sim->err();
    ASSERT_EQ(second.WaitForLine("interface "), "interface vcan0") << second.err();
    // The driver holds the bus too: SocketCAN shares it.
    uint16_t port = StartDriver("[CAN]\nChannel=socketcan:vcan0\n[SocketServer]\nSocketPort=0\n", {"CAN"});
    ASSERT_NE(port, 0);

    auto tool = [this](std::vector<std::string> args) {
        std::vector<std::string> argv = {NALVEXA_CAN_BIN, "--ini", dir + "/none.ini", "--channel", "socketcan:vcan0"};
        argv.insert(argv.end(), args.begin(), args.end());
        Process p(argv);
        const int status = p.Wait(15000);
        return std::make_pair(status, p.out() + p.err());
    };
    EXPECT_EQ(tool({"--timeout", "300", "scan"}), std::make_pair(0, std::string("5 0x00020192\n6 0x00020192\n")));
    // A virtual interface has no bit rate to check against.
    EXPECT_EQ(tool({"--bitrate", "250k", "--node", "6", "sdo", "read", "2000", "1"}),
              std::make_pair(0, std::string("0x2211\n")));
    EXPECT_EQ(tool({"--channel", "socketcan:nosuch0", "scan"}).first, 1);
}

}  // namespace
}  // namespace nalvexa::it
