// SPDX-License-Identifier: MIT
// nalvexa-sim: simulated drives on a pseudo-terminal, for trying the driver
// without hardware and for its tests.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
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
    "  --silent           never answer\n"
    "  --bad-echo[=N]     corrupt the echo of the next N answers (all without N)\n"
    "  --bad-checksum[=N] corrupt the checksum of the next N answers\n"
    "  --stream=N         send N bytes (0, 1, 2, ...) after each answer\n"
    "DRIVE qmr:\n"
    "  --set=A/I=HEX      the value at address A, index I (commands 0x01, 0x02)\n"
    "  --set-byte=A/S/I=HEX  the bytes at address A, object S/I (commands 0x11, 0x12)\n"
    "  --silent           never answer\n"
    "  --bad-sum[=N]      a wrong sum in the next N answers (all without N)\n"
    "  --error-flag[=N]   set the error flag in the next N answers\n"
    "DRIVE lvt:\n"
    "  --object=O/SIZE/COUNT  object O of COUNT elements of SIZE (1, 2, 4) bytes,\n"
    "                     element j holding j + 1 until written\n"
    "  --silent           never answer\n"
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
    "  --split            send answers one byte at a time, 3 ms apart\n"
    "  --twice            send every answer twice, back to back (with --split:\n"
    "                     the copy too, byte by byte)\n"
    "  --late=N           N percent of the answers come late: --late-ms after the\n"
    "                     request (logged as \"fault late\")\n"
    "  --late-ms=MS       how late (default 600, beyond the driver's default\n"
    "                     response interval of 500 ms)\n"
    "  --chaos=P[/SEED]   P percent of the answers get a random fault (silent,\n"
    "                     corrupt, stray byte before, split, sent twice), logged\n"
    "                     as \"fault KIND\"\n"
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
    bool split = false, quiet = false, twice = false;
    int chaosPercent = 0, latePercent = 0, lateMs = 600;
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
            else if (name == "quiet") known = quiet = true;
            else if (name == "twice") known = twice = true;
            else if (name == "late") {
                latePercent = value.empty() ? 100 : std::stoi(value);
                known = latePercent >= 0 && latePercent <= 100;
            } else if (name == "late-ms") {
                lateMs = std::stoi(value);
                known = lateMs >= 0;
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

    std::mt19937 chaos(chaosSeed);
    std::mt19937 lateness(3);
    int baud = 0;
    uint8_t buffer[1024];
    std::vector<uint8_t> request, answer;
    while (!g_stop) {
        long n = pty.Read(buffer, sizeof buffer, 200);
        if (n < 0) break;
        for (long i = 0; i < n; ++i) {
            if (!drive->Feed(buffer[i], request, answer)) continue;
            if (!quiet) {
                if (int b = pty.BaudRate(); b != baud) {
                    baud = b;
                    std::fprintf(stderr, "baud %d\n", baud);
                }
                std::fprintf(stderr, "rx %s\n", ToHex(request).c_str());
                if (!answer.empty()) std::fprintf(stderr, "tx %s\n", ToHex(answer).c_str());
            }
            if (answer.empty()) continue;
            if (chaosPercent > 0 && static_cast<int>(chaos() % 100) < chaosPercent) {
                static const char* kFaults[] = {"silent", "corrupt", "stray", "split", "merged"};
                const int fault = static_cast<int>(chaos() % 5);
                std::fprintf(stderr, "fault %s\n", kFaults[fault]);
                if (fault == 0) continue;
                if (fault == 1) answer.back() ^= static_cast<uint8_t>(1 << (chaos() % 8));
                if (fault == 2) answer.insert(answer.begin(), static_cast<uint8_t>(chaos()));
                if (fault == 3) {
                    for (uint8_t b : answer) {
                        pty.Write(&b, 1);
                        std::this_thread::sleep_for(std::chrono::milliseconds(1));
                    }
                    continue;
                }
                if (fault == 4) {
                    std::vector<uint8_t> twice = answer;
                    answer.insert(answer.end(), twice.begin(), twice.end());
                }
            }
            if (latePercent > 0 && static_cast<int>(lateness() % 100) < latePercent) {
                std::fprintf(stderr, "fault late\n");
                std::this_thread::sleep_for(std::chrono::milliseconds(lateMs));
            }
            for (int copy = 0; copy < (twice ? 2 : 1); ++copy) {
                if (!split) {
                    pty.Write(answer.data(), answer.size());
                    continue;
                }
                for (uint8_t b : answer) {
                    pty.Write(&b, 1);
                    std::this_thread::sleep_for(std::chrono::milliseconds(3));
                }
            }
            std::vector<uint8_t> more = drive->AfterAnswer();
            if (!more.empty()) pty.Write(more.data(), more.size());
        }
    }
    return 0;
}
