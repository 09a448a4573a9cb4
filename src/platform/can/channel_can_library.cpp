// SPDX-License-Identifier: MIT
#include "channel_can_library.h"


#include "slcan_library.h"
#ifndef _WIN32
#include "socketcan_library.h"
#endif

namespace nalvexa {

std::unique_ptr<ICanLibrary> ChannelCanLibrary::BackendFor(const std::string& channel, CanReadyWatchFactory watch)
{
    size_t colon = channel.find(':');
    if (colon == std::string::npos || colon + 1 == channel.size()) return nullptr;
    const std::string kind = channel.substr(0, colon), rest = channel.substr(colon + 1);
#ifndef _WIN32
    if (kind == "socketcan") return std::make_unique<SocketCanLibrary>(rest, watch);
#endif
    if (kind == "slcan") {
        size_t at = rest.rfind('@');
        if (at == std::string::npos) return std::make_unique<SlcanLibrary>(rest, SlcanLibrary::kDefaultBaud, watch);
        const std::string baud = rest.substr(at + 1);
        if (baud.empty() || baud.find_first_not_of("0123456789") != std::string::npos || baud.size() > 7)
            return nullptr;
        return std::make_unique<SlcanLibrary>(rest.substr(0, at), std::stoi(baud), watch);
    }
    return nullptr;
}

uint32_t ChannelCanLibrary::CAN_Init(uint16_t btr, int messageType, int hardwareType, uint32_t portAddress,
                                     uint16_t interrupt)
{
    // A second open replaces the first, as the library does.
    open_.reset();
    std::unique_ptr<ICanLibrary> backend = BackendFor(channel_, makeWatch_);
    if (!backend) {
        error_ = "\"" + channel_ + "\" is no channel (socketcan:IFACE or slcan:DEVICE[@BAUD])";
        return can::kIllParamVal;
    }
    backend->SetFramesArrived(arrived_);
    backend->SetReceiveFilter(filters_);
    uint32_t result = backend->CAN_Init(btr, messageType, hardwareType, portAddress, interrupt);
    if (result == can::kOk)
        open_ = std::move(backend);
    else
        error_ = backend->ErrorText();
    return result;
}

uint32_t ChannelCanLibrary::CAN_Close()
{
    if (!open_) return can::kIllHandle;
    uint32_t result = open_->CAN_Close();
    open_.reset();
    return result;
}

uint32_t ChannelCanLibrary::CAN_Write(const CanMessage& frame)
{
    return open_ ? open_->CAN_Write(frame) : can::kIllHandle;
}

uint32_t ChannelCanLibrary::CAN_Read(CanMessage& frame)
{
    return open_ ? open_->CAN_Read(frame) : can::kIllHandle;
}

uint32_t ChannelCanLibrary::CAN_Status()
{
    return open_ ? open_->CAN_Status() : can::kIllHandle;
}

void ChannelCanLibrary::SetFramesArrived(std::function<void()> handler)
{
    arrived_ = std::move(handler);
    if (open_) open_->SetFramesArrived(arrived_);
}

void ChannelCanLibrary::SetReceiveFilter(const std::vector<can::CanFilter>& filters)
{
    filters_ = filters;
    if (open_) open_->SetReceiveFilter(filters_);
}

}  // namespace nalvexa
