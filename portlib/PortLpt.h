// The parallel transport: a printer port (lp, or a USB printer through usblp).
// Each reader cycle judges the port's status register, reads what the device
// sends back, and keeps an idle line alive with a zero byte.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/Parallel.h"
#include "platform/WakeSignal.h"
#include "portlib/DeviceHandleOwner.h"
#include "portlib/PortInterface.h"

namespace vexal {

struct CParallelHandle {
    std::unique_ptr<platform::IParallelEndpoint> m_pDevice;
    std::unique_ptr<platform::CWakeSignal> m_pWake;
};

class CPortLpt : public CPortInterface {
public:
    CPortLpt();
    ~CPortLpt() override;

    uint32_t SetDeviceOption(const DeviceOption& option) override;
    uint32_t OpenPort() override;
    void ClosePort() override;
    int32_t WritePort(const uint8_t* pData, uint32_t dwLength) override;
    int32_t ReadPort(uint8_t* pBuffer, uint32_t dwSize) override;

    void SetParallelEndpointFactory(platform::ParallelEndpointFactory pfnFactory);

private:
    // One zero byte, tested against the write flag and sent under the write
    // lock, so it can never fall inside a caller's frame.
    void KeepAlive(platform::IParallelEndpoint& device, const platform::CWakeSignal* pWake);
    uint32_t WriteTimeoutMs(uint32_t dwLength) const;

    CDeviceHandleOwner<CParallelHandle> m_hPort;
    platform::ParallelEndpointFactory m_pfnOpenDevice;
    std::mutex m_csSend;
};

}  // namespace vexal
