// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <string>

#include "can/can_library.h"
#include "can_ready_watch.h"

namespace nalvexa {

// The CAN library of the program: CAN_Init opens the back end that the
// channel names, "socketcan:IFACE" or "slcan:DEVICE[@BAUD]".
class ChannelCanLibrary : public ICanLibrary {
public:
    // `watch`: the loop's watches of the back ends' devices (none: they are polled).
    explicit ChannelCanLibrary(CanReadyWatchFactory watch = {}) : makeWatch_(std::move(watch)) {}
    void SetChannel(const std::string& channel) override { channel_ = channel; }
    uint32_t CAN_Init(uint16_t btr, int messageType, int hardwareType, uint32_t portAddress,
                      uint16_t interrupt) override;
    uint32_t CAN_Close() override;
    uint32_t CAN_Write(const CanMessage& frame) override;
    uint32_t CAN_Read(CanMessage& frame) override;
    uint32_t CAN_Status() override;
    void SetFramesArrived(std::function<void()> handler) override;
    bool NotifiesArrival() const override { return static_cast<bool>(makeWatch_); }
    void SetReceiveFilter(const std::vector<can::CanFilter>& filters) override;
    bool Lost() const override { return open_ && open_->Lost(); }
    std::string ErrorText() const override { return open_ ? open_->ErrorText() : error_; }

    // The back end a channel names, or none for a malformed or unknown one.
    static std::unique_ptr<ICanLibrary> BackendFor(const std::string& channel, CanReadyWatchFactory watch = {});

private:
    CanReadyWatchFactory makeWatch_;
    std::function<void()> arrived_;
    std::vector<can::CanFilter> filters_;
    std::string channel_;
    std::unique_ptr<ICanLibrary> open_;
    std::string error_;  // why the last open failed
};

}  // namespace nalvexa
