// The USB transport: one hub opened by its interface path, read and written
// in short slices, watched by a connection-check thread that re-enumerates
// the bus every 100 ms and closes or re-opens the device as it leaves and
// comes back.
//
// Close order: stop flags, wake the check thread and cancel the transfers in
// progress, stop the check thread, stop the reader (base ClosePort), and only
// then close the device. The device handle lives in one CDeviceHandleOwner:
// every read and write holds it while it runs, reopen and close go through it.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/Usb.h"
#include "platform/WakeSignal.h"
#include "portlib/DeviceHandleOwner.h"
#include "portlib/PortInterface.h"

namespace vexal {

inline constexpr uint32_t kUsbCheckPeriodMs = 100;
inline constexpr uint32_t kUsbSliceMs = 100;
inline constexpr uint32_t kUsbReadWaitMs = 2000;
inline constexpr uint32_t kUsbReadMax = 1024;

// The time limit of a write: (length + 100) x 50 ms.
uint64_t UsbWriteLimitMs(uint32_t dwLength);
// Whether a failed write takes the close-and-reopen path (access was denied,
// or the handle is closed).
bool UsbWriteReopens(platform::EUsbResult eResult);
// The error number logged for a failed transfer (5 access denied, 6 invalid
// handle, 1167 device not connected, 1460 time-out, 995 cancelled, 31 other).
uint32_t UsbErrorNumber(platform::EUsbResult eResult);

class CPortUsb : public CPortInterface {
public:
    CPortUsb();
    ~CPortUsb() override;

    uint32_t SetDeviceOption(const DeviceOption& option) override;
    uint32_t OpenPort() override;
    void ClosePort() override;
    int32_t WritePort(const uint8_t* pData, uint32_t dwLength) override;
    int32_t ReadPort(uint8_t* pBuffer, uint32_t dwSize) override;

    // 1 opened, 0 failed.
    uint32_t OpenPortUSB();
    void ClosePortUSB();

    // The bus to use (the system's unless a test plugs in a fake); set before OpenPort.
    void SetUsbBus(std::shared_ptr<platform::IUsbBus> pBus) { m_pBus = std::move(pBus); }
    bool IsDeviceOpen() const { return m_device.IsOpen(); }
    bool IsCheckRunning() const;

private:
    struct SDevice {
        std::unique_ptr<platform::IUsbDevice> pDevice;
        uint64_t nLinkGeneration = 0;
    };
    // One run of the connection check: its own stop flag, so a late thread
    // of an earlier run is never revived by a new open.
    struct CCheckRun {
        std::atomic<bool> m_bTerminateCheckThread{false};
        std::atomic<bool> m_bCheckEnded{false};
        platform::CWakeSignal m_wake;
    };

    void CheckThread(std::shared_ptr<CCheckRun> pRun);
    void CheckPass(const std::u16string& strSought);
    // 2001 -> 2003 once, with the disconnect line; false when already off-line.
    bool GoOffline();
    std::string PathText() const;

    std::shared_ptr<platform::IUsbBus> m_pBus;
    CDeviceHandleOwner<SDevice> m_device;
    std::u16string m_strLastCheckLine;  // check thread only: a reason is logged once

    mutable std::mutex m_csCheck;  // guards the two below
    std::shared_ptr<CCheckRun> m_pCheckRun;
    std::thread m_checkThread;
};

}  // namespace vexal
