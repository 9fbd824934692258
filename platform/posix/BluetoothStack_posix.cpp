#include "platform/BluetoothStack.h"

#include "platform/DeviceNames.h"

namespace vexal::platform {

// Linux has one Bluetooth stack (BlueZ); its serial ports are rfcomm devices,
// reached through a COM<n> link or by their path. They read as the first
// stack does.
uint32_t BluetoothStackOfPort(std::u16string_view strPortName) {
    constexpr uint32_t kBlueZStack = 1;
    auto strName = DevicePathOf(strPortName);
    if (!strName) strName = AsciiPortName(strPortName);
    if (!strName) return 0;
    return PortProvider(*strName, "COM") == "rfcomm" ? kBlueZStack : 0;
}

}  // namespace vexal::platform
