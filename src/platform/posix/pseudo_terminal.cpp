// SPDX-License-Identifier: MIT
#include "pseudo_terminal.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace nalvexa {

PseudoTerminal::~PseudoTerminal()
{
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
}

bool PseudoTerminal::Open()
{
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        error_ = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    const char* name = ::ptsname(master_);
    if (!name) {
        error_ = "no name for the pseudo-terminal";
        return false;
    }
    path_ = name;
    slave_ = ::open(name, O_RDWR | O_NOCTTY);
    if (slave_ < 0) {
        error_ = std::string("cannot open ") + path_ + ": " + std::strerror(errno);
        return false;
    }
    termios t{};
    ::tcgetattr(slave_, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(slave_, TCSANOW, &t);
    return true;
}

long PseudoTerminal::Read(uint8_t* into, size_t max, int timeoutMs)
{
    pollfd p{master_, POLLIN, 0};
    int r = ::poll(&p, 1, timeoutMs);
    if (r < 0) return errno == EINTR ? 0 : -1;
    if (r == 0) return 0;
    ssize_t n = ::read(master_, into, max);
    if (n < 0) return (errno == EINTR || errno == EAGAIN || errno == EIO) ? 0 : -1;
    return static_cast<long>(n);
}

bool PseudoTerminal::Write(const uint8_t* bytes, size_t count)
{
    while (count > 0) {
        ssize_t n = ::write(master_, bytes, count);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes += n;
        count -= static_cast<size_t>(n);
    }
    return true;
}

int PseudoTerminal::BaudRate() const
{
    termios t{};
    if (::tcgetattr(slave_, &t) != 0) return 0;
    switch (::cfgetospeed(&t)) {
    case B110: return 110;
    case B300: return 300;
    case B600: return 600;
    case B1200: return 1200;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    case B230400: return 230400;
    default: return 0;
    }
}

}  // namespace nalvexa
