// SPDX-License-Identifier: MIT
#include "serial_line.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "custom_baud.h"

namespace nalvexa {

namespace {

speed_t StandardSpeed(int rate)
{
    switch (rate) {
    case 50: return B50;
    case 75: return B75;
    case 110: return B110;
    case 134: return B134;
    case 150: return B150;
    case 200: return B200;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
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
    default: return B0;
    }
}

// A device node that is gone or hung up, rather than one with nothing to say.
bool Gone(int error) { return error == EIO || error == ENXIO || error == ENODEV || error == EBADF; }

}  // namespace

std::string SerialDevicePath(const std::string& name)
{
    if (name.size() >= 5 && name.compare(0, 3, "COM") == 0 && name.back() == ':') {
        std::string digits = name.substr(3, name.size() - 4);
        bool allDigits = !digits.empty() && digits.size() <= 4;
        for (char c : digits) allDigits = allDigits && std::isdigit(static_cast<unsigned char>(c));
        if (allDigits && std::stoi(digits) >= 1) return "/dev/ttyS" + std::to_string(std::stoi(digits) - 1);
    }
    return name;
}

SerialOpenResult SerialLine::Open(const std::string& portName, const SerialLineSettings& s, std::string& error)
{
    Close();
    path_ = SerialDevicePath(portName);
    fd_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        error = path_ + ": " + std::strerror(errno);
        return SerialOpenResult::OpenFailed;
    }
    // One user at a time: another program (or a second driver) on the same line garbles both.
    // The lock dies with the process; the terminal's exclusive mode would not
    // when the other end keeps the terminal alive, and keep out the next driver.
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        error = path_ + ": in use by another program";
        Close();
        return SerialOpenResult::OpenFailed;
    }
    pseudo_ = false;
    if (char* real = ::realpath(path_.c_str(), nullptr)) {
        pseudo_ = std::strncmp(real, "/dev/pts/", 9) == 0;
        std::free(real);
    }

    termios t{};
    if (::tcgetattr(fd_, &t) != 0) {
        error = path_ + ": " + std::strerror(errno);
        return SerialOpenResult::StateFailed;
    }
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= CS8;
    t.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
    switch (s.parity) {
    case 0: break;
    case 1: t.c_cflag |= PARENB | PARODD; break;
    case 2: t.c_cflag |= PARENB; break;
    case 3: t.c_cflag |= PARENB | CMSPAR | PARODD; break;  // mark
    case 4: t.c_cflag |= PARENB | CMSPAR; break;           // space
    default:
        error = path_ + ": no parity " + std::to_string(s.parity);
        return SerialOpenResult::StateFailed;
    }
    if (s.stopBits == 2) {
        t.c_cflag |= CSTOPB;
    } else if (s.stopBits != 0) {
        error = path_ + ": 1.5 stop bits are not offered here";
        return SerialOpenResult::StateFailed;
    }
    // With the descriptor non-blocking, a read of nothing says "try again"
    // rather than the end: an end is then always a hang-up.
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    const speed_t speed = StandardSpeed(s.baudRate);
    if (speed != B0) {
        ::cfsetispeed(&t, speed);
        ::cfsetospeed(&t, speed);
    }
    if (::tcsetattr(fd_, TCSANOW, &t) != 0 || (speed == B0 && !SetCustomBaudRate(fd_, s.baudRate))) {
        error = path_ + ": " + std::to_string(s.baudRate) + " baud refused";
        return SerialOpenResult::StateFailed;
    }
    // Lines a device does not have (a pseudo-terminal has no RTS or DTR) do not stop the port.
    const int rts = TIOCM_RTS, dtr = TIOCM_DTR;
    ::ioctl(fd_, (s.rtsControl & 3) == 1 ? TIOCMBIS : TIOCMBIC, &rts);
    ::ioctl(fd_, (s.dtrControl & 3) == 1 ? TIOCMBIS : TIOCMBIC, &dtr);
    ::tcflush(fd_, TCIFLUSH);
    return SerialOpenResult::Ok;
}

void SerialLine::Close()
{
    if (fd_ < 0) return;
    ::close(fd_);
    fd_ = -1;
}

long SerialLine::Read(uint8_t* into, size_t max, std::string& reason)
{
    if (fd_ < 0) return 0;
    for (;;) {
        ssize_t n = ::read(fd_, into, max);
        if (n > 0) return n;
        if (n == 0) {
            // A terminal reads nothing at its end only once it has hung up.
            if (!HungUp()) return 0;
            reason = FailureReason(0);
            return -1;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
        reason = FailureReason(errno);
        return -1;
    }
}

std::string SerialLine::FailureReason(int error) const
{
    if (error == 0) return "hang-up";
    return Gone(error) && ::access(path_.c_str(), F_OK) != 0 ? std::strerror(error) + std::string(", the device node is gone")
                                                           : std::strerror(error);
}

bool SerialLine::HungUp() const
{
    pollfd p{fd_, POLLIN, 0};
    return fd_ >= 0 && ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR));
}

long SerialLine::ReadWait(uint8_t* into, size_t max, int timeoutMs, std::string& reason)
{
    if (fd_ < 0) return 0;
    pollfd p{fd_, POLLIN, 0};
    if (timeoutMs > 0 && ::poll(&p, 1, timeoutMs) == 0) return 0;
    return Read(into, max, reason);
}

bool SerialLine::Write(const uint8_t* bytes, size_t count, std::string& reason)
{
    size_t done = 0;
    while (fd_ >= 0 && done < count) {
        ssize_t n = ::write(fd_, bytes + done, count - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{fd_, POLLOUT, 0};
            if (::poll(&p, 1, 1000) > 0 && !(p.revents & (POLLHUP | POLLERR))) continue;
            reason = kFull;
            return false;
        }
        reason = std::strerror(n < 0 ? errno : EIO);
        return false;
    }
    return fd_ >= 0;
}

int SerialLine::Unsent() const
{
    int queued = 0;
    if (fd_ < 0 || pseudo_ || ::ioctl(fd_, TIOCOUTQ, &queued) != 0) return 0;
    return queued;
}

void SerialLine::DiscardInput()
{
    // Read and dropped rather than flushed by the terminal layer: as thorough
    // for what has arrived, and far cheaper, as it is done before every frame.
    uint8_t scratch[512];
    for (int i = 0; fd_ >= 0 && i < 64; ++i) {
        const ssize_t n = ::read(fd_, scratch, sizeof scratch);
        if (n < static_cast<ssize_t>(sizeof scratch)) break;
    }
}

}  // namespace nalvexa
