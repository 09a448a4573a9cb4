// SPDX-License-Identifier: MIT
// The device behind the driver goes away and comes back, as a USB adapter
// that is unplugged, or a simulator restarted behind a symbolic link: the
// driver answers at once while it is gone and serves again when it is back,
// without a restart.
#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>
#include <unistd.h>

#include "driver_fixture.h"

namespace nalvexa::it {
namespace {

using Ms = std::chrono::milliseconds;

// A simulator of its own, so that it can end and start while the driver runs.
std::unique_ptr<Process> Sim(const std::string& drive, const std::vector<std::string>& options, std::string& device)
{
    std::vector<std::string> argv = {NALVEXA_SIM_BIN, drive};
    argv.insert(argv.end(), options.begin(), options.end());
    auto sim = std::make_unique<Process>(argv);
    const std::string line = sim->WaitForLine("device ");
    device = line.empty() ? "" : line.substr(7);
    return sim;
}

void PointLink(const std::string& link, const std::string& target)
{
    std::filesystem::remove(link);
    std::filesystem::create_symlink(target, link);
}

// Unplugged: the path goes with the device, so that the driver does not open
// a terminal of the same number that another test (or program) got since.
void Unplug(std::unique_ptr<Process>& sim, const std::string& link)
{
    std::filesystem::remove(link);
    sim.reset();
}

// Waits until the driver's stderr holds `text` `times` times.
bool WaitForTimes(Process& process, const std::string& text, int times, int withinMs = 3000)
{
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        const std::string& err = process.err();
        int found = 0;
        for (size_t at = err.find(text); at != std::string::npos; at = err.find(text, at + 1)) ++found;
        if (found >= times) return true;
        if (std::chrono::steady_clock::now() - start > Ms(withinMs)) return false;
        std::this_thread::sleep_for(Ms(20));
    }
}

// Asks until an answer with status 0 comes; how long that took, or -1.
long MsUntilServed(uint16_t port, const Bytes& request, size_t answerSize, int withinMs)
{
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < Ms(withinMs)) {
        Client client(port);
        client.Send(request);
        Bytes answer = client.Receive(answerSize, 2000);
        if (answer.size() == answerSize && answer[0] == 0 && answer[1] == 0 && answer[2] == 0 && answer[3] == 0)
            return static_cast<long>(std::chrono::duration_cast<Ms>(std::chrono::steady_clock::now() - start).count());
        std::this_thread::sleep_for(Ms(20));
    }
    return -1;
}

struct Line {
    const char* drive;
    const char* keyword;
    std::vector<std::string> sim;
    Bytes request;
    size_t answerSize;
};

const Line kLines[] = {
    {"tr7100", "TR7100", {"--set=1=0x0102"}, ReadRequest(5, 2, 1, 1, 0), 6},
    {"qmr", "QMR", {"--set=3/1=1122"}, ReadRequest(3, 2, 1, 1, 0), 6},
    {"lvt", "LVT", {"--object=0x10/2/4"}, ReadRequest(0, 2, 0x10, 0, 1), 6},
};

class DeviceLoss : public DriverFixture {
protected:
    std::string link() const { return dir + "/device"; }
};

TEST_F(DeviceLoss, ASerialDeviceGoneWhileIdleOrBusyIsServedAgainWhenItIsBack)
{
    for (const Line& l : kLines) {
        std::string device;
        auto first = Sim(l.drive, l.sim, device);
        PointLink(link(), device);
        uint16_t port = StartDriver("[TR7100]\nSerialPort=" + link() + "\nReopenInterval=200\nRetryTimeout=3000\n"
                                    "[SocketServer]\nSocketPort=0\n",
                                    {l.keyword});
        EXPECT_GE(MsUntilServed(port, l.request, l.answerSize, 2000), 0) << l.drive;

        // Gone while idle.
        Unplug(first, link());
        EXPECT_TRUE(driver->WaitForError("port lost " + link())) << l.drive << driver->err();
        Bytes answer;
        {
            Client client(port);
            client.Send(l.request);
            answer = client.Receive(l.answerSize, 1000);
        }
        EXPECT_EQ(Bytes(answer.begin(), answer.begin() + std::min<size_t>(4, answer.size())), Word(6)) << l.drive;

        // Back at the same path.
        auto second = Sim(l.drive, l.sim, device);
        PointLink(link(), device);
        long ms = MsUntilServed(port, l.request, l.answerSize, 3000);
        EXPECT_GE(ms, 0) << l.drive;
        EXPECT_LE(ms, 2 * 200 + 300) << l.drive << ": within two intervals";
        EXPECT_TRUE(driver->WaitForError("port reopened " + link())) << l.drive;

        // Gone while a request is outstanding: it ends at once, not after the 3 s response interval.
        auto silent = Sim(l.drive, {"--silent"}, device);
        Unplug(second, link());
        EXPECT_TRUE(WaitForTimes(*driver, "port lost " + link(), 2)) << l.drive;
        PointLink(link(), device);
        EXPECT_TRUE(WaitForTimes(*driver, "port reopened " + link(), 2)) << l.drive;
        Client busy(port);
        busy.Send(l.request);
        std::this_thread::sleep_for(Ms(100));
        const auto start = std::chrono::steady_clock::now();
        Unplug(silent, link());
        answer = busy.Receive(l.answerSize, 2000);
        const auto waited = std::chrono::duration_cast<Ms>(std::chrono::steady_clock::now() - start).count();
        ASSERT_EQ(answer.size(), l.answerSize) << l.drive;
        EXPECT_EQ(Bytes(answer.begin(), answer.begin() + 4), Word(6)) << l.drive;
        EXPECT_LT(waited, 1000) << l.drive;
        driver.reset();
    }
}

TEST_F(DeviceLoss, ADriverKilledOnATerminalThatLivesOnLeavesItToTheNext)
{
    // The simulator keeps the terminal open, as socat or a terminal server's
    // tty does; nothing of the dead driver may keep the next one out. Root
    // opens a terminal in exclusive mode all the same: the next driver runs
    // without that privilege, as the service does.
    const Line& l = kLines[0];
    std::string device;
    sim = Sim(l.drive, l.sim, device);
    uint16_t port = StartDriver("[TR7100]\nSerialPort=" + device + "\n[SocketServer]\nSocketPort=0\n", {l.keyword});
    ASSERT_GE(MsUntilServed(port, l.request, l.answerSize, 2000), 0);
    driver->Signal(SIGKILL);
    driver->Wait(3000);

    std::vector<std::string> argv = {DriverProgram(), "--headless", "--ini", iniPath, l.keyword};
    if (::geteuid() == 0) argv.insert(argv.begin(), {"/usr/bin/setpriv", "--bounding-set=-sys_admin", "--inh-caps=-sys_admin"});
    driver = std::make_unique<Process>(argv);
    const std::string line = driver->WaitForLine("listening on port ");
    ASSERT_FALSE(line.empty()) << driver->err();
    port = static_cast<uint16_t>(std::stoi(line.substr(18)));
    EXPECT_GE(MsUntilServed(port, l.request, l.answerSize, 2000), 0) << driver->err();
    EXPECT_EQ(driver->err().find("Unable to open port"), std::string::npos) << driver->err();
}

TEST_F(DeviceLoss, ADeviceMissingAtStartIsOpenedWhenItAppears)
{
    uint16_t port = StartDriver("[TR7100]\nSerialPort=" + link() + "\nReopenInterval=200\n[SocketServer]\nSocketPort=0\n");
    EXPECT_TRUE(driver->WaitForError("Unable to open port " + link() + ": No such file or directory"))
        << driver->err();
    {
        Client early(port);
        early.Send(kLines[0].request);
        EXPECT_EQ(early.Receive(6), Reply(6, {0, 0}));
    }

    std::string device;
    auto sim = Sim("tr7100", kLines[0].sim, device);
    PointLink(link(), device);
    EXPECT_GE(MsUntilServed(port, kLines[0].request, 6, 3000), 0);
}

TEST_F(DeviceLoss, AnSlcanAdapterGoneAndBackAndOneMissingAtStart)
{
    uint16_t port = StartDriver("[CAN]\nChannel=slcan:" + link() + "\nReopenInterval=200\n[SocketServer]\nSocketPort=0\n",
                                {"CAN"});
    EXPECT_TRUE(driver->WaitForError("error while init CAN-Driver: " + link() + ": No such file or directory"))
        << driver->err();
    const Bytes read = ReadRequest(0, 2, 0x2000, 1, 1);
    {
        Client early(port);
        early.Send(read);
        EXPECT_EQ(early.Receive(6, 1000), Reply(63, {0, 0})) << "at once, not after the answer wait";
    }

    std::string device;
    auto sim = Sim("canopen", {}, device);
    PointLink(link(), device);
    EXPECT_GE(MsUntilServed(port, read, 6, 3000), 0);

    Unplug(sim, link());
    {
        Client during(port);
        const auto start = std::chrono::steady_clock::now();
        during.Send(read);
        EXPECT_EQ(during.Receive(6, 3000), Reply(63, {0, 0}));
        EXPECT_LT(std::chrono::steady_clock::now() - start, Ms(1000));
    }
    EXPECT_TRUE(driver->WaitForError("CAN channel lost slcan:" + link()));

    sim = Sim("canopen", {}, device);
    PointLink(link(), device);
    EXPECT_GE(MsUntilServed(port, read, 6, 3000), 0);
    EXPECT_TRUE(driver->WaitForError("CAN channel reopened slcan:" + link()));
}

}  // namespace
}  // namespace nalvexa::it
