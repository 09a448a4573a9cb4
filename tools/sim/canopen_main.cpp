// SPDX-License-Identifier: MIT
// nalvexa-sim canopen: the simulated CANopen drive on slcan over a
// pseudo-terminal, or on a SocketCAN interface.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <thread>
#include <random>
#include <cstdio>
#include <string>

#include "../common/hex.h"
#include "can/slcan_codec.h"
#include "canopen_sim.h"
#include "pseudo_terminal.h"
#include "socketcan_library.h"

namespace nalvexa::sim {

namespace {

volatile std::sig_atomic_t g_stop = 0;

std::string Describe(const CanMessage& m)
{
    char id[16];
    std::snprintf(id, sizeof id, "%03x", m.id);
    return std::string(id) + " " + ToHex(m.data, m.length);
}

class Log {
public:
    explicit Log(bool quiet) : quiet_(quiet) {}
    void Line(const std::string& text)
    {
        if (!quiet_) std::fprintf(stderr, "%s\n", text.c_str());
    }

private:
    bool quiet_;
};

// Random aborts in place of answers, for the soak.
struct Chaos {
    int percent = 0;
    std::mt19937 random{1};
    void Apply(std::vector<CanMessage>& answers, CanopenSim& drive)
    {
        if (percent == 0 || answers.empty() || answers.front().id == 0x7E4 ||
            static_cast<int>(random() % 100) >= percent)
            return;
        std::fprintf(stderr, "fault abort\n");
        answers = {drive.AbortTransfer(0x08000000)};
    }
};
Chaos g_chaos;

// A bus with other traffic: before some answers, a frame that is not the
// answer but may look like one.
struct Noise {
    int percent = 0;
    std::mt19937 random{5};
    void Apply(std::vector<CanMessage>& answers, uint8_t node)
    {
        if (percent == 0 || answers.empty() || static_cast<int>(random() % 100) >= percent) return;
        static const char* kKinds[] = {"heartbeat", "pdo", "other-node", "stale"};
        const int kind = static_cast<int>(random() % 4);
        std::fprintf(stderr, "noise %s\n", kKinds[kind]);
        const CanMessage& real = answers.front();
        CanMessage m;
        switch (kind) {
        case 0:  // another node is operational
            m.id = 0x700u + ((node % 127) + 1);
            m.length = 1;
            m.data[0] = 0x05;
            break;
        case 1:  // this node's first transmit PDO
            m.id = 0x180u + node;
            m.length = 4;
            m.data[0] = 0xDE, m.data[1] = 0xAD, m.data[2] = 0xBE, m.data[3] = 0xEF;
            break;
        case 2:  // the same answer from another node, with other data
            m = real;
            m.id = real.id == 0x7E4 ? real.id : 0x580u + ((node % 127) + 1);
            for (int i = 4; i < 8; ++i) m.data[i] ^= 0x5A;
            if (real.id == 0x7E4) m.data[0] ^= 0x01;  // LSS answers differ by service
            break;
        default:  // an answer that belongs to an earlier transfer
            m = real;
            if ((real.data[0] & 0xE0) == 0x00 || (real.data[0] & 0xE0) == 0x20)
                m.data[0] ^= 0x10;  // a segment answer with the other toggle
            else
                m.data[3] ^= 0x01;  // another sub-index
            for (int i = 4; i < 8; ++i) m.data[i] ^= 0xA5;
            break;
        }
        answers.insert(answers.begin(), m);
    }
};
Noise g_noise;
bool g_split = false;

int RunOnPseudoTerminal(CanopenSim& drive, Log& log)
{
    PseudoTerminal pty;
    if (!pty.Open()) {
        std::fprintf(stderr, "nalvexa-sim: %s\n", pty.error().c_str());
        return 1;
    }
    std::printf("device %s\n", pty.devicePath().c_str());
    std::fflush(stdout);
    slcan::Parser parser;
    bool open = false;
    auto send = [&](const CanMessage& m) {
        std::string line = slcan::EncodeFrame(m);
        if (!g_split) {
            pty.Write(reinterpret_cast<const uint8_t*>(line.data()), line.size());
            return;
        }
        for (char c : line) {
            pty.Write(reinterpret_cast<const uint8_t*>(&c), 1);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    };
    while (!g_stop) {
        uint8_t buffer[512];
        long n = pty.Read(buffer, sizeof buffer, 200);
        if (n < 0) return 1;
        parser.Feed(buffer, static_cast<size_t>(n));
        slcan::Event e;
        while (parser.Next(e)) {
            if (e.kind == slcan::Event::Command) {
                // The adapter's commands: "S0".."S8" rate, "O" open, "C" close.
                const char c = e.text[0];
                bool known = (c == 'S' && e.text.size() == 2 && e.text[1] >= '0' && e.text[1] <= '8') ||
                             ((c == 'O' || c == 'C') && e.text.size() == 1);
                if (c == 'O') open = true;
                if (c == 'C') open = false;
                log.Line("slcan " + e.text);
                const char* answer = known ? "\r" : "\a";
                pty.Write(reinterpret_cast<const uint8_t*>(answer), 1);
            } else if (e.kind == slcan::Event::Frame) {
                if (!open) {
                    pty.Write(reinterpret_cast<const uint8_t*>("\a"), 1);
                    continue;
                }
                log.Line("rx " + Describe(e.frame));
                std::vector<CanMessage> answers = drive.OnFrame(e.frame);
                g_chaos.Apply(answers, drive);
                g_noise.Apply(answers, drive.node());
                for (const CanMessage& a : answers) {
                    log.Line("tx " + Describe(a));
                    send(a);
                }
                for (const CanMessage& s : drive.StrayFrames()) send(s);
            } else if (e.kind == slcan::Event::Malformed) {
                log.Line("slcan malformed " + e.text);
                pty.Write(reinterpret_cast<const uint8_t*>("\a"), 1);
            }
        }
    }
    return 0;
}

int RunOnSocketCan(CanopenSim& drive, Log& log, const std::string& interface)
{
    SocketCanLibrary bus(interface);
    if (uint32_t r = bus.CAN_Init(0, 0, 0, 0, 0); r != can::kOk) {
        std::fprintf(stderr, "nalvexa-sim: cannot open %s (library code 0x%04x)\n", interface.c_str(), r);
        return 1;
    }
    std::printf("interface %s\n", interface.c_str());
    std::fflush(stdout);
    while (!g_stop) {
        if (bus.Lost()) {
            std::fprintf(stderr, "nalvexa-sim: %s\n", bus.ErrorText().c_str());
            return 1;
        }
        bus.WaitForFrame(200);
        CanMessage m;
        while (bus.CAN_Read(m) == can::kOk) {
            log.Line("rx " + Describe(m));
            std::vector<CanMessage> answers = drive.OnFrame(m);
            g_chaos.Apply(answers, drive);
            g_noise.Apply(answers, drive.node());
            for (const CanMessage& a : answers) {
                log.Line("tx " + Describe(a));
                bus.CAN_Write(a);
            }
            for (const CanMessage& s : drive.StrayFrames()) bus.CAN_Write(s);
        }
    }
    return 0;
}

}  // namespace

int RunCanopen(int argc, char** argv)
{
    CanopenSim drive;
    std::string interface;
    bool quiet = false;
    for (int i = 2; i < argc; ++i) {
        std::string a = argv[i];
        size_t eq = a.find('=');
        std::string name = a.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
        std::string value = eq == std::string::npos ? "" : a.substr(eq + 1);
        bool known = a.rfind("--", 0) == 0;
        try {
            if (!known) {
            } else if (name == "socketcan") {
                interface = value;
            } else if (name == "quiet") {
                quiet = true;
            } else if (name == "split") {
                g_split = true;
            } else if (name == "bus-noise") {
                g_noise.percent = value.empty() ? 100 : std::stoi(value);
                known = g_noise.percent >= 0 && g_noise.percent <= 100;
            } else if (name == "chaos") {
                size_t slash = value.find('/');
                g_chaos.percent = std::stoi(value.substr(0, slash));
                if (slash != std::string::npos) g_chaos.random.seed(static_cast<unsigned>(std::stoul(value.substr(slash + 1))));
            } else {
                known = drive.Option(name, value);
            }
        } catch (const std::exception&) {
            known = false;
        }
        if (!known) {
            std::fprintf(stderr, "nalvexa-sim: bad option \"%s\"\n", a.c_str());
            return 2;
        }
    }
    std::signal(SIGINT, [](int) { g_stop = 1; });
    std::signal(SIGTERM, [](int) { g_stop = 1; });
    Log log(quiet);
    drive.log = [&log](const std::string& line) { log.Line(line); };
    return interface.empty() ? RunOnPseudoTerminal(drive, log) : RunOnSocketCan(drive, log, interface);
}

}  // namespace nalvexa::sim
