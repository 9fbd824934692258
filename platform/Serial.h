// Serial devices of the platform layer: an open line with its settings,
// time-outs, modem lines and bounded, wakeable reads and writes.
//
// A COM<n> name is looked up in the device directory, a device path is
// opened as it stands (DeviceNames.h); the device is opened without becoming
// the controlling terminal, non-blocking and close-on-exec, taken
// exclusively, and set to raw mode. Its destructor
// releases the exclusive lock and flushes both queues before closing, so a
// close never waits for bytes that CTS holds back.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/DeviceIo.h"
#include "platform/SerialLine.h"

namespace vexal::platform {

class CWakeSignal;

// Time-outs in ms, with the meaning a serial driver gives them: a read ends
// once the interval passes without a byte (after the first one), or the total
// (multiplier x bytes asked + constant) has passed; a write ends when all is
// out or its total has passed. 0 for all read values: the read returns what
// is there at once.
struct SSerialTimeouts {
    uint32_t dwReadInterval = 0;
    uint32_t dwReadTotalMultiplier = 0;
    uint32_t dwReadTotalConstant = 0;
    uint32_t dwWriteTotalMultiplier = 0;
    uint32_t dwWriteTotalConstant = 0;
};

// A read with neither interval nor total time-out still ends after this long,
// so a reader thread always comes back.
inline constexpr uint32_t kSerialReadCapMs = 1000;

class ISerialEndpoint {
public:
    virtual ~ISerialEndpoint() = default;

    // The line as the device holds it now. 0 or an error code.
    virtual int ReadLine(SSerialLineState& state) = 0;
    // Applies a valid plan (baud rates off the standard list included),
    // including the DTR and RTS levels. 0 or an error code.
    virtual int ApplyLine(const SSerialLinePlan& plan) = 0;
    virtual void SetTimeouts(const SSerialTimeouts& timeouts) = 0;
    // Discards received and/or unsent bytes. Discarding unsent bytes also
    // ends a write in progress, which reports what had left before. 0 or an error code.
    virtual int Purge(bool bInput, bool bOutput) = 0;

    // The modem lines (kModem* bits). A device without modem lines reports
    // CTS and DSR on. False when the line hung up or cannot be asked.
    virtual bool ModemStatus(uint32_t& dwBits, int& nErr) = 0;
    // Bytes received and waiting. False when the line hung up or cannot be asked.
    virtual bool WaitingBytes(uint32_t& dwCount, int& nErr) = 0;
    // Waits up to ms for a received byte (the receive event of a serial driver).
    virtual EDeviceIo WaitReceive(uint32_t ms, const CWakeSignal* pWake, int& nErr) = 0;

    // Reads up to nSize bytes within the read time-outs; nRead says how many.
    virtual EDeviceIo Read(uint8_t* pBuffer, size_t nSize, size_t& nRead, const CWakeSignal* pWake, int& nErr) = 0;
    // Writes all bytes within the write time-out and waits until they left
    // the line; nWritten counts only those (never bytes merely queued).
    virtual EDeviceIo Write(const uint8_t* pData, size_t nLength, size_t& nWritten, const CWakeSignal* pWake,
                            int& nErr) = 0;
};

// Opens a device file as a serial line. nullptr with the error code.
std::unique_ptr<ISerialEndpoint> OpenSerialDevice(const std::string& strPath, int& nErr);

// Opens the device for a port name "COM<n>" or a device path (see
// DeviceNames.h). Any other name or a dangling link gives ENOENT.
std::unique_ptr<ISerialEndpoint> OpenSerialPort(std::u16string_view strName, int& nErr);

// How a serial port gets its endpoint: the system's by default, a fake in tests.
using SerialEndpointFactory = std::function<std::unique_ptr<ISerialEndpoint>(std::u16string_view strName, int& nErr)>;

}  // namespace vexal::platform
