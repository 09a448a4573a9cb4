// SPDX-License-Identifier: MIT
// The NMT commands and LSS procedures of the core, through the slcan back
// end, against the simulated CANopen drive on a pseudo-terminal.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include <asio/io_context.hpp>
#include <chrono>

#include "asio_can_watch.h"
#include "asio_services.h"
#include "can/can_driver.h"
#include "channel_can_library.h"
#include "harness.h"

namespace nalvexa::it {
namespace {

class RecordingNotifier : public IUserNotifier {
public:
    void message(const std::string& text, Caption = Caption::Title) override { messages.push_back(text); }
    void state(const std::string& line) override { states.push_back(line); }
    std::vector<std::string> messages, states;
};

class NetworkServices : public ::testing::Test {
protected:
    void Start(std::vector<std::string> options = {})
    {
        std::vector<std::string> argv = {NALVEXA_SIM_BIN, "canopen"};
        argv.insert(argv.end(), options.begin(), options.end());
        sim = std::make_unique<Process>(argv);
        std::string line = sim->WaitForLine("device ");
        ASSERT_FALSE(line.empty()) << sim->err();
        dir = TempDirectory();
        ini = std::make_unique<IniFile>(dir + "/Nalvexa.ini");
        driver = std::make_unique<CCANDriver>(library, *ini, clock, notifier);
        driver->Channel = "slcan:" + line.substr(7);
        driver->InitDriver();
        ASSERT_EQ(driver->driverOpen, 1) << sim->err();
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    // The loop runs until the bus has nothing left to do.
    void Run()
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (driver->busy() && std::chrono::steady_clock::now() < end) io.run_one_for(std::chrono::milliseconds(50));
    }

    std::string dir;
    std::unique_ptr<Process> sim;
    std::unique_ptr<IniFile> ini;
    asio::io_context io{1};
    AsioTimerHost clock{io};
    RecordingNotifier notifier;
    ChannelCanLibrary library{AsioCanWatch::Factory(io)};
    std::unique_ptr<CCANDriver> driver;
};

TEST_F(NetworkServices, InquireIdentityReturnsTheDrivesFourValues)
{
    Start({"--identity=0x11/0x22/0x33/0x44556677"});
    LssIdentity id;
    driver->InquireIdentity(false, [&](const LssIdentity& found, int) { id = found; });
    Run();
    EXPECT_EQ(id.vendorId, 0x11u);
    EXPECT_EQ(id.productCode, 0x22u);
    EXPECT_EQ(id.revisionNumber, 0x33u);
    EXPECT_EQ(id.serialNumber, 0x44556677u);
    EXPECT_TRUE(notifier.messages.empty());
    EXPECT_TRUE(sim->WaitForError("lss waiting mode\n"));
}

TEST_F(NetworkServices, SetNodeIdChangesTheDrivesNodeId)
{
    Start();
    uint32_t serial = 0x12345678;
    driver->SetNodeId(10, &serial);
    Run();
    EXPECT_TRUE(notifier.messages.empty());
    EXPECT_TRUE(sim->WaitForErrorLines({"lss configuration mode (selective)", "lss configure node-ID 10", "lss store",
                                        "lss waiting mode", "node-ID 10"}))
        << sim->err();
    driver->NodeIdentifier = 10;
    driver->StartRemoteNode();
    Run();
    EXPECT_TRUE(sim->WaitForError("nmt operational\n")) << "the drive answers to its new node-ID";
}

TEST_F(NetworkServices, ARefusedNodeIdIsShown)
{
    Start({"--node-id-error=1"});
    driver->SetNodeId(20, nullptr);
    Run();
    EXPECT_EQ(notifier.messages, std::vector<std::string>{"Error received after ConfigureNodeId CAN_Write"});
    notifier.messages.clear();
    // Selectively too: the drive's confirmation of the switch is not taken for the answer.
    uint32_t serial = 0x12345678;
    driver->SetNodeId(20, &serial);
    Run();
    EXPECT_EQ(notifier.messages, std::vector<std::string>{"Error received after ConfigureNodeId CAN_Write"});
}

TEST_F(NetworkServices, TheBitRateChangeReachesTheDrive)
{
    Start();
    ASSERT_TRUE(driver->ChangeBitRate(250));
    Run();
    EXPECT_EQ(driver->driverOpen, 1);
    EXPECT_TRUE(sim->WaitForErrorLines({"lss configure bit timing 250 kbit/s", "lss store",
                                        "lss activate bit timing 250 kbit/s after 100 ms", "slcan C", "slcan S5",
                                        "slcan O"}))
        << sim->err();
}

TEST_F(NetworkServices, NmtCommandsChangeTheDrivesState)
{
    Start({"--node=3"});
    driver->NodeIdentifier = 3;
    driver->StartRemoteNode();
    driver->StopRemoteNode();
    driver->NodeIdentifier = 0;  // every node
    driver->EnterPreOperationalState();
    driver->NodeIdentifier = 4;  // another node
    driver->ResetNode();
    driver->NodeIdentifier = 3;
    driver->ResetCommunications();
    Run();
    EXPECT_TRUE(sim->WaitForErrorLines({"nmt operational", "nmt stopped", "nmt pre-operational", "rx 000 81 04",
                                        "nmt pre-operational (communication reset)"}))
        << sim->err();
}

}  // namespace
}  // namespace nalvexa::it
