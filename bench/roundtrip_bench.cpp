// SPDX-License-Identifier: MIT
// Read round trips against the simulated drive: through nalvexa over TCP,
// and the same exchange done directly on the pseudo-terminal, in one run,
// so that the driver's own cost shows as a ratio.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#include <vector>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <memory>

#include "adapters/lvt/lvt_crc.h"
#include "harness.h"

using namespace nalvexa::it;
using Clock = std::chrono::steady_clock;

namespace {

struct Result {
    double perSecond;
    double p50us;
    double p99us;
};

Result Summarise(std::vector<double> us, double totalSeconds)
{
    std::sort(us.begin(), us.end());
    return {us.size() / totalSeconds, us[us.size() / 2], us[us.size() * 99 / 100]};
}

template <class Exchange>
Result Measure(int count, Exchange exchange)
{
    std::vector<double> us;
    us.reserve(static_cast<size_t>(count));
    auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        auto t0 = Clock::now();
        if (!exchange()) {
            std::fprintf(stderr, "exchange %d of %d failed\n", i, count);
            std::exit(1);
        }
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    return Summarise(us, std::chrono::duration<double>(Clock::now() - start).count());
}

bool ReadExactly(int fd, uint8_t* into, size_t n)
{
    size_t have = 0;
    while (have < n) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 2000) <= 0) return false;
        ssize_t r = ::read(fd, into + have, n - have);
        if (r <= 0) return false;
        have += static_cast<size_t>(r);
    }
    return true;
}

std::string StartSim(Process& sim)
{
    std::string line = sim.WaitForLine("device ");
    return line.substr(7);
}

void Print(const char* what, const Result& r)
{
    std::printf("%-34s %9.0f req/s   p50 %7.1f us   p99 %7.1f us\n", what, r.perSecond, r.p50us, r.p99us);
}

uint16_t FreePort()
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

// Start-up to listening, and resident memory, of the headless driver.
void StartUp(const std::string& dir)
{
    std::string ini = dir + "/Nalvexa.ini";
    WriteFile(ini, "[TR7100]\nSerialPort=" + dir + "/none\n[SocketServer]\nSocketPort=0\n");
    std::vector<double> ms;
    for (int i = 0; i < 20; ++i) {
        auto t0 = Clock::now();
        Process driver({NALVEXA_BIN, "--headless", "--ini", ini});
        driver.WaitForLine("listening on port ");
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    std::sort(ms.begin(), ms.end());
    std::printf("start-up to listening (headless)   %.1f ms p50, %.1f ms worst of 20\n\n", ms[10], ms.back());
}

// One drive's exchange measured both ways.
struct Exchange {
    const char* title;
    std::vector<std::string> sim;  // drive and options
    const char* keyword;           // the driver's adapter
    Bytes frame;                   // what goes on the line
    size_t answerSize;             // what comes back on the line
    Bytes request;                 // the same as a client request
    size_t replySize;
};

void Compare(const Exchange& x, int count, const std::string& dir)
{
    std::vector<std::string> simArgs = {NALVEXA_SIM_BIN};
    simArgs.insert(simArgs.end(), x.sim.begin(), x.sim.end());

    Result direct;
    {
        Process sim(simArgs);
        std::string device = StartSim(sim);
        int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY);
        termios t{};
        ::tcgetattr(fd, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(fd, TCSANOW, &t);
        std::vector<uint8_t> answer(x.answerSize);
        direct = Measure(count, [&] {
            return ::write(fd, x.frame.data(), x.frame.size()) == static_cast<ssize_t>(x.frame.size()) &&
                   ReadExactly(fd, answer.data(), answer.size());
        });
        ::close(fd);
    }

    Result driven;
    {
        Process sim(simArgs);
        std::string device = StartSim(sim);
        std::string ini = dir + "/Nalvexa.ini";
        WriteFile(ini, "[TR7100]\nSerialPort=" + device + "\n[SocketServer]\nSocketPort=0\n");
        Process driver({NALVEXA_BIN, "--headless", "--ini", ini, x.keyword});
        std::string line = driver.WaitForLine("listening on port ");
        Client client(static_cast<uint16_t>(std::stoi(line.substr(18))));
        driven = Measure(count, [&] {
            client.Send(x.request);
            return client.Receive(x.replySize).size() == x.replySize;
        });
    }

    // The same frames through ser2net, a raw serial-to-TCP relay: the client does the framing.
    Result relayed{};
    const bool haveSer2net = ::access("/usr/sbin/ser2net", X_OK) == 0;
    if (haveSer2net) {
        Process sim(simArgs);
        std::string device = StartSim(sim);
        uint16_t port = FreePort();
        std::string config = dir + "/ser2net.yaml";
        WriteFile(config, "connection: &bench\n  accepter: tcp,127.0.0.1," + std::to_string(port) +
                              "\n  connector: serialdev," + device + ",19200n81,local\n"
                              // Bytes are passed on as they come, not gathered for a character time.
                              "  options:\n    chardelay: false\n");
        Process relay({"/usr/sbin/ser2net", "-n", "-c", config, "-P", dir + "/ser2net.pid"});
        std::unique_ptr<Client> client;
        for (int i = 0; i < 50 && !(client && client->connected()); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            client = std::make_unique<Client>(port);
        }
        relayed = Measure(count, [&] {
            client->Send(x.frame);
            return client->Receive(x.answerSize).size() == x.answerSize;
        });
    }

    std::printf("%s, %d round trips each\n", x.title, count);
    Print("direct on the pseudo-terminal", direct);
    Print("through nalvexa (TCP + serial)", driven);
    if (haveSer2net) {
        Print("through ser2net (raw relay)", relayed);
        std::printf("ratio (nalvexa / ser2net)          %.2f x the requests per second, %.2f x the p50 latency\n",
                    driven.perSecond / relayed.perSecond, driven.p50us / relayed.p50us);
    }
    std::printf("ratio (through nalvexa / direct)    %.2f x the latency at p50, %.2f x at p99\n\n",
                driven.p50us / direct.p50us, driven.p99us / direct.p99us);
}

// A 1000-byte LVT read: eight frames of at most 128 bytes, each after the
// controller's 20 ms quiet line.
void LvtLongRead(int count, const std::string& dir)
{
    Process sim({NALVEXA_SIM_BIN, "lvt", "--quiet", "--object=0x10/2/500"});
    std::string device = StartSim(sim);
    std::string ini = dir + "/Nalvexa.ini";
    WriteFile(ini, "[TR7100]\nSerialPort=" + device + "\n[SocketServer]\nSocketPort=0\n");
    Process driver({NALVEXA_BIN, "--headless", "--ini", ini, "LVT"});
    std::string line = driver.WaitForLine("listening on port ");
    Client client(static_cast<uint16_t>(std::stoi(line.substr(18))));
    Bytes request = ReadRequest(0, 1000, 0x10, 0, 500);
    Result r = Measure(count, [&] {
        client.Send(request);
        return client.Receive(1004).size() == 1004;
    });
    std::printf("LVT read of 1000 bytes (8 frames), %d reads\n", count);
    std::printf("%-34s %9.1f ms p50   %7.1f ms p99   (8 x 20 ms of it is the pre-frame pause)\n\n",
                "through nalvexa", r.p50us / 1000, r.p99us / 1000);
}

// TR7100 reads through the driver with the trace off and on (to /dev/null),
// in alternating blocks so that both see the same machine.
void TraceCost(int count, const std::string& dir)
{
    struct Run {
        std::unique_ptr<Process> sim, driver;
        std::unique_ptr<Client> client;
        std::vector<double> us;
    } runs[2];
    for (int traced = 0; traced < 2; ++traced) {
        Run& r = runs[traced];
        r.sim = std::make_unique<Process>(std::vector<std::string>{NALVEXA_SIM_BIN, "tr7100", "--quiet", "--set=0x1234=0xABCD"});
        std::string device = StartSim(*r.sim);
        std::string ini = dir + "/trace" + std::to_string(traced) + ".ini";
        WriteFile(ini, "[TR7100]\nSerialPort=" + device + "\n[SocketServer]\nSocketPort=0\n");
        std::vector<std::string> argv = {NALVEXA_BIN, "--headless", "--ini", ini};
        if (traced) argv.push_back("--trace=/dev/null");
        r.driver = std::make_unique<Process>(argv);
        std::string line = r.driver->WaitForLine("listening on port ");
        r.client = std::make_unique<Client>(static_cast<uint16_t>(std::stoi(line.substr(18))));
    }
    const Bytes request = ReadRequest(5, 2, 0x1234, 1, 0);
    const int block = 200;
    for (int done = 0; done < count; done += block)
        for (Run& r : runs)
            for (int i = 0; i < block; ++i) {
                auto t0 = Clock::now();
                r.client->Send(request);
                if (r.client->Receive(6).size() != 6) return;
                r.us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
            }
    Result off = Summarise(runs[0].us, 0), on = Summarise(runs[1].us, 0);
    std::printf("TR7100 reads, trace off and on (to /dev/null), %d each in blocks of %d\n", count, block);
    std::printf("%-34s p50 %7.1f us   p99 %7.1f us\n", "trace off", off.p50us, off.p99us);
    std::printf("%-34s p50 %7.1f us   p99 %7.1f us\n", "trace on", on.p50us, on.p99us);
    std::printf("ratio (on / off)                   %.2f x the latency at p50\n\n", on.p50us / off.p50us);
}

void CrcThroughput()
{
    std::vector<uint8_t> data(1 << 20);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 131 + 7);
    nalvexa::LvtCrc16 crc;
    auto rate = [&](auto compute) {
        volatile uint16_t sink = 0;
        const int rounds = 64;
        auto t0 = Clock::now();
        for (int i = 0; i < rounds; ++i) sink = static_cast<uint16_t>(sink + compute());
        double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
        return rounds * data.size() / seconds / 1e6;
    };
    double table = rate([&] { return crc.Compute(data.data(), data.size()); });
    double bitwise = rate([&] { return nalvexa::LvtCrc16::Bitwise(data.data(), data.size()); });
    std::printf("CRC-16/AUG-CCITT over 1 MiB\n");
    std::printf("%-34s %9.0f MB/s\n%-34s %9.0f MB/s\nratio (table / bitwise)            %.2f\n", "table-driven", table,
                "bitwise", bitwise, table / bitwise);
}

// Expedited SDO reads over slcan with either answer wait, and one long upload.
void CanReads(int count, const std::string& dir)
{
    for (const char* wait : {"event", "doubling"}) {
        Process sim({NALVEXA_SIM_BIN, "canopen", "--quiet", "--fill=0x2200/1=35000"});
        std::string device = StartSim(sim);
        std::string ini = dir + "/Nalvexa.ini";
        WriteFile(ini, "[CAN]\nChannel=slcan:" + device + "\n[SocketServer]\nSocketPort=0\n");
        Process driver({NALVEXA_BIN, "--headless", "--ini", ini, "CAN"}, {{"NALVEXA_CAN_WAIT", wait}});
        std::string line = driver.WaitForLine("listening on port ");
        Client client(static_cast<uint16_t>(std::stoi(line.substr(18))));
        Bytes request = ReadRequest(0, 2, 0x2000, 1, 1);
        Result r = Measure(count, [&] {
            client.Send(request);
            return client.Receive(6).size() == 6;
        });
        std::printf("%-34s %9.0f req/s   p50 %7.1f us   p99 %7.1f us\n",
                    std::string("SDO expedited read, ").append(wait).append(" wait").c_str(), r.perSecond, r.p50us,
                    r.p99us);
        if (std::string(wait) == "event") {
            Bytes upload = ReadRequest(0, 35000, 0x2200, 1, 1);
            Result big = Measure(3, [&] {
                client.Send(upload);
                return client.Receive(35004, 60000).size() == 35004;
            });
            std::printf("%-34s %9.1f ms p50 (5000 segments)\n", "SDO segmented upload of 35000 B", big.p50us / 1000);
        }
    }
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv)
{
    int count = argc > 1 ? std::atoi(argv[1]) : 3000;
    std::string dir = TempDirectory();
    Compare({"TR7100 parameter reads", {"tr7100", "--quiet", "--set=0x1234=0xABCD"}, "TR7100",
             {0x05, 0x12, 0x34}, 6, ReadRequest(5, 2, 0x1234, 1, 0), 6},
            count, dir);
    Compare({"QMR index-form reads", {"qmr", "--quiet", "--set=3/0x1234=beef"}, "QMR",
             {0x06, 0x03, 0x01, 0x34, 0x12, 0x02, 0x52}, 7, ReadRequest(3, 2, 0x101, 0x1234, 0), 6},
            count, dir);
    TraceCost(count, dir);
    StartUp(dir);
    LvtLongRead(std::max(count / 300, 5), dir);
    CanReads(std::max(count / 10, 50), dir);
    CrcThroughput();
    std::filesystem::remove_all(dir);
    return 0;
}
