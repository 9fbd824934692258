#include "portlib/PortInterface.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/Clock.h"
#include "portlib/StatusBack.h"

namespace vexal {

namespace {
constexpr uint32_t kPresenceDevice = 0xFF;
constexpr uint8_t kWriteAlarm = 0x74;
constexpr uint8_t kHubAlarm = 0x75;
constexpr uint8_t kForwardedData = 0x73;
constexpr uint32_t kStopPollCount = 10;
constexpr uint32_t kStopPollMs = 100;
constexpr uint32_t kStopJoinMs = 1000;

bool IsStatusDevice(uint32_t dwDevice) { return dwDevice >= 10 && dwDevice <= 19; }

template <typename Queue>
Queue* FindFirst(std::vector<Queue>& list, uint32_t dwDevice) {
    for (auto& q : list)
        if (q.DeviceId() == dwDevice) return &q;
    return nullptr;
}

template <typename Queue>
void EraseFirst(std::vector<Queue>& list, uint32_t dwDevice) {
    auto it = std::find_if(list.begin(), list.end(), [&](const Queue& q) { return q.DeviceId() == dwDevice; });
    if (it != list.end()) list.erase(it);
}

// Format " %02x" repeated for each byte, as the trace lines are built.
std::string RepeatedByteFormat(std::string_view head, uint32_t n) {
    std::string fmt(head);
    for (uint32_t i = 0; i < n; ++i) fmt += " %02x";
    return fmt;
}
}  // namespace

uint32_t WriteAlarmCode(uint8_t status) {
    switch (status) {
    case 0: return 1200;
    case 1: return 1201;
    case 2: return 1202;
    case 4: return 1203;
    case 6: return 1203;
    default: return 1204;  // 3, 5 and everything else
    }
}

void CTransportSettings::StoreFrom(const DeviceOption& option) {
    m_dwSpeed = option.speed;
    m_dwDataBits = option.dataBits;
    m_dwStopBits = option.stopBits;
    m_dwParity = option.parity;
    m_dwFlowControl = option.flowControl;
    m_dwReadIntervalTimeout = option.readIntervalTimeout;
    m_dwReadTotalTimeoutMultiplier = option.readTotalTimeoutMultiplier;
    m_dwReadTotalTimeoutConstant = option.readTotalTimeoutConstant;
    m_dwWriteTotalTimeoutMultiplier = option.writeTotalTimeoutMultiplier;
    m_dwWriteTotalTimeoutConstant = option.writeTotalTimeoutConstant;
    m_dwInputQueueSize = option.inputQueueSize;
    m_dwOutputQueueSize = option.outputQueueSize;
    m_dwBluetoothCheck = option.bluetoothCheck;
    m_dwBluetoothStack = option.bluetoothStack;
    m_dwReserved = option.reserved;
}

// Dispatches complete frames for one reader run. Payloads of consecutive
// frames for the same device are queued together, one lock per run of frames
// rather than one per frame; anything else flushes them first, so every
// queue sees its bytes in order and callers see them by the end of the cycle.
class CFrameDispatch final : public IFrameSink {
public:
    explicit CFrameDispatch(CPortInterface& port) : m_port(port) {}

    void OnFrame(uint32_t dwDevice, const uint8_t* p, uint32_t dwLength) override;
    void OnParserEvent(EParserEvent event, uint32_t dwValue) override {
        Flush();
        m_port.OnParserEvent(event, dwValue);
    }
    void Flush() {
        if (m_batch.empty()) return;
        m_port.EnqueueData(m_dwDevice, m_batch.data(), static_cast<uint32_t>(m_batch.size()));
        m_batch.clear();
    }

private:
    void Queue(uint32_t dwDevice, const uint8_t* p, uint32_t dwLength);
    void DispatchHubFrame(const uint8_t* p, uint32_t dwLength);

    CPortInterface& m_port;
    uint32_t m_dwDevice = 0;
    std::vector<uint8_t> m_batch;
};

void CFrameDispatch::Queue(uint32_t dwDevice, const uint8_t* p, uint32_t dwLength) {
    if (m_port.m_pPortLog->IsEnabled()) {
        // One log line per frame, as the log reader expects.
        Flush();
        m_port.EnqueueData(dwDevice, p, dwLength);
        return;
    }
    if (dwDevice != m_dwDevice) {
        Flush();
        m_dwDevice = dwDevice;
    }
    if (dwLength == 0) return;                       // a forwarded frame with no data bytes
    m_batch.insert(m_batch.end(), p, p + dwLength);  // no zero-fill before the copy
}

void CFrameDispatch::OnFrame(uint32_t dwDevice, const uint8_t* p, uint32_t dwLength) {
    if (m_port.m_nAsbMode && IsStatusDevice(dwDevice)) {
        Flush();
        m_port.ASBParseReadData(p, dwLength, dwDevice);
        return;
    }
    if (dwDevice == kPresenceDevice) {
        Flush();
        m_port.LogPort(kLogInfo, "Change Device's PNP");
        std::lock_guard lock(m_port.m_csPresence);
        m_port.m_dwPresence.fill(0);
        for (uint32_t i = 0; i < dwLength; ++i) m_port.m_dwPresence[p[i]] = 1;
        return;
    }
    if (dwDevice == 0) {
        DispatchHubFrame(p, dwLength);
        return;
    }
    Queue(dwDevice, p, dwLength);
}

void CFrameDispatch::DispatchHubFrame(const uint8_t* p, uint32_t dwLength) {
    const uint8_t first = p[0];
    if (first != kWriteAlarm && first != kHubAlarm && first != kForwardedData) {
        Queue(0, p, dwLength);
        return;
    }
    if (first == kForwardedData && dwLength >= 3) {
        Queue(p[1], p + 3, dwLength - 3);
        return;
    }
    Flush();
    if (dwLength < 3) {
        // Too short to name a device and a value: never read past the payload.
        m_port.LogPort(kLogError, "short hub frame dropped (first byte %x, %d bytes)", {uint32_t{first}, dwLength});
        return;
    }
    if (first == kWriteAlarm) {
        const uint8_t a = p[1];
        const uint8_t s = p[2];
        m_port.LogPort(kLogInfo, "ZAMO_MULTI_WRITE_ALARM : DevId:%d, status:%02x", {uint32_t{a}, uint32_t{s}});
        ZamoAlarmCallback pfn = m_port.m_pfnAlarm[a].load();
        if (pfn) pfn(kWriteAlarm, 0, WriteAlarmCode(s));
    } else {
        m_port.LogPort(kLogInfo, "ZAMO_MULTI_VXL_ALARM : Type:%02x, Level:%02x", {uint32_t{p[1]}, uint32_t{p[2]}});
    }
}

CPortInterface::CPortInterface()
    : m_pPortLog(std::make_unique<CVQTPortLogger>()), m_pDirectDispatch(std::make_unique<CFrameDispatch>(*this)) {
    for (auto& pfn : m_pfnAlarm) pfn.store(nullptr);
}

CPortInterface::~CPortInterface() {
    RemoveAllList();
    std::lock_guard lock(m_csThread);
    // Never join here: the last owner may be the reader thread itself.
    if (m_thread.joinable()) m_thread.detach();
}

// ---------------------------------------------------------------- logging

void CPortInterface::LogPort(int nLevel, std::string_view format, std::initializer_list<CLogArg> args) {
    if (m_bPortLog.load(std::memory_order_relaxed)) m_pPortLog->WriteLog(nLevel, format, args);
}

void CPortInterface::LogTrace(int nLevel, std::string_view format, std::initializer_list<CLogArg> args) {
    if (m_bPortTrace.load(std::memory_order_relaxed)) m_pPortLog->WriteLog(nLevel, format, args);
}

void CPortInterface::LogAlways(int nLevel, std::string_view format, std::initializer_list<CLogArg> args) {
    if (nLevel == kLogForced || m_pPortLog->IsEnabled()) m_pPortLog->WriteLog(nLevel, format, args);
}

void CPortInterface::ReleaseLog() {
    if (m_bPortLog) m_pPortLog->WriteLog(kLogInfo, "~ReleaseLogger");
    // The object itself stays until the port is destroyed: a late reader
    // thread may still hold the port and log through it.
    m_pPortLog->Close();
    m_bPortLog = false;
    m_bPortTrace = false;
}

// ---------------------------------------------------------------- operations

uint32_t CPortInterface::SetDeviceOption(const DeviceOption& option) {
    m_nRawMode = option.rawMode;
    std::lock_guard lock(m_csRecv);
    m_recvQueues.emplace_back(0);  // also when one exists: lookups use the first
    return 1;
}

uint32_t CPortInterface::OpenPort() {
    LogPort(kLogInfo, "-OpenPort in CInterface");
    std::shared_ptr<CPortInterface> pSelf = weak_from_this().lock();
    if (!pSelf) return 0;  // not shared-owned: the reader could outlive the port
    auto pRun = std::make_shared<CReaderRun>();
    std::lock_guard lock(m_csThread);
    if (m_thread.joinable()) {
        // Opened twice without a close: stop the earlier run, never revive it.
        if (m_pRun) {
            m_pRun->m_bTerminateThread = true;
            m_pRun->m_TerminateEvent.Set();
        }
        m_thread.detach();
    }
    m_pRun = pRun;
    m_thread = std::thread([pSelf, pRun] { pSelf->ReadThread(pRun); });
    return 1;
}

void CPortInterface::ClosePort() {
    std::shared_ptr<CReaderRun> pRun;
    std::thread thread;
    {
        std::lock_guard lock(m_csThread);
        pRun = std::move(m_pRun);
        thread = std::move(m_thread);
    }
    LogTrace(kLogInfo, "ClosePort : set to m_bTerminateThread flag");
    if (pRun) pRun->m_bTerminateThread = true;
    LogTrace(kLogInfo, "ClosePort : m_TerminateEvent.SetEvent");
    if (pRun) pRun->m_TerminateEvent.Set();

    const bool bOnReader = thread.joinable() && thread.get_id() == std::this_thread::get_id();
    if (pRun && !pRun->m_bThreadEnded && !bOnReader) {
        uint32_t nPauses = 0;
        while (nPauses < kStopPollCount) {
            LogPort(kLogInfo, "ClosePort : wait Terminate Port ReadThread.");
            platform::SleepMs(kStopPollMs);
            ++nPauses;
            if (pRun->m_bThreadEnded) break;
        }
        // Written after ten pauses even when the thread ended during the last one.
        if (nPauses == kStopPollCount) LogPort(kLogInfo, "ClosePort : wait Terminate count over.");
    }
    if (thread.joinable()) {
        const uint64_t nStart = platform::TickMs();
        while (!bOnReader && !pRun->m_bThreadEnded && platform::TickMs() - nStart < kStopJoinMs) platform::SleepMs(10);
        if (!bOnReader && pRun->m_bThreadEnded) {
            thread.join();
        } else {
            // Never kill a thread: it keeps its share of the port and stops on its own.
            LogPort(kLogInfo, "ClosePort : TerminateThread Port ReadThread.");
            thread.detach();
            LogPort(kLogInfo, "ClosePort : complete TerminateThread Port ReadThread.");
        }
    }
    if (m_bCapture) {
        m_pPortLog->CloseCapture();
        m_bCapture = false;
    }
    LogPort(kLogInfo, "-ClosePort in CInterface");
}

int32_t CPortInterface::WritePort(const uint8_t*, uint32_t) { return 0; }
int32_t CPortInterface::ReadPort(uint8_t*, uint32_t) { return 0; }

namespace {
// The stop flag of the reader run that the calling thread belongs to: a late
// reader of an earlier run must see its own flag, not the new run's.
thread_local const std::atomic<bool>* t_pOwnStopFlag = nullptr;
// The generation a transport tagged the current read with, if any.
thread_local bool t_bReadTagged = false;
thread_local uint64_t t_nReadGeneration = 0;
}  // namespace

void CPortInterface::CancelOpen() {
    m_bOpenCancelled = true;
    WakeOpen();
}

uint64_t CPortInterface::NewLinkGeneration() { return ++m_nLinkGeneration; }

void CPortInterface::TagReadGeneration(uint64_t nGeneration) {
    t_bReadTagged = true;
    t_nReadGeneration = nGeneration;
}

bool CPortInterface::IsTerminating() const {
    if (t_pOwnStopFlag != nullptr) return *t_pOwnStopFlag;
    std::lock_guard lock(m_csThread);
    return !m_pRun || m_pRun->m_bTerminateThread;
}

bool CPortInterface::IsReaderRunning() const {
    std::lock_guard lock(m_csThread);
    return m_pRun && !m_pRun->m_bThreadEnded;
}

// ---------------------------------------------------------------- reader thread

void CPortInterface::ReadThread(std::shared_ptr<CReaderRun> pRun) {
    t_pOwnStopFlag = &pRun->m_bTerminateThread;
    try {
        LogPort(kLogInfo, "***************** Port Read Thread Start ***********");
        // Per run: a late thread never shares parser state with a new one.
        CFrameParser parser;
        CFrameDispatch dispatch(*this);
        std::vector<uint8_t> buffer(kReadBufferSize, 0);
        for (;;) {
            if (pRun->m_bTerminateThread) break;
            std::fill(buffer.begin(), buffer.end(), 0);
            t_bReadTagged = false;
            const int32_t n = ReadPort(buffer.data(), kReadBufferSize);
            const uint64_t nGeneration = t_bReadTagged ? t_nReadGeneration : m_nLinkGeneration.load();
            if (pRun->m_bTerminateThread) break;
            if (n <= 0) {
                ApplyLinkGeneration(parser, m_nLinkGeneration.load());
                parser.CheckIdle(Now());
            } else {
                const uint32_t nBytes = std::min<uint32_t>(static_cast<uint32_t>(n), kReadBufferSize);
                ProcessWith(parser, dispatch, buffer.data(), nBytes, nGeneration);
            }
            if (pRun->m_bTerminateThread) break;
            if (pRun->m_TerminateEvent.Wait(m_dwReaderPause)) break;
        }
        LogPort(kLogInfo, "***************** Port Read Thread End ***********");
    } catch (...) {
        // Nothing may escape a thread; the port simply stops reading.
    }
    t_pOwnStopFlag = nullptr;
    pRun->m_bThreadEnded = true;
}

void CPortInterface::ProcessReadBytes(const uint8_t* pBytes, uint32_t n) {
    ProcessWith(m_parser, *m_pDirectDispatch, pBytes, n, m_nLinkGeneration.load());
}

void CPortInterface::ApplyLinkGeneration(CFrameParser& parser, uint64_t nGeneration) {
    if (parser.SetLinkGeneration(nGeneration)) LogPort(kLogError, "frame cut by a link change dropped in readthread");
}

void CPortInterface::ProcessWith(CFrameParser& parser, CFrameDispatch& dispatch, const uint8_t* pBytes, uint32_t n,
                                 uint64_t nGeneration) {
    if (pBytes == nullptr || n == 0) return;
    ApplyLinkGeneration(parser, nGeneration);
    if (m_nRawMode == 1) {
        if (m_nAsbMode)
            ASBParseReadData(pBytes, n, 0);
        else
            EnqueueData(0, pBytes, n);
        return;
    }
    DropFrameBegunBeforeClear(parser);
    const uint64_t nBegun = parser.FramesBegun();
    parser.Process(pBytes, n, Now(), dispatch);
    dispatch.Flush();
    if (parser.IsFrameInProgress() && parser.FramesBegun() != nBegun)
        parser.SetFrameTag(m_nClears[parser.FrameDevice()].load());
}

void CPortInterface::DropFrameBegunBeforeClear(CFrameParser& parser) {
    // The rest of a reply whose exchange was given up (a link that dropped
    // mid-frame without a reconnect to tell, as a serial line does) would
    // otherwise take the first bytes of the next reply to fill its gap.
    if (!parser.IsFrameInProgress() || parser.FrameTag() == m_nClears[parser.FrameDevice()].load()) return;
    parser.Reset();
    LogPort(kLogError, "frame begun before its queue was cleared dropped in readthread");
}

void CPortInterface::SetTickSource(std::function<uint64_t()> pfnTick) { m_pfnTick = std::move(pfnTick); }

uint64_t CPortInterface::Now() const { return m_pfnTick ? m_pfnTick() : platform::TickMs(); }

void CPortInterface::OnParserEvent(EParserEvent event, uint32_t dwValue) {
    switch (event) {
    case EParserEvent::InvalidByte: LogPort(kLogError, "Invalid Zamo data packet=%c in readthread", {dwValue}); break;
    case EParserEvent::ZeroLength: LogPort(kLogError, "dwZamoDataLen is zero in readthread"); break;
    case EParserEvent::PieceTimeout: LogPort(kLogError, "remain packet timeout(%dms) in readthread", {dwValue}); break;
    }
}

// ---------------------------------------------------------------- queues

void CPortInterface::EnqueueData(uint32_t dwDevice, const uint8_t* pData, uint32_t dwLength) {
    {
        std::lock_guard lock(m_csRecv);
        CVexalData* pQueue = FindFirst(m_recvQueues, dwDevice);
        if (pQueue == nullptr) return;
        pQueue->Append(pData, dwLength);
    }
    LogAlways(kLogInfo, "EnqueueData(dwDeviceId=%d, dwDataLen=%d)", {dwDevice, dwLength});
}

void CPortInterface::AddDevice(uint32_t dwDevice) {
    if (dwDevice >= kDeviceCount) return;
    {
        std::lock_guard lock(m_csRecv);
        if (FindFirst(m_recvQueues, dwDevice) == nullptr) m_recvQueues.emplace_back(dwDevice);
    }
    if (IsStatusDevice(dwDevice)) {
        std::lock_guard lock(m_csStatus);
        if (FindFirst(m_statusQueues, dwDevice) == nullptr) m_statusQueues.emplace_back(dwDevice);
    }
}

void CPortInterface::RemoveListData(uint32_t dwDevice) {
    LogAlways(kLogInfo, "RemoveListData: dwDeviceId=%d", {dwDevice});
    {
        std::lock_guard lock(m_csRecv);
        EraseFirst(m_recvQueues, dwDevice);
    }
    if (IsStatusDevice(dwDevice)) {
        std::lock_guard lock(m_csStatus);
        EraseFirst(m_statusQueues, dwDevice);
    }
}

void CPortInterface::AppendStatusQueue(uint32_t dwDevice, uint32_t dwCapacity) {
    if (dwDevice >= kDeviceCount) return;
    std::lock_guard lock(m_csStatus);
    m_statusQueues.emplace_back(dwDevice, dwCapacity);
}

void CPortInterface::RemoveAllList() {
    LogAlways(kLogInfo, "+RemoveAllList");
    {
        std::lock_guard lock(m_csRecv);
        m_recvQueues.clear();
    }
    std::lock_guard lock(m_csStatus);
    m_statusQueues.clear();
}

uint32_t CPortInterface::Read(uint32_t dwDevice, uint8_t* pDest, uint32_t dwWanted, uint32_t dwTimeoutMs) {
    LogTrace(kLogInfo, "+Port Read(dwRead : %d, timeout: %d)", {dwWanted, dwTimeoutMs});
    if (!m_bOpen || pDest == nullptr || dwWanted == 0) {
        LogPort(kLogError, "-Port Read : fail to invalid parameters");
        return 0;
    }
    uint32_t dwWaiting = 0;
    {
        std::lock_guard lock(m_csRecv);
        CVexalData* pQueue = FindFirst(m_recvQueues, dwDevice);
        if (pQueue == nullptr) {
            dwWaiting = UINT32_MAX;
        } else {
            dwWaiting = pQueue->Count();
        }
    }
    if (dwWaiting == UINT32_MAX) {
        LogPort(kLogError, "pVxlData is NULL in Read");
        return 0;
    }
    if (dwWaiting < dwWanted) platform::SleepMs(30);

    uint32_t dwDelivered = 0;
    const uint64_t t0 = platform::TickMs();
    do {
        uint32_t dwTaken = 0;
        {
            std::lock_guard lock(m_csRecv);
            CVexalData* pQueue = FindFirst(m_recvQueues, dwDevice);
            if (pQueue == nullptr) break;  // removed while waiting
            dwTaken = pQueue->Take(pDest + dwDelivered, dwWanted - dwDelivered);
        }
        dwDelivered += dwTaken;
        if (dwTaken == 0) platform::SleepMs(100);
    } while (dwDelivered < dwWanted && platform::TickMs() - t0 < dwTimeoutMs);

    if (dwDelivered < dwWanted) LogPort(kLogError, "-Ethernet Read fail (%d/%d)", {dwDelivered, dwWanted});
    return dwDelivered;
}

uint32_t CPortInterface::AvailableCount(uint32_t dwDevice) {
    std::lock_guard lock(m_csRecv);
    CVexalData* pQueue = FindFirst(m_recvQueues, dwDevice);
    return pQueue ? pQueue->Count() : 0;
}

void CPortInterface::Clear(uint32_t dwDevice) {
    if (dwDevice < kDeviceCount) ++m_nClears[dwDevice];
    std::lock_guard lock(m_csRecv);
    CVexalData* pQueue = FindFirst(m_recvQueues, dwDevice);
    if (pQueue) pQueue->Clear();
}

uint32_t CPortInterface::ReceiveQueueCount(uint32_t dwDevice) {
    std::lock_guard lock(m_csRecv);
    return static_cast<uint32_t>(std::count_if(m_recvQueues.begin(), m_recvQueues.end(),
                                               [&](const CVexalData& q) { return q.DeviceId() == dwDevice; }));
}

uint32_t CPortInterface::StatusQueueCount(uint32_t dwDevice) {
    std::lock_guard lock(m_csStatus);
    return static_cast<uint32_t>(std::count_if(m_statusQueues.begin(), m_statusQueues.end(),
                                               [&](const CVexalStatus& q) { return q.DeviceId() == dwDevice; }));
}

uint32_t CPortInterface::StatusBytesWaiting(uint32_t dwDevice) {
    std::lock_guard lock(m_csStatus);
    CVexalStatus* pQueue = FindFirst(m_statusQueues, dwDevice);
    return pQueue ? pQueue->Count() : 0;
}

// ---------------------------------------------------------------- status back

namespace {
class CStatusSink final : public IStatusBackSink {
public:
    CStatusSink(CVQTPortLogger& log, bool bTrace, std::mutex& lock, std::vector<CVexalStatus>& queues,
                uint32_t dwDevice)
        : m_log(log), m_bTrace(bTrace), m_lock(lock), m_queues(queues), m_dwDevice(dwDevice) {}

    void OnStatusRecord(const uint8_t* r, bool bSecondKind) override {
        {
            std::lock_guard guard(m_lock);
            CVexalStatus* pQueue = FindFirst(m_queues, m_dwDevice);
            if (pQueue) pQueue->Append(r, kStatusRecordSize);
        }
        if (m_bTrace) {
            m_log.WriteLog(kLogInfo,
                           bSecondKind ? "Input IASB : %02x %02x %02x %02x" : "Input ASB : %02x %02x %02x %02x",
                           {uint32_t{r[0]}, uint32_t{r[1]}, uint32_t{r[2]}, uint32_t{r[3]}});
        }
    }
    void OnStatusTrace(EStatusTrace kind, const uint8_t* p, uint32_t n) override {
        const char* head = kind == EStatusTrace::Mixed     ? "3filter Input byte :"
                           : kind == EStatusTrace::Flushed ? "1filter Input byte :"
                                                           : "2filter Input byte :";
        std::vector<CLogArg> args(p, p + n);
        m_log.WriteLogArgs(kLogInfo, RepeatedByteFormat(head, n), args);
    }

private:
    CVQTPortLogger& m_log;
    bool m_bTrace;
    std::mutex& m_lock;
    std::vector<CVexalStatus>& m_queues;
    uint32_t m_dwDevice;
};
}  // namespace

uint32_t CPortInterface::ASBParseReadData(const uint8_t* pBytes, uint32_t n, uint32_t dwDevice) {
    const bool bTrace = m_bPortTrace;
    if (bTrace) m_pPortLog->WriteLog(kLogInfo, "ASBParseReadData(len=%d)", {n});
    // The data output is sized to the input: frames may exceed 1024 bytes.
    std::array<uint8_t, kReadBufferSize> small;
    std::vector<uint8_t> large;
    uint8_t* pData = small.data();
    if (n > small.size()) {
        large.resize(n);
        pData = large.data();
    }
    CStatusSink sink(*m_pPortLog, bTrace, m_csStatus, m_statusQueues, dwDevice);
    const uint32_t nData = FilterStatusBack(pBytes, n, pData, sink, bTrace);
    if (nData > 0) {
        EnqueueData(dwDevice, pData, nData);
        if (bTrace) {
            std::vector<CLogArg> args;
            args.reserve(nData + 1);
            args.emplace_back(nData);
            for (uint32_t i = 0; i < nData; ++i) args.emplace_back(uint32_t{pData[i]});
            m_pPortLog->WriteLogArgs(kLogInfo, RepeatedByteFormat("Input %dbytes :", nData), args);
        }
    }
    return n;
}

uint32_t CPortInterface::GetASBState(uint8_t* pDest, uint32_t dwDevice) {
    LogTrace(kLogInfo, "+GetASBState");
    int nResult = 0;  // 0 taken, 1 no queue, 2 empty
    {
        std::lock_guard lock(m_csStatus);
        CVexalStatus* pQueue = FindFirst(m_statusQueues, dwDevice);
        if (pQueue == nullptr)
            nResult = 1;
        else if (pDest == nullptr || !pQueue->TakeRecord(pDest))
            nResult = 2;
    }
    if (nResult == 1) {
        LogPort(kLogError, "-GetASBState : pVxlStatus is NULL");
        return 0;
    }
    if (nResult == 2) {
        LogPort(kLogError, "-GetASBState : pVxlStatus data empty");
        return 0;
    }
    LogTrace(kLogInfo, "-GetASBState");
    return 1;
}

// ---------------------------------------------------------------- presence, alarms, write flag

uint32_t CPortInterface::IsPresent(uint32_t dwDevice) {
    if (dwDevice >= kDeviceCount) return 0;
    std::lock_guard lock(m_csPresence);
    return m_dwPresence[dwDevice];
}

uint32_t CPortInterface::FindPresentDevice(uint32_t dwLowest, uint32_t dwHighest) {
    std::lock_guard lock(m_csPresence);
    const uint32_t dwLast = std::min(dwHighest, kDeviceCount - 1);
    for (uint32_t d = dwLowest; d <= dwLast; ++d)
        if (m_dwPresence[d] != 0) return d;
    return 0;
}

void CPortInterface::SetAlarmCallback(uint32_t dwDevice, ZamoAlarmCallback pfnCallback) {
    if (dwDevice >= kDeviceCount) return;
    m_pfnAlarm[dwDevice].store(pfnCallback);
}

void CPortInterface::SetWrite(uint32_t dwFlag) {
    LogTrace(kLogInfo, "+Port SetWrite(isWrite : %d)", {dwFlag});
    if (!m_bOpen) {
        LogPort(kLogError, "-Port SetWrite : m_bOpen is FALSE");
        return;
    }
    m_bWrite = dwFlag != 0;
}

}  // namespace vexal
