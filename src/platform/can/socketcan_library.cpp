// SPDX-License-Identifier: MIT
#include "socketcan_library.h"

#ifdef __linux__

#include <cerrno>
#include <cstring>
#include <linux/can.h>
#include <linux/can/error.h>
#include <linux/can/raw.h>
#include <net/if.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace nalvexa {

namespace {

// The library's code for an error frame the kernel reports.
uint32_t ErrorCode(const can_frame& f)
{
    if (f.can_id & CAN_ERR_BUSOFF) return can::kBusOff;
    if (f.can_id & CAN_ERR_CRTL) {
        const uint8_t c = f.data[1];
        if (c & (CAN_ERR_CRTL_RX_OVERFLOW | CAN_ERR_CRTL_TX_OVERFLOW)) return can::kOverrun;
        if (c & (CAN_ERR_CRTL_RX_PASSIVE | CAN_ERR_CRTL_TX_PASSIVE)) return can::kBusHeavy;
        if (c & (CAN_ERR_CRTL_RX_WARNING | CAN_ERR_CRTL_TX_WARNING)) return can::kBusLight;
    }
    return can::kOk;  // other error classes are not reported to the library's users
}

}  // namespace

SocketCanLibrary::~SocketCanLibrary()
{
    watch_.reset();
    if (fd_ >= 0) ::close(fd_);
}

uint32_t SocketCanLibrary::Failure(int error)
{
    if (error == ENETDOWN) return can::kBusOff;
    if (error == ENODEV || error == ENXIO || error == EBADF) {
        lost_ = true;
        error_ = interface_ + ": " + std::strerror(error);
        return can::kIllHandle;
    }
    return error == ENOBUFS || error == EAGAIN ? can::kXmtFull : can::kResource;
}

uint32_t SocketCanLibrary::CAN_Init(uint16_t, int, int, uint32_t, uint16_t)
{
    lost_ = false;
    if (interface_.empty() || interface_.size() >= IFNAMSIZ) {
        error_ = "\"" + interface_ + "\" is no interface name";
        return can::kIllParamVal;
    }
    fd_ = ::socket(PF_CAN, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, CAN_RAW);
    if (fd_ < 0) {
        error_ = interface_ + ": " + std::strerror(errno);  // the kernel has no CAN
        return can::kNoVxd;
    }
    unsigned index = ::if_nametoindex(interface_.c_str());
    can_err_mask_t errors = CAN_ERR_BUSOFF | CAN_ERR_CRTL;
    ::setsockopt(fd_, SOL_CAN_RAW, CAN_RAW_ERR_FILTER, &errors, sizeof errors);
    sockaddr_can address{};
    address.can_family = AF_CAN;
    address.can_ifindex = static_cast<int>(index);
    if (index == 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        error_ = interface_ + ": " + std::strerror(index == 0 ? ENODEV : errno);
        ::close(fd_);
        fd_ = -1;
        return can::kResource;
    }
    ApplyFilter();
    received_.clear();
    if (makeWatch_) {
        watch_ = makeWatch_();
        watch_->Watch(fd_, [this] {
            Drain();
            if (arrived_) arrived_();
        });
    }
    return can::kOk;
}

uint32_t SocketCanLibrary::CAN_Close()
{
    if (fd_ < 0) return can::kIllHandle;
    watch_.reset();
    ::close(fd_);
    fd_ = -1;
    return can::kOk;
}

void SocketCanLibrary::SetReceiveFilter(const std::vector<can::CanFilter>& filters)
{
    filters_ = filters;
    if (fd_ >= 0) ApplyFilter();
}

void SocketCanLibrary::ApplyFilter()
{
    // No filter: every frame. Error frames come through their own mask.
    std::vector<can_filter> f;
    for (const can::CanFilter& c : filters_) f.push_back({c.id, c.mask | CAN_EFF_FLAG | CAN_RTR_FLAG});
    if (f.empty()) f.push_back({0, 0});
    ::setsockopt(fd_, SOL_CAN_RAW, CAN_RAW_FILTER, f.data(), static_cast<socklen_t>(f.size() * sizeof(can_filter)));
}

void SocketCanLibrary::Drain()
{
    for (int i = 0; i < static_cast<int>(ReceivedFrames::kMaxQueued) && fd_ >= 0 && !lost_; ++i) {
        CanMessage m;
        const uint32_t result = ReadSocket(m);
        if (result == can::kQueueEmpty) return;
        if (result == can::kOk)
            received_.Add(m);
        else
            received_.AddError(result);
    }
}

uint32_t SocketCanLibrary::CAN_Write(const CanMessage& m)
{
    if (fd_ < 0 || lost_) return can::kIllHandle;
    if (m.length > 8) return can::kIllParamVal;
    can_frame f{};
    f.can_id = m.id > CAN_SFF_MASK ? (m.id & CAN_EFF_MASK) | CAN_EFF_FLAG : m.id;
    if (m.type & 1) f.can_id |= CAN_RTR_FLAG;
    f.can_dlc = m.length;
    std::memcpy(f.data, m.data, m.length);
    ssize_t n = ::write(fd_, &f, sizeof f);
    if (n == static_cast<ssize_t>(sizeof f)) return can::kOk;
    return Failure(n < 0 ? errno : EIO);
}

uint32_t SocketCanLibrary::CAN_Read(CanMessage& m)
{
    if (!received_.empty()) return received_.Take(m);
    if (fd_ < 0 || lost_) return can::kIllHandle;
    return ReadSocket(m);
}

uint32_t SocketCanLibrary::ReadSocket(CanMessage& m)
{
    for (;;) {
        can_frame f{};
        ssize_t n = ::read(fd_, &f, sizeof f);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK ? can::kQueueEmpty : Failure(errno);
        if (n != static_cast<ssize_t>(sizeof f)) continue;
        if (f.can_id & CAN_ERR_FLAG) {
            if (uint32_t code = ErrorCode(f)) return code;
            continue;
        }
        m = CanMessage{};
        const bool extended = f.can_id & CAN_EFF_FLAG;
        m.id = f.can_id & (extended ? CAN_EFF_MASK : CAN_SFF_MASK);
        m.type = static_cast<uint8_t>((extended ? 2 : 0) | ((f.can_id & CAN_RTR_FLAG) ? 1 : 0));
        m.length = f.can_dlc > 8 ? 8 : f.can_dlc;
        std::memcpy(m.data, f.data, m.length);
        return can::kOk;
    }
}

void SocketCanLibrary::WaitForFrame(int timeoutMs)
{
    if (fd_ < 0 || lost_ || !received_.empty()) return;
    pollfd p{fd_, POLLIN, 0};
    ::poll(&p, 1, timeoutMs);
}

}  // namespace nalvexa

#else

namespace nalvexa {

SocketCanLibrary::~SocketCanLibrary() = default;
uint32_t SocketCanLibrary::CAN_Init(uint16_t, int, int, uint32_t, uint16_t) { return can::kNoVxd; }
uint32_t SocketCanLibrary::CAN_Close() { return can::kIllHandle; }
uint32_t SocketCanLibrary::CAN_Write(const CanMessage&) { return can::kIllHandle; }
uint32_t SocketCanLibrary::CAN_Read(CanMessage&) { return can::kIllHandle; }
uint32_t SocketCanLibrary::ReadSocket(CanMessage&) { return can::kIllHandle; }
void SocketCanLibrary::SetReceiveFilter(const std::vector<can::CanFilter>&) {}
void SocketCanLibrary::WaitForFrame(int) {}

}  // namespace nalvexa

#endif
