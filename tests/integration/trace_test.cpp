// SPDX-License-Identifier: MIT
// The trace of the real driver: a file of lines, time stamps aside.
#include <csignal>
#include <filesystem>
#include <regex>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include "driver_fixture.h"

namespace nalvexa::it {
namespace {

// The trace's lines without their time stamps; each stamp checked on the way.
std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    const std::regex stamped(R"((\d+\.\d{6}) (.*))");
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = text.find('\n', at);
        const std::string line = text.substr(at, end - at);
        std::smatch m;
        EXPECT_TRUE(std::regex_match(line, m, stamped)) << line;
        lines.push_back(m.size() > 2 ? m[2].str() : line);
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

class Traced : public DriverFixture {};

TEST_F(Traced, ATr7100ReadWithABadEchoThenAGoodAnswer)
{
    const std::string device = StartSim("tr7100", {"--set=0x1234=0xABCD", "--bad-echo=1"});
    const std::string trace = dir + "/trace.log";
    WriteFile(trace, "");
    uint16_t port = StartDriver("[TR7100]\nSerialPort=" + device + "\n[SocketServer]\nSocketPort=0\nTrace=" + trace + "\n");
    {
        Client client(port);
        client.Send(ReadRequest(5, 2, 0x1234, 1, 0));
        EXPECT_EQ(client.Receive(6), Reply(0, {0xCD, 0xAB}));
    }
    driver->Signal(SIGTERM);
    driver->Wait();
    std::vector<std::string> lines = Lines(ReadFile(trace));
    ASSERT_GE(lines.size(), 9u) << ReadFile(trace);
    lines[0] = std::regex_replace(lines[0], std::regex(R"(:\d+$)"), ":PORT");
    lines[8] = std::regex_replace(lines[8], std::regex(R"(:\d+:)"), ":PORT:");
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "client connected 127.0.0.1:PORT",
                         "client > read a=0x05 len=2 i1=0x1234 i2=1 i3=0",
                         "line > 05 12 34",
                         "line < 05 12 cb ab cd 78",
                         "bad echo, repeat in 200 ms",
                         "line > 05 12 34",
                         "line < 05 12 34 ab cd 78",
                         "client < status 0 data cd ab",
                         "client gone 127.0.0.1:PORT: closed",
                     }));
}

TEST_F(Traced, ACanSegmentedReadAsCandumpShowsIt)
{
    const std::string device = StartSim("canopen", {"--stray=1"});
    const std::string trace = dir + "/can.log";
    uint16_t port = StartDriver("[CAN]\nChannel=slcan:" + device + "\n[SocketServer]\nSocketPort=0\n",
                                {"--trace=" + trace, "CAN"});
    Client client(port);
    client.Send(ReadRequest(0, 11, 0x1008, 0, 0));
    EXPECT_EQ(client.Receive(15), Reply(0, {'n', 'a', 'l', 'v', 'e', 'x', 'a', '-', 's', 'i', 'm'}));
    client.Send(ReadRequest(0, 11, 0x1008, 0, 0));
    EXPECT_EQ(client.Receive(15).size(), 15u);
    const std::string name = device.substr(device.rfind('/') + 1);
    driver->Signal(SIGTERM);
    driver->Wait();
    const std::vector<std::string> lines = Lines(ReadFile(trace));
    const std::vector<std::string> expected = {
        "client > read a=0x00 len=11 i1=0x1008 i2=0 i3=0",
        name + " > 601   [8]  40 08 10 00 00 00 00 00",
        name + " < 581   [8]  41 08 10 00 0B 00 00 00",
        name + " > 601   [8]  60 00 00 00 00 00 00 00",
        name + " < 581   [8]  00 6E 61 6C 76 65 78 61",
        name + " > 601   [8]  70 00 00 00 00 00 00 00",
        name + " < 581   [8]  17 2D 73 69 6D 00 00 00",
        "client < status 0 data 6e 61 6c 76 65 78 61 2d 73 69 6d",
        name + " < 123   [8]  80 00 00 00 00 00 00 00  ignored",
    };
    // In this order, with others between them.
    size_t found = 0;
    for (const std::string& line : lines)
        if (found < expected.size() && line == expected[found]) ++found;
    EXPECT_EQ(found, expected.size()) << "missing: " << (found < expected.size() ? expected[found] : "") << "\n"
                                      << ReadFile(trace);
}

TEST_F(Traced, ATraceFileThatCannotBeOpenedStopsTheStart)
{
    WriteFile(dir + "/n.ini", "[SocketServer]\nSocketPort=0\n");
    driver = std::make_unique<Process>(
        std::vector<std::string>{DriverProgram(), "--headless", "--ini", dir + "/n.ini", "--trace=" + dir + "/no/such/trace.log"});
    EXPECT_EQ(driver->Wait(), 1);
    EXPECT_TRUE(driver->WaitForError("cannot open trace file " + dir + "/no/such/trace.log: No such file or directory\n", 100))
        << driver->err();
    EXPECT_EQ(driver->out(), "");
}

TEST_F(Traced, AFullDiskEndsTheTraceWithAWordOnStderrAndNoLineCutShort)
{
    if (::geteuid() != 0) GTEST_SKIP() << "needs root for a small file system of its own";
    const std::string small = dir + "/small", trace = small + "/trace.log";
    std::filesystem::create_directory(small);
    ASSERT_EQ(::unshare(CLONE_NEWNS), 0);
    ASSERT_EQ(::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
    ASSERT_EQ(::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=4k"), 0);
    struct Unmount {
        std::string at;
        ~Unmount() { ::umount(at.c_str()); }
    } unmount{small};
    const std::string device = StartSim("tr7100", {"--set=0x1234=0xABCD"});
    uint16_t port = StartDriver("[TR7100]\nSerialPort=" + device + "\n[SocketServer]\nSocketPort=0\nTrace=" + trace + "\n");
    {
        Client client(port);
        for (int i = 0; i < 100; ++i) {  // some 12 kB of trace
            client.Send(ReadRequest(5, 2, 0x1234, 1, 0));
            ASSERT_EQ(client.Receive(6), Reply(0, {0xCD, 0xAB})) << "served throughout, " << i;
        }
    }
    driver->Signal(SIGTERM);
    EXPECT_EQ(driver->Wait(), 0);
    const std::string err = driver->err(), text = ReadFile(trace);
    const std::string word = "trace stopped: " + trace + ": No space left on device\n";
    ASSERT_NE(err.find(word), std::string::npos) << err;
    EXPECT_EQ(err.find(word), err.rfind(word)) << "said once";
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n') << "whole lines only";
    Lines(text);  // every line stamped, none cut short
}

}  // namespace
}  // namespace nalvexa::it
