// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "can/can_library.h"
#include "can/slcan_codec.h"
#include "can_ready_watch.h"
#include "received_frames.h"
#include "serial_line.h"

namespace nalvexa {

// A USB-CAN adapter speaking slcan on a serial device (or a pseudo-terminal),
// on whatever system the serial line is made for. On a loop the line is read
// as soon as bytes arrive; opening the channel waits for nothing: the
// adapter's answers to the opening commands are judged as they come.
class SlcanLibrary : public ICanLibrary {
public:
    static constexpr int kDefaultBaud = 115200;
    static constexpr int kCommandAnswerMs = 200;

    SlcanLibrary(std::string device, int baud, CanReadyWatchFactory watch = {})
        : device_(std::move(device)), baud_(baud), makeWatch_(std::move(watch))
    {
    }
    ~SlcanLibrary() override;
    void SetChannel(const std::string&) override {}
    uint32_t CAN_Init(uint16_t btr, int messageType, int hardwareType, uint32_t portAddress,
                      uint16_t interrupt) override;
    uint32_t CAN_Close() override;
    uint32_t CAN_Write(const CanMessage& frame) override;
    uint32_t CAN_Read(CanMessage& frame) override;
    uint32_t CAN_Status() override { return line_.isOpen() && !lost_ ? can::kOk : can::kIllHandle; }
    void SetFramesArrived(std::function<void()> handler) override { arrived_ = std::move(handler); }
    bool NotifiesArrival() const override { return static_cast<bool>(makeWatch_); }
    bool Lost() const override { return lost_; }
    std::string ErrorText() const override { return error_; }
    // For programs without a loop: waits up to `timeoutMs` for a frame.
    void WaitForFrame(int timeoutMs);

private:
    using Clock = std::chrono::steady_clock;
    void Lose(const std::string& reason);
    bool Send(const std::string& text);
    // Reads what has come, waiting up to `timeoutMs` for the first byte.
    void Pump(int timeoutMs = 0);
    // Takes what the parser has found into the frame queue and the error.
    void Collect();

    std::string device_;
    int baud_;
    CanReadyWatchFactory makeWatch_;
    std::unique_ptr<ICanReadyWatch> watch_;
    std::function<void()> arrived_;
    SerialLine line_;
    slcan::Parser parser_;
    ReceivedFrames received_;
    // The answers to the opening commands (close, rate, open) still to come,
    // within kCommandAnswerMs of the opening; some adapters give none.
    int commandAnswers_ = 0;
    Clock::time_point openedAt_;
    bool lost_ = false;
    std::string error_;
};

}  // namespace nalvexa
