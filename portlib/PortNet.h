// The network transport: a TCP link to the hub, watched on the reader thread
// by ICMP echo checks, close checks and keep-alive bytes.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "platform/Icmp.h"
#include "platform/Socket.h"
#include "platform/WakeSignal.h"
#include "portlib/PortInterface.h"

namespace vexal {

class CPortNet : public CPortInterface {
public:
    CPortNet();
    ~CPortNet() override;

    uint32_t SetDeviceOption(const DeviceOption& option) override;
    uint32_t OpenPort() override;
    void ClosePort() override;
    int32_t WritePort(const uint8_t* pData, uint32_t dwLength) override;
    int32_t ReadPort(uint8_t* pBuffer, uint32_t dwSize) override;

    // 1 connected, 0 failed.
    uint32_t ConnectSocket();
    // 1 no close seen, 0 the hub closed (or the socket cannot be asked).
    uint32_t CheckFinReceived();
    // 1 the hub answered an echo request, 0 not.
    uint32_t CheckPingResponse(const std::u16string& strAddress);

    // Where echo endpoints come from: the system's paths unless a test plugs in a fake.
    void SetIcmpEndpointFactory(platform::IcmpEndpointFactory pfnFactory);

    uint32_t IsReachable() const { return m_bReachable.load(); }
    uint32_t IsReconnectPending() const { return m_bReconnect.load(); }

private:
    enum class EReplyWait { Valid, NothingArrived, OnlyInvalid, WaitFailed, ReceiveFailed, Woken };
    EReplyWait AwaitReply(platform::IIcmpEndpoint& endpoint, uint32_t dwDestination, uint16_t wId, int& nErr);
    // A pause that ClosePort ends at once; true when it was ended so.
    bool Pause(uint32_t ms);
    bool StopRequested() const;
    void ClearLinkFlags();

    platform::CTcpSocket m_hPort;  // the TCP link to the hub
    // Orders the keep-alive byte against callers' writes: the write flag is
    // tested and the byte sent under it, so a SetWrite(1) followed by a write
    // can never let the byte fall inside a frame that goes out in pieces.
    std::mutex m_csSend;
    platform::CWakeSignal m_StopEvent;  // set by ClosePort: ends every wait and pause of the reader
    platform::IcmpEndpointFactory m_pfnOpenIcmp;
    std::atomic<uint32_t> m_bReachable{0};
    std::atomic<uint32_t> m_bReconnect{0};
    int m_nLastIcmpPath = -1;  // the path last used, logged when it changes
    uint32_t m_dwAddress = 0;  // parsed address text, host order
    bool m_bAddressValid = false;
    uint16_t m_wPortNumber = 0;
};

}  // namespace vexal
