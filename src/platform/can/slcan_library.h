// SPDX-License-Identifier: MIT
#pragma once

#include <deque>
#include <string>

#include "can/can_library.h"
#include "can/slcan_codec.h"
#include "serial_line.h"

namespace nalvexa {

// A USB-CAN adapter speaking slcan on a serial device (or a pseudo-terminal),
// on whatever system the serial line is made for.
class SlcanLibrary : public ICanLibrary {
public:
    static constexpr int kDefaultBaud = 115200;
    static constexpr int kCommandAnswerMs = 200;

    SlcanLibrary(std::string device, int baud) : device_(std::move(device)), baud_(baud) {}
    ~SlcanLibrary() override;

    void SetChannel(const std::string&) override {}
    uint32_t CAN_Init(uint16_t btr, int messageType, int hardwareType, uint32_t portAddress,
                      uint16_t interrupt) override;
    uint32_t CAN_Close() override;
    uint32_t CAN_Write(const CanMessage& frame) override;
    uint32_t CAN_Read(CanMessage& frame) override;
    uint32_t CAN_Status() override { return line_.isOpen() && !lost_ ? can::kOk : can::kIllHandle; }
    void WaitForFrame(int timeoutMs) override;
    bool Lost() const override { return lost_; }
    std::string ErrorText() const override { return error_; }

private:
    void Lose(const std::string& reason);
    bool Send(const std::string& text);
    // Waits for the adapter's answer to a command: true for OK or no answer, false for BEL.
    bool CommandAccepted();
    // Reads what has come, waiting up to `timeoutMs` for the first byte.
    void Pump(int timeoutMs = 0);
    // Takes what the parser has found into the frame queue and the error.
    void Collect();

    std::string device_;
    int baud_;
    SerialLine line_;
    slcan::Parser parser_;
    std::deque<CanMessage> frames_;
    uint32_t pendingError_ = can::kOk;
    bool lost_ = false;
    std::string error_;
};

}  // namespace nalvexa
