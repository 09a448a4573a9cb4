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

CanMessage LssFrame(std::initializer_list<uint8_t> bytes)
{
    CanMessage f;
    f.id = kLssMasterId;
    f.length = 8;
    int i = 0;
    for (uint8_t b : bytes) f.data[i++] = b;
    return f;
}

constexpr uint8_t kFastscan = 0x51;
constexpr uint8_t kIdentified = 0x4F;
constexpr uint8_t kFastscanReset = 0x80;

CanMessage FastscanFrame(uint32_t idNumber, uint8_t bitChecked, uint8_t sub, uint8_t next)
{
    return LssFrame({kFastscan, static_cast<uint8_t>(idNumber), static_cast<uint8_t>(idNumber >> 8),
                     static_cast<uint8_t>(idNumber >> 16), static_cast<uint8_t>(idNumber >> 24), bitChecked, sub,
                     next});
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
    if (!ReadCanMessage(nullptr, answer, LssAnswerTo(0x11))) {
        Failed("configure node-ID: no answer");
    } else if (answer.data[1] != 0) {
        Failed("configure node-ID: refused with error " + std::to_string(answer.data[1]));
        notifier_.message("Error received after ConfigureNodeId CAN_Write", Caption::Info);
    }
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
    if (!ReadCanMessage(nullptr, answer, LssAnswerTo(command))) {
        Failed("identity inquiry: no answer");
        return 0;
    }
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

void CCANDriver::Failed(const std::string& why)
{
    if (lssError_.empty()) lssError_ = why;
}

void CCANDriver::Confirm(uint8_t command, const char* step)
{
    CanMessage answer;
    if (!Await(answer, LssAnswerTo(command), lssConfirmMs_))
        Failed(std::string(step) + ": no answer");
    else if (answer.data[1] != 0)
        Failed(std::string(step) + ": refused with error " + std::to_string(answer.data[1]));
}

bool CCANDriver::ChangeBitRate(int kbitPerSecond)
{
    const can::BitRate* rate = can::FindBitRate(kbitPerSecond);
    if (!rate) return false;
    lssError_.clear();
    SwitchModeGlobalConfiguration();
    sleeper_.sleepMs(kStepPauseMs);
    ConfigureBitTimingParameters(rate->lssIndex);
    sleeper_.sleepMs(kStepPauseMs);
    Confirm(0x13, "configure bit timing");
    StoreConfiguration();
    sleeper_.sleepMs(kStepPauseMs);
    Confirm(0x17, "store configuration");
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
    lssError_.clear();
    if (serialNumber)
        SwitchModeSelective(*serialNumber);
    else
        SwitchModeGlobalConfiguration();
    ConfigureAndStoreNodeId(nodeId);
}

bool CCANDriver::SetNodeId(uint8_t nodeId, const LssIdentity& identity, int answerMs)
{
    lssError_.clear();
    if (!SwitchModeSelective(identity, answerMs)) {
        Failed("no drive of that identity answered the selective switch");
        return false;
    }
    ConfigureAndStoreNodeId(nodeId);
    return lssError_.empty();
}

void CCANDriver::ConfigureAndStoreNodeId(uint8_t nodeId)
{
    sleeper_.sleepMs(kStepPauseMs);
    ConfigureNodeId(nodeId);
    sleeper_.sleepMs(kStepPauseMs);
    StoreConfiguration();
    sleeper_.sleepMs(kStepPauseMs);
    Confirm(0x17, "store configuration");
    SwitchModeGlobaOperation();
}

CCANDriver::LssIdentity CCANDriver::InquireIdentity(int* nodeId)
{
    LssIdentity id;
    lssError_.clear();
    SwitchModeGlobalConfiguration();
    id.vendorId = InquireIdentityVendorID();
    sleeper_.sleepMs(kInquiryPauseMs);
    id.productCode = InquireIdentityProductCode();
    sleeper_.sleepMs(kInquiryPauseMs);
    id.revisionNumber = InquireIdentityRevisionNumber();
    sleeper_.sleepMs(kInquiryPauseMs);
    id.serialNumber = InquireIdentitySerialNumber();
    sleeper_.sleepMs(kInquiryPauseMs);
    if (nodeId) {
        *nodeId = InquireNodeId(static_cast<int>(answerWaitMs_));
        if (*nodeId < 0) Failed("node-ID inquiry: no answer");
    }
    SwitchModeGlobaOperation();
    return id;
}

bool CCANDriver::SwitchModeSelective(const LssIdentity& id, int answerMs)
{
    FlushReceiveQueue();
    const uint32_t values[4] = {id.vendorId, id.productCode, id.revisionNumber, id.serialNumber};
    for (uint8_t i = 0; i < 4; ++i) {
        const uint32_t v = values[i];
        Send(LssFrame({static_cast<uint8_t>(0x40 + i), static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                  static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)}));
    }
    CanMessage answer;
    return Await(answer, LssAnswerTo(0x44), answerMs);
}

int CCANDriver::InquireNodeId(int answerMs)
{
    FlushReceiveQueue();
    Send(LssFrame({0x5E}));
    CanMessage answer;
    if (!Await(answer, LssAnswerTo(0x5E), answerMs)) return -1;
    return answer.data[1];
}

CCANDriver::FastscanResult CCANDriver::Fastscan(LssIdentity& found, int stepMs)
{
    CanMessage answer;
    auto ask = [&](uint32_t idNumber, uint8_t bit, uint8_t sub, uint8_t next) {
        FlushReceiveQueue();
        Send(FastscanFrame(idNumber, bit, sub, next));
        return Await(answer, LssAnswerTo(kIdentified), stepMs);
    };
    // Is there any drive without a node-ID?
    if (!ask(0, kFastscanReset, 0, 0)) return FastscanResult::None;
    uint32_t* parts[4] = {&found.vendorId, &found.productCode, &found.revisionNumber, &found.serialNumber};
    for (uint8_t sub = 0; sub < 4; ++sub) {
        uint32_t id = 0;
        // From the top bit down: a drive answers while the bits so far match.
        for (int bit = 31; bit >= 0; --bit)
            if (!ask(id, static_cast<uint8_t>(bit), sub, sub)) id |= 1u << bit;
        // The whole number, confirmed; the next part is checked next.
        if (!ask(id, 0, sub, static_cast<uint8_t>(sub < 3 ? sub + 1 : 0))) return FastscanResult::Failed;
        *parts[sub] = id;
    }
    return FastscanResult::Found;
}

}  // namespace nalvexa
