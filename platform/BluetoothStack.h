// Which Bluetooth stack drives a serial port, told by the port's driver
// provider: 0 unknown or not Bluetooth, 1 "Microsoft", 2 "TOSHIBA", 3 "IVT".
#pragma once
#include <cstdint>
#include <string_view>

namespace vexal::platform {

uint32_t BluetoothStackOfPort(std::u16string_view strPortName);

}  // namespace vexal::platform
