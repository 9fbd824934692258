#include "portlib/PortLpt.h"

#include <algorithm>
#include <cerrno>

namespace vexal {

namespace {
constexpr uint32_t kReaderPauseMs = 300;
constexpr uint32_t kReadSize = 20;
// The port's time-outs, set at every open.
constexpr uint32_t kReadIntervalMs = 1;
constexpr uint32_t kWriteMultiplierMs = 1;
constexpr uint32_t kWriteConstantMs = 3000;
constexpr uint32_t kLinkOnline = ZAMO_LINK_ONLINE;
constexpr uint32_t kLinkOffline = ZAMO_LINK_OFFLINE;
}  // namespace

CPortLpt::CPortLpt()
    : m_hPort([](CParallelHandle& handle) { handle.m_pWake->Set(); }),
      m_pfnOpenDevice(
          [](std::u16string_view strName, int& nErr) { return platform::OpenParallelPort(strName, nErr); }) {
    m_dwReaderPause = kDefaultReaderPauseMs;
}

CPortLpt::~CPortLpt() {
    LogPort(kLogInfo, "~CPortLpt");
    m_hPort.Close();  // a port removed without ClosePort gives its device back
}

void CPortLpt::SetParallelEndpointFactory(platform::ParallelEndpointFactory pfnFactory) {
    m_pfnOpenDevice = std::move(pfnFactory);
}

uint32_t CPortLpt::SetDeviceOption(const DeviceOption& option) {
    // No base call: the raw mode stays 0 and device 0 gets no queue here.
    m_settings.m_dwReadIntervalTimeout = option.readIntervalTimeout;
    m_settings.m_dwReadTotalTimeoutMultiplier = option.readTotalTimeoutMultiplier;
    m_settings.m_dwReadTotalTimeoutConstant = option.readTotalTimeoutConstant;
    m_settings.m_dwWriteTotalTimeoutMultiplier = option.writeTotalTimeoutMultiplier;
    m_settings.m_dwWriteTotalTimeoutConstant = option.writeTotalTimeoutConstant;
    m_settings.m_dwInputQueueSize = option.inputQueueSize;
    m_settings.m_dwOutputQueueSize = option.outputQueueSize;
    const std::u16string strAddress = option.portName != nullptr ? std::u16string(option.portName) : std::u16string();
    if (strAddress.size() < 3 || strAddress.compare(0, 3, u"LPT") != 0) return 0;
    m_strAddress = strAddress;
    return 1;
}

uint32_t CPortLpt::WriteTimeoutMs(uint32_t dwLength) const {
    const uint64_t n = static_cast<uint64_t>(m_settings.m_dwWriteTotalTimeoutMultiplier) * dwLength +
                       m_settings.m_dwWriteTotalTimeoutConstant;
    return static_cast<uint32_t>(std::min<uint64_t>(n, UINT32_MAX));
}

uint32_t CPortLpt::OpenPort() {
    if (m_bCapture) PortLog().InitCapture(true, m_strCaptureDir, u"LptPRN");
    LogPort(kLogInfo, "+OpenPort : Lpt dll");
    if (m_hPort.IsOpen()) return m_bOpen ? 1 : 0;
    NewLinkGeneration();
    int nErr = 0;
    const uint64_t nGeneration = m_hPort.Open([&]() -> std::optional<CParallelHandle> {
        auto pDevice = m_pfnOpenDevice ? m_pfnOpenDevice(m_strAddress, nErr) : nullptr;
        if (!pDevice) return std::nullopt;
        return CParallelHandle{std::move(pDevice), std::make_unique<platform::CWakeSignal>()};
    });
    if (nGeneration == 0) {
        LogPort(kLogError, "-OpenPort : port is INVALID_HANDLE_VALUE");
        return 0;
    }
    // The lp driver keeps no queues to purge; the time-outs are the port's own.
    m_settings.m_dwReadIntervalTimeout = kReadIntervalMs;
    m_settings.m_dwReadTotalTimeoutMultiplier = 0;
    m_settings.m_dwReadTotalTimeoutConstant = 0;
    m_settings.m_dwWriteTotalTimeoutMultiplier = kWriteMultiplierMs;
    m_settings.m_dwWriteTotalTimeoutConstant = kWriteConstantMs;
    m_bOpen = true;
    LogPort(kLogInfo, "-OpenPort : Success");
    return CPortInterface::OpenPort();
}

void CPortLpt::ClosePort() {
    LogPort(kLogInfo, "+ClosePort : Lpt dll");
    m_bOpen = false;
    m_hPort.Wake();  // retries of a read or write in progress end now
    LogPort(kLogInfo, "-ClosePort : Success");
    CPortInterface::ClosePort();
    m_hPort.Close();
}

int32_t CPortLpt::WritePort(const uint8_t* pData, uint32_t dwLength) {
    if (!m_bOpen || pData == nullptr || dwLength == 0) {
        LogPort(kLogError, "-Port Write : fail to invalid parameters");
        return 0;
    }
    auto hold = m_hPort.Hold();
    if (!hold) return 0;
    size_t nWritten = 0;
    int nErr = 0;
    platform::EDeviceIo result;
    {
        std::lock_guard lock(m_csSend);
        LogTrace(kLogInfo, "Port Write lock");
        LogTrace(kLogInfo, "OlapOutEvent.ResetEvent");
        LogTrace(kLogInfo, "WriteFile");
        result = hold->m_pDevice->Write(pData, dwLength, nWritten, WriteTimeoutMs(dwLength), hold->m_pWake.get(), nErr);
    }
    LogTrace(kLogInfo, "GetLastError() : %d", {nErr});
    if (result != platform::EDeviceIo::Done) LogTrace(kLogInfo, "Port Write ERROR_IO_PENDING");
    if (m_bCapture && PortLog().IsCaptureOpen() && nWritten > 0) PortLog().WriteCapture(pData, nWritten);
    const auto nResult = static_cast<int32_t>(std::min<size_t>(nWritten, dwLength));
    LogTrace(kLogInfo, "-Lpt Write(%d/%d)", {nResult, dwLength});
    return nResult;
}

void CPortLpt::KeepAlive(platform::IParallelEndpoint& device, const platform::CWakeSignal* pWake) {
    std::lock_guard lock(m_csSend);
    if (m_bWrite) {
        LogPort(kLogInfo, "other data write");
        return;
    }
    const uint8_t zero = 0x00;
    size_t nWritten = 0;
    int nErr = 0;
    device.Write(&zero, 1, nWritten, WriteTimeoutMs(1), pWake, nErr);  // outcome not checked
    LogPort(kLogInfo, "NULL byte write");
}

int32_t CPortLpt::ReadPort(uint8_t* pBuffer, uint32_t dwSize) {
    m_dwReaderPause = kReaderPauseMs;
    if (IsTerminating()) {
        LogPort(kLogInfo, "Read Thread : 1st flag.");
        return 0;
    }
    auto hold = m_hPort.Hold();
    if (!hold) {
        LogPort(kLogError, "m_hPort is NULL");
        return 0;
    }
    platform::IParallelEndpoint& device = *hold->m_pDevice;
    const platform::CWakeSignal* pWake = hold->m_pWake.get();

    uint8_t status = 0;
    uint8_t validBits = 0;
    if (device.Status(status, validBits) == 0) {
        LogTrace(kLogInfo, "LPT Status : %02x \n", {uint32_t{status}});
        m_dwLinkState = platform::IsParallelOnline(status, validBits) ? kLinkOnline : kLinkOffline;
    } else {
        // A port that cannot say its status cannot be shown to be on-line.
        LogPort(kLogError, "LPT Status : request failed");
        m_dwLinkState = kLinkOffline;
    }
    LogPort(kLogInfo, "LPT Power Status Changed : %d", {m_dwLinkState.load()});

    if (!m_bOpen) {
        LogPort(kLogInfo, "m_bOpen is FALSE");
        if (IsTerminating()) LogPort(kLogInfo, "Read Thread : last flag.");
        return 0;
    }
    LogTrace(kLogInfo, "************ ReadFile start *********************");
    size_t nRead = 0;
    int nErr = 0;
    const size_t nWanted = std::min<size_t>(kReadSize, pBuffer != nullptr ? dwSize : 0);
    if (nWanted > 0) device.Read(pBuffer, nWanted, nRead, m_settings.m_dwReadIntervalTimeout, pWake, nErr);
    if (nRead > 0) {
        TagReadGeneration(hold.Generation());
        return static_cast<int32_t>(nRead);
    }
    LogTrace(kLogInfo, "************ ReadFile data length zero. *********************");
    if (m_bOpen) {
        if (IsTerminating()) {
            LogPort(kLogInfo, "Read Thread : 2nd flag.");
            return 0;
        }
        KeepAlive(device, pWake);
    } else {
        LogPort(kLogInfo, "m_bOpen is FALSE");
    }
    if (IsTerminating()) LogPort(kLogInfo, "Read Thread : last flag.");
    return 0;
}

}  // namespace vexal
