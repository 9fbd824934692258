#include "platform/posix/SerialBaud_posix.h"

#include <asm/termbits.h>
#include <cerrno>
#include <sys/ioctl.h>

namespace vexal::platform {

int SetAnyBaud(int hFd, uint32_t dwBaud) {
    struct termios2 tio {};
    if (ioctl(hFd, TCGETS2, &tio) != 0) return errno;
    tio.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    tio.c_ispeed = dwBaud;
    tio.c_ospeed = dwBaud;
    return ioctl(hFd, TCSETS2, &tio) == 0 ? 0 : errno;
}

int GetBaud(int hFd, uint32_t& dwBaud) {
    struct termios2 tio {};
    if (ioctl(hFd, TCGETS2, &tio) != 0) return errno;
    dwBaud = tio.c_ospeed;
    return 0;
}

}  // namespace vexal::platform
