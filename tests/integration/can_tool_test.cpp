// SPDX-License-Identifier: MIT
// nalvexa-can against the simulated CANopen drive over slcan: what each
// command prints and how it ends.
#include <sys/stat.h>

#include "driver_fixture.h"

namespace nalvexa::it {
namespace {

struct Outcome {
    int status;
    std::string out, err;
};

class CanTool : public DriverFixture {
protected:
    // The simulator on a pseudo-terminal; the tool's channel is set to it.
    void StartCanSim(std::vector<std::string> options = {})
    {
        channel = "slcan:" + StartSim("canopen", std::move(options));
    }
    // The tool with these arguments, on the simulator's channel and an empty settings file.
    Outcome Tool(std::vector<std::string> args, int timeoutMs = 15000)
    {
        std::vector<std::string> argv = {NALVEXA_CAN_BIN, "--ini", dir + "/none.ini", "--channel", channel};
        argv.insert(argv.end(), args.begin(), args.end());
        return Run(argv, timeoutMs);
    }
    static Outcome Run(const std::vector<std::string>& argv, int timeoutMs = 15000)
    {
        Process p(argv);
        const int status = p.Wait(timeoutMs);
        return {status, p.out(), p.err()};
    }
    std::string channel;
};

TEST_F(CanTool, SdoReadsAndWritesExpeditedAndSegmented)
{
    StartCanSim({"--node=5"});
    Outcome r = Tool({"--node", "5", "sdo", "read", "1000", "0"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "0x00020192\n");
    r = Tool({"--node=5", "--raw", "sdo", "read", "0x1000", "00"});
    EXPECT_EQ(r.out, "92 01 02 00\n");
    // Longer than a number: the bytes, as they came.
    r = Tool({"--node", "5", "sdo", "read", "1008", "0"});
    EXPECT_EQ(r.out, "6e 61 6c 76 65 78 61 2d 73 69 6d\n");

    r = Tool({"--node", "5", "sdo", "write", "2000", "1", "e803"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(sim->WaitForError("rx 605 2b 00 20 01 e8 03 00 00\n")) << sim->err();
    EXPECT_EQ(Tool({"--node", "5", "sdo", "read", "2000", "1"}).out, "0x03e8\n");

    r = Tool({"--node", "5", "sdo", "write", "2000", "2", "01 02 03 04 05 06 07 08 09 0a"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(sim->WaitForError("rx 605 21 00 20 02 0a 00 00 00\n")) << sim->err();
    EXPECT_EQ(Tool({"--node", "5", "--raw", "sdo", "read", "2000", "2"}).out, "01 02 03 04 05 06 07 08 09 0a\n");
}

TEST_F(CanTool, ADrivesRefusalAndSilenceEndWithStatus1AndTheReason)
{
    StartCanSim({"--node=5", "--read-only=0x2000/3"});
    Outcome r = Tool({"--node", "5", "sdo", "read", "6000", "0"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("0x06020000 (object does not exist in the object dictionary)"), std::string::npos) << r.err;

    r = Tool({"--node", "5", "sdo", "write", "2000", "3", "01"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("0x06010002 (attempt to write a read-only object)"), std::string::npos) << r.err;

    // No drive on node 6: a time-out, named as one.
    r = Tool({"--node", "6", "--timeout", "200", "sdo", "read", "1000", "0"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "nalvexa-can: node 6, object 1000:00: no answer within 200 ms\n");
}

TEST_F(CanTool, ASilentDriveTimesOutEveryCommandThatWaits)
{
    StartCanSim({"--node=5", "--silent"});
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--node", "5", "sdo", "read", "1000", "0"},
             {"scan"},
             {"lss", "inquire"},
             {"lss", "scan"},
         }) {
        std::vector<std::string> all = {"--timeout", "100"};
        all.insert(all.end(), args.begin(), args.end());
        const Outcome r = Tool(all);
        EXPECT_EQ(r.status, 1) << args.back();
        EXPECT_EQ(r.out, "") << args.back();
        EXPECT_NE(r.err.find("nalvexa-can: "), std::string::npos) << args.back();
        EXPECT_EQ(r.err.find("QRCVEMPTY"), std::string::npos) << r.err;
    }
}

TEST_F(CanTool, ScanListsTheNodesThatAnswerAndNmtReachesThem)
{
    StartCanSim({"--node=12"});
    Outcome r = Tool({"--timeout", "300", "scan"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "12 0x00020192\n");

    EXPECT_EQ(Tool({"nmt", "stop", "12"}).status, 0);
    EXPECT_TRUE(sim->WaitForError("nmt stopped\n")) << sim->err();
    EXPECT_EQ(Tool({"--node", "12", "nmt", "start"}).status, 0);
    EXPECT_TRUE(sim->WaitForError("nmt operational\n")) << sim->err();
    EXPECT_EQ(Tool({"nmt", "reset-comm", "all"}).status, 0);
    EXPECT_TRUE(sim->WaitForError("rx 000 82 00\n")) << sim->err();
    // Another node's command is not this drive's.
    EXPECT_EQ(Tool({"nmt", "preop", "13"}).status, 0);
    EXPECT_TRUE(sim->WaitForError("rx 000 80 0d\n")) << sim->err();
    EXPECT_EQ(sim->err().find("nmt pre-operational\n"), std::string::npos);
}

TEST_F(CanTool, AnUnconfiguredDriveIsFoundGivenANodeIdAndAnswersOnIt)
{
    StartCanSim({"--unconfigured", "--identity=0x11/0x22/0x33/0x44556677"});
    EXPECT_EQ(Tool({"--timeout", "200", "scan"}).status, 1) << "no SDO server without a node-ID";

    Outcome r = Tool({"lss", "scan"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "vendor 0x00000011 product 0x00000022 revision 0x00000033 serial 0x44556677\n");

    r = Tool({"lss", "set-node-id", "9", "--identity", "0x11", "0x22", "0x33", "0x44556678"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no drive of that identity answered"), std::string::npos) << r.err;

    r = Tool({"lss", "set-node-id", "9", "--identity", "0x11", "0x22", "0x33", "0x44556677"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "node-ID 9 configured and stored\n");
    EXPECT_TRUE(sim->WaitForErrorLines({"lss configuration mode (selective)", "lss configure node-ID 9", "lss store",
                                        "lss waiting mode", "node-ID 9"}))
        << sim->err();

    EXPECT_EQ(Tool({"--node", "9", "sdo", "read", "1000", "0"}).out, "0x00020192\n");
    EXPECT_EQ(Tool({"--timeout", "300", "scan"}).out, "9 0x00020192\n");
    r = Tool({"lss", "inquire"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "vendor 0x00000011\nproduct 0x00000022\nrevision 0x00000033\nserial 0x44556677\nnode-id 9\n");
    EXPECT_EQ(Tool({"--timeout", "100", "lss", "scan"}).status, 1) << "a configured drive takes no part";
}

TEST_F(CanTool, LssRefusalsAndTheBitRate)
{
    StartCanSim({"--node-id-error=1"});
    Outcome r = Tool({"lss", "set-node-id", "7"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("lss set-node-id: configure node-ID: refused with error 1"), std::string::npos) << r.err;

    r = Tool({"lss", "set-bitrate", "250k"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "bit rate 250 kbit/s stored and activated\n");
    EXPECT_TRUE(sim->WaitForErrorLines({"lss configure bit timing 250 kbit/s", "lss store",
                                        "lss activate bit timing 250 kbit/s after 100 ms"}))
        << sim->err();
    // slcan follows to the new rate.
    EXPECT_TRUE(sim->WaitForError("slcan S5")) << sim->err();
}

TEST_F(CanTool, UsageErrorsEndWithStatus2BeforeTheBusIsTouched)
{
    channel = "slcan:" + dir + "/no-such-device";
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {},
             {"sdo", "read", "1000"},
             {"sdo", "read", "10000", "0"},
             {"sdo", "read", "1000", "100"},
             {"sdo", "write", "2000", "1", "e8030"},
             {"sdo", "write", "2000", "1", std::string(512, 'a')},
             {"nmt", "start", "128"},
             {"nmt", "jump"},
             {"lss", "set-node-id", "0"},
             {"lss", "set-bitrate", "300k"},
             {"lss", "inquire", "--identity", "1", "2", "3", "4"},
             {"lss", "set-node-id", "5", "--identity", "1", "2", "3"},
             {"--node", "128", "scan"},
             {"--timeout", "-5", "scan"},
             {"--bitrate", "800k", "scan"},
             {"--frobnicate", "scan"},
             {"scan", "now"},
         }) {
        const Outcome r = Tool(args);
        EXPECT_EQ(r.status, 2) << testing::PrintToString(args) << r.err;
        EXPECT_NE(r.err.find("Try 'nalvexa-can --help'"), std::string::npos) << r.err;
    }
    const Outcome r = Run({NALVEXA_CAN_BIN, "--channel", "usb:0", "scan"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(Run({NALVEXA_CAN_BIN, "--help"}).status, 0);
}

TEST_F(CanTool, AChannelOrSettingsFileThatCannotBeUsedIsNamed)
{
    channel = "slcan:" + dir + "/no-such-device";
    Outcome r = Tool({"scan"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("nalvexa-can: cannot open CAN channel slcan:" + dir + "/no-such-device"), std::string::npos)
        << r.err;

    ::mkdir((dir + "/folder.ini").c_str(), 0755);
    r = Run({NALVEXA_CAN_BIN, "--ini", dir + "/folder.ini", "scan"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot read settings file " + dir + "/folder.ini"), std::string::npos) << r.err;
}

TEST_F(CanTool, TheSettingsFileGivesTheDefaultsAndIsNeverWritten)
{
    const std::string device = StartSim("canopen", {"--node=5"});
    const std::string ini = dir + "/Nalvexa.ini";
    const std::string text = "; the drive on the bench\n[CAN]\nChannel=slcan:" + device + "\nNodeIdentifier=5\n"
                             "SdoTransmitCobId=1541\nSdoReceiveCobId=1413\n";
    WriteFile(ini, text);
    Outcome r = Run({NALVEXA_CAN_BIN, "--ini", ini, "sdo", "read", "1000", "0"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "0x00020192\n");
    // Options over the file's values, and the file as it was.
    r = Run({NALVEXA_CAN_BIN, "--ini", ini, "--node", "6", "--bitrate", "250k", "--timeout", "100", "sdo", "read",
             "1000", "0"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(ReadFile(ini), text);
}

TEST_F(CanTool, AnSlcanDeviceHeldByTheDriverIsSaidToBeInUse)
{
    const std::string device = StartSim("canopen", {"--node=5"});
    StartDriver("[CAN]\nChannel=slcan:" + device + "\n[SocketServer]\nSocketPort=0\n", {"CAN"});
    channel = "slcan:" + device;
    const Outcome r = Tool({"--node", "5", "sdo", "read", "1000", "0"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("in use by another program (a running nalvexa holds the slcan device"), std::string::npos)
        << r.err;
}

}  // namespace
}  // namespace nalvexa::it
