#include "portlib/PortUsb.h"

#include <algorithm>

#include "common/RegistUsb.h"
#include "platform/Clock.h"

namespace vexal {

namespace {
using platform::EUsbResult;

constexpr uint32_t kCheckEndPolls = 20;
constexpr uint32_t kCheckEndPollMs = 100;
constexpr uint32_t kCheckJoinMs = 2000;

std::u16string Widen(const char* psz) {
    std::u16string out;
    for (; *psz != '\0'; ++psz) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(*psz)));
    return out;
}

// Waits up to ms for the flag, in short steps.
bool WaitFlag(const std::atomic<bool>& bFlag, uint32_t ms) {
    const uint64_t nStart = platform::TickMs();
    while (!bFlag) {
        if (platform::TickMs() - nStart >= ms) return false;
        platform::SleepMs(2);
    }
    return true;
}
}  // namespace

uint64_t UsbWriteLimitMs(uint32_t dwLength) { return (static_cast<uint64_t>(dwLength) + 100) * 50; }

bool UsbWriteReopens(EUsbResult eResult) {
    // A hub that vanished is not among them: the connection check notices
    // it, and the write keeps the count of what went.
    return eResult == EUsbResult::AccessDenied || eResult == EUsbResult::InvalidHandle;
}

uint32_t UsbErrorNumber(EUsbResult eResult) {
    switch (eResult) {
    case EUsbResult::Ok: return 0;
    case EUsbResult::AccessDenied: return 5;
    case EUsbResult::InvalidHandle: return 6;
    case EUsbResult::NoDevice: return 1167;
    case EUsbResult::TimedOut: return 1460;
    case EUsbResult::Cancelled: return 995;
    default: return 31;
    }
}

CPortUsb::CPortUsb()
    : m_pBus(platform::SystemUsbBus()), m_device([](SDevice& device) {
          if (device.pDevice) device.pDevice->Cancel();
      }) {}

CPortUsb::~CPortUsb() { LogPort(kLogInfo, "~CPortUsb"); }

std::string CPortUsb::PathText() const {
    std::string out;
    out.reserve(m_strAddress.size());
    for (char16_t c : m_strAddress) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}

uint32_t CPortUsb::SetDeviceOption(const DeviceOption& option) {
    CPortInterface::SetDeviceOption(option);
    m_settings.StoreFrom(option);  // fields 8 to 14 are kept, not read
    std::u16string strAddress = option.portName != nullptr ? std::u16string(option.portName) : std::u16string();
    if (strAddress.empty()) return 0;
    m_strAddress = strAddress;
    return 1;
}

uint32_t CPortUsb::OpenPortUSB() {
    LogPort(kLogInfo, "+OpenPortUSB : USB dll");
    if (m_device.IsOpen()) {
        LogPort(kLogInfo, "+OpenPortUSB : port handle is not NULL. close and reopen.");
        ClosePortUSB();
    }
    const std::string strPath = PathText();
    EUsbResult eResult = EUsbResult::NoDevice;
    const uint64_t nOpened = m_device.Open([&]() -> std::optional<SDevice> {
        // Not an interface path (an empty text, "USB001:"): nothing to open.
        if (!m_pBus || !platform::ParseUsbInterfacePath(strPath)) return std::nullopt;
        std::unique_ptr<platform::IUsbDevice> pDevice = m_pBus->Open(strPath, eResult);
        if (!pDevice) return std::nullopt;
        // Bytes of this handle never complete a frame that the last one cut.
        return SDevice{std::move(pDevice), NewLinkGeneration()};
    });
    if (nOpened == 0) {
        LogPort(kLogError, "-OpenPortUSB : port is INVALID_HANDLE_VALUE");
        if (eResult == EUsbResult::AccessDenied)
            LogPort(kLogError,
                    "OpenPortUSB : access denied to %s (install the udev rule, see \"USB access\" in the README)",
                    {m_strAddress});
        else
            LogPort(kLogError, "OpenPortUSB : %s", {Widen(platform::UsbResultName(eResult))});
        return 0;
    }
    LogPort(kLogInfo, "-OpenPortUSB success");
    return 1;
}

void CPortUsb::ClosePortUSB() {
    LogPort(kLogInfo, "+ClosePortUSB");
    // Cancels the transfers in progress, waits for them, then closes.
    m_device.Close();
    LogPort(kLogInfo, "-ClosePortUSB");
}

uint32_t CPortUsb::OpenPort() {
    LogPort(kLogInfo, "+OpenPort : USB dll");
    if (m_bCapture) PortLog().InitCapture(true, m_strCaptureDir, u"UsbPRN");
    if (!OpenPortUSB()) return 0;

    std::shared_ptr<CPortInterface> pBase = weak_from_this().lock();
    std::shared_ptr<CPortUsb> pSelf = std::static_pointer_cast<CPortUsb>(pBase);
    if (!pSelf) {
        ClosePortUSB();  // not shared-owned: the check thread could outlive the port
        return 0;
    }
    // On-line before the check starts, so its first pass sees the hub as ours.
    m_bOpen = true;
    m_dwLinkState = ZAMO_LINK_ONLINE;
    auto pRun = std::make_shared<CCheckRun>();
    {
        std::lock_guard lock(m_csCheck);
        if (m_checkThread.joinable()) {
            // Opened twice without a close: stop the earlier run, never revive it.
            if (m_pCheckRun) {
                m_pCheckRun->m_bTerminateCheckThread = true;
                m_pCheckRun->m_wake.Set();
            }
            m_checkThread.detach();
        }
        m_pCheckRun = pRun;
        m_checkThread = std::thread([pSelf, pRun] { pSelf->CheckThread(pRun); });
    }
    LogPort(kLogInfo, "-OpenPort Success");
    return CPortInterface::OpenPort();
}

bool CPortUsb::IsCheckRunning() const {
    std::lock_guard lock(m_csCheck);
    return m_pCheckRun && !m_pCheckRun->m_bCheckEnded;
}

bool CPortUsb::GoOffline() {
    uint32_t dwOnline = ZAMO_LINK_ONLINE;
    if (!m_dwLinkState.compare_exchange_strong(dwOnline, ZAMO_LINK_OFFLINE)) {
        m_dwLinkState = ZAMO_LINK_OFFLINE;  // from the initial state
        return false;
    }
    LogPort(kLogInfo, "********************************** usb disconnect");
    return true;
}

void CPortUsb::CheckPass(const std::u16string& strSought) {
    CRegistUsb list(m_pBus, [this](const std::u16string& strLine) {
        // A hub that stays unusable is reported once, not every 100 ms.
        if (strLine == m_strLastCheckLine) return;
        m_strLastCheckLine = strLine;
        LogPort(kLogError, "%s", {strLine});
    });
    list.EnumDevices();
    // Only the port's own hub counts: another hub of its product must not
    // hide the loss of this one.
    const bool bFound = std::any_of(list.Devices().begin(), list.Devices().end(),
                                    [&](const UsbDeviceRecord& r) { return r.m_strDevicePath == strSought; });
    list.Clear();
    if (!bFound) {
        m_strLastCheckLine.clear();
        GoOffline();
        if (m_device.IsOpen()) ClosePortUSB();
        return;
    }
    if (m_dwLinkState == ZAMO_LINK_ONLINE && m_device.IsOpen()) return;
    // Listed again (or its link was lost under a read or write): reopen, and
    // go on-line only when that worked; otherwise try again next pass.
    if (m_dwLinkState == ZAMO_LINK_ONLINE) GoOffline();
    LogPort(kLogInfo, "**********************************  usb connect");
    if (OpenPortUSB()) m_dwLinkState = ZAMO_LINK_ONLINE;
}

void CPortUsb::CheckThread(std::shared_ptr<CCheckRun> pRun) {
    try {
        const std::u16string strSought = UsbUpperCase(m_strAddress);
        LogPort(kLogInfo, "***************** USB Check Thread Start ***********");
        pRun->m_bCheckEnded = false;
        bool bFlagOnEntry = true;
        while (!pRun->m_bTerminateCheckThread) {
            CheckPass(strSought);
            if (pRun->m_bTerminateCheckThread) {
                LogPort(kLogInfo, "m_bTerminateCheckThread is true in checkthread2");
                bFlagOnEntry = false;
                break;
            }
            if (pRun->m_wake.SleepMs(kUsbCheckPeriodMs) || pRun->m_bTerminateCheckThread) {
                bFlagOnEntry = false;
                break;
            }
        }
        if (bFlagOnEntry) LogPort(kLogInfo, "m_bTerminateCheckThread is true in checkthread1");
        LogPort(kLogInfo, "****************** USB Check Thread End *****************");
    } catch (...) {
        // Nothing may escape a thread; the port simply stops checking.
    }
    pRun->m_bCheckEnded = true;
}

void CPortUsb::ClosePort() {
    LogPort(kLogInfo, "+ClosePort : Port dll");
    m_bOpen = false;
    std::shared_ptr<CCheckRun> pRun;
    std::thread thread;
    {
        std::lock_guard lock(m_csCheck);
        pRun = std::move(m_pCheckRun);
        thread = std::move(m_checkThread);
    }
    LogTrace(kLogInfo, "ClosePort : set to m_bTerminateCheckThread flag");
    if (pRun) {
        pRun->m_bTerminateCheckThread = true;
        pRun->m_wake.Set();
    }
    // Transfers in progress end at once, so neither thread waits out a slice.
    LogTrace(kLogInfo, "ClosePort : call CancelIo");
    m_device.Wake();

    const bool bOnCheck = thread.joinable() && thread.get_id() == std::this_thread::get_id();
    if (pRun && !bOnCheck) {
        for (uint32_t i = 0; i < kCheckEndPolls && !pRun->m_bCheckEnded; ++i) {
            LogPort(kLogInfo, "ClosePort : wait Terminate USB ConnCheckThread.");
            WaitFlag(pRun->m_bCheckEnded, kCheckEndPollMs);
        }
    }
    if (thread.joinable()) {
        if (!bOnCheck && WaitFlag(pRun->m_bCheckEnded, kCheckJoinMs)) {
            thread.join();
        } else {
            // Never kill a thread: it keeps its share of the port and stops on its own.
            LogPort(kLogInfo, "ClosePort : TerminateThread USB ConnCheckThread.");
            thread.detach();
        }
    }
    // A reopen the check made before it stopped is cancelled too; then the
    // reader, and only then the device.
    m_device.Wake();
    CPortInterface::ClosePort();
    LogTrace(kLogInfo, "ClosePort : ClosePortUSB");
    ClosePortUSB();
    LogPort(kLogInfo, "-ClosePort : Success");
}

int32_t CPortUsb::WritePort(const uint8_t* pData, uint32_t dwLength) {
    LogTrace(kLogInfo, "+Port Write(dwWritten : %d)", {dwLength});
    if (!m_bOpen || pData == nullptr || dwLength == 0) {
        LogPort(kLogError, "-Port Write : fail to invalid parameters");
        return 0;
    }
    const uint64_t nLimit = UsbWriteLimitMs(dwLength);
    const uint64_t nStart = platform::TickMs();
    size_t nWritten = 0;
    EUsbResult eResult = EUsbResult::InvalidHandle;
    {
        CDeviceHandleOwner<SDevice>::CHold hold = m_device.Hold();
        while (hold && nWritten < dwLength) {
            const uint64_t nElapsed = platform::TickMs() - nStart;
            if (nElapsed > nLimit) {
                LogPort(kLogError, "timeout error");
                eResult = EUsbResult::TimedOut;
                break;
            }
            const uint32_t dwSlice = static_cast<uint32_t>(std::min<uint64_t>(kUsbSliceMs, nLimit - nElapsed + 1));
            size_t nDone = 0;
            eResult = hold->pDevice->Write(pData + nWritten, dwLength - nWritten, dwSlice, nDone);
            // A slice that timed out keeps what it did move.
            nWritten += std::min(nDone, static_cast<size_t>(dwLength) - nWritten);
            if (eResult == EUsbResult::Ok || eResult == EUsbResult::TimedOut || eResult == EUsbResult::Stalled) {
                if (hold.IsClosing()) break;
                continue;
            }
            break;
        }
        if (hold && nWritten == dwLength) eResult = EUsbResult::Ok;
    }
    int32_t nResult = static_cast<int32_t>(nWritten);
    if (eResult != EUsbResult::Ok && UsbWriteReopens(eResult) && m_bOpen) {
        LogPort(kLogError, "Write: Failed GetLastError %d trying close/open", {UsbErrorNumber(eResult)});
        ClosePortUSB();
        if (OpenPortUSB()) {
            m_dwLinkState = ZAMO_LINK_ONLINE;
            if (!m_bOpen) ClosePortUSB();  // a ClosePort ran meanwhile: leave nothing open
        } else {
            m_dwLinkState = ZAMO_LINK_OFFLINE;
            LogPort(kLogInfo, "disconnect in write");
        }
        nResult = 0;
    }
    // Every write with its full length, a failed one too: the capture shows what was asked.
    if (m_bCapture && PortLog().IsCaptureOpen()) PortLog().WriteCapture(pData, static_cast<size_t>(dwLength));
    LogTrace(kLogInfo, "-USB Write(dwWrittenResult : %d)", {nResult});
    return nResult;
}

int32_t CPortUsb::ReadPort(uint8_t* pBuffer, uint32_t dwSize) {
    // Off-line (unplugged): no handle is touched and nothing waits.
    if (!m_bOpen || m_dwLinkState != ZAMO_LINK_ONLINE) return 0;
    if (IsTerminating() || pBuffer == nullptr || dwSize == 0) return 0;
    CDeviceHandleOwner<SDevice>::CHold hold = m_device.Hold();
    if (!hold) return 0;
    TagReadGeneration(hold->nLinkGeneration);
    // Never more than the caller's buffer holds.
    const uint32_t dwWanted = std::min(dwSize, kUsbReadMax);
    LogTrace(kLogInfo, "****************ReadFile************************");
    const uint64_t nStart = platform::TickMs();
    for (;;) {
        size_t nDone = 0;
        const EUsbResult eResult = hold->pDevice->Read(pBuffer, dwWanted, kUsbSliceMs, nDone);
        const uint32_t dwRead = static_cast<uint32_t>(std::min<size_t>(nDone, dwWanted));
        if (dwRead > 0) {
            if (IsTerminating()) {
                LogPort(kLogInfo, "ReadThread: wait complete, but m_bTerminateThread is true");
                return 0;
            }
            LogTrace(kLogInfo, "********** Read Result :%d", {dwRead});
            return static_cast<int32_t>(dwRead);
        }
        switch (eResult) {
        case EUsbResult::Ok:
        case EUsbResult::TimedOut:
        case EUsbResult::Stalled:  // cleared by the backend: read on
            break;
        case EUsbResult::Cancelled:
            if (IsTerminating()) LogPort(kLogInfo, "ReadThread: wait cancelled, but m_bTerminateThread is true");
            return 0;
        case EUsbResult::NoDevice:
        case EUsbResult::AccessDenied:
        case EUsbResult::InvalidHandle:
            // The hub left (or its handle is unusable): off-line at once;
            // the check closes the handle and reopens when it is back.
            LogPort(kLogError, "ReadPort : %s", {Widen(platform::UsbResultName(eResult))});
            GoOffline();
            return 0;
        default: LogTrace(kLogInfo, "********** Read Result :%d", {0}); return 0;
        }
        if (IsTerminating() || hold.IsClosing()) {
            if (IsTerminating()) LogPort(kLogInfo, "ReadThread: wait cancelled, but m_bTerminateThread is true");
            return 0;
        }
        if (platform::TickMs() - nStart >= kUsbReadWaitMs) {
            LogTrace(kLogInfo, "ReadThread: Read wait cancelled");
            return 0;
        }
    }
}

}  // namespace vexal
