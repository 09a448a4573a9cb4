// SPDX-License-Identifier: MIT
// The built driver with "LVT" (and with a text that is no keyword) against
// the simulated LVT controller.
#include "driver_fixture.h"

namespace nalvexa::it {
namespace {

class LvtEndToEnd : public DriverFixture {
protected:
    uint16_t Start(std::vector<std::string> simOptions, const std::string& keyword = "LVT",
                   const std::string& moreIni = "")
    {
        return StartWithSim("lvt", simOptions, "BaudRate=9600\n" + moreIni, keyword);
    }
};

// Element j of a fresh object holds j + 1; the client gets it low byte first.
Bytes FreshElements(size_t count, int size)
{
    Bytes b;
    for (size_t j = 0; j < count; ++j)
        for (int k = 0; k < size; ++k) b.push_back(static_cast<uint8_t>((j + 1) >> (8 * k)));
    return b;
}

TEST_F(LvtEndToEnd, ASplitReadOfSeveralHundredBytesArrivesElementByElement)
{
    for (const char* keyword : {"LVT", "lvt"}) {
        uint16_t port = Start({"--object=0x10/2/300"}, keyword);
        EXPECT_NE(driver->out().find("Quarlin Axtelo 4.0 - LVT Driver"), std::string::npos) << keyword;
        Client client(port);
        client.Send(ReadRequest(0, 600, 0x10, 0, 300));
        Bytes answer = client.Receive(4 + 600);
        ASSERT_EQ(answer.size(), 604u) << keyword;
        EXPECT_EQ(Bytes(answer.begin(), answer.begin() + 4), Word(0));
        EXPECT_EQ(Bytes(answer.begin() + 4, answer.end()), FreshElements(300, 2)) << keyword;
        EXPECT_TRUE(sim->WaitForError("baud 19200\nrx 08 00 10 00 00 00 40")) << "19200 at start, 64 a frame";
        EXPECT_TRUE(sim->WaitForError("rx 08 00 10 00 01 00 2c")) << "the last 44 from element 256";
    }
}

TEST_F(LvtEndToEnd, ASplitWriteIsReadBackTheSame)
{
    uint16_t port = Start({"--object=0x20/4/100"});
    Client client(port);
    Bytes data;
    for (uint32_t j = 0; j < 100; ++j) {
        uint32_t v = 0x01020304u + j * 0x01010101u;
        for (int k = 0; k < 4; ++k) data.push_back(static_cast<uint8_t>(v >> (8 * k)));
    }
    client.Send(WriteRequest(0, data, 0x20, 0, 100));
    EXPECT_EQ(client.Receive(4), Reply(0));
    EXPECT_TRUE(sim->WaitForError("rx 88 00 20 00 00 00 20 01 02 03 04 02 03 04 05")) << "high byte first";
    client.Send(ReadRequest(0, 400, 0x20, 0, 100));
    Bytes answer = client.Receive(404);
    ASSERT_EQ(answer.size(), 404u);
    EXPECT_EQ(Bytes(answer.begin() + 4, answer.end()), data);
}

TEST_F(LvtEndToEnd, ControlCodesSwitchTheLineBetween57600And19200)
{
    uint16_t port = Start({"--object=1/1/4"});
    Client client(port);
    client.Send(ControlRequest(1, 0, 0));
    EXPECT_EQ(client.Receive(4, 3000), Reply(0));
    client.Send(ReadRequest(0, 1, 1, 0, 1));
    EXPECT_EQ(client.Receive(5), Reply(0, {1}));
    EXPECT_TRUE(sim->WaitForError("baud 57600\n")) << sim->err();
    client.Send(ControlRequest(2, 0, 0));
    EXPECT_EQ(client.Receive(4, 3000), Reply(0));
    client.Send(ReadRequest(0, 1, 1, 1, 1));
    EXPECT_EQ(client.Receive(5), Reply(0, {2}));
    EXPECT_TRUE(sim->WaitForError("baud 57600\nrx 08 00 01 00 00 00 01")) << sim->err();
    EXPECT_TRUE(sim->WaitForError("baud 19200\nrx")) << sim->err();
}

TEST_F(LvtEndToEnd, ControllerStatusesAndFaults)
{
    struct Case {
        std::vector<std::string> sim;
        uint32_t status;
    } cases[] = {
        {{"--object=1/2/4", "--status=5"}, 105},
        {{"--object=1/2/4", "--status=200"}, 144},
        {{}, 106},                                   // no such object
        {{"--object=1/2/4", "--bad-crc=1"}, 0},      // one repetition mends it
        {{"--object=1/2/4", "--bad-crc"}, 4},
        {{"--silent"}, 5},
    };
    for (const Case& c : cases) {
        uint16_t port = Start(c.sim, "LVT", "RetryTimeout=100\nMaxNoOfRetries=1\n");
        Client client(port);
        client.Send(ReadRequest(0, 2, 1, 0, 1));
        Bytes answer = client.Receive(6);
        ASSERT_EQ(answer.size(), 6u);
        EXPECT_EQ(Bytes(answer.begin(), answer.begin() + 4), Word(c.status)) << (c.sim.empty() ? "" : c.sim.back());
    }
}

TEST_F(LvtEndToEnd, APortThatCannotBeOpenedAnswersStatus6)
{
    uint16_t port = StartDriver("[TR7100]\nSerialPort=" + dir + "/none\n[SocketServer]\nSocketPort=0\n", {"LVT"});
    Client client(port);
    client.Send(ReadRequest(0, 2, 1, 0, 1));
    EXPECT_EQ(client.Receive(6), Reply(6, {0, 0}));
}

}  // namespace
}  // namespace nalvexa::it
