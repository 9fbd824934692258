#include "portlib/PortCom.h"

#include <algorithm>
#include <cerrno>

#include "platform/BluetoothStack.h"
#include "platform/Clock.h"

namespace vexal {

namespace {
constexpr uint32_t kOpenPauseMs = 100;
constexpr uint32_t kCyclePauseMs = 10;
constexpr uint32_t kOpenReaderPauseMs = 100;
constexpr uint32_t kIvtReaderPauseMs = 500;
constexpr uint32_t kClosedBluetoothPauseMs = 2000;
constexpr uint32_t kBluetoothReadSize = 512;
constexpr uint32_t kIvtStack = 3;
constexpr uint32_t kBluetoothConnectWaitMs = 10000;
constexpr uint32_t kBluetoothLinePollMs = 100;
// The receive-event wait of the third stack ends after this long at most.
constexpr uint32_t kReceiveEventWaitMs = kIvtReaderPauseMs;
constexpr uint32_t kLinkOnline = ZAMO_LINK_ONLINE;
constexpr uint32_t kLinkOffline = ZAMO_LINK_OFFLINE;

// Shared by every serial port of the process: one on-line line for all.
std::atomic<uint32_t> g_dwLastReportedLineState{0};

bool BothLinesOn(uint32_t dwBits) { return (dwBits & platform::kModemCts) != 0 && (dwBits & platform::kModemDsr) != 0; }

std::u16string Widen(const std::string& str) { return std::u16string(str.begin(), str.end()); }
}  // namespace

uint32_t CPortCom::LastReportedLineState() { return g_dwLastReportedLineState.load(); }
void CPortCom::ResetLastReportedLineState() { g_dwLastReportedLineState = 0; }

CPortCom::CPortCom()
    : m_hPort([](CSerialHandle& handle) { handle.m_pWake->Set(); }),
      m_pfnOpenDevice([](std::u16string_view strName, int& nErr) { return platform::OpenSerialPort(strName, nErr); }) {}

CPortCom::~CPortCom() {
    LogPort(kLogInfo, "~CPortCom");
    // A port removed without ClosePort (or left holding a device by failed
    // line settings) gives the device and its exclusive lock back here.
    m_StopEvent.Set();
    m_hPort.Close();
}

void CPortCom::SetSerialEndpointFactory(platform::SerialEndpointFactory pfnFactory) {
    m_pfnOpenDevice = std::move(pfnFactory);
}

uint32_t CPortCom::SetDeviceOption(const DeviceOption& option) {
    CPortInterface::SetDeviceOption(option);
    m_settings.StoreFrom(option);
    std::u16string strAddress = option.portName != nullptr ? std::u16string(option.portName) : std::u16string();
    if (strAddress.empty()) return 0;
    m_strAddress = std::move(strAddress);
    return 1;
}

void CPortCom::LogApproximation(const std::string& strWhat) {
    {
        std::lock_guard lock(m_csApprox);
        if (!m_approximationsLogged.insert(strWhat).second) return;
    }
    LogPort(kLogInfo, "OpenPortSerial : approximated: %s", {Widen(strWhat)});
}

int CPortCom::AwaitBluetoothLines(platform::ISerialEndpoint& device) {
    const uint64_t nStart = platform::TickMs();
    for (;;) {
        uint32_t dwBits = 0;
        int nErr = 0;
        if (!device.ModemStatus(dwBits, nErr)) return nErr != 0 ? nErr : EIO;  // the connect failed: the device hung up
        if (BothLinesOn(dwBits)) return 0;
        if (platform::TickMs() - nStart >= kBluetoothConnectWaitMs) return ETIMEDOUT;
        if (m_StopEvent.SleepMs(kBluetoothLinePollMs) || OpenCancelled()) return ECANCELED;
    }
}

uint32_t CPortCom::OpenPortSerial() {
    LogPort(kLogInfo, "+OpenPortSerial : Serial dll");
    if (m_hPort.IsOpen()) return m_bOpen ? 1 : 0;

    int nOpenErr = 0;
    const uint64_t nGeneration = m_hPort.Open([&]() -> std::optional<CSerialHandle> {
        auto pDevice = m_pfnOpenDevice ? m_pfnOpenDevice(m_strAddress, nOpenErr) : nullptr;
        if (!pDevice) {
            if (nOpenErr == 0) nOpenErr = ENOENT;
            return std::nullopt;
        }
        // An rfcomm open starts the connection; the lines tell when it stands.
        // The device decides, not the check flag: the flag is off after
        // selectCommandMode, and the link needs the wait all the same.
        if ((IsBluetooth() && m_settings.m_dwBluetoothStack != 0) ||
            platform::BluetoothStackOfPort(m_strAddress) != 0) {
            nOpenErr = AwaitBluetoothLines(*pDevice);
            if (nOpenErr != 0) return std::nullopt;
        }
        return CSerialHandle{std::move(pDevice), std::make_unique<platform::CWakeSignal>()};
    });
    if (nGeneration == 0) {
        LogPort(kLogError, "-OpenPortSerial : port is INVALID_HANDLE_VALUE");
        LogPort(kLogError, "GetLastError() : %d", {nOpenErr});
        return 0;
    }
    m_StopEvent.SleepMs(kOpenPauseMs);

    auto hold = m_hPort.Hold();
    if (!hold) return 0;
    platform::ISerialEndpoint& device = *hold->m_pDevice;
    platform::SSerialLineState before;
    if (device.ReadLine(before) != 0) {
        LogPort(kLogError, "-OpenPortSerial : fail to GetCommState");
        return 0;
    }
    const platform::SSerialLinePlan plan =
        platform::PlanSerialLine({m_settings.m_dwSpeed, m_settings.m_dwDataBits, m_settings.m_dwStopBits,
                                  m_settings.m_dwParity, m_settings.m_dwFlowControl});
    if (!plan.bValid || device.ApplyLine(plan) != 0) {
        LogPort(kLogError, "-OpenPortSerial : fail to SetCommState");
        return 0;
    }
    for (const std::string& strWhat : plan.approximations) LogApproximation(strWhat);
    platform::SSerialLineState after;
    if (device.ReadLine(after) == 0) {
        // A pty keeps no parity or data bits, for one: worth a line, not a failure.
        for (const std::string& strMissing : platform::LineDifferences(plan, after))
            LogPort(kLogInfo, "OpenPortSerial : the device did not take %s", {Widen(strMissing)});
    }
    device.SetTimeouts({m_settings.m_dwReadIntervalTimeout, m_settings.m_dwReadTotalTimeoutMultiplier,
                        m_settings.m_dwReadTotalTimeoutConstant, m_settings.m_dwWriteTotalTimeoutMultiplier,
                        m_settings.m_dwWriteTotalTimeoutConstant});
    // The driver's own buffers serve; their sizes cannot be chosen here.
    LogApproximation("queue sizes " + std::to_string(m_settings.m_dwInputQueueSize) + "/" +
                     std::to_string(m_settings.m_dwOutputQueueSize) + " left to the driver");
    device.Purge(true, true);
    m_bOpen = true;
    LogPort(kLogInfo, "-OpenPortSerial success");
    return 1;
}

uint32_t CPortCom::OpenPort() {
    m_StopEvent.Reset();
    if (m_bCapture) PortLog().InitCapture(true, m_strCaptureDir, u"ComPRN");
    LogPort(kLogInfo, "+OpenPort : Serial dll");
    if (!m_hPort.IsOpen()) NewLinkGeneration();  // a new device: bytes of an earlier link never complete its frames
    if (OpenPortSerial() == 0) return 0;
    LogPort(kLogInfo, "-OpenPort success");
    return CPortInterface::OpenPort();
}

void CPortCom::ClosePort() {
    LogTrace(kLogInfo, "+ClosePort : Port dll");
    m_bOpen = false;
    LogTrace(kLogInfo, "ClosePort : call CancelIo");
    // Wake first: the reader's pauses and every read or write in progress end now.
    m_StopEvent.Set();
    if (auto hold = m_hPort.Hold()) {
        hold->m_pDevice->Purge(true, true);
        hold->m_pWake->Set();
    }
    LogPort(kLogInfo, "-ClosePort : Success");
    CPortInterface::ClosePort();
    // Only with the reader stopped is the device closed (its lock released,
    // its queues flushed).
    m_hPort.Close();
}

int32_t CPortCom::ReadPort(uint8_t* pBuffer, uint32_t dwSize) {
    m_dwReaderPause = kCyclePauseMs;
    if (IsTerminating() || pBuffer == nullptr || dwSize == 0) return 0;
    if (!m_hPort.IsOpen()) {
        if (IsBluetooth()) {
            LogPort(kLogInfo, "OperPortSerial failed. sleep time");
            m_StopEvent.SleepMs(kClosedBluetoothPauseMs);
        }
        return 0;
    }
    auto hold = m_hPort.Hold();
    if (!hold) return 0;  // closing
    platform::ISerialEndpoint& device = *hold->m_pDevice;
    const platform::CWakeSignal* pWake = hold->m_pWake.get();

    uint32_t dwBits = 0;
    int nErr = 0;
    if (device.ModemStatus(dwBits, nErr) && dwBits != 0) LogTrace(kLogInfo, "GetCommModemStatus : dwMask=%d", {dwBits});
    if (device.ModemStatus(dwBits, nErr) && BothLinesOn(dwBits)) {
        m_dwLinkState = kLinkOnline;
        if (g_dwLastReportedLineState.exchange(kLinkOnline) != kLinkOnline) LogPort(kLogInfo, "Serial On-line signal");
    } else {
        // Bytes not yet sent are lost; received ones are kept.
        device.Purge(false, true);
        m_dwLinkState = kLinkOffline;
        if (g_dwLastReportedLineState.exchange(kLinkOffline) != kLinkOffline)
            LogPort(kLogInfo, "Serial Off-line signal");
        if (IsBluetooth() && m_bOpen) {
            m_bOpen = false;
            hold.Release();  // the close waits for holders: never hold while closing
            m_hPort.Close();
            return 0;
        }
    }
    if (!m_bOpen) return 0;
    m_dwReaderPause = kOpenReaderPauseMs;

    uint32_t dwCount = 0;
    if (IsBluetooth() && m_settings.m_dwBluetoothStack == kIvtStack) {
        m_dwReaderPause = kIvtReaderPauseMs;
        switch (device.WaitReceive(kReceiveEventWaitMs, pWake, nErr)) {
        case platform::EDeviceIo::Done:
            if (!device.WaitingBytes(dwCount, nErr)) dwCount = 1;
            if (dwCount == 0) return 0;
            break;
        case platform::EDeviceIo::TimedOut:
        case platform::EDeviceIo::Woken: return 0;
        default: dwCount = kBluetoothReadSize; break;
        }
    } else if (IsBluetooth()) {
        dwCount = kBluetoothReadSize;  // nothing to clear: errors are not latched here
    } else {
        if (!device.WaitingBytes(dwCount, nErr) || dwCount == 0) return 0;
    }
    dwCount = std::min(dwCount, dwSize);

    LogPort(kLogInfo, "******Read File start (dwRead=%d) ****************************************", {dwCount});
    uint32_t dwWaiting = 0;
    if (!device.WaitingBytes(dwWaiting, nErr) || dwWaiting < dwCount) LogPort(kLogInfo, "Read ERROR_IO_PENDING wait");
    size_t nRead = 0;
    device.Read(pBuffer, dwCount, nRead, pWake, nErr);
    TagReadGeneration(hold.Generation());
    return static_cast<int32_t>(std::min<size_t>(nRead, dwCount));
}

int32_t CPortCom::WritePort(const uint8_t* pData, uint32_t dwLength) {
    LogTrace(kLogInfo, "+Port Write(dwWritten : %d)", {dwLength});
    if (!m_bOpen || pData == nullptr || dwLength == 0) {
        LogPort(kLogError, "-Port Write : fail to invalid parameters");
        return 0;
    }
    std::lock_guard lock(m_csSend);
    LogTrace(kLogInfo, "Port Write lock");
    auto hold = m_hPort.Hold();
    if (!hold) return 0;
    LogTrace(kLogInfo, "OlapOutEvent.ResetEvent");
    LogTrace(kLogInfo, "WriteFile");
    size_t nWritten = 0;
    int nErr = 0;
    const uint64_t nStart = platform::TickMs();
    const platform::EDeviceIo result = hold->m_pDevice->Write(pData, dwLength, nWritten, hold->m_pWake.get(), nErr);
    LogTrace(kLogInfo, "GetLastError() : %d", {nErr});
    if (result != platform::EDeviceIo::Done || platform::TickMs() != nStart)
        LogTrace(kLogInfo, "Port Write ERROR_IO_PENDING");
    if (m_bCapture && PortLog().IsCaptureOpen() && nWritten > 0) PortLog().WriteCapture(pData, nWritten);
    const int32_t nResult = static_cast<int32_t>(std::min<size_t>(nWritten, dwLength));
    LogTrace(kLogInfo, "-Port Write(dwWrittenResult : %d)", {nResult});
    return nResult;
}

}  // namespace vexal
