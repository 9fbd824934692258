#include "platform/Parallel.h"

#include "platform/win32/Win32Util.h"
// After <windows.h>: the driver request's definitions build on it.
#include <winioctl.h>
#include <ntddpar.h>

#include <algorithm>

#include "platform/WakeSignal.h"
#include "platform/win32/ParallelStatus.h"

namespace vexal::platform {

namespace win32 {

uint8_t ParallelRegisterFromDriverStatus(uint8_t byStatus) {
    constexpr uint8_t kNotBusy = 0x80, kAcknowledge = 0x40, kPaperOut = 0x20, kSelected = 0x10, kNoError = 0x08;
    // Any condition besides selection, busy and paper (off line, power off,
    // not connected, and the init and auto-feed lines) is an error.
    constexpr uint8_t kErrorConditions =
        PARALLEL_NOT_CONNECTED | PARALLEL_POWER_OFF | PARALLEL_OFF_LINE | PARALLEL_AUTOFEED | PARALLEL_INIT;
    uint8_t byRegister = kAcknowledge;
    if ((byStatus & PARALLEL_BUSY) == 0) byRegister |= kNotBusy;
    if ((byStatus & PARALLEL_PAPER_EMPTY) != 0) byRegister |= kPaperOut;
    if ((byStatus & PARALLEL_SELECTED) != 0) byRegister |= kSelected;
    if ((byStatus & kErrorConditions) == 0) byRegister |= kNoError;
    return byRegister;
}

}  // namespace win32

namespace {

// A status request or a transfer that the driver does not end gives up after this.
constexpr DWORD kStatusWaitMs = 3000;
constexpr DWORD kDriverGraceMs = 1000;

class CParallelDevice final : public IParallelEndpoint {
public:
    explicit CParallelDevice(HANDLE h) : m_hPort(h) {}
    ~CParallelDevice() override { CancelIoEx(m_hPort.Get(), nullptr); }
    CParallelDevice(const CParallelDevice&) = delete;
    CParallelDevice& operator=(const CParallelDevice&) = delete;

    int Status(uint8_t& status, uint8_t& validBits) override {
        PAR_QUERY_INFORMATION info{};
        DWORD dwDone = 0;
        int nErr = 0;
        if (Overlapped(
                [&](OVERLAPPED* pOv) {
                    return DeviceIoControl(m_hPort.Get(), IOCTL_PAR_QUERY_INFORMATION, nullptr, 0, &info, sizeof info,
                                           nullptr, pOv);
                },
                kStatusWaitMs, nullptr, dwDone, nErr) != EDeviceIo::Done)
            return nErr != 0 ? nErr : ERROR_TIMEOUT;
        status = win32::ParallelRegisterFromDriverStatus(info.Status);
        validBits = kParallelStatusBits;
        return 0;
    }

    EDeviceIo Read(uint8_t* pBuffer, size_t nSize, size_t& nRead, uint32_t ms, const CWakeSignal* pWake,
                   int& nErr) override {
        nRead = 0;
        nErr = 0;
        DWORD dwDone = 0;
        const auto dwAsk = static_cast<DWORD>(std::min<size_t>(nSize, 0x7FFFFFFF));
        const EDeviceIo result =
            Overlapped([&](OVERLAPPED* pOv) { return ReadFile(m_hPort.Get(), pBuffer, dwAsk, nullptr, pOv); },
                       ms + kDriverGraceMs, pWake, dwDone, nErr);
        nRead = dwDone;
        return result == EDeviceIo::Done && dwDone == 0 ? EDeviceIo::TimedOut : result;
    }

    EDeviceIo Write(const uint8_t* pData, size_t nLength, size_t& nWritten, uint32_t ms, const CWakeSignal* pWake,
                    int& nErr) override {
        nWritten = 0;
        nErr = 0;
        DWORD dwDone = 0;
        const auto dwAsk = static_cast<DWORD>(std::min<size_t>(nLength, 0x7FFFFFFF));
        const EDeviceIo result =
            Overlapped([&](OVERLAPPED* pOv) { return WriteFile(m_hPort.Get(), pData, dwAsk, nullptr, pOv); },
                       ms + kDriverGraceMs, pWake, dwDone, nErr);
        nWritten = dwDone;
        return result == EDeviceIo::Done && dwDone < dwAsk ? EDeviceIo::TimedOut : result;
    }

private:
    // One overlapped request, waited for at most ms.
    EDeviceIo Overlapped(const std::function<BOOL(OVERLAPPED*)>& start, DWORD ms, const CWakeSignal* pWake,
                         DWORD& dwDone, int& nErr) {
        DWORD dwError = 0;
        switch (win32::OverlappedRequest(m_hPort.Get(), start, ms, pWake, dwDone, dwError)) {
        case win32::EHandleWait::Signalled: return EDeviceIo::Done;
        case win32::EHandleWait::Woken: return EDeviceIo::Woken;
        case win32::EHandleWait::TimedOut: return EDeviceIo::TimedOut;
        case win32::EHandleWait::Failed: break;
        }
        nErr = static_cast<int>(dwError);
        return dwError == ERROR_OPERATION_ABORTED ? EDeviceIo::TimedOut : EDeviceIo::Failed;
    }

    win32::CHandle m_hPort;
};

}  // namespace

std::unique_ptr<IParallelEndpoint> OpenParallelDevice(const std::string& strPath, int& nErr) {
    win32::CHandle hDevice = win32::OpenDeviceExclusive(strPath, nErr);
    if (!hDevice.IsValid()) return nullptr;
    const HANDLE h = hDevice.Release();
    // The port's own time-outs (read interval 1 ms, writes 3000 ms plus 1 ms
    // a byte) and empty queues; the outcome is not checked.
    COMMTIMEOUTS timeouts{1, 0, 0, 1, 3000};
    SetCommTimeouts(h, &timeouts);
    PurgeComm(h, PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR);
    return std::make_unique<CParallelDevice>(h);
}

std::unique_ptr<IParallelEndpoint> OpenParallelPort(std::u16string_view strName, int& nErr) {
    const auto path = win32::PortDevicePath(strName, "LPT");
    if (!path) {
        nErr = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    return OpenParallelDevice(*path, nErr);
}

}  // namespace vexal::platform
