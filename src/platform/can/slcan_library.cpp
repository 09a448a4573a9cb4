// SPDX-License-Identifier: MIT
#include "slcan_library.h"

#include <chrono>

namespace nalvexa {

namespace {

constexpr size_t kMaxQueued = 4096;  // frames nobody read are dropped beyond this, as an overrun

}  // namespace

SlcanLibrary::~SlcanLibrary() = default;

uint32_t SlcanLibrary::CAN_Init(uint16_t btr, int, int, uint32_t, uint16_t)
{
    const char rate = slcan::RateDigit(btr);
    if (!rate || baud_ <= 0) return can::kIllParamVal;
    lost_ = false;
    // The adapter's control lines stay raised, as a terminal leaves them.
    SerialLineSettings settings;
    settings.baudRate = baud_;
    settings.rtsControl = settings.dtrControl = 1;
    std::string why;
    if (line_.Open(device_, settings, why) != SerialOpenResult::Ok) {
        line_.Close();
        error_ = why;
        return can::kResource;
    }
    parser_ = slcan::Parser();
    // Close first: an adapter left open by an earlier run refuses the rate command.
    Send("C\r");
    CommandAccepted();
    if (!Send(std::string("S") + rate + "\r") || !CommandAccepted() || !Send("O\r") || !CommandAccepted()) {
        error_ = device_ + ": the adapter refused to open the channel";
        line_.Close();
        return can::kResource;
    }
    frames_.clear();
    pendingError_ = can::kOk;
    return can::kOk;
}

uint32_t SlcanLibrary::CAN_Close()
{
    if (!line_.isOpen()) return can::kIllHandle;
    if (!lost_) Send("C\r");
    line_.Close();
    return can::kOk;
}

void SlcanLibrary::Lose(const std::string& reason)
{
    if (lost_) return;
    lost_ = true;
    error_ = device_ + ": " + reason;
}

bool SlcanLibrary::Send(const std::string& text)
{
    if (!line_.isOpen() || lost_) return false;
    std::string why;
    if (line_.Write(reinterpret_cast<const uint8_t*>(text.data()), text.size(), why)) return true;
    if (why != SerialLine::kFull) Lose(why);
    return false;
}

bool SlcanLibrary::CommandAccepted()
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(kCommandAnswerMs);
    for (;;) {
        slcan::Event e;
        while (parser_.Next(e)) {
            if (e.kind == slcan::Event::Ok) return true;
            if (e.kind == slcan::Event::Bell) return false;
        }
        if (lost_ || !line_.isOpen()) return false;
        int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
        if (left <= 0) return true;  // some adapters do not answer commands
        Pump(left);
    }
}

void SlcanLibrary::Pump(int timeoutMs)
{
    uint8_t buffer[512];
    for (int wait = timeoutMs; line_.isOpen() && !lost_; wait = 0) {
        std::string why;
        const long n = line_.ReadWait(buffer, sizeof buffer, wait, why);
        if (n < 0) Lose(why);
        if (n <= 0) break;
        parser_.Feed(buffer, static_cast<size_t>(n));
    }
}

void SlcanLibrary::Collect()
{
    slcan::Event e;
    while (parser_.Next(e)) {
        if (e.kind == slcan::Event::Frame) {
            if (frames_.size() >= kMaxQueued) {
                frames_.pop_front();
                pendingError_ = can::kQueueOverrun;
            }
            frames_.push_back(e.frame);
        } else if (e.kind == slcan::Event::Bell) {
            pendingError_ = can::kXmtFull;  // the adapter refused a frame we sent
        }
        // Acknowledgements, commands and malformed lines carry nothing for the reader.
    }
}

uint32_t SlcanLibrary::CAN_Write(const CanMessage& frame)
{
    if (!line_.isOpen() || lost_) return can::kIllHandle;
    if (frame.length > 8) return can::kIllParamVal;
    return Send(slcan::EncodeFrame(frame)) ? can::kOk : can::kXmtFull;
}

uint32_t SlcanLibrary::CAN_Read(CanMessage& frame)
{
    if (!line_.isOpen()) return can::kIllHandle;
    Pump();
    Collect();
    if (lost_ && frames_.empty()) return can::kIllHandle;
    if (pendingError_ != can::kOk) {
        uint32_t error = pendingError_;
        pendingError_ = can::kOk;
        return error;
    }
    if (frames_.empty()) return can::kQueueEmpty;
    frame = frames_.front();
    frames_.pop_front();
    return can::kOk;
}

void SlcanLibrary::WaitForFrame(int timeoutMs)
{
    if (!line_.isOpen() || lost_ || !frames_.empty() || parser_.HasEvents()) return;
    Pump(timeoutMs);
}

}  // namespace nalvexa
