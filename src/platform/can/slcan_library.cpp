// SPDX-License-Identifier: MIT
#include "slcan_library.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace nalvexa {

namespace {

speed_t Speed(int baud)
{
    switch (baud) {
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 500000: return B500000;
    case 921600: return B921600;
    case 1000000: return B1000000;
    case 2000000: return B2000000;
    case 3000000: return B3000000;
    default: return B0;
    }
}

constexpr size_t kMaxQueued = 4096;  // frames nobody read are dropped beyond this, as an overrun

}  // namespace

SlcanLibrary::~SlcanLibrary()
{
    if (fd_ >= 0) ::close(fd_);
}

uint32_t SlcanLibrary::CAN_Init(uint16_t btr, int, int, uint32_t, uint16_t)
{
    const char rate = slcan::RateDigit(btr);
    const speed_t speed = Speed(baud_);
    if (!rate || speed == B0) return can::kIllParamVal;
    lost_ = false;
    fd_ = ::open(device_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        error_ = device_ + ": " + std::strerror(errno);
        return can::kResource;
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        error_ = device_ + ": in use by another program";
        ::close(fd_);
        fd_ = -1;
        return can::kResource;
    }
    termios t{};
    if (::tcgetattr(fd_, &t) == 0) {
        ::cfmakeraw(&t);
        ::cfsetispeed(&t, speed);
        ::cfsetospeed(&t, speed);
        ::tcsetattr(fd_, TCSANOW, &t);
    }
    ::tcflush(fd_, TCIOFLUSH);
    // Close first: an adapter left open by an earlier run refuses the rate command.
    Send("C\r");
    CommandAccepted();
    if (!Send(std::string("S") + rate + "\r") || !CommandAccepted() || !Send("O\r") || !CommandAccepted()) {
        error_ = device_ + ": the adapter refused to open the channel";
        ::close(fd_);
        fd_ = -1;
        return can::kResource;
    }
    frames_.clear();
    pendingError_ = can::kOk;
    return can::kOk;
}

uint32_t SlcanLibrary::CAN_Close()
{
    if (fd_ < 0) return can::kIllHandle;
    if (!lost_) Send("C\r");
    ::close(fd_);
    fd_ = -1;
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
    size_t done = 0;
    while (fd_ >= 0 && !lost_ && done < text.size()) {
        ssize_t n = ::write(fd_, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd p{fd_, POLLOUT, 0};
            if (::poll(&p, 1, 1000) <= 0) return false;
            if (p.revents & (POLLHUP | POLLERR)) Lose("hang-up");
            continue;
        }
        if (n <= 0) {
            Lose(std::strerror(n < 0 ? errno : EIO));
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return done == text.size();
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
        if (lost_) return false;
        int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
        if (left <= 0) return true;  // some adapters do not answer commands
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, left) > 0) Pump();
    }
}

void SlcanLibrary::Pump()
{
    uint8_t buffer[512];
    while (fd_ >= 0 && !lost_) {
        ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n > 0) {
            parser_.Feed(buffer, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        if (n == 0) {
            // Nothing to read is no loss, unless the line has hung up.
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR))) Lose("hang-up");
            break;
        }
        Lose(std::strerror(errno));
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
    if (fd_ < 0 || lost_) return can::kIllHandle;
    if (frame.length > 8) return can::kIllParamVal;
    return Send(slcan::EncodeFrame(frame)) ? can::kOk : can::kXmtFull;
}

uint32_t SlcanLibrary::CAN_Read(CanMessage& frame)
{
    if (fd_ < 0) return can::kIllHandle;
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
    if (fd_ < 0 || lost_ || !frames_.empty() || parser_.HasEvents()) return;
    pollfd p{fd_, POLLIN, 0};
    ::poll(&p, 1, timeoutMs);
}

}  // namespace nalvexa
