// The status byte of the Windows parallel port driver, as the bits of the
// port's status register that the on-line rule judges. Pure.
#pragma once
#include <cstdint>

namespace vexal::platform::win32 {

// The driver reports conditions (selected 0x80, busy 0x40, not connected
// 0x20, power off 0x10, off line 0x08, paper empty 0x04, ...); the register
// reads not busy 0x80, acknowledge 0x40, paper out 0x20, selected 0x10, no
// error 0x08. Selected and nothing else gives the on-line register 0xD8.
uint8_t ParallelRegisterFromDriverStatus(uint8_t byDriverStatus);

}  // namespace vexal::platform::win32
