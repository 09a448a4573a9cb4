// SPDX-License-Identifier: MIT
#include "can_commands.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <memory>

#include "../common/hex.h"
#include "can/can_procedure.h"
#include "can/sdo_abort_codes.h"

namespace nalvexa::cantool {

namespace {

std::string Object(const Command& c)
{
    char text[16];
    std::snprintf(text, sizeof text, "%04x:%02x", c.index, c.subIndex);
    return text;
}

std::string Hex32(uint32_t v)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08" PRIx32, v);
    return text;
}

// Each step of a fastscan waits this long for "no" (at most --timeout).
constexpr int kFastscanStepMs = 50;

// What follows the jobs given before it, once it is its turn on the bus.
std::unique_ptr<CanJob> Then(CCANDriver& bus, std::function<void()> action)
{
    auto p = std::make_unique<CanProcedure>(bus);
    p->Do(std::move(action));
    return p;
}

}  // namespace

Commissioning::Commissioning(CAdapterCAN& can, const Options& options, ToolNotifier& notifier)
    : can_(can), options_(options), notifier_(notifier)
{
}

void Commissioning::Run(const Command& c, Finished finished)
{
    finished_ = std::move(finished);
    command_ = c;
    switch (c.kind) {
    case Command::SdoRead: return Transfer(Read, c);
    case Command::SdoWrite: return Transfer(Write, c);
    case Command::Nmt: return Nmt(c);
    case Command::LssInquire: return LssInquire();
    case Command::LssSetNodeId: return LssSetNodeId(c);
    case Command::LssSetBitRate: return LssSetBitRate(c);
    case Command::LssScan: return LssScan();
    case Command::Scan: return Scan();
    }
    finished_(2);
}

int Commissioning::Fail(const std::string& reason)
{
    // A time-out is said better by the reason itself.
    for (const std::string& m : notifier_.Take(CCANDriver::DriverErrorText(can::kQueueEmpty)))
        std::fprintf(stderr, "nalvexa-can: %s\n", m.c_str());
    std::fprintf(stderr, "nalvexa-can: %s\n", reason.c_str());
    return 1;
}

int Commissioning::SdoOutcome(const DriverRequest& r, const Command& c)
{
    if (r.status == 0 && !notifier_.HasMessages()) return 0;
    const std::string where = "node " + std::to_string(can_.NodeIdentifier) + ", object " + Object(c) + ": ";
    if (const uint32_t code = can_.lastAbortCode())
        return Fail(where + "the drive aborted the transfer with " + Hex32(code) + " (" + SdoAbortText(code) + ")");
    if (r.status == 40) return Fail(where + "no answer within " + std::to_string(options_.timeoutMs) + " ms");
    if (r.status == 41) return Fail(where + "the drive announced a segmented upload of 0 bytes");
    if (const char* text = CCANDriver::StatusText(r.status)) return Fail(where + text);
    return Fail(where + "failed with status " + std::to_string(r.status));
}

void Commissioning::Transfer(RequestKind kind, const Command& c)
{
    request_.kind = kind;
    request_.slIndex1 = c.index;
    request_.slIndex2 = request_.slIndex3 = c.subIndex;
    if (kind == Write) {
        request_.length = static_cast<uint32_t>(c.bytes.size());
        std::copy(c.bytes.begin(), c.bytes.end(), request_.data.begin());
    }
    request_.replySink = this;
    can_.Execute(&request_);
}

// The tool reads the answer from the request; nothing goes to a client.
void Commissioning::SendReply()
{
    if (const int failed = SdoOutcome(request_, command_)) return finished_(failed);
    if (request_.kind == Read) {
        const uint32_t n = can_.lastReadLength();
        if (options_.raw || n > 8) {
            std::printf("%s\n", ToHex(request_.data.data(), n).c_str());
        } else {
            // CANopen numbers travel low byte first.
            uint64_t value = 0;
            for (uint32_t i = n; i-- > 0;) value = value << 8 | request_.data[i];
            std::printf("0x%0*" PRIx64 "\n", static_cast<int>(2 * n), value);
        }
    }
    finished_(0);
}

void Commissioning::Nmt(const Command& c)
{
    if (c.nmtNode) can_.NodeIdentifier = static_cast<uint8_t>(*c.nmtNode);
    switch (c.nmtCommand) {
    case 0x01: can_.StartRemoteNode(); break;
    case 0x02: can_.StopRemoteNode(); break;
    case 0x80: can_.EnterPreOperationalState(); break;
    case 0x81: can_.ResetNode(); break;
    case 0x82: can_.ResetCommunications(); break;
    }
    // NMT has no answer: sent is all that can be known, once it is its turn.
    can_.Submit(Then(can_, [this] { finished_(notifier_.HasMessages() ? Fail("the NMT command could not be sent") : 0); }));
}

int Commissioning::LssOutcome(const char* what)
{
    if (can_.LssError().empty() && !notifier_.HasMessages()) return 0;
    std::string reason = std::string(what) + ": " + (can_.LssError().empty() ? "failed" : can_.LssError());
    if (can_.LssError().find("no answer") != std::string::npos)
        reason += " within " + std::to_string(options_.timeoutMs) + " ms";
    return Fail(reason);
}

void Commissioning::LssInquire()
{
    can_.InquireIdentity(true, [this](const LssIdentity& id, int nodeId) {
        if (const int failed = LssOutcome("lss inquire")) return finished_(failed);
        std::printf("vendor %s\nproduct %s\nrevision %s\nserial %s\n", Hex32(id.vendorId).c_str(),
                    Hex32(id.productCode).c_str(), Hex32(id.revisionNumber).c_str(), Hex32(id.serialNumber).c_str());
        if (nodeId >= 1 && nodeId <= 127)
            std::printf("node-id %d\n", nodeId);
        else
            std::printf("node-id none\n");
        finished_(0);
    });
}

void Commissioning::LssSetNodeId(const Command& c)
{
    const auto nodeId = static_cast<uint8_t>(c.newNodeId);
    auto done = [this, nodeId](bool) {
        if (const int failed = LssOutcome("lss set-node-id")) return finished_(failed);
        std::printf("node-ID %d configured and stored\n", nodeId);
        finished_(0);
    };
    if (options_.identity) {
        const std::vector<uint32_t>& v = *options_.identity;
        can_.SetNodeId(nodeId, LssIdentity{v[0], v[1], v[2], v[3]}, options_.timeoutMs, done);
    } else {
        can_.SetNodeId(nodeId, nullptr, done);
    }
}

void Commissioning::LssSetBitRate(const Command& c)
{
    const int kbit = c.kbit;
    can_.ChangeBitRate(kbit, [this, kbit](bool) {
        if (const int failed = LssOutcome("lss set-bitrate")) return finished_(failed);
        if (!can_.driverOpen)
            return finished_(Fail("the channel could not be opened again at " + std::to_string(kbit) + " kbit/s"));
        std::printf("bit rate %d kbit/s stored and activated\n", kbit);
        if (can_.Channel.rfind("socketcan:", 0) == 0) {
            const std::string iface = can_.Channel.substr(10);
            std::fprintf(stderr,
                         "nalvexa-can: the drives now use %d kbit/s; set %s to it: ip link set %s down; "
                         "ip link set %s type can bitrate %d; ip link set %s up\n",
                         kbit, iface.c_str(), iface.c_str(), iface.c_str(), kbit * 1000, iface.c_str());
        }
        finished_(0);
    });
}

// A drive found stays in the configuration state and takes no further part.
void Commissioning::LssScan()
{
    found_ = 0;
    NextFastscan();
}

void Commissioning::NextFastscan()
{
    const int stepMs = std::min(options_.timeoutMs, kFastscanStepMs);
    can_.Fastscan(stepMs, [this](CCANDriver::FastscanResult result, const LssIdentity& id) {
        if (result == CCANDriver::FastscanResult::Found) {
            std::printf("vendor %s product %s revision %s serial %s\n", Hex32(id.vendorId).c_str(),
                        Hex32(id.productCode).c_str(), Hex32(id.revisionNumber).c_str(),
                        Hex32(id.serialNumber).c_str());
            std::fflush(stdout);
            if (++found_ < 127) return NextFastscan();
        }
        can_.SwitchModeGlobalOperation();  // every drive found back to waiting
        can_.Submit(Then(can_, [this, result] {
            if (result == CCANDriver::FastscanResult::Failed)
                return finished_(Fail(
                    "lss scan: a drive answered, but its identity could not be confirmed (another drive or noise?)"));
            if (found_ == 0) return finished_(Fail("lss scan: no drive without a node-ID answered"));
            finished_(0);
        }));
    });
}

void Commissioning::Scan()
{
    can_.ScanNodes(options_.timeoutMs, [this](const std::vector<CCANDriver::Node>& nodes) {
        for (const CCANDriver::Node& n : nodes) {
            if (n.known)
                std::printf("%d %s\n", n.id, Hex32(n.deviceType).c_str());
            else if (n.aborted)
                std::printf("%d abort %s (%s)\n", n.id, Hex32(n.deviceType).c_str(), SdoAbortText(n.deviceType));
            else
                std::printf("%d segmented\n", n.id);
        }
        if (nodes.empty())
            return finished_(Fail("scan: no node answered within " + std::to_string(options_.timeoutMs) + " ms"));
        finished_(notifier_.HasMessages() ? Fail("scan: the bus could not be used throughout") : 0);
    });
}

}  // namespace nalvexa::cantool
