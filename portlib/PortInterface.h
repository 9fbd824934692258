// CPortInterface: the base of every port object. Owns the per-device receive
// and status queues, the presence and alarm tables, their locks, the reader
// thread and the read-with-time-out that callers use.
//
// For transport writers (CPortNet, CPortUsb, CPortCom, CPortLpt):
// - Ports are always owned by std::shared_ptr; the reader thread shares that
//   ownership, so a reader that outlives ClosePort's ~2 s budget is detached
//   and can never touch freed memory.
// - OpenPort: open the device, set m_bOpen and m_dwLinkState, then call
//   CPortInterface::OpenPort() (starts the reader) only on success.
// - ClosePort, in this order: (1) wake whatever ReadPort may be blocked on
//   (shutdown() a socket, signal an eventfd/pipe), (2) clear m_bOpen and call
//   CPortInterface::ClosePort() (stops the thread), (3) only then close the
//   descriptors and set them to -1. Closing a descriptor does not wake another
//   thread's poll on Linux, and its number is reused at once.
// - Every (re)open or reconnect of the device calls NewLinkGeneration()
//   before a byte of the new link can be read, so the reader drops a frame
//   that the end of the old link cut. A transport that reopens on another
//   thread than the reader's tags each read with the generation of the handle
//   it read from (TagReadGeneration), so bytes read just before a reopen still
//   count as the old link's.
// - ReadPort must return within the transport's own time-out (well under 1 s)
//   and should return 0 promptly once IsTerminating() is true.
// - The reader thread calls ReadPort with a zero-filled 1024-byte buffer.
#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/VQTLog.h"
#include "include/zamoport.h"
#include "platform/Event.h"
#include "portlib/FrameParser.h"
#include "portlib/VexalQueue.h"

namespace vexal {

inline constexpr uint32_t kDeviceCount = 256;
inline constexpr uint32_t kReadBufferSize = 1024;
inline constexpr uint32_t kDefaultReaderPauseMs = 100;

// Write-alarm status byte -> alarm code for the callback (1200..1204).
uint32_t WriteAlarmCode(uint8_t status);

// Fields 3 to 17 of DeviceOption, as the transports store them.
struct CTransportSettings {
    uint32_t m_dwSpeed = 0;
    uint32_t m_dwDataBits = 0;
    uint32_t m_dwStopBits = 0;
    uint32_t m_dwParity = 0;
    uint32_t m_dwFlowControl = 0;
    uint32_t m_dwReadIntervalTimeout = 0;
    uint32_t m_dwReadTotalTimeoutMultiplier = 0;
    uint32_t m_dwReadTotalTimeoutConstant = 0;
    uint32_t m_dwWriteTotalTimeoutMultiplier = 0;
    uint32_t m_dwWriteTotalTimeoutConstant = 0;
    uint32_t m_dwInputQueueSize = 0;
    uint32_t m_dwOutputQueueSize = 0;
    uint32_t m_dwBluetoothCheck = 0;
    uint32_t m_dwBluetoothStack = 0;
    uint32_t m_dwReserved = 0;

    void StoreFrom(const DeviceOption& option);
};

class CFrameDispatch;

class CPortInterface : public std::enable_shared_from_this<CPortInterface> {
public:
    CPortInterface();
    virtual ~CPortInterface();
    CPortInterface(const CPortInterface&) = delete;
    CPortInterface& operator=(const CPortInterface&) = delete;

    // ---- the six operations (destructor above) ----
    // Base: stores the raw mode, appends a receive queue for device 0, returns 1.
    virtual uint32_t SetDeviceOption(const DeviceOption& option);
    // Base: starts the reader thread, returns 1. Needs shared ownership.
    virtual uint32_t OpenPort();
    // Base: stops the reader thread (about 2 s at most), closes the capture file.
    virtual void ClosePort();
    // Base: 0. Transports: bytes written, 0 invalid arguments, negative broken link.
    virtual int32_t WritePort(const uint8_t* pData, uint32_t dwLength);
    // Base: 0. Transports: bytes read (0 none), within their own time-out.
    virtual int32_t ReadPort(uint8_t* pBuffer, uint32_t dwSize);

    // A close that arrives while the first open still runs (any thread): the
    // registry holds the open/close lock across OpenPort, so the close could
    // not otherwise end the open's waits. Records the request and wakes them.
    void CancelOpen();
    bool OpenCancelled() const { return m_bOpenCancelled.load(); }

    // ---- operations used by the registry ----
    // Takes up to dwWanted bytes of the device's first receive queue, polling
    // until dwTimeoutMs have passed. Returns the bytes delivered.
    uint32_t Read(uint32_t dwDevice, uint8_t* pDest, uint32_t dwWanted, uint32_t dwTimeoutMs);
    uint32_t AvailableCount(uint32_t dwDevice);
    // Empties the device's first queue; a frame for the device that is still
    // being collected then is dropped too, so bytes sent after the clear
    // never complete it.
    void Clear(uint32_t dwDevice);
    // Closes the port's log file and switches its diagnostics off.
    void ReleaseLog();
    void RemoveAllList();

    // Queues (devices above 255 have none).
    void EnqueueData(uint32_t dwDevice, const uint8_t* pData, uint32_t dwLength);
    void AddDevice(uint32_t dwDevice);
    void RemoveListData(uint32_t dwDevice);
    void AppendStatusQueue(uint32_t dwDevice, uint32_t dwCapacity = kReceiveQueueCapacity);
    // Copies the device's oldest status record into pDest (4 bytes); 1 or 0.
    uint32_t GetASBState(uint8_t* pDest, uint32_t dwDevice);
    // Filters status records out of one block for a device (reader thread).
    uint32_t ASBParseReadData(const uint8_t* pBytes, uint32_t n, uint32_t dwDevice);

    // Presence and alarms.
    uint32_t IsPresent(uint32_t dwDevice);
    // Lowest present device in [lowest, highest], 0 if none.
    uint32_t FindPresentDevice(uint32_t dwLowest, uint32_t dwHighest);
    void SetAlarmCallback(uint32_t dwDevice, ZamoAlarmCallback pfnCallback);
    void SetWrite(uint32_t dwFlag);

    // One read cycle's bytes through the parser and dispatch (reader thread;
    // tests and benchmarks call it directly).
    void ProcessReadBytes(const uint8_t* pBytes, uint32_t n);
    // Starts a new link generation (each open, reopen or reconnect of the
    // transport) and returns its number; the reader thread then drops a frame
    // in progress from an earlier generation.
    uint64_t NewLinkGeneration();
    uint64_t LinkGeneration() const { return m_nLinkGeneration.load(); }

    // Test hook: the millisecond tick the parser uses (default platform TickMs).
    void SetTickSource(std::function<uint64_t()> pfnTick);

    // Queue sizes for tests: receive / status queues of a device (all of them).
    uint32_t ReceiveQueueCount(uint32_t dwDevice);
    uint32_t StatusQueueCount(uint32_t dwDevice);
    uint32_t StatusBytesWaiting(uint32_t dwDevice);
    bool IsReaderRunning() const;

    // ---- fields the registry reads and writes (under its own lock and m_csOpenClose) ----
    uint32_t m_dwPortId = 0;
    uint32_t m_dwRefCount = 0;
    uint32_t m_dwOpenCount = 0;
    std::u16string m_strPortName;
    int32_t m_nOpenResult = 0;
    std::atomic<uint32_t> m_nRawMode{0};
    std::atomic<uint32_t> m_nAsbMode{0};
    std::atomic<uint32_t> m_nPnPMode{0};
    // Serialises OpenPort/ClosePort/RemovePort of one port across callers' threads.
    std::mutex m_csOpenClose;
    // Set by the registry while the first OpenPort runs; a close meanwhile cancels it.
    std::atomic<bool> m_bOpening{false};
    std::atomic<bool> m_bOpenCancelled{false};

    // Diagnostic switches (off after registration).
    std::atomic<bool> m_bCapture{false};
    std::atomic<bool> m_bPortLog{false};
    std::atomic<bool> m_bPortTrace{false};
    std::u16string m_strCaptureDir;
    std::atomic<uint32_t> m_dwReaderPause{kDefaultReaderPauseMs};

    std::atomic<bool> m_bOpen{false};
    std::atomic<uint32_t> m_dwLinkState{ZAMO_LINK_INITIAL};
    std::atomic<bool> m_bWrite{false};

    CVQTPortLogger& PortLog() { return *m_pPortLog; }

protected:
    // Transports with long waits inside OpenPort end them here (default: none).
    virtual void WakeOpen() {}
    // Log helpers: port log switch, trace switch, or no switch (log object enabled).
    void LogPort(int nLevel, std::string_view format, std::initializer_list<CLogArg> args = {});
    void LogTrace(int nLevel, std::string_view format, std::initializer_list<CLogArg> args = {});
    void LogAlways(int nLevel, std::string_view format, std::initializer_list<CLogArg> args = {});

    // True once the current reader run was told to stop (ReadPort may return early).
    bool IsTerminating() const;
    // Called from ReadPort on the reader thread: the bytes this read returns
    // came from the link of this generation (otherwise the current one counts).
    void TagReadGeneration(uint64_t nGeneration);

    std::unique_ptr<CVQTPortLogger> m_pPortLog;
    std::u16string m_strAddress;    // network address or device name, for the transports
    CTransportSettings m_settings;  // fields 3..17 of the device option record

private:
    // One run of the reader thread: its own stop flag, so a late thread of an
    // earlier run is never revived by a new open.
    struct CReaderRun {
        std::atomic<bool> m_bTerminateThread{false};
        std::atomic<bool> m_bThreadEnded{false};
        platform::CEvent m_TerminateEvent{true};
    };

    friend class CFrameDispatch;

    void ReadThread(std::shared_ptr<CReaderRun> pRun);
    void ProcessWith(CFrameParser& parser, CFrameDispatch& dispatch, const uint8_t* pBytes, uint32_t n,
                     uint64_t nGeneration);
    void ApplyLinkGeneration(CFrameParser& parser, uint64_t nGeneration);
    void DropFrameBegunBeforeClear(CFrameParser& parser);
    void OnParserEvent(EParserEvent event, uint32_t dwValue);
    uint64_t Now() const;

    std::mutex m_csRecv;      // guards m_recvQueues (list and contents)
    std::mutex m_csStatus;    // guards m_statusQueues (list and contents)
    std::mutex m_csPresence;  // guards m_dwPresence
    std::vector<CVexalData> m_recvQueues;
    std::vector<CVexalStatus> m_statusQueues;
    std::array<uint32_t, kDeviceCount> m_dwPresence{};
    std::array<std::atomic<ZamoAlarmCallback>, kDeviceCount> m_pfnAlarm{};
    std::array<std::atomic<uint32_t>, kDeviceCount> m_nClears{};  // Clear calls per device

    mutable std::mutex m_csThread;  // guards m_pRun and m_thread
    std::shared_ptr<CReaderRun> m_pRun;
    std::thread m_thread;

    CFrameParser m_parser;  // ProcessReadBytes only (the reader thread has its own)
    std::unique_ptr<CFrameDispatch> m_pDirectDispatch;
    std::function<uint64_t()> m_pfnTick;
    std::atomic<uint64_t> m_nLinkGeneration{0};
};

}  // namespace vexal
