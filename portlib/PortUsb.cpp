#include "portlib/PortUsb.h"

namespace vexal {

CPortUsb::CPortUsb() = default;
CPortUsb::~CPortUsb() = default;

// Not built yet: refuse everything so callers see a clean failure.
uint32_t CPortUsb::SetDeviceOption(const DeviceOption&) { return 0; }
uint32_t CPortUsb::OpenPort() { return 0; }
void CPortUsb::ClosePort() { CPortInterface::ClosePort(); }
int32_t CPortUsb::WritePort(const uint8_t*, uint32_t) { return 0; }
int32_t CPortUsb::ReadPort(uint8_t*, uint32_t) { return 0; }

}  // namespace vexal
