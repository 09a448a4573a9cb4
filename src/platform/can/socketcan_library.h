// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <string>

#include "can/can_library.h"
#include "can_ready_watch.h"
#include "received_frames.h"

namespace nalvexa {

// The Linux kernel's raw CAN socket on one interface. The bit rate is the
// interface's own (setting it needs privileges), so CAN_Init ignores it. On
// a loop the socket is read as soon as frames arrive; the kernel filters
// what the driver does not need.
class SocketCanLibrary : public ICanLibrary {
public:
    explicit SocketCanLibrary(std::string interface, CanReadyWatchFactory watch = {})
        : interface_(std::move(interface)), makeWatch_(std::move(watch))
    {
    }
    ~SocketCanLibrary() override;
    void SetChannel(const std::string&) override {}
    uint32_t CAN_Init(uint16_t btr, int messageType, int hardwareType, uint32_t portAddress,
                      uint16_t interrupt) override;
    uint32_t CAN_Close() override;
    uint32_t CAN_Write(const CanMessage& frame) override;
    uint32_t CAN_Read(CanMessage& frame) override;
    uint32_t CAN_Status() override { return fd_ >= 0 && !lost_ ? can::kOk : can::kIllHandle; }
    void SetFramesArrived(std::function<void()> handler) override { arrived_ = std::move(handler); }
    bool NotifiesArrival() const override { return static_cast<bool>(makeWatch_); }
    void SetReceiveFilter(const std::vector<can::CanFilter>& filters) override;
    bool Lost() const override { return lost_; }
    std::string ErrorText() const override { return error_; }
    // For programs without a loop: waits up to `timeoutMs` for a frame.
    void WaitForFrame(int timeoutMs);

private:
    // A socket error as the library's code: a down interface (or one that
    // is bus-off) is BUSOFF; one that was deleted is lost.
    uint32_t Failure(int error);
    // Reads what the socket holds into the queue.
    void Drain();
    uint32_t ReadSocket(CanMessage& frame);
    void ApplyFilter();

    std::string interface_;
    CanReadyWatchFactory makeWatch_;
    std::unique_ptr<ICanReadyWatch> watch_;
    std::function<void()> arrived_;
    ReceivedFrames received_;
    std::vector<can::CanFilter> filters_;
    int fd_ = -1;
    bool lost_ = false;
    std::string error_;
};

}  // namespace nalvexa
