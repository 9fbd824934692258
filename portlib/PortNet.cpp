#include "portlib/PortNet.h"

namespace vexal {

CPortNet::CPortNet() = default;
CPortNet::~CPortNet() = default;

// Not built yet: refuse everything so callers see a clean failure.
uint32_t CPortNet::SetDeviceOption(const DeviceOption&) { return 0; }
uint32_t CPortNet::OpenPort() { return 0; }
void CPortNet::ClosePort() { CPortInterface::ClosePort(); }
int32_t CPortNet::WritePort(const uint8_t*, uint32_t) { return 0; }
int32_t CPortNet::ReadPort(uint8_t*, uint32_t) { return 0; }

}  // namespace vexal
