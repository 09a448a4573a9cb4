// SPDX-License-Identifier: MIT
// Faults a little to the side of the obvious ones, through the real driver
// and the simulator: drives slightly slower than the response interval with
// repetitions on, answers later than two intervals, copies in pieces, writes
// that lack bytes, CAN ranges the frames cannot carry, a line never quiet.
// Status 0 must always carry the request's own data, and no byte the client
// did not give may reach the drive.
#include <chrono>
#include <functional>
#include <map>
#include <thread>

#include "driver_fixture.h"
#include "tally.h"

namespace nalvexa::it {
namespace {

// The LVT simulator's object 1: element j holds j + 1, two bytes, low byte first to the client.
Bytes Element(uint32_t j) { return {static_cast<uint8_t>(j + 1), 0}; }

class FaultEdges : public DriverFixture {};

TEST_F(FaultEdges, ADriveALittleSlowerThanTheIntervalWithRepetitionsGivesNoWrongAnswer)
{
    // The LVT defaults: 500 ms, 5 repetitions; every answer 600 ms after its frame.
    {
        uint16_t port = StartWithSim("lvt", {"--object=1/2/40", "--late=100", "--late-ms=600"}, "", "LVT");
        Client client(port);
        Tally tally;
        for (uint32_t j = 0; j < 2; ++j) tally.Ask(client, ReadRequest(0, 2, 1, j, 1), Element(j));
        EXPECT_EQ(tally.wrong, 0);
    }
    // One repetition, answers just after the interval, whole or byte by byte.
    struct Case {
        const char* drive;
        const char* keyword;
        std::vector<std::string> sim;
        std::function<std::pair<Bytes, Bytes>(uint32_t)> read;
    } cases[] = {
        {"lvt", "LVT", {"--object=1/2/40"},
         [](uint32_t j) { return std::make_pair(ReadRequest(0, 2, 1, j, 1), Element(j)); }},
        {"qmr", "QMR", {"--set=3/1=1100", "--set=3/2=2200", "--set=3/3=3300", "--set=3/4=4400"},
         [](uint32_t j) {
             return std::make_pair(ReadRequest(3, 2, 1, 1 + j % 4, 0), Bytes{static_cast<uint8_t>(0x11 * (1 + j % 4)), 0});
         }},
    };
    for (const Case& c : cases) {
        for (const char* late : {"--late-ms=130", "--late-ms=85"}) {
            std::vector<std::string> options = c.sim;
            options.insert(options.end(), {"--late=100", late});
            if (std::string(late) == "--late-ms=85") options.push_back("--split");
            uint16_t port = StartWithSim(c.drive, options, "RetryTimeout=100\nMaxNoOfRetries=1\n", c.keyword);
            Client client(port);
            Tally tally;
            for (uint32_t j = 0; j < 6; ++j) {
                auto [request, want] = c.read(j);
                tally.Ask(client, request, want);
            }
            EXPECT_EQ(tally.wrong, 0) << c.drive << " " << late;
        }
    }
}

TEST_F(FaultEdges, AnswersLaterThanTwoIntervalsAreToldApartWithAWiderQuietInterval)
{
    const TwoReads cases[] = {
        {"qmr", "QMR", {"--set=3/1=1122", "--set=3/2=3344"},
         ReadRequest(3, 2, 1, 1, 0), {0x11, 0x22}, ReadRequest(3, 2, 1, 2, 0), {0x33, 0x44}},
        {"lvt", "LVT", {"--object=0x10/2/4"},
         ReadRequest(0, 2, 0x10, 0, 1), {0x01, 0x00}, ReadRequest(0, 2, 0x10, 1, 1), {0x02, 0x00}},
    };
    for (const TwoReads& c : cases) {
        std::vector<std::string> options = c.sim;
        options.insert(options.end(), {"--late=100", "--late-ms=250"});
        uint16_t port =
            StartWithSim(c.drive, options, "RetryTimeout=100\nMaxNoOfRetries=0\nQuietInterval=300\n", c.keyword);
        Client client(port);
        Tally tally;
        c.Ask(client, tally, 6);
        EXPECT_EQ(tally.wrong, 0) << c.drive;
        EXPECT_EQ(tally.statuses[5], 12) << c.drive << ": every answer came after the response interval";
    }
}

TEST_F(FaultEdges, CopiesInPiecesAreDroppedWithAnInterFrameSilence)
{
    const TwoReads cases[] = {
        // Requests of the same shape: a copy taken for the next answer would show.
        {"qmr", "QMR", {"--set-byte=3/1/1=1122", "--set-byte=3/1/2=3344"},
         ReadRequest(3, 2, 0, 1, 1), {0x11, 0x22}, ReadRequest(3, 2, 0, 2, 1), {0x33, 0x44}},
        {"lvt", "LVT", {"--object=0x10/2/4"},
         ReadRequest(0, 2, 0x10, 0, 1), {0x01, 0x00}, ReadRequest(0, 2, 0x10, 1, 1), {0x02, 0x00}},
    };
    for (const TwoReads& c : cases) {
        std::vector<std::string> options = c.sim;
        options.insert(options.end(), {"--twice", "--split"});
        uint16_t port = StartWithSim(c.drive, options, "RetryTimeout=300\nMaxNoOfRetries=1\nInterFrameSilence=100\n",
                                     c.keyword);
        Client client(port);
        Tally tally;
        c.Ask(client, tally, 8);
        EXPECT_EQ(tally.wrong, 0) << c.drive;
        EXPECT_GE(tally.statuses[0], 12) << c.drive << ": the copies cost time, not answers";
    }
}

TEST_F(FaultEdges, AWriteWithoutTheBytesOfItsFrameSendsNothing)
{
    uint16_t port = StartWithSim("tr7100", {}, "RetryTimeout=200\n");
    {
        Client first(port);
        first.Send(WriteRequest(5, {0x34, 0x12}, 0x11, 1, 0));
        EXPECT_EQ(first.Receive(4), Reply(0));
    }
    Client next(port);
    for (const Bytes& payload : {Bytes{}, Bytes{0x09}}) {
        next.Send(WriteRequest(5, payload, 0x10, 1, 0));
        EXPECT_EQ(next.Receive(4), Reply(1)) << payload.size() << " bytes";
    }
    next.Send(ReadRequest(5, 2, 0x11, 1, 0));
    EXPECT_EQ(next.Receive(6), Reply(0, {0x34, 0x12}));
    EXPECT_EQ(sim->err().find("rx 85 00 10"), std::string::npos) << sim->err();
}

TEST_F(FaultEdges, CanRequestsTheFramesCannotCarryAreRefusedAtOnce)
{
    std::string device = StartSim("canopen");
    uint16_t port = StartDriver("[CAN]\nChannel=slcan:" + device + "\n[SocketServer]\nSocketPort=0\n", {"CAN"});
    Client client(port);
    const Bytes requests[] = {
        ReadRequest(0, 4, 0x2000, 3, 2),            // upside down
        ReadRequest(0, 4, 0x2000, 1, 0x80000000u),  // a last sub-index beyond 8 bits
        ReadRequest(0, 4, 0x2000, 0x101, 0x101),    // a sub-index beyond 8 bits
        ReadRequest(0, 4, 0x12000, 1, 1),           // an index beyond 16 bits
        WriteRequest(0, Bytes(10, 7), 0x2000, 1, 3),  // 10 bytes over 3 sub-indices
    };
    for (const Bytes& r : requests) {
        client.Send(r);
        const bool read = StatusOf(r) == 1;  // the request's type word
        Bytes answer = client.Receive(read ? 8 : 4, 2000);
        ASSERT_EQ(answer.size(), read ? 8u : 4u);
        EXPECT_EQ(StatusOf(answer), 1u);
    }
    client.Send(ReadRequest(0, 7, 0x2000, 1, 3));
    EXPECT_EQ(client.Receive(11), Reply(0, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77}));
    // Only that last read reached the bus: three uploads.
    const std::string& log = sim->err();
    size_t uploads = 0;
    for (size_t at = 0; (at = log.find("rx 601 40", at)) != std::string::npos; ++at) ++uploads;
    EXPECT_EQ(uploads, 3u) << log;
    EXPECT_EQ(log.find("rx 601 2"), std::string::npos) << "no download began";
}

TEST_F(FaultEdges, ALineThatIsNeverQuietEndsEveryRequestInBoundedTime)
{
    // The first frame is not answered; from then on a byte every 50 ms for 4 s.
    uint16_t port = StartWithSim("tr7100", {"--set=1=0x0102", "--silent=1", "--noise=50/4000", "--quiet"}, "RetryTimeout=200\n");
    Client client(port);
    auto start = std::chrono::steady_clock::now();
    int answered = 0;
    while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(4500)) {
        driver->err();  // keeps its pipe drained
        client.Send(ReadRequest(5, 2, 1, 1, 0));
        Bytes answer = client.Receive(6, 3000);
        ASSERT_EQ(answer.size(), 6u) << "answered within ten response intervals and a little";
        ++answered;
    }
    EXPECT_GE(answered, 2);
    EXPECT_TRUE(driver->WaitForError("line never quiet: ", 100)) << driver->err();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // the noise has stopped
    client.Send(ReadRequest(5, 2, 1, 1, 0));
    EXPECT_EQ(client.Receive(6, 3000), Reply(0, {0x02, 0x01}));
    const std::string& log = driver->err();
    int said = 0;
    for (size_t at = 0; (at = log.find("line never quiet: ", at)) != std::string::npos; ++at) ++said;
    EXPECT_LT(said, answered) << "said once, not for every request: " << log;
}

}  // namespace
}  // namespace nalvexa::it
