// SPDX-License-Identifier: MIT
#include "slcan_library.h"

namespace nalvexa {

SlcanLibrary::~SlcanLibrary() { watch_.reset(); }

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
    received_.clear();
    // Close first: an adapter left open by an earlier run refuses the rate command.
    if (!Send(std::string("C\r") + "S" + rate + "\rO\r")) {
        error_ = device_ + ": " + (error_.empty() ? "cannot write to the adapter" : error_);
        line_.Close();
        return can::kResource;
    }
    commandAnswers_ = 3;
    openedAt_ = Clock::now();
    if (makeWatch_) {
        watch_ = makeWatch_();
#ifdef _WIN32
        watch_->Watch(line_.DuplicateRxEvent(), [this] {
#else
        watch_->Watch(line_.fd(), [this] {
#endif
            Pump();
            if (arrived_) arrived_();
        });
    }
    return can::kOk;
}

uint32_t SlcanLibrary::CAN_Close()
{
    if (!line_.isOpen()) return can::kIllHandle;
    watch_.reset();
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
    std::string why;
    if (line_.isOpen() && !lost_ && !line_.ArmReadyWait(why)) Lose(why);
    Collect();
}

void SlcanLibrary::Collect()
{
    slcan::Event e;
    while (parser_.Next(e)) {
        const bool answer = e.kind == slcan::Event::Ok || e.kind == slcan::Event::Bell;
        if (answer && commandAnswers_ > 0 &&
            Clock::now() - openedAt_ < std::chrono::milliseconds(kCommandAnswerMs)) {
            // The first is the close's, refused by an adapter that was closed; the rate's and the open's count.
            if (--commandAnswers_ < 2 && e.kind == slcan::Event::Bell) Lose("the adapter refused to open the channel");
            continue;
        }
        commandAnswers_ = 0;
        if (e.kind == slcan::Event::Frame)
            received_.Add(e.frame);
        else if (e.kind == slcan::Event::Bell)
            received_.AddError(can::kXmtFull);  // the adapter refused a frame we sent
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
    if (received_.empty()) Pump();
    if (!received_.empty()) return received_.Take(frame);
    return lost_ ? can::kIllHandle : can::kQueueEmpty;
}

void SlcanLibrary::WaitForFrame(int timeoutMs)
{
    if (!line_.isOpen() || lost_ || !received_.empty() || parser_.HasEvents()) return;
    Pump(timeoutMs);
}

}  // namespace nalvexa
