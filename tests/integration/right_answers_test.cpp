// SPDX-License-Identifier: MIT
// Drives and buses that behave like real ones: other nodes' frames on the
// bus, answers that come late or twice, clients that leave switches behind.
// A status 0 must always carry the data the drive holds for that request.
#include <map>

#include "driver_fixture.h"
#include "tally.h"

namespace nalvexa::it {
namespace {

class RightAnswers : public DriverFixture {};

TEST_F(RightAnswers, CanFramesOfOtherNodesAndEarlierTransfersAreNotTakenForAnswers)
{
    std::string device = StartSim("canopen", {"--bus-noise=100", "--set=0x2100/1=0a0b0c0d0e0f1011121314"});
    uint16_t port =
        StartDriver("[CAN]\nChannel=slcan:" + device + "\n[SocketServer]\nSocketPort=0\n", {"CAN"});
    Client client(port);
    Tally tally;
    for (int i = 0; i < 10; ++i) {
        tally.Ask(client, ReadRequest(0, 7, 0x2000, 1, 3), {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77});
        tally.Ask(client, ReadRequest(0, 10, 0x2100, 1, 1), {0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10, 0x11, 0x12, 0x13});
        tally.Ask(client, ReadRequest(0, 4, 0x1000, 0, 0), {0x92, 0x01, 0x02, 0x00});
    }
    tally.Ask(client, WriteRequest(0, {9, 8, 7, 6, 5, 4, 3, 2, 1, 0}, 0x2100, 1, 1), {});
    tally.Ask(client, ReadRequest(0, 10, 0x2100, 1, 1), {9, 8, 7, 6, 5, 4, 3, 2, 1, 0});
    EXPECT_EQ(tally.wrong, 0);
    EXPECT_EQ(tally.statuses[0], 32) << "no answer lost to the noise";
    EXPECT_NE(sim->err().find("noise pdo"), std::string::npos);
    EXPECT_NE(sim->err().find("noise other-node"), std::string::npos);
}

TEST_F(RightAnswers, LateSerialAnswersAreNeverTheNextRequestsAnswer)
{
    const TwoReads cases[] = {
        {"qmr", "QMR", {"--set=3/1=1122", "--set=3/2=3344"},
         ReadRequest(3, 2, 1, 1, 0), {0x11, 0x22}, ReadRequest(3, 2, 1, 2, 0), {0x33, 0x44}},
        {"lvt", "LVT", {"--object=0x10/2/4"},
         ReadRequest(0, 2, 0x10, 0, 1), {0x01, 0x00}, ReadRequest(0, 2, 0x10, 1, 1), {0x02, 0x00}},
        {"tr7100", "TR7100", {"--set=1=0x0102", "--set=2=0x0304"},
         ReadRequest(5, 2, 1, 1, 0), {0x02, 0x01}, ReadRequest(5, 2, 2, 1, 0), {0x04, 0x03}},
    };
    for (const TwoReads& c : cases) {
        std::vector<std::string> options = c.sim;
        options.insert(options.end(), {"--late=20", "--late-ms=150"});
        uint16_t port = StartWithSim(c.drive, options, "RetryTimeout=100\nMaxNoOfRetries=0\n", c.keyword);
        Client client(port);
        Tally tally;
        c.Ask(client, tally, 15);
        EXPECT_EQ(tally.wrong, 0) << c.drive;
        EXPECT_GT(tally.statuses[5], 0) << c.drive << ": some answers came too late";
        EXPECT_GT(tally.statuses[0], 15) << c.drive;
    }
}

TEST_F(RightAnswers, AnswersSentTwiceAreTakenOnce)
{
    const TwoReads cases[] = {
        // Objects of different sizes: a copy of one answer cannot pass for the other.
        {"qmr", "QMR", {"--set-byte=3/1/1=112233", "--set-byte=3/1/2=4455"},
         ReadRequest(3, 3, 0, 1, 1), {0x11, 0x22, 0x33}, ReadRequest(3, 2, 0, 2, 1), {0x44, 0x55}},
        {"lvt", "LVT", {"--object=0x10/2/4", "--object=0x20/4/2"},
         ReadRequest(0, 2, 0x10, 0, 1), {0x01, 0x00}, ReadRequest(0, 4, 0x20, 0, 1), {0x01, 0, 0, 0}},
        {"tr7100", "TR7100", {"--set=1=0x0102", "--set=2=0x0304"},
         ReadRequest(5, 2, 1, 1, 0), {0x02, 0x01}, ReadRequest(5, 2, 2, 1, 0), {0x04, 0x03}},
    };
    for (const TwoReads& c : cases) {
        for (bool split : {false, true}) {
            std::vector<std::string> options = c.sim;
            options.push_back("--twice");
            if (split) options.push_back("--split");
            uint16_t port = StartWithSim(c.drive, options, "RetryTimeout=200\nMaxNoOfRetries=1\n", c.keyword);
            Client client(port);
            Tally tally;
            c.Ask(client, tally, 10);
            EXPECT_EQ(tally.wrong, 0) << c.drive << (split ? " in pieces" : "");
            // A copy in pieces that is still arriving when the next frame goes
            // out garbles that frame's answer: it is repeated, or fails.
            EXPECT_GT(tally.statuses[0], split ? 0 : 15) << c.drive << (split ? " in pieces" : "");
        }
    }
}

TEST_F(RightAnswers, ReadsCarryZerosWhereTheDriveGaveNothing)
{
    uint16_t port = StartWithSim("tr7100", {"--set=1=0x0102"}, "RetryTimeout=100\n");
    {
        Client writer(port);
        writer.Send(WriteRequest(5, Bytes(1000, 0xEE), 2, 1, 0));
        EXPECT_EQ(writer.Receive(4), Reply(0));
    }
    Client reader(port);
    Bytes want = {0x02, 0x01};
    want.resize(1000, 0);
    reader.Send(ReadRequest(5, 1000, 1, 1, 0));
    EXPECT_EQ(reader.Receive(4 + 1000), Reply(0, want)) << "not the other client's 1000 bytes";
}

TEST_F(RightAnswers, DeliveryAndStreamModeEndWithTheClientThatSwitchedThem)
{
    uint16_t port = StartWithSim("tr7100", {"--set=1=0x0102"}, "RetryTimeout=100\n");
    for (const Bytes& control : {ControlRequest(1, 1, 0), ControlRequest(2, 0, 0)}) {
        {
            Client first(port);
            first.Send(control);
            EXPECT_EQ(first.Receive(4), Reply(0));
        }
        Client next(port);
        next.Send(ReadRequest(5, 2, 1, 1, 0));
        EXPECT_EQ(next.Receive(6), Reply(0, {0x02, 0x01}));
    }
}

}  // namespace
}  // namespace nalvexa::it
