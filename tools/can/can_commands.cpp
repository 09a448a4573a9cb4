// SPDX-License-Identifier: MIT
#include "can_commands.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <memory>

#include "../common/hex.h"
#include "can/sdo_abort_codes.h"

namespace nalvexa::cantool {

namespace {

// The tool reads the answer from the request; nothing goes to a client.
class NoClient : public IRequestReply {
public:
    void SendReply() override {}
    void SendBlock(const uint8_t*, uint32_t) override {}
};

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

}  // namespace

Commissioning::Commissioning(CAdapterCAN& can, const Options& options, ToolNotifier& notifier)
    : can_(can), options_(options), notifier_(notifier)
{
}

int Commissioning::Run(const Command& c)
{
    switch (c.kind) {
    case Command::SdoRead: return SdoRead(c);
    case Command::SdoWrite: return SdoWrite(c);
    case Command::Nmt: return Nmt(c);
    case Command::LssInquire: return LssInquire();
    case Command::LssSetNodeId: return LssSetNodeId(c);
    case Command::LssSetBitRate: return LssSetBitRate(c);
    case Command::LssScan: return LssScan();
    case Command::Scan: return Scan();
    }
    return 2;
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

std::unique_ptr<DriverRequest> Commissioning::Transfer(RequestKind kind, const Command& c)
{
    static NoClient nobody;
    auto r = std::make_unique<DriverRequest>();
    r->kind = kind;
    r->slIndex1 = c.index;
    r->slIndex2 = r->slIndex3 = c.subIndex;
    if (kind == Write) {
        r->length = static_cast<uint32_t>(c.bytes.size());
        std::copy(c.bytes.begin(), c.bytes.end(), r->data.begin());
    }
    r->replySink = &nobody;
    can_.Execute(r.get());
    return r;
}

int Commissioning::SdoRead(const Command& c)
{
    const auto r = Transfer(Read, c);
    if (const int failed = SdoOutcome(*r, c)) return failed;
    const uint32_t n = can_.lastReadLength();
    if (options_.raw || n > 8) {
        std::printf("%s\n", ToHex(r->data.data(), n).c_str());
    } else {
        // CANopen numbers travel low byte first.
        uint64_t value = 0;
        for (uint32_t i = n; i-- > 0;) value = value << 8 | r->data[i];
        std::printf("0x%0*" PRIx64 "\n", static_cast<int>(2 * n), value);
    }
    return 0;
}

int Commissioning::SdoWrite(const Command& c) { return SdoOutcome(*Transfer(Write, c), c); }

int Commissioning::Nmt(const Command& c)
{
    if (c.nmtNode) can_.NodeIdentifier = static_cast<uint8_t>(*c.nmtNode);
    switch (c.nmtCommand) {
    case 0x01: can_.StartRemoteNode(); break;
    case 0x02: can_.StopRemoteNode(); break;
    case 0x80: can_.EnterPreOperationalState(); break;
    case 0x81: can_.ResetNode(); break;
    case 0x82: can_.ResetCommunications(); break;
    }
    // NMT has no answer: sent is all that can be known.
    return notifier_.HasMessages() ? Fail("the NMT command could not be sent") : 0;
}

int Commissioning::LssOutcome(const char* what)
{
    if (can_.LssError().empty() && !notifier_.HasMessages()) return 0;
    std::string reason = std::string(what) + ": " + (can_.LssError().empty() ? "failed" : can_.LssError());
    if (can_.LssError().find("no answer") != std::string::npos)
        reason += " within " + std::to_string(options_.timeoutMs) + " ms";
    return Fail(reason);
}

int Commissioning::LssInquire()
{
    int nodeId = -1;
    const CCANDriver::LssIdentity id = can_.InquireIdentity(&nodeId);
    if (const int failed = LssOutcome("lss inquire")) return failed;
    std::printf("vendor %s\nproduct %s\nrevision %s\nserial %s\n", Hex32(id.vendorId).c_str(),
                Hex32(id.productCode).c_str(), Hex32(id.revisionNumber).c_str(), Hex32(id.serialNumber).c_str());
    if (nodeId >= 1 && nodeId <= 127)
        std::printf("node-id %d\n", nodeId);
    else
        std::printf("node-id none\n");
    return 0;
}

int Commissioning::LssSetNodeId(const Command& c)
{
    const auto nodeId = static_cast<uint8_t>(c.newNodeId);
    if (options_.identity) {
        const std::vector<uint32_t>& v = *options_.identity;
        can_.SetNodeId(nodeId, CCANDriver::LssIdentity{v[0], v[1], v[2], v[3]}, options_.timeoutMs);
    } else {
        can_.SetNodeId(nodeId, nullptr);
    }
    if (const int failed = LssOutcome("lss set-node-id")) return failed;
    std::printf("node-ID %d configured and stored\n", c.newNodeId);
    return 0;
}

int Commissioning::LssSetBitRate(const Command& c)
{
    can_.ChangeBitRate(c.kbit);
    if (const int failed = LssOutcome("lss set-bitrate")) return failed;
    if (!can_.driverOpen)
        return Fail("the channel could not be opened again at " + std::to_string(c.kbit) + " kbit/s");
    std::printf("bit rate %d kbit/s stored and activated\n", c.kbit);
    if (can_.Channel.rfind("socketcan:", 0) == 0) {
        const std::string iface = can_.Channel.substr(10);
        std::fprintf(stderr,
                     "nalvexa-can: the drives now use %d kbit/s; set %s to it: ip link set %s down; "
                     "ip link set %s type can bitrate %d; ip link set %s up\n",
                     c.kbit, iface.c_str(), iface.c_str(), iface.c_str(), c.kbit * 1000, iface.c_str());
    }
    return 0;
}

int Commissioning::LssScan()
{
    const int stepMs = std::min(options_.timeoutMs, kFastscanStepMs);
    int found = 0;
    CCANDriver::FastscanResult result = CCANDriver::FastscanResult::None;
    // A drive found stays in the configuration state and takes no further part.
    for (; found < 127; ++found) {
        CCANDriver::LssIdentity id;
        result = can_.Fastscan(id, stepMs);
        if (result != CCANDriver::FastscanResult::Found) break;
        std::printf("vendor %s product %s revision %s serial %s\n", Hex32(id.vendorId).c_str(),
                    Hex32(id.productCode).c_str(), Hex32(id.revisionNumber).c_str(), Hex32(id.serialNumber).c_str());
        std::fflush(stdout);
    }
    can_.SwitchModeGlobaOperation();  // every drive found back to waiting
    if (result == CCANDriver::FastscanResult::Failed)
        return Fail("lss scan: a drive answered, but its identity could not be confirmed (another drive or noise?)");
    if (found == 0) return Fail("lss scan: no drive without a node-ID answered");
    return 0;
}

int Commissioning::Scan()
{
    const std::vector<CCANDriver::Node> nodes = can_.ScanNodes(options_.timeoutMs);
    for (const CCANDriver::Node& n : nodes) {
        if (n.known)
            std::printf("%d %s\n", n.id, Hex32(n.deviceType).c_str());
        else if (n.aborted)
            std::printf("%d abort %s (%s)\n", n.id, Hex32(n.deviceType).c_str(), SdoAbortText(n.deviceType));
        else
            std::printf("%d segmented\n", n.id);
    }
    if (nodes.empty()) return Fail("scan: no node answered within " + std::to_string(options_.timeoutMs) + " ms");
    return notifier_.HasMessages() ? Fail("scan: the bus could not be used throughout") : 0;
}

}  // namespace nalvexa::cantool
