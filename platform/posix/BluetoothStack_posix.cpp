#include "platform/BluetoothStack.h"

namespace vexal::platform {

// None of the three Windows stacks exists here; the serial port's device-name
// directory (COM<n> links) will tell Bluetooth ports apart once it is built.
uint32_t BluetoothStackOfPort(std::u16string_view) { return 0; }

}  // namespace vexal::platform
