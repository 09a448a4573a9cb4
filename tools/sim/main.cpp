// SPDX-License-Identifier: MIT
// nalvexa-sim: simulated drives on a pseudo-terminal, for trying the driver
// without hardware and for its tests.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <algorithm>
#include <memory>
#include <string>
#include <random>
#include <thread>

#include "../common/hex.h"
#include "pseudo_terminal.h"
#include "lvt_sim.h"
#include "qmr_sim.h"
#include "tr7100_sim.h"
#include "version.h"

using namespace nalvexa;

namespace nalvexa::sim {
int RunCanopen(int argc, char** argv);
}

namespace {

const char* const kUsage =
    "Usage: nalvexa-sim DRIVE [OPTIONS]\n"
    "Simulates a drive on a new pseudo-terminal and prints its device path as\n"
    "\"device PATH\"; point the driver's \"SerialPort\" at it. Every request frame\n"
    "and answer is logged on stderr as \"rx ...\" and \"tx ...\" in hex.\n"
    "\n"
    "DRIVE tr7100:\n"
    "  --set=P=V          parameter P holds V (numbers as 123 or 0x7b); others hold 0\n"
    "  --bad-echo[=N]     corrupt the echo of the next N answers (all without N)\n"
    "  --bad-checksum[=N] corrupt the checksum of the next N answers\n"
    "  --stream=N         send N bytes (0, 1, 2, ...) after each answer\n"
    "DRIVE qmr:\n"
    "  --set=A/I=HEX      the value at address A, index I (commands 0x01, 0x02)\n"
    "  --set-byte=A/S/I=HEX  the bytes at address A, object S/I (commands 0x11, 0x12)\n"
    "  --bad-sum[=N]      a wrong sum in the next N answers (all without N)\n"
    "  --error-flag[=N]   set the error flag in the next N answers\n"
    "DRIVE lvt:\n"
    "  --object=O/SIZE/COUNT  object O of COUNT elements of SIZE (1, 2, 4) bytes,\n"
    "                     element j holding j + 1 until written\n"
    "  --bad-crc[=N]      a wrong CRC in the next N answers (all without N)\n"
    "  --status=S         answer every request with status S\n"
    "  (unknown objects are answered with status 6, ranges beyond an object with 7)\n"
    "DRIVE canopen (slcan on the pseudo-terminal; SDO server of node 1):\n"
    "  --socketcan=IFACE  on a SocketCAN interface instead; prints \"interface IFACE\"\n"
    "  --node=N           its node-ID (SDO requests on 0x600+N, answers on 0x580+N)\n"
    "  --set=IDX/SUB=HEX  an object's value (1 to 255 bytes); 0x2000/1..3, 0x1000/0,\n"
    "                     0x1008/0 and 0x3007/1 exist from the start\n"
    "  --fill=IDX/SUB=N   an object of N bytes 0, 1, 2, ... (read only by uploads)\n"
    "  --read-only=IDX/SUB  writes to it are aborted (0x1000/0 and 0x1008/0 are)\n"
    "  --blksize=N        the block size it offers for block downloads (1 to 127)\n"
    "  --identity=V/P/R/S  its LSS identity: vendor-ID, product code, revision, serial\n"
    "  --node-id-error=N  answer LSS configure node-ID with error code N\n"
    "  --unconfigured     no node-ID (and no SDO server) until LSS gives it one;\n"
    "                     only such a drive takes part in an LSS fastscan\n"
    "  --silent           never answer\n"
    "  --stall=N          answer the first N SDO frames, then none (a transfer that\n"
    "                     stops half-way)\n"
    "  --stray[=N]        send N stray frames after each finished transfer\n"
    "  --chaos=P[/SEED]   P percent of the answers become an abort (0x08000000)\n"
    "  --bus-noise=N      before N percent of its answers, another frame: a\n"
    "                     heartbeat, a PDO, the answer from another node, or an\n"
    "                     answer of an earlier transfer (logged as \"noise KIND\")\n"
    "  --split            send each slcan line one character at a time\n"
    "  (missing objects are aborted with 0x06020000; NMT state changes and the LSS\n"
    "  services are logged on stderr; a new node-ID takes effect on the switch back\n"
    "  to the waiting mode)\n"
    "DRIVE tr7100, qmr and lvt:\n"
    "  --silent[=N]       never answer (the next N frames with N)\n"
    "  --split            send answers one byte at a time, 3 ms apart\n"
    "  --twice            send every answer twice, back to back (with --split:\n"
    "                     the copy too, byte by byte)\n"
    "  --late=N           N percent of the answers come late, to a first frame and\n"
    "                     its repetitions alike: --late-ms after their frame (logged\n"
    "                     as \"fault late\"); the drive hears what comes meanwhile\n"
    "  --late-ms=MS       how late (default 600, beyond the driver's default\n"
    "                     response interval of 500 ms)\n"
    "  --noise=MS[/FOR]   from the first frame it hears, a random byte every MS ms,\n"
    "                     for FOR ms (for ever without): a line never quiet\n"
    "  --chaos=P[/SEED]   P percent of the answers get a random fault (silent,\n"
    "                     corrupt, stray byte before, split, sent twice), logged\n"
    "                     as \"fault KIND\"\n"
    "  --times            each log line begins with \"@MS \", the milliseconds since\n"
    "                     the start, and every write to the line is logged (\"sent\")\n"
    "  --bytes            log every byte received (\"byte HEX\")\n"
    "Every drive:\n"
    "  --quiet            log frames no more (faults still are)\n"
    "nalvexa-sim --help, nalvexa-sim --version: this text, the version\n";

std::unique_ptr<sim::SimDrive> MakeDrive(const std::string& name)
{
    if (name == "tr7100") return std::make_unique<sim::Tr7100Sim>();
    if (name == "qmr") return std::make_unique<sim::QmrSim>();
    if (name == "lvt") return std::make_unique<sim::LvtSim>();
    return nullptr;
}

volatile std::sig_atomic_t g_stop = 0;

using Clock = std::chrono::steady_clock;

// Log lines on stderr; with --times each begins with "@MS " since the start.
bool g_times = false;
const Clock::time_point g_start = Clock::now();

void Log(const std::string& line)
{
    if (g_times) {
        const long ms = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - g_start).count());
        std::fprintf(stderr, "@%ld %s\n", ms, line.c_str());
    } else {
        std::fprintf(stderr, "%s\n", line.c_str());
    }
}

// Bytes due on the line at their times, in order.
class Schedule {
public:
    // The bytes from `at` on, `gapMs` apart (0: at once, in one write);
    // returns when the last goes out.
    Clock::time_point Add(Clock::time_point at, const std::vector<uint8_t>& bytes, int gapMs)
    {
        if (gapMs == 0) {
            due_.push_back({at, bytes});
            return at;
        }
        for (size_t i = 0; i < bytes.size(); ++i) {
            if (i > 0) at += std::chrono::milliseconds(gapMs);
            due_.push_back({at, {bytes[i]}});
        }
        return at + std::chrono::milliseconds(gapMs);
    }
    void SendDue(PseudoTerminal& pty, Clock::time_point now)
    {
        std::stable_sort(due_.begin(), due_.end(), [](const Due& a, const Due& b) { return a.at < b.at; });
        while (!due_.empty() && due_.front().at <= now) {
            pty.Write(due_.front().bytes.data(), due_.front().bytes.size());
            if (g_times) Log("sent " + ToHex(due_.front().bytes));
            due_.pop_front();
        }
    }
    int MsUntilNext(Clock::time_point now, int most) const
    {
        int ms = most;
        for (const Due& d : due_)
            ms = std::min<int>(ms, static_cast<int>(std::max<int64_t>(
                                       std::chrono::duration_cast<std::chrono::milliseconds>(d.at - now).count(), 0)));
        return ms;
    }

private:
    struct Due {
        Clock::time_point at;
        std::vector<uint8_t> bytes;
    };
    std::deque<Due> due_;
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("nalvexa-sim %s\n", kNalvexaVersion);
        return 0;
    }
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0) {
        std::fputs(kUsage, argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    if (std::strcmp(argv[1], "canopen") == 0) return sim::RunCanopen(argc, argv);
    std::unique_ptr<sim::SimDrive> drive = MakeDrive(argv[1]);
    if (!drive) {
        std::fprintf(stderr, "nalvexa-sim: unknown drive \"%s\"\n\n%s", argv[1], kUsage);
        return 2;
    }
    bool split = false, quiet = false, twice = false, bytes = false;
    int chaosPercent = 0, latePercent = 0, lateMs = 600, noiseEveryMs = 0, noiseForMs = 0, silentFrames = 0;
    unsigned chaosSeed = 1;
    for (int i = 2; i < argc; ++i) {
        std::string a = argv[i];
        if (a.rfind("--", 0) != 0) {
            std::fprintf(stderr, "nalvexa-sim: unexpected \"%s\"\n", a.c_str());
            return 2;
        }
        size_t eq = a.find('=');
        std::string name = a.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
        std::string value = eq == std::string::npos ? "" : a.substr(eq + 1);
        bool known = false;
        try {
            if (name == "split") known = split = true;
            else if (name == "silent") {
                silentFrames = sim::CountOption(value);
                known = silentFrames >= 0;
            }
            else if (name == "quiet") known = quiet = true;
            else if (name == "times") known = g_times = true;
            else if (name == "bytes") known = bytes = true;
            else if (name == "twice") known = twice = true;
            else if (name == "late") {
                latePercent = value.empty() ? 100 : std::stoi(value);
                known = latePercent >= 0 && latePercent <= 100;
            } else if (name == "late-ms") {
                lateMs = std::stoi(value);
                known = lateMs >= 0;
            }
            else if (name == "noise") {
                // EVERY_MS[/FOR_MS]: a random byte that often, for that long (for ever without)
                size_t slash = value.find('/');
                noiseEveryMs = std::stoi(value.substr(0, slash));
                if (slash != std::string::npos) noiseForMs = std::stoi(value.substr(slash + 1));
                known = noiseEveryMs > 0 && noiseForMs >= 0;
            }
            else if (name == "chaos") {
                // PERCENT[/SEED]: that share of the answers gets a fault picked at random
                size_t slash = value.find('/');
                chaosPercent = std::stoi(value.substr(0, slash));
                if (slash != std::string::npos) chaosSeed = static_cast<unsigned>(std::stoul(value.substr(slash + 1)));
                known = chaosPercent >= 0 && chaosPercent <= 100;
            }
            else known = drive->Option(name, value);
        } catch (const std::exception&) {
            known = false;
        }
        if (!known) {
            std::fprintf(stderr, "nalvexa-sim: bad option \"%s\"\n", a.c_str());
            return 2;
        }
    }

    PseudoTerminal pty;
    if (!pty.Open()) {
        std::fprintf(stderr, "nalvexa-sim: %s\n", pty.error().c_str());
        return 1;
    }
    std::signal(SIGINT, [](int) { g_stop = 1; });
    std::signal(SIGTERM, [](int) { g_stop = 1; });
    std::printf("device %s\n", pty.devicePath().c_str());
    std::fflush(stdout);

    // What goes out, and when: the drive goes on listening while an answer waits.
    Schedule out;
    std::mt19937 chaos(chaosSeed);
    std::mt19937 lateness(3);
    std::mt19937 noiseBytes(5);
    int baud = 0;
    uint8_t buffer[1024];
    std::vector<uint8_t> request, answer;
    Clock::time_point noiseUntil{}, nextNoise{};
    bool heardAny = false;
    while (!g_stop) {
        const Clock::time_point now = Clock::now();
        out.SendDue(pty, now);
        if (noiseEveryMs > 0 && heardAny && (noiseForMs == 0 || now < noiseUntil) && now >= nextNoise) {
            const uint8_t b = static_cast<uint8_t>(noiseBytes());
            pty.Write(&b, 1);
            nextNoise = now + std::chrono::milliseconds(noiseEveryMs);
        }
        int waitMs = out.MsUntilNext(now, 200);
        if (noiseEveryMs > 0 && heardAny) waitMs = std::min(waitMs, noiseEveryMs);
        long n = pty.Read(buffer, sizeof buffer, waitMs);
        if (n < 0) break;
        for (long i = 0; i < n; ++i) {
            if (bytes) Log("byte " + ToHex(std::vector<uint8_t>{buffer[i]}));
            if (!drive->Feed(buffer[i], request, answer)) continue;
            if (silentFrames > 0) {
                --silentFrames;
                answer.clear();
            }
            const Clock::time_point heard = Clock::now();
            if (!heardAny && noiseEveryMs > 0) {
                heardAny = true;
                noiseUntil = heard + std::chrono::milliseconds(noiseForMs);
                nextNoise = heard;
            }
            if (!quiet) {
                if (int b = pty.BaudRate(); b != baud) {
                    baud = b;
                    Log("baud " + std::to_string(baud));
                }
                Log("rx " + ToHex(request));
                if (!answer.empty()) Log("tx " + ToHex(answer));
            }
            if (answer.empty()) continue;
            Clock::time_point at = heard;
            int gapMs = split ? 3 : 0;
            int copies = twice ? 2 : 1;
            if (chaosPercent > 0 && static_cast<int>(chaos() % 100) < chaosPercent) {
                static const char* kFaults[] = {"silent", "corrupt", "stray", "split", "merged"};
                const int fault = static_cast<int>(chaos() % 5);
                Log(std::string("fault ") + kFaults[fault]);
                if (fault == 0) continue;
                if (fault == 1) answer.back() ^= static_cast<uint8_t>(1 << (chaos() % 8));
                if (fault == 2) answer.insert(answer.begin(), static_cast<uint8_t>(chaos()));
                if (fault == 3) gapMs = 1;
                if (fault == 4) {
                    std::vector<uint8_t> again = answer;
                    answer.insert(answer.end(), again.begin(), again.end());
                }
            }
            if (latePercent > 0 && static_cast<int>(lateness() % 100) < latePercent) {
                Log("fault late");
                at += std::chrono::milliseconds(lateMs);
            }
            for (int copy = 0; copy < copies; ++copy) at = out.Add(at, answer, gapMs);
            std::vector<uint8_t> more = drive->AfterAnswer();
            if (!more.empty()) out.Add(at, more, 0);
        }
    }
    return 0;
}
