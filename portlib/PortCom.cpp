#include "portlib/PortCom.h"

namespace vexal {

CPortCom::CPortCom() = default;
CPortCom::~CPortCom() = default;

// Not built yet: refuse everything so callers see a clean failure.
uint32_t CPortCom::SetDeviceOption(const DeviceOption&) { return 0; }
uint32_t CPortCom::OpenPort() { return 0; }
void CPortCom::ClosePort() { CPortInterface::ClosePort(); }
int32_t CPortCom::WritePort(const uint8_t*, uint32_t) { return 0; }
int32_t CPortCom::ReadPort(uint8_t*, uint32_t) { return 0; }

}  // namespace vexal
