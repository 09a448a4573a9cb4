// SPDX-License-Identifier: MIT
// Fault soak: the real driver against each simulator injecting random faults
// on the line (silence, corruption, stray bytes, split and merged pieces,
// aborts, late answers, every answer sent twice, other nodes' frames on the
// bus), with clients that drop requests half-way or leave before their
// answer, and second clients that must wait their turn. Every request must
// be answered exactly once, with data that is the drive's, to the client
// that asked: no status 0 with wrong data. A second pass sends every serial
// answer twice in pieces, a copy that can arrive long after the first answer,
// and prints what that does.
//   soak [REQUESTS_PER_ADAPTER] [FAULT_PERCENT]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <csignal>
#include <functional>
#include <string>
#include <thread>

#include "harness.h"

using namespace nalvexa::it;

namespace {

struct Adapter {
    const char* keyword;
    std::vector<std::string> sim;
    std::vector<std::string> faults;  // the simulator's fault options besides --chaos
    std::string ini;
    std::set<uint32_t> faultStatuses;  // what a fault on the line may end a request with
    int answerTimeoutMs;
    // A request, and the data a good answer carries.
    std::function<std::pair<Bytes, Bytes>(std::mt19937&)> request;
};

struct Counts {
    long requests = 0, answered = 0, lost = 0, misrouted = 0, wrongData = 0, unexpectedStatus = 0;
    long deviceCycles = 0, longestReturnMs = 0;  // the device gone and back, and the wait for the first good answer
    long dropped = 0, halfSent = 0, secondClients = 0;
    std::map<uint32_t, long> statuses;
    std::map<std::string, long> faults;
    long rssStartKb = 0, rssEndKb = 0, peakKb = 0;
};

Bytes Be16(uint16_t v) { return {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)}; }

// One request and its answer on `client`; false when the answer did not come.
// Its status, or -1 when the answer did not come.
long Exchange(Client& client, const Adapter& a, const std::pair<Bytes, Bytes>& rq, Counts& c)
{
    client.Send(rq.first);
    ++c.requests;
    const size_t size = 4 + rq.second.size();
    Bytes answer = client.Receive(size, a.answerTimeoutMs);
    if (answer.size() != size) {
        ++c.lost;
        return -1;
    }
    ++c.answered;
    uint32_t status = uint32_t{answer[0]} << 24 | uint32_t{answer[1]} << 16 | uint32_t{answer[2]} << 8 | answer[3];
    ++c.statuses[status];
    if (status == 0 && !std::equal(rq.second.begin(), rq.second.end(), answer.begin() + 4)) ++c.wrongData;
    if (status != 0 && !a.faultStatuses.count(status)) ++c.unexpectedStatus;
    if (!client.Silent(0)) ++c.misrouted;  // more than one answer
    return status;
}

// The simulator behind a symbolic link: it can go away and come back at the same path.
struct Device {
    std::vector<std::string> args;
    std::string link;
    std::unique_ptr<Process> sim;
    std::string log;  // what the simulators that ended said

    void Start(unsigned seed)
    {
        std::vector<std::string> argv = args;
        for (std::string& arg : argv)
            if (arg.rfind("--chaos=", 0) == 0) arg += "/" + std::to_string(seed);
        sim = std::make_unique<Process>(argv);
        const std::string device = sim->WaitForLine("device ").substr(7);
        std::filesystem::remove(link);
        std::filesystem::create_symlink(device, link);
    }
    void Stop()
    {
        // Unplugged: the path goes too, so a later terminal of that number is not taken for it.
        std::filesystem::remove(link);
        sim->Signal(SIGTERM);
        sim->Wait(2000);
        log += sim->err();
        sim.reset();
    }
};

Counts Soak(const Adapter& a, long count, int percent, const std::string& dir, long lossEvery)
{
    Counts c;
    Device device;
    device.args = {NALVEXA_SIM_BIN};
    device.args.insert(device.args.end(), a.sim.begin(), a.sim.end());
    device.args.insert(device.args.end(), a.faults.begin(), a.faults.end());
    device.args.push_back("--quiet");
    device.args.push_back("--chaos=" + std::to_string(percent));
    device.link = dir + "/device";
    device.Start(7);
    std::string iniPath = dir + "/Nalvexa.ini";
    std::string ini = a.ini;
    size_t at = ini.find("DEVICE");
    ini.replace(at, 6, device.link);
    WriteFile(iniPath, ini + "[SocketServer]\nSocketPort=0\nBindAddress=127.0.0.1\n");
    Process driver({DriverProgram(), "--headless", "--ini", iniPath, a.keyword});
    const uint16_t port = static_cast<uint16_t>(std::stoi(driver.WaitForLine("listening on port ").substr(18)));

    std::mt19937 random(11);
    auto client = std::make_unique<Client>(port);
    std::chrono::steady_clock::time_point returned;
    bool awaitingReturn = false;
    for (long i = 0; i < count; ++i) {
        device.sim->err();  // keeps the log pipes drained
        driver.err();
        if (lossEvery > 0 && static_cast<long>(random() % static_cast<unsigned>(lossEvery)) == 0) {
            // Unplugged, away for a while, and back at the same path.
            device.Stop();
            std::this_thread::sleep_for(std::chrono::milliseconds(random() % 300));
            device.Start(static_cast<unsigned>(i));
            returned = std::chrono::steady_clock::now();
            awaitingReturn = true;
            ++c.deviceCycles;
        }
        if (i == 1000) c.rssStartKb = ProcKb(driver.pid(), "VmRSS:");
        const int scene = static_cast<int>(random() % 200);
        if (scene == 0) {  // the client leaves before its answer
            client->Send(a.request(random).first);
            client = std::make_unique<Client>(port);
            ++c.dropped;
        } else if (scene == 1) {  // the client leaves half-way through a request
            Bytes r = a.request(random).first;
            client->Send(Bytes(r.begin(), r.begin() + static_cast<long>(random() % r.size())));
            client = std::make_unique<Client>(port);
            ++c.halfSent;
        } else if (scene == 2) {  // a second client waits while the first finishes
            auto second = std::make_unique<Client>(port);
            auto mine = a.request(random);
            second->Send(mine.first);
            Exchange(*client, a, a.request(random), c);
            client = std::move(second);
            ++c.requests;
            const size_t size = 4 + mine.second.size();
            Bytes answer = client->Receive(size, a.answerTimeoutMs + 2000);
            if (answer.size() != size) {
                ++c.lost;
            } else {
                ++c.answered;
                uint32_t status = uint32_t{answer[3]} | uint32_t{answer[2]} << 8;
                ++c.statuses[status];
                if (status == 0 && !std::equal(mine.second.begin(), mine.second.end(), answer.begin() + 4))
                    ++c.misrouted;  // the data of someone else's request
            }
            ++c.secondClients;
            continue;
        }
        const long status = Exchange(*client, a, a.request(random), c);
        // A tool pauses before it asks again after a failure: a device that
        // is gone answers at once, and would otherwise be most of the count.
        if (status != 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        if (status == 0 && awaitingReturn) {
            awaitingReturn = false;
            const long ms = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                  std::chrono::steady_clock::now() - returned)
                                                  .count());
            c.longestReturnMs = std::max(c.longestReturnMs, ms);
        }
    }
    c.rssEndKb = ProcKb(driver.pid(), "VmRSS:");
    c.peakKb = ProcKb(driver.pid(), "VmHWM:");
    client.reset();
    driver.Signal(SIGTERM);
    driver.Wait(5000);
    device.Stop();
    size_t pos = 0;
    const std::string& log = device.log;
    for (const char* tag : {"fault ", "noise "}) {
        for (pos = 0; (pos = log.find(tag, pos)) != std::string::npos;) {
            size_t end = log.find('\n', pos);
            ++c.faults[log.substr(pos, end - pos)];
            pos = end;
        }
    }
    return c;
}

void Print(const char* keyword, const Counts& c)
{
    std::printf("%-7s requests %7ld  answered %7ld  lost %ld  misrouted %ld  status 0 with wrong data %ld  "
                "unexpected status %ld\n",
                keyword, c.requests, c.answered, c.lost, c.misrouted, c.wrongData, c.unexpectedStatus);
    std::printf("        client scenes: left before the answer %ld, left half-way %ld, second client %ld\n", c.dropped,
                c.halfSent, c.secondClients);
    std::printf("        faults:");
    for (auto& [k, v] : c.faults) std::printf(" %s %ld", k.c_str(), v);
    std::printf("\n        answers by status:");
    for (auto& [k, v] : c.statuses) std::printf(" %u: %ld", k, v);
    std::printf("\n        resident memory %ld kB after 1000 requests, %ld kB at the end, peak %ld kB\n", c.rssStartKb,
                c.rssEndKb, c.peakKb);
    if (c.deviceCycles > 0)
        std::printf("        device gone and back %ld times, longest from its return to the first good answer %ld ms\n",
                    c.deviceCycles, c.longestReturnMs);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    const long count = argc > 1 ? std::atol(argv[1]) : 25000;
    const int percent = argc > 2 ? std::atoi(argv[2]) : 3;
    const std::string dir = TempDirectory();
    const std::string serial = "[TR7100]\nSerialPort=DEVICE\nRetryTimeout=30\nMaxNoOfRetries=1\nReopenInterval=100\n";
    // Every answer twice, and some after the response interval.
    const std::vector<std::string> lineFaults = {"--twice", "--late=1", "--late-ms=45"};
    std::vector<Adapter> adapters = {
        {"TR7100", {"tr7100", "--set=1=0x0102", "--set=2=0x0304", "--set=3=0xABCD"}, lineFaults, serial, {3, 4, 5, 6}, 3000,
         [](std::mt19937& r) {
             uint16_t p = static_cast<uint16_t>(1 + r() % 3);
             static const uint16_t values[] = {0, 0x0102, 0x0304, 0xABCD};
             Bytes want = {static_cast<uint8_t>(values[p]), static_cast<uint8_t>(values[p] >> 8)};
             return std::make_pair(ReadRequest(5, 2, p, 1, 0), want);
         }},
        {"QMR", {"qmr", "--set=3/1=1122", "--set=3/2=33445566"}, lineFaults, serial, {2, 3, 4, 5, 6}, 3000,
         [](std::mt19937& r) {
             if (r() % 2) return std::make_pair(ReadRequest(3, 2, 1, 1, 0), Bytes{0x11, 0x22});
             return std::make_pair(ReadRequest(3, 4, 1, 2, 0), Bytes{0x33, 0x44, 0x55, 0x66});
         }},
        {"LVT", {"lvt", "--object=0x10/2/300"}, lineFaults, serial, {3, 4, 5, 6}, 5000,
         [](std::mt19937& r) {
             uint32_t first = r() % 200, n = 1 + r() % (r() % 10 ? 20 : 100);
             Bytes want;
             for (uint32_t j = first; j < first + n; ++j) {
                 Bytes e = Be16(static_cast<uint16_t>(j + 1));
                 want.push_back(e[1]);
                 want.push_back(e[0]);
             }
             return std::make_pair(ReadRequest(0, 2 * n, 0x10, first, n), want);
         }},
        {"CAN", {"canopen"}, {"--bus-noise=20"}, "[CAN]\nChannel=slcan:DEVICE\nReopenInterval=100\n", {35, 63}, 20000,
         [](std::mt19937& r) {
             if (r() % 2) return std::make_pair(ReadRequest(0, 7, 0x2000, 1, 3), Bytes{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77});
             return std::make_pair(ReadRequest(0, 11, 0x1008, 0, 0), Bytes{'n', 'a', 'l', 'v', 'e', 'x', 'a', '-', 's', 'i', 'm'});
         }},
    };
    long total = 0, lost = 0, misrouted = 0, wrong = 0;
    auto start = std::chrono::steady_clock::now();
    // At least 50 cycles of the device per adapter.
    const long lossEvery = std::max(count / 60, 1L);
    long cycles = 0, longestReturn = 0;
    for (const Adapter& a : adapters) {
        Counts c = Soak(a, count, percent, dir, lossEvery);
        cycles += c.deviceCycles;
        longestReturn = std::max(longestReturn, c.longestReturnMs);
        Print(a.keyword, c);
        total += c.requests;
        lost += c.lost;
        misrouted += c.misrouted;
        wrong += c.wrongData;
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("all     requests %ld  lost %ld  misrouted %ld  status 0 with wrong data %ld  in %.0f s\n", total, lost,
                misrouted, wrong, seconds);
    std::printf("        device gone and back %ld times, longest from its return to the first good answer %ld ms\n",
                cycles, longestReturn);

    // Copies in pieces, long after the first answer: counted, not required to be 0.
    std::printf("--- every serial answer twice, byte by byte (--twice --split)\n");
    long copyWrong = 0, copyTotal = 0;
    for (Adapter a : adapters) {
        if (std::string(a.keyword) == "CAN") continue;
        a.faults = {"--twice", "--split"};
        a.answerTimeoutMs *= 6;  // every byte takes 3 ms, twice
        Counts c = Soak(a, std::max(count / 250, 20L), 0, dir, 0);
        Print(a.keyword, c);
        copyWrong += c.wrongData;
        copyTotal += c.requests;
        lost += c.lost;
        misrouted += c.misrouted;
    }
    std::printf("copies  requests %ld  status 0 with wrong data %ld\n", copyTotal, copyWrong);
    std::filesystem::remove_all(dir);
    return lost == 0 && misrouted == 0 && wrong == 0 ? 0 : 1;
}
