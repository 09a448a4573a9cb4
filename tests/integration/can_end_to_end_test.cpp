// SPDX-License-Identifier: MIT
// The built driver with "CAN" over slcan on a pseudo-terminal against the
// simulated CANopen drive.
#include <chrono>
#include <thread>

#include "driver_fixture.h"

namespace nalvexa::it {
namespace {

class CanEndToEnd : public DriverFixture {
protected:
    uint16_t Start(std::vector<std::string> simOptions = {}, const std::string& moreIni = "")
    {
        std::string device = StartSim("canopen", simOptions);
        return StartDriver("[CAN]\nChannel=slcan:" + device + "\n" + moreIni + "[SocketServer]\nSocketPort=0\n",
                           {"CAN"});
    }
};

TEST_F(CanEndToEnd, ExpeditedAndSegmentedReadsAndWrites)
{
    uint16_t port = Start({"--set=0x2100/1=0a0b0c0d0e0f1011121314"});
    EXPECT_NE(driver->out().find("Quarlin Axtelo 3.02 - CAN Driver"), std::string::npos);
    Client client(port);

    client.Send(ReadRequest(0, 7, 0x2000, 1, 3));
    EXPECT_EQ(client.Receive(11), Reply(0, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77}));
    EXPECT_TRUE(sim->WaitForError("slcan S6\nslcan O\nrx 601 40 00 20 01 00 00 00 00\n")) << sim->err();

    client.Send(ReadRequest(0, 11, 0x2100, 1, 1));
    EXPECT_EQ(client.Receive(15), Reply(0, {0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10, 0x11, 0x12, 0x13, 0x14}));
    EXPECT_TRUE(sim->WaitForError("rx 601 70 00 00 00 00 00 00 00\n")) << "the second segment request";

    client.Send(WriteRequest(0, {1, 2, 3, 4, 5, 6, 7, 8}, 0x2000, 1, 2));
    EXPECT_EQ(client.Receive(4), Reply(0));
    EXPECT_TRUE(sim->WaitForError("rx 601 23 00 20 02 05 06 07 08\n")) << sim->err();

    Bytes ten = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0};
    client.Send(WriteRequest(0, ten, 0x2100, 1, 1));
    EXPECT_EQ(client.Receive(4), Reply(0));
    EXPECT_TRUE(sim->WaitForError("rx 601 21 00 21 01 0a 00 00 00\n")) << sim->err();
    EXPECT_TRUE(sim->WaitForError("rx 601 19 02 01 00 00 00 00 00\n")) << sim->err();

    client.Send(ReadRequest(0, 10, 0x2100, 1, 1) + ReadRequest(0, 8, 0x2000, 1, 2));
    EXPECT_EQ(client.Receive(14), Reply(0, ten));
    EXPECT_EQ(client.Receive(12), Reply(0, {1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST_F(CanEndToEnd, AbortsBecomeStatusesAndTheBlockDownloadLands)
{
    uint16_t port = Start({"--blksize=20", "--stray=2"});
    Client client(port);
    // Stray frames follow every finished transfer; the pauses let them arrive before the next request.
    auto pause = [] { std::this_thread::sleep_for(std::chrono::milliseconds(100)); };
    client.Send(ReadRequest(0, 4, 0x5000, 0, 0));
    EXPECT_EQ(client.Receive(8), Reply(25, {0, 0, 0, 0})) << "no such object: 0x06020000";
    pause();
    client.Send(WriteRequest(0, {1, 2}, 0x1000, 0, 0));
    EXPECT_EQ(client.Receive(4), Reply(24)) << "read-only: 0x06010002";
    pause();

    Bytes block(64);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(0xC0 + i);
    client.Send(WriteRequest(0, block, 0x3007, 1, 1));
    EXPECT_EQ(client.Receive(4), Reply(0));
    EXPECT_TRUE(sim->WaitForError("rx 601 94 00 00 00 00 00 00 00\n")) << "segment 20 ends the block";
    pause();
    client.Send(ReadRequest(0, 64, 0x3007, 1, 1));
    EXPECT_EQ(client.Receive(68), Reply(0, block)) << "the stray frames were flushed before each request";
}

TEST_F(CanEndToEnd, ASilentDriveEndsWithStatus80)
{
    uint16_t port = Start({"--silent"});
    Client client(port);
    client.Send(ReadRequest(0, 2, 0x2000, 1, 1));
    EXPECT_EQ(client.Receive(6, 25000), Reply(80, {0, 0}));
}

TEST_F(CanEndToEnd, AChannelThatCannotBeOpened)
{
    for (std::string channel : std::vector<std::string>{"slcan:" + dir + "/none", "nonsense", "socketcan:nosuch0"}) {
        uint16_t port = StartDriver("[CAN]\nChannel=" + channel + "\n[SocketServer]\nSocketPort=0\n", {"CAN"});
        EXPECT_TRUE(driver->WaitForError("error while init CAN-Driver")) << channel;
        Client client(port);
        client.Send(ReadRequest(0, 2, 0x2000, 1, 1));
        EXPECT_EQ(client.Receive(6), Reply(63, {0, 0})) << "the library's ILLHANDLE: " << channel;
    }
}

}  // namespace
}  // namespace nalvexa::it
