// SPDX-License-Identifier: MIT
#include "can_options.h"

#include <cctype>
#include <cstdlib>

#include "../common/hex.h"

namespace nalvexa::cantool {

const char* const kUsage =
    "Usage: nalvexa-can [OPTIONS] COMMAND ARGS\n"
    "Commissions CANopen drives: SDO reads and writes, NMT, LSS, and a scan.\n"
    "\n"
    "  sdo read INDEX SUB           read an object; prints its value in hex\n"
    "  sdo write INDEX SUB BYTES    write the bytes (hex, in bus order, e.g. e8030000)\n"
    "  nmt start|stop|preop|reset|reset-comm [NODE|all]\n"
    "                               a network management command (default: --node)\n"
    "  lss inquire                  identity and node-ID of the drive in the\n"
    "                               configuration state (one drive on the bus)\n"
    "  lss set-node-id NEW [--identity V P R S]\n"
    "                               give a drive node-ID NEW and store it: the drive\n"
    "                               of that identity, else every drive on the bus\n"
    "  lss set-bitrate RATE         move every drive to RATE (stored, then activated)\n"
    "  lss scan                     find drives without a node-ID (LSS fastscan)\n"
    "  scan                         which node-IDs 1..127 answer a read of 1000:00\n"
    "\n"
    "  --channel CH     socketcan:IFACE or slcan:DEVICE[@BAUD]\n"
    "  --bitrate RATE   10k 20k 50k 125k 250k 500k 1M (set on slcan, checked on SocketCAN)\n"
    "  --node N         the drive's node-ID, 1 to 127\n"
    "  --timeout MS     how long an answer is waited for (default 1000)\n"
    "  --ini FILE       settings file whose section \"CAN\" gives the defaults\n"
    "                   (default: $NALVEXA_INI, else $XDG_CONFIG_HOME/Nalvexa.ini\n"
    "                   or ~/.config/Nalvexa.ini); it is never written\n"
    "  --raw            sdo read prints the bytes only\n"
    "  --help, --version  this text, the version\n"
    "\n"
    "INDEX and SUB are hex (1018 or 0x1018); NODE, N, MS and V P R S are decimal or\n"
    "0x-hex. Exit status: 0 done, 1 a drive refused or did not answer, or the\n"
    "channel cannot be used (the reason on stderr), 2 a usage error.\n";

bool ParseNumber(const std::string& text, uint32_t low, uint32_t high, uint32_t& value)
{
    if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') return false;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (*end || v < low || v > high) return false;
    value = static_cast<uint32_t>(v);
    return true;
}

bool ParseHex(const std::string& text, uint32_t high, uint32_t& value)
{
    std::string digits = text;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) digits = digits.substr(2);
    if (digits.empty() || digits.size() > 8) return false;
    for (char c : digits)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    const unsigned long v = std::strtoul(digits.c_str(), nullptr, 16);
    if (v > high) return false;
    value = static_cast<uint32_t>(v);
    return true;
}

int ParseBitRate(const std::string& text)
{
    static const int kKnown[] = {10, 20, 50, 125, 250, 500, 1000};
    for (size_t i = 0; i + 1 < text.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return 0;  // decimal only
    uint32_t n = 0;
    int kbit = 0;
    if (text.size() > 1 && (text.back() == 'k' || text.back() == 'K')) {
        if (ParseNumber(text.substr(0, text.size() - 1), 1, 1000, n)) kbit = static_cast<int>(n);
    } else if (text == "1M" || text == "1m") {
        kbit = 1000;
    } else if (ParseNumber(text, 10000, 1000000, n) && n % 1000 == 0) {
        kbit = static_cast<int>(n / 1000);
    }
    for (int k : kKnown)
        if (k == kbit) return kbit;
    return 0;
}

Options ParseOptions(const std::vector<std::string>& args)
{
    Options o;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size() && o.error.empty(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a.size() < 2 || a.compare(0, 2, "--") != 0) {
            o.command.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        // --name=value or --name value
        std::string name = a.substr(2), value;
        const size_t eq = name.find('=');
        const bool inlineValue = eq != std::string::npos;
        if (inlineValue) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
        }
        auto takeValue = [&]() {
            if (inlineValue) return true;
            if (i + 1 >= args.size()) {
                o.error = "--" + name + " needs a value";
                return false;
            }
            value = args[++i];
            return true;
        };
        uint32_t n = 0;
        if (name == "help" && !inlineValue) {
            o.help = true;
        } else if (name == "version" && !inlineValue) {
            o.version = true;
        } else if (name == "raw" && !inlineValue) {
            o.raw = true;
        } else if (name == "channel") {
            if (!takeValue()) break;
            if (value.rfind("socketcan:", 0) != 0 && value.rfind("slcan:", 0) != 0)
                o.error = "--channel must be socketcan:IFACE or slcan:DEVICE[@BAUD], not \"" + value + "\"";
            else
                o.channel = value;
        } else if (name == "bitrate") {
            if (!takeValue()) break;
            const int kbit = ParseBitRate(value);
            if (kbit == 0) o.error = "--bitrate must be one of 10k 20k 50k 125k 250k 500k 1M, not \"" + value + "\"";
            else o.kbit = kbit;
        } else if (name == "node") {
            if (!takeValue()) break;
            if (!ParseNumber(value, 1, 127, n)) o.error = "--node must be 1 to 127, not \"" + value + "\"";
            else o.node = static_cast<int>(n);
        } else if (name == "timeout") {
            if (!takeValue()) break;
            if (!ParseNumber(value, 1, 600000, n)) o.error = "--timeout must be 1 to 600000 ms, not \"" + value + "\"";
            else o.timeoutMs = static_cast<int>(n);
        } else if (name == "ini") {
            if (!takeValue()) break;
            if (value.empty()) o.error = "--ini needs a file";
            else o.iniFile = value;
        } else if (name == "identity" && !inlineValue) {
            std::vector<uint32_t> parts;
            for (int k = 0; k < 4; ++k) {
                if (i + 1 >= args.size() || !ParseNumber(args[i + 1], 0, 0xFFFFFFFFu, n)) break;
                parts.push_back(n);
                ++i;
            }
            if (parts.size() != 4) o.error = "--identity needs four numbers: vendor-ID, product code, revision, serial";
            else o.identity = parts;
        } else {
            o.error = "unknown option " + a;
        }
    }
    return o;
}

Command ParseCommand(const Options& o, std::string& error)
{
    Command c;
    const std::vector<std::string>& w = o.command;
    auto expect = [&](size_t count, const char* form) {
        if (w.size() == count) return true;
        error = std::string(w.size() < count ? "missing arguments: " : "too many arguments: ") + form;
        return false;
    };
    uint32_t n = 0, sub = 0;
    const std::string verb = w.empty() ? "" : w[0];
    const std::string what = w.size() > 1 ? w[1] : "";
    if (o.identity && !(verb == "lss" && what == "set-node-id")) {
        error = "--identity belongs to lss set-node-id";
        return c;
    }
    if (verb.empty()) {
        error = "no command given";
    } else if (verb == "sdo" && (what == "read" || what == "write")) {
        const bool read = what == "read";
        if (!expect(read ? 4 : 5, read ? "sdo read INDEX SUB" : "sdo write INDEX SUB BYTES")) return c;
        if (!ParseHex(w[2], 0xFFFF, n)) {
            error = "INDEX must be hex 0000 to ffff, not \"" + w[2] + "\"";
        } else if (!ParseHex(w[3], 0xFF, sub)) {
            error = "SUB must be hex 00 to ff, not \"" + w[3] + "\"";
        } else if (!read && (!FromHex(w[4], c.bytes) || c.bytes.empty() || c.bytes.size() > 255)) {
            error = "BYTES must be 1 to 255 bytes in hex (e.g. e8030000), not \"" + w[4] + "\"";
        }
        c.kind = read ? Command::SdoRead : Command::SdoWrite;
        c.index = static_cast<uint16_t>(n);
        c.subIndex = static_cast<uint8_t>(sub);
    } else if (verb == "nmt") {
        static const struct {
            const char* name;
            uint8_t command;
        } kNmt[] = {{"start", 0x01}, {"stop", 0x02}, {"preop", 0x80}, {"reset", 0x81}, {"reset-comm", 0x82}};
        c.kind = Command::Nmt;
        for (const auto& k : kNmt)
            if (what == k.name) c.nmtCommand = k.command;
        if (c.nmtCommand == 0) {
            error = "nmt needs start, stop, preop, reset or reset-comm";
        } else if (w.size() > 3) {
            error = "too many arguments: nmt " + what + " [NODE|all]";
        } else if (w.size() == 3) {
            if (w[2] == "all") c.nmtNode = 0;
            else if (ParseNumber(w[2], 1, 127, n)) c.nmtNode = static_cast<int>(n);
            else error = "NODE must be 1 to 127 or all, not \"" + w[2] + "\"";
        }
    } else if (verb == "lss" && what == "inquire") {
        c.kind = Command::LssInquire;
        expect(2, "lss inquire");
    } else if (verb == "lss" && what == "set-node-id") {
        c.kind = Command::LssSetNodeId;
        if (!expect(3, "lss set-node-id NEW [--identity V P R S]")) return c;
        if (!ParseNumber(w[2], 1, 127, n)) error = "NEW must be 1 to 127, not \"" + w[2] + "\"";
        c.newNodeId = static_cast<int>(n);
    } else if (verb == "lss" && what == "set-bitrate") {
        c.kind = Command::LssSetBitRate;
        if (!expect(3, "lss set-bitrate RATE")) return c;
        c.kbit = ParseBitRate(w[2]);
        if (c.kbit == 0) error = "RATE must be one of 10k 20k 50k 125k 250k 500k 1M, not \"" + w[2] + "\"";
    } else if (verb == "lss" && what == "scan") {
        c.kind = Command::LssScan;
        expect(2, "lss scan");
    } else if (verb == "scan") {
        c.kind = Command::Scan;
        expect(1, "scan");
    } else {
        error = "unknown command \"" + verb + (what.empty() ? "" : " " + what) + "\"";
    }
    return c;
}

}  // namespace nalvexa::cantool
