// SPDX-License-Identifier: MIT
#include "can_service_logic.h"

#include <cstdio>

#include "field_rules.h"

namespace nalvexa {

const char* const kNmtWarning =
    "Warning:\n\nChanging the node state in a running CAN network\nmay cause damage to the drive or machine!";
const char* const kBitRateWarning =
    "Warning:\n\nCAN baudrate change selected!\n\nThis operation will affect all nodes in the network\n\nMake sure "
    "that all devices in the CAN network are\ndisabled and in stopped state.\n\nChanging the baud rate in a running "
    "CAN network may\n cause damage to the drive or machine!";
const char* const kInquireWarning =
    "Warning:\n\nInquire LSS address selected!\n\nMake sure that only one drive is in the CAN network\nand that it is "
    "disabled and in stopped state.\n\nInquiring the LSS address in a running CAN network\nmay cause damage to the "
    "drive or machine!";
const char* const kSetNodeIdSerialWarning =
    "Warning:\n\n Make sure that the drive is disabled\nand in pre-operational state!\n\nChanging the Node Identifier "
    "in a running CAN\n network may cause damage to the drive or machine!";
const char* const kSetNodeIdGlobalWarning =
    "Warning:\n\nGlobal Node Identifier Assignment selected\n(no serial number entered)!\n\nMake sure that only one "
    "drive is in the CAN network\nand that it is disabled and in pre-operational state.\n\nChanging the Node "
    "Identifier in a running CAN network may cause damage to the drive or machine!";

namespace {

const int kRates[] = {10, 20, 50, 125, 250, 500, 1000};

int RateIndex(uint16_t btr)
{
    for (int i = 0; i < 7; ++i)
        if (can::KbitPerSecond(btr) == kRates[i]) return i;
    return -1;
}

}  // namespace

void CanNmtLogic::Press(NmtCommand command)
{
    if (warn_) {
        if (!host_.Confirm(kNmtWarning)) return;
        warn_ = false;
    }
    engine_.Nmt(command);
}

Outcome CanSetNodeIdLogic::Ok()
{
    int32_t node = 0;
    if (Refusal r = ReadNodeId(nodeIdText, node)) {
        refused_ = kNodeId;
        host_.Say(*r);
        return Outcome::Stay;
    }
    // A serial number that is none would address no drive (or another one)
    // and cost the whole answer wait: it is refused before anything is sent.
    uint32_t serial = 0;
    const bool withSerial = !Trimmed(serialText).empty();
    if (withSerial) {
        if (Refusal r = ReadSerialNumber(serialText, serial)) {
            refused_ = kSerial;
            host_.Say(*r);
            return Outcome::Stay;
        }
    }
    refused_ = kNone;
    if (!host_.Confirm(withSerial ? kSetNodeIdSerialWarning : kSetNodeIdGlobalWarning)) return Outcome::Reject;
    engine_.SetNodeId(static_cast<uint8_t>(node), withSerial ? std::optional<uint32_t>(serial) : std::nullopt);
    return Outcome::Accept;
}

const std::vector<std::string> CanSetBitRateLogic::kRateNames = {"10", "20", "50", "125", "250", "500", "1000"};

CanSetBitRateLogic::CanSetBitRateLogic(IEngine& engine, const CanState& can)
    : rate(RateIndex(can.hardware.bitTiming)), engine_(engine)
{
}

bool CanSetBitRateLogic::Ok()
{
    // Without a rate the drives and the program could end up at different rates.
    if (rate < 0 || rate >= 7) return false;
    engine_.ChangeBitRate(kRates[rate]);
    return true;
}

void CanInquireLogic::Inquired(const LssIdentity& id)
{
    vendorText = std::to_string(id.vendorId);
    productText = std::to_string(id.productCode);
    revisionText = std::to_string(id.revisionNumber);
    serialText = std::to_string(id.serialNumber);
    inquired_ = true;
}

CanMessageTestLogic::CanMessageTestLogic(IEngine& engine, IDialogHost& host) : engine_(engine), host_(host)
{
    engine_.HearEverything(true);
}

CanMessageTestLogic::~CanMessageTestLogic() { engine_.HearEverything(false); }

bool CanMessageTestLogic::Write()
{
    // Nothing goes out unless every field was accepted: a frame made of old or
    // default values (identifier 0 is an NMT command to every drive) is unsafe.
    int32_t id = 0, length = 0, data[8] = {};
    Refusal r = ReadRange(idText, 0, kMaxStandardId, id);
    refused_ = kId;
    if (!r) {
        r = ReadRange(lengthText, 0, 255, length);
        refused_ = kLength;
    }
    for (int i = 0; i < 8 && !r; ++i) {
        r = ReadRange(dataText[static_cast<size_t>(i)], 0, 255, data[i]);
        refused_ = kData0 + i;
    }
    if (r) {
        host_.Say(*r);
        return false;
    }
    refused_ = -1;
    CanMessage frame;
    frame.id = static_cast<uint32_t>(id);
    frame.type = 0;
    frame.length = static_cast<uint8_t>(length);  // as entered: the library refuses more than 8
    for (int i = 0; i < 8; ++i) frame.data[i] = static_cast<uint8_t>(data[i]);
    engine_.WriteTestFrame(frame);
    return true;
}

void CanMessageTestLogic::FrameRead(uint32_t result, const CanMessage& frame)
{
    if (result == can::kOk) {
        char id[32];
        std::snprintf(id, sizeof id, "ID = %06X", static_cast<unsigned>(frame.id));
        std::string data = "Data = ";
        for (uint8_t b : frame.data) {
            char byte[8];
            std::snprintf(byte, sizeof byte, "%02X ", b);
            data += byte;
        }
        lines_.insert(lines_.end(), {"Message Received OK", id, data});
    } else if (result == can::kQueueEmpty) {
        lines_.push_back("Receive Queue Empty");
    } else {
        lines_.push_back("Read Error");
    }
}

}  // namespace nalvexa
