// SPDX-License-Identifier: MIT
#include "loopback_can_library.h"

#include <algorithm>

namespace nalvexa {

LoopbackCanLibrary::LoopbackCanLibrary(ITimerHost* clock) : clock_(clock)
{
    if (!clock_) return;
    timer_ = clock_->createTimer([this] { Due(); });
    tell_ = clock_->createTimer([this] {
        tell_->stop();
        if (arrived_ && !silent_) arrived_();
    });
}

void LoopbackCanLibrary::Queue(const CanMessage& frame, int delayMs)
{
    if (!clock_) {
        ready_.push_back(frame);
        return;
    }
    const int64_t due = clock_->nowMs() + std::max(delayMs, 0);
    auto at = std::upper_bound(later_.begin(), later_.end(), due, [](int64_t d, const Pending& p) { return d < p.due; });
    later_.insert(at, {due, frame});
    timer_->start(static_cast<int>(later_.front().due - clock_->nowMs()));
}

void LoopbackCanLibrary::Due()
{
    timer_->stop();
    while (!later_.empty() && later_.front().due <= clock_->nowMs()) {
        ready_.push_back(later_.front().frame);
        later_.pop_front();
    }
    if (!later_.empty()) timer_->start(static_cast<int>(later_.front().due - clock_->nowMs()));
    Notify();
}

// Told from the loop, never from inside a call of the driver's.
void LoopbackCanLibrary::Notify()
{
    if (tell_ && !tell_->isActive()) tell_->start(0);
}

void LoopbackCanLibrary::FailNextRead(uint32_t code)
{
    readErrors_.push_back(code);
    Notify();
}

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
    sentAt.push_back(now());
    if (drive_) drive_(frame, *this);
    return can::kOk;
}

uint32_t LoopbackCanLibrary::CAN_Read(CanMessage& frame)
{
    ++reads;
    if (lost_) return can::kIllHandle;
    if (!readErrors_.empty()) {
        uint32_t code = readErrors_.front();
        readErrors_.pop_front();
        return code;
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

}  // namespace nalvexa
