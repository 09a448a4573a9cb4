// SPDX-License-Identifier: MIT
// SDO expedited reads through builds of the driver side by side, in blocks
// taken in turn (the machine's noise falls on all alike), over slcan on a
// pseudo-terminal or over a SocketCAN interface (in the VM of with-socketcan).
//   can_roundtrip [--count=N] [--channel=slcan|socketcan:IFACE] DRIVER...
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "harness.h"

using namespace nalvexa::it;
using Clock = std::chrono::steady_clock;

namespace {

struct Run {
    std::string driver;
    std::unique_ptr<Process> sim, process;
    std::unique_ptr<Client> client;
    std::vector<double> us;
    double seconds = 0;  // the blocks in all: a mean where the clock is coarse (a VM)
};

}  // namespace

int main(int argc, char** argv)
{
    int count = 4000;
    std::string channel = "slcan";
    std::vector<std::string> drivers;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.rfind("--count=", 0) == 0) count = std::stoi(a.substr(8));
        else if (a.rfind("--channel=", 0) == 0) channel = a.substr(10);
        else drivers.push_back(a);
    }
    if (drivers.empty()) drivers.push_back(NALVEXA_BIN);
    const std::string dir = TempDirectory();
    std::vector<Run> runs;
    // On SocketCAN one drive on the bus serves them all, one block at a time.
    const bool socketcan = channel.rfind("socketcan:", 0) == 0;
    std::unique_ptr<Process> shared;
    if (socketcan) {
        shared = std::make_unique<Process>(std::vector<std::string>{NALVEXA_SIM_BIN, "canopen", "--quiet",
                                                                    "--socketcan=" + channel.substr(10)});
        shared->WaitForLine("interface ");
    }
    for (size_t k = 0; k < drivers.size(); ++k) {
        Run r;
        r.driver = drivers[k];
        std::string where = channel;
        if (!socketcan) {
            r.sim = std::make_unique<Process>(std::vector<std::string>{NALVEXA_SIM_BIN, "canopen", "--quiet"});
            where = "slcan:" + r.sim->WaitForLine("device ").substr(7);
        }
        const std::string ini = dir + "/driver" + std::to_string(k) + ".ini";
        WriteFile(ini, "[CAN]\nChannel=" + where + "\n[SocketServer]\nSocketPort=0\n");
        r.process = std::make_unique<Process>(std::vector<std::string>{r.driver, "--headless", "--ini", ini, "CAN"});
        const std::string line = r.process->WaitForLine("listening on port ");
        if (line.empty()) {
            std::fprintf(stderr, "%s did not start: %s\n", r.driver.c_str(), r.process->err().c_str());
            return 1;
        }
        r.client = std::make_unique<Client>(static_cast<uint16_t>(std::stoi(line.substr(18))));
        runs.push_back(std::move(r));
    }
    const Bytes request = ReadRequest(0, 2, 0x2000, 1, 1);
    for (int done = 0; done < count; done += 250)
        for (Run& r : runs) {
            const auto block = Clock::now();
            for (int i = 0; i < 250; ++i) {
                const auto t0 = Clock::now();
                r.client->Send(request);
                if (r.client->Receive(6).size() != 6) {
                    std::fprintf(stderr, "%s: an exchange failed\n", r.driver.c_str());
                    return 1;
                }
                r.us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
            }
            r.seconds += std::chrono::duration<double>(Clock::now() - block).count();
        }
    std::printf("SDO expedited reads over %s, %d each, in blocks of 250 taken in turn\n", channel.c_str(), count);
    double first = 0;
    for (Run& r : runs) {
        std::sort(r.us.begin(), r.us.end());
        const double p50 = r.us[r.us.size() / 2], p99 = r.us[r.us.size() * 99 / 100];
        const double mean = 1e6 * r.seconds / static_cast<double>(r.us.size());
        if (first == 0) first = p50 > 0 ? p50 : mean;
        std::printf("%-36s p50 %7.1f us   p99 %7.1f us   mean %7.1f us   %.3f x the first\n", r.driver.c_str(), p50, p99,
                    mean, (p50 > 0 ? p50 : mean) / first);
    }
    return 0;
}
