// SPDX-License-Identifier: MIT
// The built driver with "QMR" against the simulated QMR controller.
#include <chrono>
#include <thread>

#include "driver_fixture.h"

namespace nalvexa::it {
namespace {

class QmrEndToEnd : public DriverFixture {
protected:
    uint16_t Start(std::vector<std::string> simOptions = {}, const std::string& moreIni = "")
    {
        return StartWithSim("qmr", simOptions, "BaudRate=19200\n" + moreIni, "QMR");
    }
};

TEST_F(QmrEndToEnd, ReadsAndWritesOfBothFormsAt9600Baud)
{
    uint16_t port = Start({"--set=3/0x1234=beef", "--set-byte=5/0x11/0x22=010203"});
    EXPECT_NE(driver->out().find("Quarlin Axtelo 3.02 - QMR Driver"), std::string::npos);
    Client client(port);

    client.Send(ReadRequest(3, 2, 0x101, 0x1234, 0));
    EXPECT_EQ(client.Receive(6), Reply(0, {0xBE, 0xEF}));
    EXPECT_TRUE(sim->WaitForError("baud 9600\nrx 06 03 01 34 12 02 52\n")) << sim->err();

    client.Send(ReadRequest(5, 3, 0, 0x22, 0x11));
    EXPECT_EQ(client.Receive(7), Reply(0, {1, 2, 3}));
    EXPECT_TRUE(sim->WaitForError("rx 06 05 11 11 22 03 52\n")) << sim->err();

    client.Send(WriteRequest(3, {0x12, 0x34}, 1, 0x0010, 0));
    EXPECT_EQ(client.Receive(4), Reply(0));
    client.Send(WriteRequest(5, {9, 8, 7}, 0, 0x22, 0x11));
    EXPECT_EQ(client.Receive(4), Reply(0));
    EXPECT_TRUE(sim->WaitForError("rx 08 05 12 11 22 09 08 07 6a\n")) << sim->err();

    client.Send(ReadRequest(3, 2, 1, 0x0010, 0));
    EXPECT_EQ(client.Receive(6), Reply(0, {0x12, 0x34}));
    client.Send(ReadRequest(5, 3, 0, 0x22, 0x11));
    EXPECT_EQ(client.Receive(7), Reply(0, {9, 8, 7}));
}

TEST_F(QmrEndToEnd, ControllerFaultsBecomeStatuses)
{
    struct Case {
        const char* option;
        uint32_t status;
    } cases[] = {{"--error-flag", 2}, {"--bad-sum", 4}, {"--silent", 5}};
    for (const Case& c : cases) {
        uint16_t port = Start({c.option}, "RetryTimeout=100\n");
        Client client(port);
        client.Send(ReadRequest(3, 2, 1, 1, 0));
        EXPECT_EQ(client.Receive(6), Reply(c.status, {0, 0})) << c.option;
    }
}

TEST_F(QmrEndToEnd, AnAnswerInPiecesAndItsCopyThatEndsBeforeTheNextRequest)
{
    uint16_t port = Start({"--split", "--twice", "--set=1/7=0102"});
    Client client(port);
    for (int i = 0; i < 3; ++i) {
        client.Send(ReadRequest(1, 2, 1, 7, 0));
        EXPECT_EQ(client.Receive(6), Reply(0, {0x01, 0x02})) << i;
        // The copy comes byte by byte, 3 ms apart: once it has ended it is
        // dropped as late. (A copy still arriving when the next request goes
        // out garbles that answer, which then fails: see RightAnswers.)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

TEST_F(QmrEndToEnd, APortThatCannotBeOpenedAnswersStatus6)
{
    uint16_t port =
        StartDriver("[TR7100]\nSerialPort=" + dir + "/none\n[SocketServer]\nSocketPort=0\n", {"QMR"});
    Client client(port);
    client.Send(WriteRequest(3, {1, 2}, 1, 1, 0));
    EXPECT_EQ(client.Receive(4), Reply(6));
}

}  // namespace
}  // namespace nalvexa::it
