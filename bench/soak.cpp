// SPDX-License-Identifier: MIT
// Fault soak: the real driver against each simulator injecting random faults
// on the line (silence, corruption, stray bytes, split and merged pieces,
// aborts, late answers, every answer sent twice, other nodes' frames on the
// bus), with clients that drop requests half-way or leave before their
// answer, second clients that must wait their turn, writes that lack bytes
// and CAN ranges the frames cannot carry. The values change as the soak
// writes them, so an answer taken for another request of the same shape
// shows as wrong data. Every request must be answered exactly once, to the
// client that asked, and within the contract (answers within the response
// and quiet intervals, copies within the inter-frame silence) no status 0
// may carry wrong data. Further passes go through lateness bands around the
// intervals and copies in pieces with and without an inter-frame silence, and
// print what happens there, whatever it is.
//   soak [REQUESTS_PER_ADAPTER] [FAULT_PERCENT]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <csignal>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <thread>

#include "harness.h"

using namespace nalvexa::it;

namespace {

// What the driver holds to be the drive's values, as far as the answers tell.
using Known = std::map<uint32_t, Bytes>;

// One request, what a good answer carries, and what its status says of the drive.
struct Ask {
    Ask(Bytes r, size_t bytes) : request(std::move(r)), answerBytes(bytes) {}
    Bytes request;
    size_t answerBytes = 0;  // data bytes after the status word
    bool judged = false;     // the data of a status 0 is known
    Bytes want;
    bool refused = false;                         // must fail (1, or 6 with the port closed), nothing sent
    std::function<void(uint32_t status)> result;  // what the answer tells of the drive's values
};

struct Adapter {
    const char* keyword;
    std::vector<std::string> sim;
    std::vector<std::string> faults;  // the simulator's fault options besides --chaos
    std::string ini;
    std::set<uint32_t> faultStatuses;  // what a fault on the line may end a request with
    int answerTimeoutMs;
    std::function<Ask(std::mt19937&, Known&)> next;
};

struct Counts {
    long requests = 0, answered = 0, lost = 0, misrouted = 0, wrongData = 0, unexpectedStatus = 0, judged = 0;
    long deviceCycles = 0, longestReturnMs = 0;  // the device gone and back, and the wait for the first good answer
    long dropped = 0, halfSent = 0, secondClients = 0, refused = 0;
    std::map<uint32_t, long> statuses;
    std::map<std::string, long> faults;
    long rssStartKb = 0, rssEndKb = 0, peakKb = 0;
};

Bytes Le(uint32_t v, size_t n)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(v >> (8 * i));
    return b;
}

uint32_t StatusOf(const Bytes& a) { return uint32_t{a[0]} << 24 | uint32_t{a[1]} << 16 | uint32_t{a[2]} << 8 | a[3]; }

// Judges one answer; its status.
uint32_t Judge(const Adapter& a, const Ask& ask, const Bytes& answer, Counts& c)
{
    ++c.answered;
    const uint32_t status = StatusOf(answer);
    ++c.statuses[status];
    if (ask.refused) {
        ++c.refused;
        if (status == 0) ++c.wrongData;  // bytes the client did not give may have gone out
    } else if (status == 0 && ask.judged) {
        ++c.judged;
        if (!std::equal(ask.want.begin(), ask.want.end(), answer.begin() + 4)) ++c.wrongData;
    } else if (status != 0 && !a.faultStatuses.count(status)) {
        ++c.unexpectedStatus;
    }
    if (ask.result) ask.result(status);
    return status;
}

// One request and its answer on `client`: its status, or -1 when the answer did not come.
long Exchange(Client& client, const Adapter& a, const Ask& ask, Counts& c)
{
    client.Send(ask.request);
    ++c.requests;
    Bytes answer = client.Receive(4 + ask.answerBytes, a.answerTimeoutMs);
    if (answer.size() != 4 + ask.answerBytes) {
        ++c.lost;
        return -1;
    }
    const uint32_t status = Judge(a, ask, answer, c);
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
    Known known;
    auto client = std::make_unique<Client>(port);
    std::chrono::steady_clock::time_point returned;
    bool awaitingReturn = false;
    for (long i = 0; i < count; ++i) {
        device.sim->err();  // keeps the log pipes drained
        driver.err();
        if (lossEvery > 0 && static_cast<long>(random() % static_cast<unsigned>(lossEvery)) == 0) {
            // Unplugged, away for a while, and back at the same path: a new drive, its values as they start.
            device.Stop();
            known.clear();
            std::this_thread::sleep_for(std::chrono::milliseconds(random() % 300));
            device.Start(static_cast<unsigned>(i));
            returned = std::chrono::steady_clock::now();
            awaitingReturn = true;
            ++c.deviceCycles;
        }
        if (i == 1000) c.rssStartKb = ProcKb(driver.pid(), "VmRSS:");
        const int scene = static_cast<int>(random() % 200);
        if (scene == 0) {  // the client leaves before its answer: what it wrote is not known
            client->Send(a.next(random, known).request);
            known.clear();
            client = std::make_unique<Client>(port);
            ++c.dropped;
        } else if (scene == 1) {  // the client leaves half-way through a request
            Bytes r = a.next(random, known).request;
            client->Send(Bytes(r.begin(), r.begin() + static_cast<long>(random() % r.size())));
            client = std::make_unique<Client>(port);
            ++c.halfSent;
        } else if (scene == 2) {  // a second client waits while the first finishes
            auto second = std::make_unique<Client>(port);
            Ask first = a.next(random, known);
            Ask mine = a.next(random, known);
            second->Send(mine.request);
            Exchange(*client, a, first, c);
            if (first.result) mine.judged = false;  // what it expects was known before that write
            client = std::move(second);
            ++c.requests;
            Bytes answer = client->Receive(4 + mine.answerBytes, a.answerTimeoutMs + 2000);
            if (answer.size() != 4 + mine.answerBytes) ++c.lost;
            else Judge(a, mine, answer, c);  // another's data would show as wrong
            ++c.secondClients;
            continue;
        }
        const long status = Exchange(*client, a, a.next(random, known), c);
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
    const std::string& log = device.log;
    for (const char* tag : {"fault ", "noise "}) {
        for (size_t pos = 0; (pos = log.find(tag, pos)) != std::string::npos;) {
            size_t end = log.find('\n', pos);
            ++c.faults[log.substr(pos, end - pos)];
            pos = end;
        }
    }
    return c;
}

void Print(const char* keyword, const Counts& c, bool full)
{
    std::printf("%-7s requests %7ld  answered %7ld  lost %ld  misrouted %ld  status 0 with wrong data %ld (of %ld "
                "judged, %ld refusals)  unexpected status %ld\n",
                keyword, c.requests, c.answered, c.lost, c.misrouted, c.wrongData, c.judged, c.refused,
                c.unexpectedStatus);
    if (full) {
        std::printf("        client scenes: left before the answer %ld, left half-way %ld, second client %ld\n",
                    c.dropped, c.halfSent, c.secondClients);
        std::printf("        faults:");
        for (auto& [k, v] : c.faults) std::printf(" %s %ld", k.c_str(), v);
        std::printf("\n");
    }
    std::printf("        answers by status:");
    for (auto& [k, v] : c.statuses) std::printf(" %u: %ld", k, v);
    std::printf("\n");
    if (full)
        std::printf("        resident memory %ld kB after 1000 requests, %ld kB at the end, peak %ld kB\n", c.rssStartKb,
                    c.rssEndKb, c.peakKb);
    if (c.deviceCycles > 0)
        std::printf("        device gone and back %ld times, longest from its return to the first good answer %ld ms\n",
                    c.deviceCycles, c.longestReturnMs);
    std::fflush(stdout);
}

// Reads of known values are judged; writes make them known (or unknown, when they failed).
Ask Read(Bytes request, size_t bytes, const Known& known, std::initializer_list<uint32_t> keys,
         std::function<Bytes(const Known&)> want)
{
    Ask ask{std::move(request), bytes};
    ask.judged = std::all_of(keys.begin(), keys.end(), [&](uint32_t k) { return known.count(k) > 0; });
    if (ask.judged) ask.want = want(known);
    return ask;
}
Ask Write(Bytes request, Known& known, std::map<uint32_t, Bytes> values)
{
    Ask ask{std::move(request), 0};
    ask.result = [&known, values](uint32_t status) {
        for (auto& [k, v] : values) {
            if (status == 0) known[k] = v;
            else known.erase(k);  // it may or may not have reached the drive
        }
    };
    return ask;
}

std::vector<Adapter> Adapters()
{
    const std::string serial =
        "[TR7100]\nSerialPort=DEVICE\nRetryTimeout=30\nMaxNoOfRetries=1\nReopenInterval=100\nInterFrameSilence=4\n";
    // Every answer twice, back to back, and some after the response interval, within the quiet interval.
    const std::vector<std::string> lineFaults = {"--twice", "--late=2", "--late-ms=45"};
    return {
        {"TR7100", {"tr7100"}, lineFaults, serial, {3, 4, 5, 6}, 3000,
         [](std::mt19937& r, Known& known) {
             const uint16_t p = static_cast<uint16_t>(1 + r() % 3);
             const int kind = static_cast<int>(r() % 100);
             if (kind < 3) {  // a write without its value's two bytes
                 Ask ask{WriteRequest(5, Bytes(r() % 2, 0x5A), p, 1, 0), 0};
                 ask.refused = true;
                 return ask;
             }
             if (kind < 40) {
                 const uint16_t v = static_cast<uint16_t>(r());
                 return Write(WriteRequest(5, Le(v, 2), p, 1, 0), known, {{p, Le(v, 2)}});
             }
             return Read(ReadRequest(5, 2, p, 1, 0), 2, known, {p}, [p](const Known& k) { return k.at(p); });
         }},
        {"QMR", {"qmr"}, lineFaults, serial, {2, 3, 4, 5, 6}, 3000,
         [](std::mt19937& r, Known& known) {
             // Byte-form objects 1/1 to 1/3 of two bytes each: one shape.
             const uint32_t index = 1 + r() % 3;
             if (r() % 100 < 40) {
                 const Bytes v = Le(static_cast<uint32_t>(r()), 2);
                 return Write(WriteRequest(3, v, 0, index, 1), known, {{index, v}});
             }
             return Read(ReadRequest(3, 2, 0, index, 1), 2, known, {index},
                         [index](const Known& k) { return k.at(index); });
         }},
        {"LVT", {"lvt", "--object=0x10/2/300"}, lineFaults, serial, {3, 4, 5, 6}, 5000,
         [](std::mt19937& r, Known& known) {
             // Ranges that overlap, so that writes make reads judged.
             const uint32_t n = 1 + r() % (r() % 10 ? 4 : 100), first = r() % 10;
             if (r() % 100 < 3) {  // bytes that are no whole number of elements
                 Ask ask{WriteRequest(0, Bytes(2 * n + 1, 0x5A), 0x10, first, n + 1), 0};
                 ask.refused = true;
                 return ask;
             }
             if (r() % 100 < 40) {
                 Bytes data;
                 std::map<uint32_t, Bytes> values;
                 for (uint32_t j = first; j < first + n; ++j) {
                     Bytes e = Le(static_cast<uint32_t>(r()), 2);
                     values[j] = e;
                     data.insert(data.end(), e.begin(), e.end());
                 }
                 return Write(WriteRequest(0, data, 0x10, first, n), known, values);
             }
             Ask ask{ReadRequest(0, 2 * n, 0x10, first, n), 2 * n};
             ask.judged = true;
             for (uint32_t j = first; j < first + n && ask.judged; ++j) {
                 ask.judged = known.count(j) > 0;
                 if (ask.judged) ask.want.insert(ask.want.end(), known.at(j).begin(), known.at(j).end());
             }
             return ask;
         }},
        {"CAN", {"canopen"}, {"--bus-noise=20"}, "[CAN]\nChannel=slcan:DEVICE\nReopenInterval=100\n", {35, 63}, 20000,
         [](std::mt19937& r, Known& known) {
             const int kind = static_cast<int>(r() % 100);
             if (kind < 3) {  // ranges and lengths the frames cannot carry
                 static const Bytes refused[] = {ReadRequest(0, 4, 0x2000, 3, 2), ReadRequest(0, 4, 0x2000, 1, 0x80000000u),
                                                 ReadRequest(0, 4, 0x12000, 1, 1), WriteRequest(0, Bytes(10, 7), 0x2000, 1, 3)};
                 const Bytes& q = refused[r() % 4];
                 Ask ask{q, q[3] == 1 ? 4u : 0u};
                 ask.refused = true;
                 return ask;
             }
             if (kind < 40) {  // 0x2000/1..3, two bytes each
                 Bytes data;
                 std::map<uint32_t, Bytes> values;
                 for (uint32_t s = 1; s <= 3; ++s) {
                     Bytes e = Le(static_cast<uint32_t>(r()), 2);
                     values[s] = e;
                     data.insert(data.end(), e.begin(), e.end());
                 }
                 return Write(WriteRequest(0, data, 0x2000, 1, 3), known, values);
             }
             if (kind < 60) {
                 Ask ask{ReadRequest(0, 11, 0x1008, 0, 0), 11};
                 ask.judged = true;
                 ask.want = {'n', 'a', 'l', 'v', 'e', 'x', 'a', '-', 's', 'i', 'm'};
                 return ask;
             }
             return Read(ReadRequest(0, 6, 0x2000, 1, 3), 6, known, {1, 2, 3}, [](const Known& k) {
                 Bytes w = k.at(1);
                 w.insert(w.end(), k.at(2).begin(), k.at(2).end());
                 w.insert(w.end(), k.at(3).begin(), k.at(3).end());
                 return w;
             });
         }},
    };
}

struct Totals {
    long requests = 0, lost = 0, misrouted = 0, wrong = 0;
    void Add(const Counts& c)
    {
        requests += c.requests;
        lost += c.lost;
        misrouted += c.misrouted;
        wrong += c.wrongData;
    }
};

}  // namespace

int main(int argc, char** argv)
{
    const long count = argc > 1 ? std::atol(argv[1]) : 25000;
    const int percent = argc > 2 ? std::atoi(argv[2]) : 3;
    const std::string dir = TempDirectory();
    const std::vector<Adapter> adapters = Adapters();
    Totals within;
    auto start = std::chrono::steady_clock::now();
    // At least 50 cycles of the device per adapter.
    const long lossEvery = std::max(count / 60, 1L);
    long cycles = 0, longestReturn = 0;
    for (const Adapter& a : adapters) {
        Counts c = Soak(a, count, percent, dir, lossEvery);
        cycles += c.deviceCycles;
        longestReturn = std::max(longestReturn, c.longestReturnMs);
        Print(a.keyword, c, true);
        within.Add(c);
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("all     requests %ld  lost %ld  misrouted %ld  status 0 with wrong data %ld  in %.0f s\n",
                within.requests, within.lost, within.misrouted, within.wrong, seconds);
    std::printf("        device gone and back %ld times, longest from its return to the first good answer %ld ms\n",
                cycles, longestReturn);

    // Every answer late by the same amount, repetitions on: RetryTimeout 30 ms,
    // MaxNoOfRetries 2, the quiet interval the same 30 ms, so answers up to
    // 59 ms late are within the contract (50: a margin for this machine's timing).
    const long band = std::max(count / 250, 40L);
    Totals beyond;
    std::printf("--- every answer late by the same amount, RetryTimeout=30 MaxNoOfRetries=2 (%ld requests each)\n", band);
    for (const int lateMs : {20, 35, 50, 65, 100}) {
        const bool inside = lateMs < 60;
        for (Adapter a : adapters) {
            if (std::string(a.keyword) == "CAN") continue;
            a.faults = {"--late=100", "--late-ms=" + std::to_string(lateMs)};
            a.ini = "[TR7100]\nSerialPort=DEVICE\nRetryTimeout=30\nMaxNoOfRetries=2\n";
            Counts c = Soak(a, band, 0, dir, 0);
            std::printf("late %3d ms (%s): ", lateMs, inside ? "within the contract" : "beyond it");
            Print(a.keyword, c, false);
            (inside ? within : beyond).Add(c);
        }
    }

    // Copies in pieces, byte by byte 3 ms apart, without and with an inter-frame silence.
    std::printf("--- every serial answer twice, byte by byte (--twice --split) (%ld requests each)\n", band);
    for (const int silence : {0, 30}) {
        for (Adapter a : adapters) {
            if (std::string(a.keyword) == "CAN") continue;
            a.faults = {"--twice", "--split"};
            a.ini = "[TR7100]\nSerialPort=DEVICE\nRetryTimeout=200\nMaxNoOfRetries=1\nInterFrameSilence=" +
                    std::to_string(silence) + "\n";
            a.answerTimeoutMs *= 6;  // every byte takes 3 ms, twice
            Counts c = Soak(a, band, 0, dir, 0);
            std::printf("InterFrameSilence=%d (%s): ", silence, silence > 0 ? "within the contract" : "beyond it");
            Print(a.keyword, c, false);
            (silence > 0 ? within : beyond).Add(c);
        }
    }
    std::printf("within the contract: requests %ld  lost %ld  misrouted %ld  status 0 with wrong data %ld\n",
                within.requests, within.lost, within.misrouted, within.wrong);
    std::printf("beyond it:           requests %ld  lost %ld  misrouted %ld  status 0 with wrong data %ld\n",
                beyond.requests, beyond.lost, beyond.misrouted, beyond.wrong);
    std::filesystem::remove_all(dir);
    return within.lost == 0 && within.misrouted == 0 && within.wrong == 0 && beyond.lost == 0 && beyond.misrouted == 0
               ? 0
               : 1;
}
