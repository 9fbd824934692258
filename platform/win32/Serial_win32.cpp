#include "platform/Serial.h"

#include <algorithm>

#include "platform/Clock.h"
#include "platform/WakeSignal.h"
#include "platform/win32/Win32Util.h"

namespace vexal::platform {

namespace {

// The system's own time-outs end every read and write; this much more is
// allowed before the wait gives up on a driver that does not keep them.
constexpr DWORD kDriverGraceMs = 1000;
// How often a port whose communication events cannot be waited on is asked
// for received bytes.
constexpr uint32_t kReceivePollMs = 10;

// Errors that mean the port went away (unplugged adapter, dropped link).
bool IsGone(DWORD dwError) {
    return dwError == ERROR_BAD_COMMAND || dwError == ERROR_ACCESS_DENIED || dwError == ERROR_DEVICE_REMOVED ||
           dwError == ERROR_GEN_FAILURE || dwError == ERROR_INVALID_HANDLE || dwError == ERROR_FILE_NOT_FOUND;
}

// A port that cannot report modem lines at all (a virtual port, or a
// pseudo-terminal under a compatibility layer) answers so.
bool HasNoModemLines(DWORD dwError) {
    return dwError == ERROR_NOT_SUPPORTED || dwError == ERROR_INVALID_FUNCTION || dwError == ERROR_INVALID_PARAMETER;
}

uint64_t TotalMs(uint32_t dwMultiplier, uint32_t dwConstant, size_t nBytes) {
    return static_cast<uint64_t>(dwMultiplier) * nBytes + dwConstant;
}

class CSerialDevice final : public ISerialEndpoint {
public:
    explicit CSerialDevice(HANDLE h) : m_hPort(h) {}
    ~CSerialDevice() override {
        // Drop unsent bytes first: with CTS low a close would otherwise wait for them.
        PurgeComm(m_hPort.Get(), PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR);
        CancelIoEx(m_hPort.Get(), nullptr);
    }
    CSerialDevice(const CSerialDevice&) = delete;
    CSerialDevice& operator=(const CSerialDevice&) = delete;

    int ReadLine(SSerialLineState& state) override {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!GetCommState(m_hPort.Get(), &dcb)) return static_cast<int>(GetLastError());
        state.dwBaud = dcb.BaudRate;
        state.dwDataBits = dcb.ByteSize;
        state.parity = dcb.Parity <= SPACEPARITY ? static_cast<EParity>(dcb.Parity) : EParity::None;
        state.bTwoStopBits = dcb.StopBits != ONESTOPBIT;
        state.bCtsHandshake = dcb.fOutxCtsFlow != 0;
        state.bXonXoff = dcb.fOutX != 0 && dcb.fInX != 0;
        return 0;
    }

    int ApplyLine(const SSerialLinePlan& plan) override {
        if (!plan.bValid) return ERROR_INVALID_PARAMETER;
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!GetCommState(m_hPort.Get(), &dcb)) return static_cast<int>(GetLastError());
        dcb.BaudRate = plan.dwBaud;
        dcb.ByteSize = static_cast<BYTE>(plan.dwDataBits);
        // The record's parity codes are the system's (0 none .. 4 space).
        dcb.Parity = static_cast<BYTE>(plan.parity);
        dcb.fParity = plan.parity != EParity::None;
        // Two stop bits with five data bits are one and a half on every UART.
        dcb.StopBits = !plan.bTwoStopBits ? ONESTOPBIT : plan.dwDataBits == 5 ? ONE5STOPBITS : TWOSTOPBITS;
        // Output waits for CTS and for DSR alike; DTR and RTS are held, not handshakes.
        dcb.fOutxCtsFlow = plan.bCtsHandshake;
        dcb.fOutxDsrFlow = plan.bCtsHandshake;
        dcb.fDtrControl = plan.bDtrOn ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
        dcb.fRtsControl = plan.bRtsOn ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
        dcb.fOutX = plan.bXonXoff;
        dcb.fInX = plan.bXonXoff;
        dcb.fDsrSensitivity = FALSE;
        dcb.fTXContinueOnXoff = FALSE;
        dcb.fNull = FALSE;
        return SetCommState(m_hPort.Get(), &dcb) ? 0 : static_cast<int>(GetLastError());
    }

    void SetTimeouts(const SSerialTimeouts& timeouts) override {
        COMMTIMEOUTS t{};
        t.ReadIntervalTimeout = timeouts.dwReadInterval;
        t.ReadTotalTimeoutMultiplier = timeouts.dwReadTotalMultiplier;
        t.ReadTotalTimeoutConstant = timeouts.dwReadTotalConstant;
        if (timeouts.dwReadTotalMultiplier == 0 && timeouts.dwReadTotalConstant == 0) {
            if (timeouts.dwReadInterval == 0)
                t.ReadIntervalTimeout = MAXDWORD;  // what is there, at once
            else
                t.ReadTotalTimeoutConstant = kSerialReadCapMs;  // a reader always comes back
        }
        t.WriteTotalTimeoutMultiplier = timeouts.dwWriteTotalMultiplier;
        t.WriteTotalTimeoutConstant = timeouts.dwWriteTotalConstant;
        if (timeouts.dwWriteTotalMultiplier == 0 && timeouts.dwWriteTotalConstant == 0)
            t.WriteTotalTimeoutConstant = kSerialReadCapMs;  // 0 would mean no limit at all
        m_applied = t;
        SetCommTimeouts(m_hPort.Get(), &t);
    }

    int Purge(bool bInput, bool bOutput) override {
        DWORD dwFlags = 0;
        if (bInput) dwFlags |= PURGE_RXABORT | PURGE_RXCLEAR;
        if (bOutput) dwFlags |= PURGE_TXABORT | PURGE_TXCLEAR;
        if (dwFlags == 0) return 0;
        return PurgeComm(m_hPort.Get(), dwFlags) ? 0 : static_cast<int>(GetLastError());
    }

    bool ModemStatus(uint32_t& dwBits, int& nErr) override {
        dwBits = 0;
        nErr = 0;
        DWORD dwStatus = 0;
        if (!GetCommModemStatus(m_hPort.Get(), &dwStatus)) {
            const DWORD dwError = GetLastError();
            if (!HasNoModemLines(dwError)) {
                nErr = static_cast<int>(dwError);
                return false;
            }
            // As a three-wire cable with looped handshake lines would.
            dwBits = kModemCts | kModemDsr;
            return true;
        }
        // The system's bits have the values of the trace line.
        dwBits = dwStatus & (kModemCts | kModemDsr | kModemRing | kModemCd);
        return true;
    }

    bool WaitingBytes(uint32_t& dwCount, int& nErr) override {
        dwCount = 0;
        nErr = 0;
        DWORD dwErrors = 0;
        COMSTAT stat{};
        if (!ClearCommError(m_hPort.Get(), &dwErrors, &stat)) {
            nErr = static_cast<int>(GetLastError());
            return false;
        }
        dwCount = stat.cbInQue;
        return true;
    }

    EDeviceIo WaitReceive(uint32_t ms, const CWakeSignal* pWake, int& nErr) override {
        nErr = 0;
        uint32_t dwWaiting = 0;
        if (!WaitingBytes(dwWaiting, nErr))
            return IsGone(static_cast<DWORD>(nErr)) ? EDeviceIo::HungUp : EDeviceIo::Failed;
        if (dwWaiting > 0) return EDeviceIo::Done;
        if (!m_bPollReceive) {
            const EDeviceIo result = WaitCommReceive(ms, pWake, nErr);
            if (!m_bPollReceive) return result;
        }
        // The port's communication events came back empty at once: ask for
        // received bytes in short steps instead, never in a busy loop.
        const uint64_t nStart = TickMs();
        for (;;) {
            if (!WaitingBytes(dwWaiting, nErr))
                return IsGone(static_cast<DWORD>(nErr)) ? EDeviceIo::HungUp : EDeviceIo::Failed;
            if (dwWaiting > 0) return EDeviceIo::Done;
            const uint64_t nElapsed = TickMs() - nStart;
            if (nElapsed >= ms) return EDeviceIo::TimedOut;
            const auto dwPause = static_cast<uint32_t>(std::min<uint64_t>(ms - nElapsed, kReceivePollMs));
            if (pWake != nullptr && pWake->SleepMs(dwPause)) return EDeviceIo::Woken;
            if (pWake == nullptr) SleepMs(dwPause);
        }
    }

    EDeviceIo Read(uint8_t* pBuffer, size_t nSize, size_t& nRead, const CWakeSignal* pWake, int& nErr) override {
        nRead = 0;
        nErr = 0;
        if (pBuffer == nullptr || nSize == 0) return EDeviceIo::Done;
        const DWORD dwAsk = static_cast<DWORD>(std::min<size_t>(nSize, 0x7FFFFFFF));
        const uint64_t nLimit =
            TotalMs(m_applied.ReadTotalTimeoutMultiplier, m_applied.ReadTotalTimeoutConstant, dwAsk);
        DWORD dwDone = 0;
        const EDeviceIo result = Transfer(false, pBuffer, dwAsk, nLimit, pWake, dwDone, nErr);
        nRead = dwDone;
        return result == EDeviceIo::Done && dwDone < dwAsk ? EDeviceIo::TimedOut : result;
    }

    EDeviceIo Write(const uint8_t* pData, size_t nLength, size_t& nWritten, const CWakeSignal* pWake,
                    int& nErr) override {
        nWritten = 0;
        nErr = 0;
        if (pData == nullptr || nLength == 0) return EDeviceIo::Done;
        const DWORD dwAsk = static_cast<DWORD>(std::min<size_t>(nLength, 0x7FFFFFFF));
        const uint64_t nLimit =
            TotalMs(m_applied.WriteTotalTimeoutMultiplier, m_applied.WriteTotalTimeoutConstant, dwAsk);
        DWORD dwDone = 0;
        const EDeviceIo result = Transfer(true, const_cast<uint8_t*>(pData), dwAsk, nLimit, pWake, dwDone, nErr);
        nWritten = dwDone;
        return result == EDeviceIo::Done && dwDone < dwAsk ? EDeviceIo::TimedOut : result;
    }

    int Init() {
        // Until the port library sets its own, reads return what is there
        // and writes are bounded.
        SetTimeouts(SSerialTimeouts{});
        return 0;
    }

private:
    // One overlapped read or write with an event of its own, ended by the
    // port's time-outs, the wake signal, or (for a driver that does not keep
    // its time-outs) the limit plus a grace period.
    EDeviceIo Transfer(bool bWrite, uint8_t* pBuffer, DWORD dwAsk, uint64_t nLimitMs, const CWakeSignal* pWake,
                       DWORD& dwDone, int& nErr) {
        const HANDLE h = m_hPort.Get();
        DWORD dwError = 0;
        const auto dwWait = static_cast<DWORD>(std::min<uint64_t>(nLimitMs + kDriverGraceMs, INFINITE - 1));
        switch (win32::OverlappedRequest(
            h,
            [&](OVERLAPPED* pOv) {
                return bWrite ? WriteFile(h, pBuffer, dwAsk, nullptr, pOv) : ReadFile(h, pBuffer, dwAsk, nullptr, pOv);
            },
            dwWait, pWake, dwDone, dwError)) {
        case win32::EHandleWait::Signalled: return EDeviceIo::Done;
        case win32::EHandleWait::Woken: return EDeviceIo::Woken;
        case win32::EHandleWait::TimedOut: return EDeviceIo::TimedOut;
        case win32::EHandleWait::Failed: break;
        }
        if (dwError == ERROR_OPERATION_ABORTED) return EDeviceIo::TimedOut;  // a purge ended it
        nErr = static_cast<int>(dwError);
        return IsGone(dwError) ? EDeviceIo::HungUp : EDeviceIo::Failed;
    }

    // The receive event of the driver; switches to polling when the port
    // answers with an empty event mask at once.
    EDeviceIo WaitCommReceive(uint32_t ms, const CWakeSignal* pWake, int& nErr) {
        if (!SetCommMask(m_hPort.Get(), EV_RXCHAR)) {
            m_bPollReceive = true;
            return EDeviceIo::TimedOut;
        }
        win32::CHandle hEvent = win32::MakeEvent();
        if (!hEvent.IsValid()) {
            m_bPollReceive = true;
            return EDeviceIo::TimedOut;
        }
        OVERLAPPED ov{};
        ov.hEvent = hEvent.Get();
        DWORD dwMask = 0;
        if (!WaitCommEvent(m_hPort.Get(), &dwMask, &ov)) {
            const DWORD dwError = GetLastError();
            if (dwError != ERROR_IO_PENDING) {
                if (IsGone(dwError)) {
                    nErr = static_cast<int>(dwError);
                    return EDeviceIo::HungUp;
                }
                m_bPollReceive = true;
                return EDeviceIo::TimedOut;
            }
            const win32::EHandleWait wait = win32::WaitWithWake(ov.hEvent, ms, pWake);
            if (wait != win32::EHandleWait::Signalled) {
                // A new mask completes the pending wait; then it is collected.
                SetCommMask(m_hPort.Get(), 0);
                CancelIoEx(m_hPort.Get(), &ov);
                DWORD dwIgnored = 0;
                GetOverlappedResult(m_hPort.Get(), &ov, &dwIgnored, TRUE);
                uint32_t dwWaiting = 0;
                if (wait != win32::EHandleWait::Woken && WaitingBytes(dwWaiting, nErr) && dwWaiting > 0)
                    return EDeviceIo::Done;
                return wait == win32::EHandleWait::Woken ? EDeviceIo::Woken : EDeviceIo::TimedOut;
            }
            DWORD dwIgnored = 0;
            GetOverlappedResult(m_hPort.Get(), &ov, &dwIgnored, FALSE);
        }
        if ((dwMask & EV_RXCHAR) != 0) return EDeviceIo::Done;
        uint32_t dwWaiting = 0;
        if (WaitingBytes(dwWaiting, nErr) && dwWaiting > 0) return EDeviceIo::Done;
        m_bPollReceive = true;
        return EDeviceIo::TimedOut;
    }

    win32::CHandle m_hPort;
    COMMTIMEOUTS m_applied{};  // as the driver was given them
    bool m_bPollReceive = false;
};

}  // namespace

std::unique_ptr<ISerialEndpoint> OpenSerialDevice(const std::string& strPath, int& nErr) {
    win32::CHandle h = win32::OpenDeviceExclusive(strPath, nErr);
    if (!h.IsValid()) return nullptr;
    auto pDevice = std::make_unique<CSerialDevice>(h.Release());
    nErr = pDevice->Init();
    if (nErr != 0) return nullptr;
    return pDevice;
}

std::unique_ptr<ISerialEndpoint> OpenSerialPort(std::u16string_view strName, int& nErr) {
    const auto path = win32::PortDevicePath(strName, "COM");
    if (!path) {
        nErr = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    return OpenSerialDevice(*path, nErr);
}

}  // namespace vexal::platform
