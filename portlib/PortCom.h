// The serial transport: a serial line cabled to the hub, or the serial port
// of a Bluetooth link (an rfcomm device). The link is on-line while the hub
// asserts CTS and DSR; a Bluetooth port that drops is closed by the reader.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "platform/Serial.h"
#include "platform/WakeSignal.h"
#include "portlib/DeviceHandleOwner.h"
#include "portlib/PortInterface.h"

namespace vexal {

// The open device and the signal that ends its reads and writes at once.
struct CSerialHandle {
    std::unique_ptr<platform::ISerialEndpoint> m_pDevice;
    std::unique_ptr<platform::CWakeSignal> m_pWake;
};

class CPortCom : public CPortInterface {
public:
    CPortCom();
    ~CPortCom() override;

    uint32_t SetDeviceOption(const DeviceOption& option) override;
    uint32_t OpenPort() override;
    void ClosePort() override;
    int32_t WritePort(const uint8_t* pData, uint32_t dwLength) override;
    int32_t ReadPort(uint8_t* pBuffer, uint32_t dwSize) override;

    // 1 open, 0 failed.
    uint32_t OpenPortSerial();

    // Where the device comes from: the system's COM<n> names unless a test plugs in a fake.
    void SetSerialEndpointFactory(platform::SerialEndpointFactory pfnFactory);

    // Whether a device is held (open, or left open by failed line settings).
    bool HasDevice() const { return m_hPort.IsOpen(); }

    // The line state last reported in the log, shared by every serial port of
    // the process (0 when none was reported yet); tests start it afresh.
    static uint32_t LastReportedLineState();
    static void ResetLastReportedLineState();

protected:
    void WakeOpen() override { m_StopEvent.Set(); }

private:
    bool IsBluetooth() const { return m_settings.m_dwBluetoothCheck == 1; }
    // Waits for the lines of a Bluetooth link to come up, as its open does
    // until connected. 0, or the error code when it did not connect.
    int AwaitBluetoothLines(platform::ISerialEndpoint& device);
    // Logs each approximation once for this port.
    void LogApproximation(const std::string& strWhat);

    CDeviceHandleOwner<CSerialHandle> m_hPort;
    platform::SerialEndpointFactory m_pfnOpenDevice;
    // Ends the pauses of the reader and of a Bluetooth open at once (ClosePort).
    platform::CWakeSignal m_StopEvent;
    // Serialises callers' writes, so frames from several threads never interleave.
    std::mutex m_csSend;
    std::mutex m_csApprox;
    std::set<std::string> m_approximationsLogged;  // under m_csApprox
};

}  // namespace vexal
