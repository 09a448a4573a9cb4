// SPDX-License-Identifier: MIT
#pragma once

#include <string>

#include "can/can_library.h"

namespace nalvexa {

// The Linux kernel's raw CAN socket on one interface. The bit rate is the
// interface's own (setting it needs privileges), so CAN_Init ignores it.
class SocketCanLibrary : public ICanLibrary {
public:
    explicit SocketCanLibrary(std::string interface) : interface_(std::move(interface)) {}
    ~SocketCanLibrary() override;

    void SetChannel(const std::string&) override {}
    uint32_t CAN_Init(uint16_t btr, int messageType, int hardwareType, uint32_t portAddress,
                      uint16_t interrupt) override;
    uint32_t CAN_Close() override;
    uint32_t CAN_Write(const CanMessage& frame) override;
    uint32_t CAN_Read(CanMessage& frame) override;
    uint32_t CAN_Status() override { return fd_ >= 0 && !lost_ ? can::kOk : can::kIllHandle; }
    void WaitForFrame(int timeoutMs) override;
    bool Lost() const override { return lost_; }
    std::string ErrorText() const override { return error_; }

private:
    // A socket error as the library's code: a down interface (or one that
    // is bus-off) is BUSOFF; one that was deleted is lost.
    uint32_t Failure(int error);

    std::string interface_;
    int fd_ = -1;
    bool lost_ = false;
    std::string error_;
};

}  // namespace nalvexa
