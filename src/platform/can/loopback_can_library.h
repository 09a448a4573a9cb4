// SPDX-License-Identifier: MIT
#pragma once

#include <deque>
#include <functional>
#include <vector>

#include "can/can_library.h"

namespace nalvexa {

// A bus with a scripted drive behind it, for tests: every frame written is
// shown to the drive, which may queue answers. Waiting passes time on the
// given clock instead of blocking.
class LoopbackCanLibrary : public ICanLibrary {
public:
    using Drive = std::function<void(const CanMessage& sent, LoopbackCanLibrary& bus)>;

    explicit LoopbackCanLibrary(std::function<void(int ms)> passTime = {}) : passTime_(std::move(passTime)) {}

    void SetDrive(Drive drive) { drive_ = std::move(drive); }
    // A frame for the driver to read, after `delayMs` of waiting.
    void Queue(const CanMessage& frame, int delayMs = 0) { later_.push_back({frame, delayMs}); }
    void FailNextRead(uint32_t code) { readErrors_.push_back(code); }
    void FailInit(uint32_t code) { initResult_ = code; }
    void FailWrites(uint32_t code) { writeResult_ = code; }
    // The device goes away: every call fails until the next successful open.
    void Lose(const std::string& reason)
    {
        lost_ = true;
        error_ = reason;
    }
    void SetInitError(const std::string& text) { error_ = text; }

    std::vector<CanMessage> sent;
    std::string channel;
    int inits = 0, closes = 0, statusCalls = 0;
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
    void WaitForFrame(int timeoutMs) override;
    bool Lost() const override { return lost_; }
    std::string ErrorText() const override { return error_; }

private:
    struct Pending {
        CanMessage frame;
        int delayMs;
    };
    std::function<void(int ms)> passTime_;
    Drive drive_;
    std::deque<Pending> later_;
    std::deque<CanMessage> ready_;
    std::deque<uint32_t> readErrors_;
    uint32_t initResult_ = can::kOk;
    uint32_t writeResult_ = can::kOk;
    bool lost_ = false;
    std::string error_;
};

}  // namespace nalvexa
