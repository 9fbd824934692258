// Parallel (printer) ports of the platform layer: the port's status byte and
// non-blocking reads and writes with bounded retries that a wake signal ends
// (the lp driver has no poll, so a device that is not ready is asked again
// after a short pause rather than waited on).
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/DeviceIo.h"

namespace vexal::platform {

class CWakeSignal;

// Status bits of a parallel port's status register that carry meaning
// (the low three are reserved); a USB printer reports only three of them.
inline constexpr uint8_t kParallelStatusBits = 0xF8;
inline constexpr uint8_t kUsbPrinterStatusBits = 0x38;  // paper empty, selected, no error

// The on-line rule of a status register: value XOR 0x80 is 0x58 (not busy,
// acknowledge high, paper present, selected, no error), judged on the bits
// the port reports.
bool IsParallelOnline(uint8_t status, uint8_t validBits);

// How long a device that is not ready waits before it is asked again.
inline constexpr uint32_t kParallelRetryMs = 10;

class IParallelEndpoint {
public:
    virtual ~IParallelEndpoint() = default;
    // The status byte and which of its bits the device reports. 0 or an error code.
    virtual int Status(uint8_t& status, uint8_t& validBits) = 0;
    // Reads what is there, asking again until ms have passed. nRead says how many.
    virtual EDeviceIo Read(uint8_t* pBuffer, size_t nSize, size_t& nRead, uint32_t ms, const CWakeSignal* pWake,
                           int& nErr) = 0;
    // Writes all bytes, asking again while the device is not ready, for at most ms.
    virtual EDeviceIo Write(const uint8_t* pData, size_t nLength, size_t& nWritten, uint32_t ms,
                            const CWakeSignal* pWake, int& nErr) = 0;
};

// Opens a device file (non-blocking, close-on-exec). nullptr with the error code.
std::unique_ptr<IParallelEndpoint> OpenParallelDevice(const std::string& strPath, int& nErr);
// Opens the device for a port name "LPT<n>" (see DeviceNames.h): ENOENT when
// it is not LPT<n> or its link dangles.
std::unique_ptr<IParallelEndpoint> OpenParallelPort(std::u16string_view strName, int& nErr);

using ParallelEndpointFactory =
    std::function<std::unique_ptr<IParallelEndpoint>(std::u16string_view strName, int& nErr)>;

}  // namespace vexal::platform
