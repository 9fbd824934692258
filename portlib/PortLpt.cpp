#include "portlib/PortLpt.h"

namespace vexal {

CPortLpt::CPortLpt() = default;
CPortLpt::~CPortLpt() = default;

// Not built yet: refuse everything so callers see a clean failure.
uint32_t CPortLpt::SetDeviceOption(const DeviceOption&) { return 0; }
uint32_t CPortLpt::OpenPort() { return 0; }
void CPortLpt::ClosePort() { CPortInterface::ClosePort(); }
int32_t CPortLpt::WritePort(const uint8_t*, uint32_t) { return 0; }
int32_t CPortLpt::ReadPort(uint8_t*, uint32_t) { return 0; }

}  // namespace vexal
