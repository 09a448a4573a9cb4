// SPDX-License-Identifier: MIT
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "can/can_library.h"
#include "platform.h"

namespace nalvexa {

// A bus with a scripted drive behind it, for tests: every frame written is
// shown to the drive, which may queue answers. With a clock, answers arrive
// when their time has come and the driver is told, as a real bus does.
class LoopbackCanLibrary : public ICanLibrary {
public:
    using Drive = std::function<void(const CanMessage& sent, LoopbackCanLibrary& bus)>;

    explicit LoopbackCanLibrary(ITimerHost* clock = nullptr);

    void SetDrive(Drive drive) { drive_ = std::move(drive); }
    // A frame for the driver to read, `delayMs` from now.
    void Queue(const CanMessage& frame, int delayMs = 0);
    void FailNextRead(uint32_t code);
    void FailInit(uint32_t code) { initResult_ = code; }
    void FailWrites(uint32_t code) { writeResult_ = code; }
    // A library that does not tell of arrivals: the driver polls it.
    void SetSilentArrivals(bool on) { silent_ = on; }
    // The device goes away: every call fails until the next successful open.
    void Lose(const std::string& reason)
    {
        lost_ = true;
        error_ = reason;
        Notify();
    }
    void SetInitError(const std::string& text) { error_ = text; }
    int64_t now() const { return clock_ ? clock_->nowMs() : 0; }

    std::vector<CanMessage> sent;
    std::vector<int64_t> sentAt;  // when each was sent, on the clock
    std::vector<std::vector<can::CanFilter>> filters;  // as the driver set them
    std::string channel;
    int inits = 0, closes = 0, statusCalls = 0, reads = 0;
    uint16_t initBtr = 0;
    uint32_t initPort = 0;
    uint16_t initInterrupt = 0;
    int initHardware = -1, initMessageType = -1;

    void SetChannel(const std::string& c) override { channel = c; }
    uint32_t CAN_Init(uint16_t btr, int messageType, int hardwareType, uint32_t portAddress,
                      uint16_t interrupt) override;
    uint32_t CAN_Close() override;
    uint32_t CAN_Write(const CanMessage& frame) override;
    uint32_t CAN_Read(CanMessage& frame) override;
    uint32_t CAN_Status() override;
    void SetFramesArrived(std::function<void()> handler) override { arrived_ = std::move(handler); }
    bool NotifiesArrival() const override { return clock_ && !silent_; }
    void SetReceiveFilter(const std::vector<can::CanFilter>& f) override { filters.push_back(f); }
    bool Lost() const override { return lost_; }
    std::string ErrorText() const override { return error_; }

private:
    struct Pending {
        int64_t due;
        CanMessage frame;
    };
    void Due();
    void Notify();

    ITimerHost* clock_;
    std::unique_ptr<ITimer> timer_;
    std::unique_ptr<ITimer> tell_;
    Drive drive_;
    std::deque<Pending> later_;  // in the order they are due
    std::deque<CanMessage> ready_;
    std::deque<uint32_t> readErrors_;
    std::function<void()> arrived_;
    uint32_t initResult_ = can::kOk;
    uint32_t writeResult_ = can::kOk;
    bool lost_ = false;
    bool silent_ = false;
    std::string error_;
};

}  // namespace nalvexa
