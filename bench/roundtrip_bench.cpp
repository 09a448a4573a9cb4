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
#include <csignal>
#include <fstream>
#include <functional>
#include <netinet/tcp.h>
#include <tuple>

#include "adapters/lvt/lvt_crc.h"
#include "can/slcan_codec.h"
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

// The two builds of the driver: the daemon, and the window build with its
// window (offscreen), the engine on a thread of its own (when it was built).
struct Driver {
    const char* label;
    std::string program;
    bool window = false;
};

std::vector<Driver> Drivers()
{
    std::vector<Driver> drivers = {{"nalvexa (daemon)", NALVEXA_BIN}};
    if (::access(NALVEXA_GUI_BIN, X_OK) == 0) drivers.push_back({"nalvexa-gui (window, offscreen)", NALVEXA_GUI_BIN, true});
    return drivers;
}

// The driver on `ini`, and the port it listens on (the window build prints
// nothing: it is given a free port and tried until it answers).
std::shared_ptr<Process> StartDriver(const Driver& d, const std::string& ini, const std::string& settings,
                                     const char* keyword, uint16_t& port)
{
    if (!d.window) {
        WriteFile(ini, settings + "[SocketServer]\nSocketPort=0\n");
        auto driver = std::make_shared<Process>(std::vector<std::string>{d.program, "--headless", "--ini", ini, keyword});
        const std::string line = driver->WaitForLine("listening on port ");
        port = line.empty() ? 0 : static_cast<uint16_t>(std::stoi(line.substr(18)));
        return driver;
    }
    port = FreePort();
    WriteFile(ini, settings + "[SocketServer]\nSocketPort=" + std::to_string(port) + "\n");
    auto driver = std::make_shared<Process>(std::vector<std::string>{d.program, "--ini", ini, keyword},
                                            std::map<std::string, std::string>{{"QT_QPA_PLATFORM", "offscreen"}});
    for (int i = 0; i < 500; ++i) {
        if (Client(port).connected()) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return driver;
}

// Start-up to listening of the headless driver.
void StartUp(const std::string& dir)
{
    std::string ini = dir + "/Nalvexa.ini";
    WriteFile(ini, "[TR7100]\nSerialPort=" + dir + "/none\n[SocketServer]\nSocketPort=0\n");
    for (const Driver& d : Drivers()) {
        if (d.window) continue;
        std::vector<double> ms;
        for (int i = 0; i < 20; ++i) {
            auto t0 = Clock::now();
            Process driver({d.program, "--headless", "--ini", ini});
            driver.WaitForLine("listening on port ");
            ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        }
        std::sort(ms.begin(), ms.end());
        std::printf("start-up to listening, %-34s %5.1f ms p50, %5.1f ms worst of 20\n", d.label, ms[10], ms.back());
    }
    std::printf("\n");
}

// One drive's exchange: the frame on the line and the same read as a client request.
struct Exchange {
    const char* title;
    std::vector<std::string> sim;  // drive and options
    const char* keyword;           // the driver's adapter
    Bytes frame;                   // what goes on the line
    size_t answerSize;             // what comes back on the line
    Bytes request;                 // the same as a client request
    size_t replySize;
};

// A way of doing the exchange, measured in blocks taken in turn with the others.
struct Scenario {
    std::string name;
    std::function<bool()> once;
    std::vector<double> us;
    double seconds = 0;
    std::shared_ptr<void> keep;  // what it runs on: processes, sockets, threads
    int pid = 0;                 // the driver's process, where there is one
};

Process* StartedSim(const Exchange& x, std::string& device)
{
    std::vector<std::string> args = {NALVEXA_SIM_BIN};
    args.insert(args.end(), x.sim.begin(), x.sim.end());
    auto* sim = new Process(args);
    device = StartSim(*sim);
    return sim;
}

int OpenRaw(const std::string& device)
{
    int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY);
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(fd, TCSANOW, &t);
    return fd;
}

// The frame written to the simulator's terminal, the answer read from it.
Scenario PtyAlone(const Exchange& x)
{
    std::string device;
    std::shared_ptr<Process> sim(StartedSim(x, device));
    const int fd = OpenRaw(device);
    auto answer = std::make_shared<std::vector<uint8_t>>(x.answerSize);
    Scenario s{"the pseudo-terminal alone", {}, {}, 0, sim, 0};
    s.once = [fd, answer, &x] {
        return ::write(fd, x.frame.data(), x.frame.size()) == static_cast<ssize_t>(x.frame.size()) &&
               ReadExactly(fd, answer->data(), answer->size());
    };
    return s;
}

// A thread that answers each request of the client's size with a reply of its size: TCP's own cost.
Scenario TcpAlone(const Exchange& x)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(listener, 1);
    socklen_t len = sizeof a;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
    const size_t in = x.request.size(), out = x.replySize;
    std::thread([listener, in, out] {
        const int fd = ::accept(listener, nullptr, nullptr);
        int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        std::vector<uint8_t> request(in), reply(out);
        while (ReadExactly(fd, request.data(), in) && ::write(fd, reply.data(), out) == static_cast<ssize_t>(out)) {
        }
        ::close(fd);
        ::close(listener);
    }).detach();
    auto client = std::make_shared<Client>(ntohs(a.sin_port));
    Scenario s{"loopback TCP alone", {}, {}, 0, client, 0};
    s.once = [client, &x] {
        client->Send(x.request);
        return client->Receive(x.replySize).size() == x.replySize;
    };
    return s;
}

// The frames through a relay of raw bytes: the client does the framing.
Scenario RawThroughPort(const std::string& name, uint16_t port, const Exchange& x, std::shared_ptr<void> keep)
{
    std::shared_ptr<Client> client;
    for (int i = 0; i < 50 && !(client && client->connected()); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        client = std::make_shared<Client>(port);
    }
    Scenario s{name, {}, {}, 0, std::make_shared<std::pair<std::shared_ptr<void>, std::shared_ptr<Client>>>(keep, client), 0};
    s.once = [client, &x] {
        client->Send(x.frame);
        return client->Receive(x.answerSize).size() == x.answerSize;
    };
    return s;
}

// ser2net tuned for latency: no send delay, bytes passed on as they come.
Scenario Ser2net(const Exchange& x, const std::string& dir)
{
    std::string device;
    std::shared_ptr<Process> sim(StartedSim(x, device));
    const uint16_t port = FreePort();
    const std::string config = dir + "/ser2net-" + std::to_string(port) + ".yaml";
    WriteFile(config, "connection: &bench\n  accepter: tcp(nodelay),127.0.0.1," + std::to_string(port) +
                          "\n  connector: serialdev," + device + ",19200n81,local\n  options:\n    chardelay: false\n");
    auto relay = std::make_shared<Process>(std::vector<std::string>{"/usr/sbin/ser2net", "-n", "-c", config, "-P",
                                                                    config + ".pid"});
    return RawThroughPort("ser2net (tuned)", port, x, std::make_shared<std::pair<std::shared_ptr<Process>, std::shared_ptr<Process>>>(sim, relay));
}

// What both minimal relays start from: the simulator, its line opened raw,
// and a loopback listener for the one client.
struct RelayEnds {
    std::shared_ptr<Process> sim;
    int line;
    int listener;
    uint16_t port;
};

RelayEnds StartRelayEnds(const Exchange& x)
{
    std::string device;
    RelayEnds e{std::shared_ptr<Process>(StartedSim(x, device)), -1, ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0), 0};
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(e.listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(e.listener, 1);
    socklen_t len = sizeof a;
    ::getsockname(e.listener, reinterpret_cast<sockaddr*>(&a), &len);
    e.port = ntohs(a.sin_port);
    e.line = OpenRaw(device);
    return e;
}

// The client, with Nagle off as every relay here has it.
int AcceptNoDelay(int listener)
{
    const int fd = ::accept(listener, nullptr, nullptr);
    int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

// The least a relay can do: blocking reads, one thread each way.
Scenario MinimalRelay(const Exchange& x)
{
    const RelayEnds e = StartRelayEnds(x);
    std::thread([listener = e.listener, line = e.line] {
        const int fd = AcceptNoDelay(listener);
        std::thread([fd, line] {
            uint8_t b[4096];
            for (ssize_t n; (n = ::read(line, b, sizeof b)) > 0;)
                if (::write(fd, b, static_cast<size_t>(n)) != n) break;
        }).detach();
        uint8_t b[4096];
        for (ssize_t n; (n = ::read(fd, b, sizeof b)) > 0;)
            if (::write(line, b, static_cast<size_t>(n)) != n) break;
    }).detach();
    return RawThroughPort("minimal relay (C++, blocking)", e.port, x, e.sim);
}

// The least a relay on one loop can do, as the driver is built: one thread, poll, read, write.
Scenario LoopRelay(const Exchange& x)
{
    const RelayEnds e = StartRelayEnds(x);
    std::thread([listener = e.listener, line = e.line] {
        const int fd = AcceptNoDelay(listener);
        pollfd p[2] = {{fd, POLLIN, 0}, {line, POLLIN, 0}};
        uint8_t b[4096];
        while (::poll(p, 2, -1) > 0) {
            if (p[0].revents) {
                const ssize_t n = ::read(fd, b, sizeof b);
                if (n <= 0 || ::write(line, b, static_cast<size_t>(n)) != n) break;
            }
            if (p[1].revents) {
                const ssize_t n = ::read(line, b, sizeof b);
                if (n <= 0 || ::write(fd, b, static_cast<size_t>(n)) != n) break;
            }
        }
    }).detach();
    return RawThroughPort("minimal relay (C++, one loop)", e.port, x, e.sim);
}

// The client request through the driver.
Scenario ThroughDriver(const Driver& d, const Exchange& x, const std::string& dir)
{
    std::string device;
    std::shared_ptr<Process> sim(StartedSim(x, device));
    const std::string ini = dir + "/" + std::to_string(FreePort()) + ".ini";
    uint16_t port = 0;
    auto driver = StartDriver(d, ini, "[TR7100]\nSerialPort=" + device + "\n", x.keyword, port);
    auto client = std::make_shared<Client>(port);
    Scenario s{d.label, {}, {}, 0, nullptr, driver->pid()};
    s.keep = std::make_shared<std::tuple<std::shared_ptr<Process>, std::shared_ptr<Process>, std::shared_ptr<Client>>>(
        sim, driver, client);
    s.once = [client, &x] {
        client->Send(x.request);
        return client->Receive(x.replySize).size() == x.replySize;
    };
    return s;
}

// Blocks of round trips, each scenario in turn, so that all see the same machine.
void RunInterleaved(std::vector<Scenario>& scenarios, int count, int block)
{
    for (Scenario& s : scenarios) s.us.reserve(static_cast<size_t>(count));
    for (int done = 0; done < count; done += block)
        for (Scenario& s : scenarios) {
            const auto start = Clock::now();
            for (int i = 0; i < block; ++i) {
                auto t0 = Clock::now();
                if (!s.once()) {
                    std::fprintf(stderr, "%s: an exchange failed\n", s.name.c_str());
                    std::exit(1);
                }
                s.us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
            }
            s.seconds += std::chrono::duration<double>(Clock::now() - start).count();
        }
}

// System calls the driver makes per request, counted by strace over `count` requests.
double SyscallsPerRequest(Scenario& s, int count, const std::string& dir)
{
    if (s.pid == 0 || ::access("/usr/bin/strace", X_OK) != 0) return 0;
    const std::string out = dir + "/strace-" + std::to_string(s.pid) + ".txt";
    Process strace({"/usr/bin/strace", "-c", "-f", "-o", out, "-p", std::to_string(s.pid)});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // attached
    for (int i = 0; i < count; ++i)
        if (!s.once()) return 0;
    strace.Signal(SIGINT);
    strace.Wait(5000);
    const std::string table = ReadFile(out);
    const size_t total = table.rfind("total");
    if (total == std::string::npos) return 0;
    // "100.00    0.24    5     45029     1 total": the calls are the fourth column.
    const size_t lineStart = table.rfind('\n', total) + 1;
    double percent, seconds, usecs, calls;
    if (std::sscanf(table.c_str() + lineStart, "%lf %lf %lf %lf", &percent, &seconds, &usecs, &calls) != 4) return 0;
    return calls / count;
}

void Compare(const Exchange& x, int count, const std::string& dir)
{
    std::vector<Scenario> scenarios;
    scenarios.push_back(PtyAlone(x));
    scenarios.push_back(TcpAlone(x));
    if (::access("/usr/sbin/ser2net", X_OK) == 0) scenarios.push_back(Ser2net(x, dir));
    scenarios.push_back(MinimalRelay(x));
    scenarios.push_back(LoopRelay(x));
    for (const Driver& d : Drivers()) scenarios.push_back(ThroughDriver(d, x, dir));
    RunInterleaved(scenarios, count, 250);

    std::vector<Result> results;
    for (Scenario& s : scenarios) results.push_back(Summarise(s.us, s.seconds));
    const double floor = results[0].p50us + results[1].p50us;
    std::printf("%s, %d round trips each, in blocks of 250 taken in turn\n", x.title, count);
    for (size_t i = 0; i < scenarios.size(); ++i) {
        std::printf("%-36s %9.0f req/s   p50 %7.1f us   p99 %7.1f us", scenarios[i].name.c_str(), results[i].perSecond,
                    results[i].p50us, results[i].p99us);
        if (i >= 2) std::printf("   %.2f x the floor", results[i].p50us / floor);
        std::printf("\n");
    }
    std::printf("%-36s %9s         p50 %7.1f us   (the pseudo-terminal + TCP)\n", "floor", "", floor);
    for (Scenario& s : scenarios)
        if (s.pid) std::printf("system calls per request, %-30s %5.1f (strace -c, 5000 requests)\n", s.name.c_str(),
                               SyscallsPerRequest(s, 5000, dir));
    std::printf("\n");
}

// Resident memory of each driver after many requests.
void MemoryAfter(int requests, const std::string& dir)
{
    const Exchange x{"", {"tr7100", "--quiet", "--set=0x1234=0xABCD"}, "TR7100", {}, 0, ReadRequest(5, 2, 0x1234, 1, 0), 6};
    for (const Driver& d : Drivers()) {
        Scenario s = ThroughDriver(d, x, dir);
        for (int i = 0; i < requests; ++i)
            if (!s.once()) return;
        std::printf("resident memory after %d requests, %-34s %6ld kB (peak %ld kB)\n", requests, d.label,
                    ProcKb(s.pid, "VmRSS:"), ProcKb(s.pid, "VmHWM:"));
    }
    std::printf("\n");
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

// An expedited SDO read over slcan: the frame written by the benchmark on
// the simulator's terminal, and the same read through each driver.
void CanCompare(int count, const std::string& dir)
{
    const Exchange x{"", {"canopen", "--quiet"}, "CAN", {}, 0, ReadRequest(0, 2, 0x2000, 1, 1), 6};
    std::vector<Scenario> scenarios;
    {
        std::string device;
        std::shared_ptr<Process> sim(StartedSim(x, device));
        const int fd = OpenRaw(device);
        uint8_t ack;
        if (::write(fd, "O\r", 2) != 2 || !ReadExactly(fd, &ack, 1)) return;
        nalvexa::CanMessage upload;
        upload.id = 0x601;
        upload.length = 8;
        const uint8_t data[8] = {0x40, 0x00, 0x20, 0x01};
        std::copy(data, data + 8, upload.data);
        auto line = std::make_shared<std::string>(nalvexa::slcan::EncodeFrame(upload));
        Scenario direct{"slcan on the pseudo-terminal alone", {}, {}, 0, sim, 0};
        direct.once = [fd, line] {
            if (::write(fd, line->data(), line->size()) != static_cast<ssize_t>(line->size())) return false;
            // The answer's line, read as it comes (one read, mostly).
            char got[64];
            for (size_t have = 0; have == 0 || got[have - 1] != '\r';) {
                pollfd p{fd, POLLIN, 0};
                if (::poll(&p, 1, 2000) <= 0 || have == sizeof got) return false;
                const ssize_t n = ::read(fd, got + have, sizeof got - have);
                if (n <= 0) return false;
                have += static_cast<size_t>(n);
            }
            return true;
        };
        scenarios.push_back(direct);
    }
    for (const Driver& d : Drivers()) {
        std::string device;
        std::shared_ptr<Process> sim(StartedSim(x, device));
        const std::string ini = dir + "/can-" + std::to_string(FreePort()) + ".ini";
        WriteFile(ini, "[CAN]\nChannel=slcan:" + device + "\n[SocketServer]\nSocketPort=0\n");
        auto driver = std::make_shared<Process>(std::vector<std::string>{d.program, "--headless", "--ini", ini, "CAN"});
        const std::string line = driver->WaitForLine("listening on port ");
        auto client = std::make_shared<Client>(static_cast<uint16_t>(std::stoi(line.substr(18))));
        Scenario s{d.label, {}, {}, 0, nullptr, driver->pid()};
        s.keep = std::make_shared<std::tuple<std::shared_ptr<Process>, std::shared_ptr<Process>, std::shared_ptr<Client>>>(
            sim, driver, client);
        s.once = [client, &x] {
            client->Send(x.request);
            return client->Receive(x.replySize).size() == x.replySize;
        };
        scenarios.push_back(s);
    }
    RunInterleaved(scenarios, count, 250);
    const Result direct = Summarise(scenarios[0].us, scenarios[0].seconds);
    std::printf("SDO expedited reads over slcan, %d each, in blocks of 250 taken in turn\n", count);
    for (Scenario& s : scenarios) {
        const Result r = Summarise(s.us, s.seconds);
        std::printf("%-36s %9.0f req/s   p50 %7.1f us   p99 %7.1f us   %.2f x the direct exchange\n", s.name.c_str(),
                    r.perSecond, r.p50us, r.p99us, r.p50us / direct.p50us);
    }
    std::printf("\n");
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
    CanCompare(count, dir);
    MemoryAfter(100000, dir);
    StartUp(dir);
    TraceCost(count, dir);
    LvtLongRead(std::max(count / 300, 5), dir);
    CanReads(std::max(count / 10, 50), dir);
    CrcThroughput();
    std::filesystem::remove_all(dir);
    return 0;
}
