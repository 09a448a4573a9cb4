// SPDX-License-Identifier: MIT
// Kept apart: the kernel's termios2 cannot share a file with <termios.h>.
#include "custom_baud.h"

#ifdef __linux__
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace nalvexa {

bool SetCustomBaudRate(int fd, int rate)
{
    struct termios2 t {};
    if (::ioctl(fd, TCGETS2, &t) != 0) return false;
    t.c_cflag &= ~CBAUD;
    t.c_cflag |= BOTHER;
    t.c_cflag &= ~(CBAUD << IBSHIFT);
    t.c_cflag |= BOTHER << IBSHIFT;
    t.c_ispeed = static_cast<speed_t>(rate);
    t.c_ospeed = static_cast<speed_t>(rate);
    return ::ioctl(fd, TCSETS2, &t) == 0;
}

}  // namespace nalvexa

#else

namespace nalvexa {
bool SetCustomBaudRate(int, int) { return false; }
}  // namespace nalvexa

#endif
