// SPDX-License-Identifier: MIT
#include "can_dialogs.h"

#include <algorithm>
#include <climits>
#include <cstdio>

#include "field_rules.h"
#include "settings/decimal.h"

namespace nalvexa {

namespace {

const int kInterrupts[] = {3, 4, 5, 7, 9, 10, 11, 12, 15};
const uint16_t kRates[] = {can::kBtr10k, can::kBtr20k, can::kBtr50k, can::kBtr125k,
                           can::kBtr250k, can::kBtr500k, can::kBtr1M};

struct Preset {
    const char* interrupt;
    const char* address;
};
const Preset kPresets[] = {{"7", "0378"}, {"5", "0278"}, {"5", "03BC"}};

int IndexOf(const std::vector<std::string>& names, const std::string& name)
{
    auto it = std::find(names.begin(), names.end(), name);
    return it == names.end() ? -1 : static_cast<int>(it - names.begin());
}

std::string Echo(const std::string& text, int64_t low, int64_t high)
{
    int64_t v = 0;
    if (!ParseWholeNumber(text, v) || v < low || v > high) return {};
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%x", static_cast<uint32_t>(v));
    return hex;
}

}  // namespace

const std::vector<std::string> CanHardwareLogic::kPortNames = {"LPT1", "LPT2", "LPT3", "Custom"};
const std::vector<std::string> CanHardwareLogic::kInterruptNames = {"3", "4", "5", "7", "9", "10", "11", "12", "15"};
const std::vector<std::string> CanHardwareLogic::kAddressNames = {"0100", "0120", "0140", "0200", "0220",
                                                                  "0278", "02E8", "02F8", "0300", "0320",
                                                                  "0340", "0378", "03BC", "03E8", "03F8"};
const std::vector<std::string> CanHardwareLogic::kRateNames = {"10", "20", "50", "125", "250", "500", "1000"};

CanHardwareLogic::CanHardwareLogic(IEngine& engine, IDialogHost& host, const CanState& can,
                                   std::vector<std::string> systemChannels)
    : engine_(engine), host_(host), can_(can), channels_(std::move(systemChannels))
{
    const CanHardware& hw = can.hardware;
    if (IndexOf(channels_, hw.channel) < 0) channels_.insert(channels_.begin(), hw.channel);
    channelText = hw.channel;
    for (int i = 0; i < 9; ++i)
        if (kInterrupts[i] == hw.interrupt) interrupt = i;
    for (int i = 0; i < 7; ++i)
        if (kRates[i] == hw.bitTiming) rate = i;
    addressText = PortAddressText(hw.portAddress);
    // The port name follows from the interrupt and the address text, compared exactly.
    const std::string irq = interrupt >= 0 ? kInterruptNames[static_cast<size_t>(interrupt)] : "";
    portName = kCustom;
    for (int p = kLpt1; p <= kLpt3; ++p)
        if (irq == kPresets[p].interrupt && addressText == kPresets[p].address) portName = p;
}

void CanHardwareLogic::SelectPortName(int index)
{
    portName = index;
    if (index < kLpt1 || index > kLpt3) return;
    interrupt = IndexOf(kInterruptNames, kPresets[index].interrupt);
    addressText = kPresets[index].address;
}

bool CanHardwareLogic::BusOn()
{
    uint32_t address = 0;
    if (!ParsePortAddress(addressText, address)) {
        // Said, and the address in use shown again: nothing is opened with a guess.
        host_.Say("Please enter a port address of one to four hexadecimal digits (0000 to FFFF).");
        addressText = PortAddressText(can_.hardware.portAddress);
        return false;
    }
    CanHardware hw;
    hw.interrupt = static_cast<uint16_t>(interrupt >= 0 && interrupt < 9 ? kInterrupts[interrupt] : 3);
    hw.bitTiming = rate >= 0 && rate < 7 ? kRates[rate] : can::kBtr10k;
    hw.portAddress = address;
    hw.channel = Trimmed(channelText);
    engine_.CanBusOn(hw);
    return true;
}

void CanHardwareLogic::BusOff() { engine_.CanBusOff(); }

CanNodeIdLogic::CanNodeIdLogic(IEngine& engine, IDialogHost& host, const CanState& can)
    : nodeIdText(std::to_string(can.nodeId)), transmitText(std::to_string(can.transmitCobId)),
      receiveText(std::to_string(can.receiveCobId)), engine_(engine), host_(host), nodeId_(can.nodeId),
      transmit_(can.transmitCobId), receive_(can.receiveCobId)
{
}

void CanNodeIdLogic::NodeIdEdited(const std::string& text)
{
    nodeIdText = text;
    int32_t node = 0;
    if (ParseSigned(text, node) && node >= 0 && node <= 255) nodeId_ = node;
    transmit_ = 0x600 + nodeId_;
    receive_ = 0x580 + nodeId_;
    transmitText = std::to_string(transmit_);
    receiveText = std::to_string(receive_);
}

void CanNodeIdLogic::CobIdEdited()
{
    ParseSigned(transmitText, transmit_);
    ParseSigned(receiveText, receive_);
}

std::string CanNodeIdLogic::nodeIdEcho() const { return Echo(nodeIdText, 0, 255); }
std::string CanNodeIdLogic::transmitEcho() const { return Echo(transmitText, INT32_MIN, INT32_MAX); }
std::string CanNodeIdLogic::receiveEcho() const { return Echo(receiveText, INT32_MIN, INT32_MAX); }

bool CanNodeIdLogic::Ok()
{
    int32_t node = 0, transmit = 0, receive = 0;
    Refusal r;
    if ((r = ReadNodeId(nodeIdText, node))) refused_ = kNodeId;
    else if ((r = ReadSigned(transmitText, transmit))) refused_ = kTransmit;
    else if ((r = ReadSigned(receiveText, receive))) refused_ = kReceive;
    if (r) {
        host_.Say(*r);
        return false;
    }
    refused_ = kNone;
    engine_.SetCanIdentifiers(node, transmit, receive);
    return true;
}

}  // namespace nalvexa
