// SPDX-License-Identifier: MIT
// The built driver, headless, against the simulated TR7100 drive on a
// pseudo-terminal, with a TCP client: bytes checked on the line and on the socket.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <memory>

#include "driver_fixture.h"

namespace nalvexa::it {
namespace {

class Tr7100EndToEnd : public DriverFixture {
protected:
    uint16_t StartBoth(std::vector<std::string> simOptions = {}, const std::string& moreIni = "")
    {
        return StartWithSim("tr7100", simOptions, moreIni);
    }
};

TEST_F(Tr7100EndToEnd, ReadsAndWritesAParameterByteForByte)
{
    uint16_t port = StartBoth({"--set=0x1234=0xABCD"});
    Client client(port);
    ASSERT_TRUE(client.connected());

    client.Send(ReadRequest(5, 2, 0x1234, 1, 0));
    EXPECT_EQ(client.Receive(6), Reply(0, {0xCD, 0xAB}));
    EXPECT_TRUE(sim->WaitForError("rx 05 12 34\ntx 05 12 34 ab cd 78\n"));

    client.Send(WriteRequest(3, {0x02, 0x01}, 0x0010, 2, 0));
    EXPECT_EQ(client.Receive(4), Word(0));
    EXPECT_TRUE(sim->WaitForError("rx c3 00 10 01 02 d6\n"));

    client.Send(ReadRequest(3, 2, 0x0010, 2, 0));
    EXPECT_EQ(client.Receive(6), Reply(0, {0x02, 0x01}));
}

TEST_F(Tr7100EndToEnd, FaultsOfTheDriveBecomeStatuses)
{
    struct Case {
        std::vector<std::string> sim;
        uint32_t status;
    } cases[] = {
        {{"--bad-echo"}, 3},
        {{"--bad-checksum"}, 4},
        {{"--silent"}, 5},
    };
    for (const Case& c : cases) {
        uint16_t port = StartBoth(c.sim, "RetryTimeout=100\n");
        Client client(port);
        client.Send(ReadRequest(5, 2, 0x1234, 1, 0));
        Bytes answer = client.Receive(6);
        ASSERT_EQ(answer.size(), 6u) << c.sim[0];
        EXPECT_EQ(Bytes(answer.begin(), answer.begin() + 4), Word(c.status)) << c.sim[0];
    }
}

TEST_F(Tr7100EndToEnd, AnswersSentInPiecesAndRecoveryAfterOneBadAnswer)
{
    uint16_t port = StartBoth({"--split", "--bad-checksum=1", "--set=7=0x0102"});
    Client client(port);
    client.Send(ReadRequest(1, 2, 7, 1, 0));
    EXPECT_EQ(client.Receive(6), Reply(0, {0x02, 0x01}));
    EXPECT_TRUE(sim->WaitForError("rx 01 00 07\ntx 01 00 07 01 02 04\nrx 01 00 07\n")) << sim->err();
}

TEST_F(Tr7100EndToEnd, StreamModeDeliversBlocksOf500)
{
    uint16_t port = StartBoth({"--stream=1200"});
    Client client(port);
    client.Send(ControlRequest(2, 0, 0));
    EXPECT_EQ(client.Receive(4), Word(0));
    client.Send(ReadRequest(5, 2, 1, 1, 0));
    EXPECT_EQ(client.Receive(6), Reply(0, {0x00, 0x00}));
    Bytes block = client.Receive(4 + 500);
    ASSERT_EQ(block.size(), 504u);
    EXPECT_EQ(Bytes(block.begin(), block.begin() + 4), Word(500));
    EXPECT_EQ(block[4 + 499], 499 % 256);
    EXPECT_EQ(client.Receive(504).size(), 504u);
    EXPECT_TRUE(client.Silent(300)) << "the last 200 bytes wait for more";
}

TEST_F(Tr7100EndToEnd, APortThatCannotBeOpenedAnswersStatus6)
{
    uint16_t port = StartDriver("[TR7100]\nSerialPort=" + dir + "/no-such-device\n[SocketServer]\nSocketPort=0\n");
    EXPECT_TRUE(driver->WaitForError("Unable to open port"));
    Client client(port);
    client.Send(ReadRequest(5, 2, 1, 1, 0));
    EXPECT_EQ(client.Receive(6), Reply(6, {0, 0}));
    client.Send(WriteRequest(5, {1, 2}, 1, 1, 0));
    EXPECT_EQ(client.Receive(4), Word(6));
}

TEST_F(Tr7100EndToEnd, CloseDriverAnswersOneByteSavesAndEnds)
{
    uint16_t port = StartBoth({}, "BaudRate=9600\nMaxNoOfRetries=2x\n");
    Client client(port);
    client.Send(CloseRequest());
    EXPECT_EQ(client.Receive(2, 2000), Bytes{0x00});
    EXPECT_EQ(driver->Wait(), 0);
    std::string ini = ReadFile(iniPath);
    EXPECT_NE(ini.find("BaudRate=9600\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("MaxNoOfRetries=2\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("RetryTimeout=500\n"), std::string::npos) << ini;
    EXPECT_NE(driver->err().find("closing the driver at the client's request\n"), std::string::npos) << driver->err();
}

TEST_F(Tr7100EndToEnd, SigtermSavesTheSettingsToo)
{
    StartBoth();
    driver->Signal(SIGTERM);
    EXPECT_EQ(driver->Wait(), 0);
    EXPECT_NE(ReadFile(iniPath).find("StopBits=0\n"), std::string::npos);
}

TEST_F(Tr7100EndToEnd, ASecondClientWaitsAndIsServedWhenTheFirstHasGone)
{
    uint16_t port = StartBoth({"--set=1=0x0304"});
    auto first = std::make_unique<Client>(port);
    first->Send(ReadRequest(1, 2, 1, 1, 0));
    EXPECT_EQ(first->Receive(6).size(), 6u);
    Client second(port);
    ASSERT_TRUE(second.connected()) << "not refused";
    second.Send(ReadRequest(1, 2, 1, 1, 0));
    EXPECT_TRUE(second.Silent(500)) << "not served while the first is connected";
    first->Send(ReadRequest(1, 2, 1, 1, 0));
    EXPECT_EQ(first->Receive(6), Reply(0, {0x04, 0x03}));
    first.reset();
    EXPECT_EQ(second.Receive(6), Reply(0, {0x04, 0x03}));
}

TEST_F(Tr7100EndToEnd, BadInputFromTheClient)
{
    uint16_t port = StartBoth({"--set=1=0x0506"});
    {
        Client client(port);
        client.Send(Word(9) + Word(0));
        EXPECT_TRUE(client.ClosedByServer()) << "unknown request type";
    }
    {
        Client client(port);
        client.Send(ReadRequest(1, 35001, 1, 1, 0));
        EXPECT_TRUE(client.ClosedByServer()) << "read of more than 35000 bytes";
    }
    {
        Client client(port);
        client.Send(WriteRequest(1, Bytes(40000, 0x77), 1, 1, 0) + ReadRequest(1, 2, 1, 1, 0));
        EXPECT_EQ(client.Receive(4), Word(1)) << "oversized write refused";
        EXPECT_EQ(client.Receive(6), Reply(0, {0x06, 0x05})) << "and the stream stays in step";
    }
    {
        Client client(port);
        client.Send(Bytes{0, 0, 0, 1, 0, 0, 0, 0, 0, 0});  // cut short
    }
    Client client(port);
    client.Send(ReadRequest(1, 2, 1, 1, 0));
    EXPECT_EQ(client.Receive(6), Reply(0, {0x06, 0x05}));
    EXPECT_EQ(sim->err().find("rx 00"), std::string::npos) << "nothing of the cut request reached the drive";
}

TEST_F(Tr7100EndToEnd, WithoutAnIniFileItListensOn12001AndWritesThePort)
{
    std::string config = dir + "/config";
    driver = std::make_unique<Process>(std::vector<std::string>{DriverProgram(), "--headless"},
                                       std::map<std::string, std::string>{{"XDG_CONFIG_HOME", config},
                                                                          {"NALVEXA_INI", ""}});
    std::string line = driver->WaitForLine("listening on port ");
    if (line.empty() && driver->err().find("cannot listen on port 12001") != std::string::npos)
        GTEST_SKIP() << "port 12001 is taken on this machine";
    EXPECT_EQ(line, "listening on port 12001");
    EXPECT_EQ(ReadFile(config + "/Nalvexa.ini"), "[SocketServer]\nSocketPort=12001\n");
}

}  // namespace
}  // namespace nalvexa::it
