// SPDX-License-Identifier: MIT
// The CAN library the driver is written against: five calls with the
// results it relies on, and word to the loop when frames have arrived. Back
// ends (SocketCAN, slcan, a loopback for tests) implement it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace nalvexa {

#pragma pack(push, 1)
struct CanMessage {
    uint32_t id = 0;
    uint8_t type = 0;  // 0: standard data frame
    uint8_t length = 0;
    uint8_t data[8] = {};
};
#pragma pack(pop)
static_assert(sizeof(CanMessage) == 14, "the library's frame record is 14 packed bytes");

namespace can {

// Library results.
constexpr uint32_t kOk = 0;
constexpr uint32_t kXmtFull = 0x0001;
constexpr uint32_t kOverrun = 0x0002;
constexpr uint32_t kBusLight = 0x0004;
constexpr uint32_t kBusHeavy = 0x0008;
constexpr uint32_t kBusOff = 0x0010;
constexpr uint32_t kQueueEmpty = 0x0020;
constexpr uint32_t kQueueOverrun = 0x0040;
constexpr uint32_t kQueueXmtFull = 0x0080;
constexpr uint32_t kRegTest = 0x0100;
constexpr uint32_t kNoVxd = 0x0200;
constexpr uint32_t kIllHandle = 0x1C00;
constexpr uint32_t kResource = 0x2000;
constexpr uint32_t kIllParamType = 0x4000;
constexpr uint32_t kIllParamVal = 0x8000;

// CAN_Init's message type and hardware type as the driver passes them.
constexpr int kStandardFrames = 0;
constexpr int kHardwareType = 5;

// Bit-timing codes for the rates the program offers.
constexpr uint16_t kBtr10k = 0x672F;
constexpr uint16_t kBtr20k = 0x532F;
constexpr uint16_t kBtr50k = 0x472F;
constexpr uint16_t kBtr125k = 0x031C;
constexpr uint16_t kBtr250k = 0x011C;
constexpr uint16_t kBtr500k = 0x001C;
constexpr uint16_t kBtr1M = 0x0014;

// The rate of a bit-timing code in kbit/s, 0 for a code the program never produces.
int KbitPerSecond(uint16_t btr);

// A rate the program offers: its bit-timing code and its index in the LSS
// bit timing table of CiA 305.
struct BitRate {
    int kbit;
    uint8_t lssIndex;
    uint16_t btr;
};
// The entry for a rate in kbit/s, or none.
const BitRate* FindBitRate(int kbit);

// CANopen puts multi-byte numbers on the bus low byte first.
inline uint32_t LittleEndian32(const uint8_t* p)
{
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// Frames whose identifier, masked, equals `id` masked: what the driver wants to hear.
struct CanFilter {
    uint32_t id;
    uint32_t mask;
};

}  // namespace can

class ICanLibrary {
public:
    virtual ~ICanLibrary() = default;
    // Which back end CAN_Init opens, e.g. "socketcan:can0" or "slcan:/dev/ttyACM0@115200".
    virtual void SetChannel(const std::string& channel) = 0;
    virtual uint32_t CAN_Init(uint16_t btr, int messageType, int hardwareType, uint32_t portAddress,
                              uint16_t interrupt) = 0;
    virtual uint32_t CAN_Close() = 0;
    virtual uint32_t CAN_Write(const CanMessage& frame) = 0;
    // kQueueEmpty when nothing is waiting; never blocks.
    virtual uint32_t CAN_Read(CanMessage& frame) = 0;
    virtual uint32_t CAN_Status() = 0;
    // Told on the loop whenever frames (or an error) may be waiting to be read,
    // once the channel is open. A library that cannot tell is polled.
    virtual void SetFramesArrived(std::function<void()> handler) { (void)handler; }
    virtual bool NotifiesArrival() const { return false; }
    // Only frames that pass one of the filters need reach the driver (none:
    // every frame); error frames always do. A library without filters passes all.
    virtual void SetReceiveFilter(const std::vector<can::CanFilter>& filters) { (void)filters; }
    // The channel's device has gone (unplugged, the interface deleted): it
    // must be opened again. Every call fails at once meanwhile.
    virtual bool Lost() const { return false; }
    // Why the last open failed, or why the channel was lost, in the system's words.
    virtual std::string ErrorText() const { return {}; }
};

}  // namespace nalvexa
