#include "platform/BluetoothStack.h"
#include "portlib/PortListMng.h"

namespace vexal {

uint32_t GetBluetoothStackType(std::u16string_view strPortName) { return platform::BluetoothStackOfPort(strPortName); }

}  // namespace vexal
