// SPDX-License-Identifier: MIT
// Layer setting services (CiA 305) as the master: mode switches, a new
// node-ID, a new bit rate for the whole bus, and the identity inquiries.
#include "can/can_driver.h"

namespace nalvexa {

namespace {

constexpr uint32_t kLssMasterId = 0x7E5;
constexpr uint32_t kLssSlaveId = 0x7E4;
constexpr int kStepPauseMs = 100;
constexpr int kInquiryPauseMs = 200;

struct BitRate {
    int kbit;
    uint8_t tableIndex;
    uint16_t btr;
};
constexpr BitRate kBitRates[] = {
    {10, 8, can::kBtr10k},   {20, 7, can::kBtr20k},   {50, 6, can::kBtr50k}, {125, 4, can::kBtr125k},
    {250, 3, can::kBtr250k}, {500, 2, can::kBtr500k}, {1000, 0, can::kBtr1M},
};

CanMessage LssFrame(std::initializer_list<uint8_t> bytes)
{
    CanMessage f;
    f.id = kLssMasterId;
    f.length = 8;
    int i = 0;
    for (uint8_t b : bytes) f.data[i++] = b;
    return f;
}

// A slave's answer to the service `command`: on the slaves' identifier, eight
// bytes, the same command specifier.
AnswerMatch LssAnswerTo(uint8_t command)
{
    return [command](const CanMessage& f) {
        return f.id == kLssSlaveId && f.type == 0 && f.length == 8 && f.data[0] == command;
    };
}

}  // namespace

void CCANDriver::Lss(std::initializer_list<uint8_t> bytes, bool flush, const char* failure)
{
    if (flush) FlushReceiveQueue();
    if (Send(LssFrame(bytes)) != can::kOk && failure) notifier_.message(failure, Caption::Info);
}

void CCANDriver::SwitchModeGlobalConfiguration() { Lss({0x04, 0x01}, false, "Error executing SwitchModeGlobalConfiguration"); }
void CCANDriver::SwitchModeGlobaOperation() { Lss({0x04, 0x00}, false, "Error executing SwitchModeGlobaOperation"); }

void CCANDriver::SwitchModeSelective(uint32_t serial)
{
    Lss({0x43, static_cast<uint8_t>(serial), static_cast<uint8_t>(serial >> 8), static_cast<uint8_t>(serial >> 16),
         static_cast<uint8_t>(serial >> 24)},
        false, "Error executing SwitchModeSelective");
}

void CCANDriver::ConfigureNodeId(uint8_t nodeId)
{
    // Flushed, so that a slave's confirmation of the selective switch is not taken for this answer.
    Lss({0x11, nodeId}, true, "Error executing ConfigureNodeId");
    CanMessage answer;
    if (ReadCanMessage(nullptr, answer, LssAnswerTo(0x11)) && answer.data[1] != 0)
        notifier_.message("Error received after ConfigureNodeId CAN_Write", Caption::Info);
}

void CCANDriver::ConfigureBitTimingParameters(uint8_t tableIndex)
{
    Lss({0x13, 0x00, tableIndex}, true, "Error executing ConfigureBitTimingParameters CAN_Write");
}

uint32_t CCANDriver::StoreConfiguration()
{
    FlushReceiveQueue();
    return Send(LssFrame({0x17}));  // not reported
}

void CCANDriver::ActivateBitTimingParameters()
{
    // The switch delay is always 100 ms.
    Lss({0x15, 0x64, 0x00}, true, "Error executing ActivateBitTimingParameters CAN_Write");
}

uint32_t CCANDriver::Inquire(uint8_t command, const char* failure)
{
    Lss({command}, true, failure);
    CanMessage answer;
    if (!ReadCanMessage(nullptr, answer, LssAnswerTo(command))) return 0;
    return can::LittleEndian32(answer.data + 1);
}

uint32_t CCANDriver::InquireIdentityVendorID() { return Inquire(0x5A, "Error executing InquireIdentityVendorID CAN_Write"); }
uint32_t CCANDriver::InquireIdentityProductCode()
{
    return Inquire(0x5B, "Error executing InquireIdentityProductCode CAN_Write");
}
uint32_t CCANDriver::InquireIdentityRevisionNumber()
{
    return Inquire(0x5C, "Error executing InquireIdentityRevisionNumber CAN_Write");
}
uint32_t CCANDriver::InquireIdentitySerialNumber()
{
    return Inquire(0x5D, "Error executing InquireIdentitySerialNumber CAN_Write");
}

bool CCANDriver::ChangeBitRate(int kbitPerSecond)
{
    const BitRate* rate = nullptr;
    for (const BitRate& r : kBitRates)
        if (r.kbit == kbitPerSecond) rate = &r;
    if (!rate) return false;
    SwitchModeGlobalConfiguration();
    sleeper_.sleepMs(kStepPauseMs);
    ConfigureBitTimingParameters(rate->tableIndex);
    sleeper_.sleepMs(kStepPauseMs);
    StoreConfiguration();
    sleeper_.sleepMs(kStepPauseMs);
    ActivateBitTimingParameters();
    sleeper_.sleepMs(kStepPauseMs);
    DeinitDriver();
    CANBaudRate = rate->btr;
    sleeper_.sleepMs(kStepPauseMs);
    InitDriver();
    return true;
}

void CCANDriver::SetNodeId(uint8_t nodeId, const uint32_t* serialNumber)
{
    if (serialNumber)
        SwitchModeSelective(*serialNumber);
    else
        SwitchModeGlobalConfiguration();
    sleeper_.sleepMs(kStepPauseMs);
    ConfigureNodeId(nodeId);
    sleeper_.sleepMs(kStepPauseMs);
    StoreConfiguration();
    sleeper_.sleepMs(kStepPauseMs);
    SwitchModeGlobaOperation();
}

CCANDriver::LssIdentity CCANDriver::InquireIdentity()
{
    LssIdentity id;
    SwitchModeGlobalConfiguration();
    id.vendorId = InquireIdentityVendorID();
    sleeper_.sleepMs(kInquiryPauseMs);
    id.productCode = InquireIdentityProductCode();
    sleeper_.sleepMs(kInquiryPauseMs);
    id.revisionNumber = InquireIdentityRevisionNumber();
    sleeper_.sleepMs(kInquiryPauseMs);
    id.serialNumber = InquireIdentitySerialNumber();
    sleeper_.sleepMs(kInquiryPauseMs);
    SwitchModeGlobaOperation();
    return id;
}

}  // namespace nalvexa
