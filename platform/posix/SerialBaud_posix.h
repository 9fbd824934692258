// Baud rates through termios2, kept apart because <asm/termbits.h> and
// <termios.h> cannot share a translation unit.
#pragma once
#include <cstdint>

namespace vexal::platform {

// Sets any baud rate both ways (BOTHER). 0 or an error code.
int SetAnyBaud(int hFd, uint32_t dwBaud);
// The output baud rate the device holds. 0 or an error code.
int GetBaud(int hFd, uint32_t& dwBaud);

}  // namespace vexal::platform
