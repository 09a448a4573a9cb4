// SPDX-License-Identifier: MIT
#include "loopback_can_library.h"

#include <algorithm>

namespace nalvexa {

uint32_t LoopbackCanLibrary::CAN_Init(uint16_t btr, int messageType, int hardwareType, uint32_t portAddress,
                                      uint16_t interrupt)
{
    ++inits;
    initBtr = btr;
    initMessageType = messageType;
    initHardware = hardwareType;
    initPort = portAddress;
    initInterrupt = interrupt;
    if (initResult_ == can::kOk) lost_ = false;
    return initResult_;
}

uint32_t LoopbackCanLibrary::CAN_Close()
{
    ++closes;
    return can::kOk;
}

uint32_t LoopbackCanLibrary::CAN_Write(const CanMessage& frame)
{
    if (lost_) return can::kIllHandle;
    if (writeResult_ != can::kOk) return writeResult_;
    sent.push_back(frame);
    if (drive_) drive_(frame, *this);
    return can::kOk;
}

uint32_t LoopbackCanLibrary::CAN_Read(CanMessage& frame)
{
    if (lost_) return can::kIllHandle;
    if (!readErrors_.empty()) {
        uint32_t code = readErrors_.front();
        readErrors_.pop_front();
        return code;
    }
    while (!later_.empty() && later_.front().delayMs <= 0) {
        ready_.push_back(later_.front().frame);
        later_.pop_front();
    }
    if (ready_.empty()) return can::kQueueEmpty;
    frame = ready_.front();
    ready_.pop_front();
    return can::kOk;
}

uint32_t LoopbackCanLibrary::CAN_Status()
{
    ++statusCalls;
    return can::kOk;
}

void LoopbackCanLibrary::WaitForFrame(int timeoutMs)
{
    // Time passes until the next scripted frame is due, or the whole wait.
    int step = timeoutMs;
    if (!later_.empty()) step = std::min(step, std::max(later_.front().delayMs, 0));
    for (Pending& p : later_) p.delayMs -= step;
    if (passTime_) passTime_(step);
}

}  // namespace nalvexa
