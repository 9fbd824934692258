// The serial port. Until its transport is built every operation fails.
#pragma once
#include "portlib/PortInterface.h"

namespace vexal {

class CPortCom : public CPortInterface {
public:
    CPortCom();
    ~CPortCom() override;

    uint32_t SetDeviceOption(const DeviceOption& option) override;
    uint32_t OpenPort() override;
    void ClosePort() override;
    int32_t WritePort(const uint8_t* pData, uint32_t dwLength) override;
    int32_t ReadPort(uint8_t* pBuffer, uint32_t dwSize) override;
};

}  // namespace vexal
