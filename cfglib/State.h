// The session's binding of the port library (CStateCommon) and its poll
// thread (CState). Every call of a port-library entry goes through here: an
// entry that could not be bound is skipped and counts as a failed call.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "include/zamocfg.h"
#include "include/zamoport.h"
#include "platform/DynLib.h"
#include "platform/Event.h"

namespace vexal::cfg {

class CZamoCtrl;

// The stop and end flags of one run of the poll thread: a late thread of an
// earlier run can never be revived by a new open.
struct CPollRun {
    std::atomic<bool> m_bStop{false};
    std::atomic<bool> m_bEnded{false};
};

class CStateCommon {
public:
    CStateCommon();
    virtual ~CStateCommon();
    CStateCommon(const CStateCommon&) = delete;
    CStateCommon& operator=(const CStateCommon&) = delete;

    // Loads the library by name (next to this library first) and looks up
    // the 18 entries. True when all but CreatePort, RemovePort and SetWrite
    // were found. The library is never unloaded.
    bool LoadPortLibrary(const std::string& strFileName);

    // SetDeviceOption then OpenPort; returns the open count (0 on failure).
    virtual int32_t OpenPort(const DeviceOption& option, uint32_t dwPortId, uint32_t dwDeviceId);
    // Stops the poll thread and closes the port for the device; returns 0.
    virtual int32_t ClosePort(uint32_t dwPortId, uint32_t dwDeviceId);
    // The thread body of one run of the poll thread.
    virtual void ThreadBody(const std::shared_ptr<CPollRun>& pRun) { pRun->m_bEnded = true; }

    // ---- Guarded calls: an empty entry is skipped and gives the failure
    //      value; "while in use" calls also need m_nOpenCount != 0. ----
    uint32_t CallCreatePort(const std::u16string& strName, uint32_t dwDeviceType);
    uint32_t CallRemovePort(uint32_t dwPortId);
    uint32_t CallReadAvailable(uint32_t dwPortId, uint32_t dwDeviceId);
    uint32_t CallRead(uint8_t* pBuffer, uint32_t dwLength, uint32_t dwTimeoutMs, uint32_t dwPortId,
                      uint32_t dwDeviceId);
    int32_t CallWrite(const uint8_t* pData, uint32_t dwLength, uint32_t dwPortId);
    void CallSetWrite(uint32_t dwFlag, uint32_t dwPortId, uint32_t dwDeviceId);
    void CallClear(uint32_t dwPortId, uint32_t dwDeviceId);
    uint32_t CallIsPowerState(uint32_t dwPortId, uint32_t dwDeviceId);
    uint32_t CallAvailableDevId(uint32_t dwPortId, uint32_t dwDeviceType, uint32_t dwLowest, uint32_t dwHighest);
    uint32_t CallSetPnPMode(uint32_t dwFlag, uint32_t dwPortId, uint32_t dwDeviceId);
    uint32_t CallGetPnPMode(uint32_t dwPortId, uint32_t dwDeviceId);
    void CallSetAlarmCallback(uint32_t dwPortId, uint32_t dwDeviceId, ZamoAlarmCallback pfn);

    bool IsInUse() const { return m_nOpenCount.load() != 0; }
    bool IsBound() const { return m_bPortLibraryBound; }

    // The 18 entries, in the port library's order.
    decltype(&::SetDeviceOption) m_pfnSetDeviceOption = nullptr;
    decltype(&::OpenPort) m_pfnOpenPort = nullptr;
    decltype(&::ClosePort) m_pfnClosePort = nullptr;
    decltype(&::Read) m_pfnRead = nullptr;
    decltype(&::ReadAvailable) m_pfnReadAvailable = nullptr;
    decltype(&::Write) m_pfnWrite = nullptr;
    decltype(&::Clear) m_pfnClear = nullptr;
    decltype(&::IsPowerState) m_pfnIsPowerState = nullptr;
    decltype(&::GetASBState) m_pfnGetASBState = nullptr;
    decltype(&::CreatePort) m_pfnCreatePort = nullptr;
    decltype(&::RemovePort) m_pfnRemovePort = nullptr;
    decltype(&::SetWrite) m_pfnSetWrite = nullptr;
    decltype(&::AvailableDevId) m_pfnAvailableDevId = nullptr;
    decltype(&::SetAsbMode) m_pfnSetAsbMode = nullptr;
    decltype(&::GetAsbMode) m_pfnGetAsbMode = nullptr;
    decltype(&::SetPnPMode) m_pfnSetPnPMode = nullptr;
    decltype(&::GetPnPMode) m_pfnGetPnPMode = nullptr;
    decltype(&::SetAlarmCallback) m_pfnSetAlarmCallback = nullptr;

    platform::CDynLib m_hPortLibrary;
    bool m_bPortLibraryBound = false;
    std::atomic<int32_t> m_nOpenCount{0};
    std::atomic<bool> m_bStopPolling{false};
    std::thread m_pPollThread;
    platform::CEvent m_StopEvent{true, false};
    std::atomic<bool> m_bPollEnded{true};
    std::shared_ptr<CPollRun> m_pPollRun;  // the current run; changed by the client thread only
    std::recursive_mutex m_WriteLock;
    std::atomic<int32_t> m_nWriters{0};
};

// What the poll thread needs of the watched session, copied under a lock so
// that the thread never touches a session that close is changing.
struct CPollTarget {
    uint32_t dwPortId = 0;
    uint32_t dwDeviceId = 0;
    ZamoStatusCallback pfnStatus = nullptr;
    ZamoDataCallback pfnData = nullptr;
};

class CState final : public CStateCommon, public std::enable_shared_from_this<CState> {
public:
    CState() = default;
    ~CState() override;

    // Opens the port and, when it opened, starts the poll thread.
    int32_t OpenPort(const DeviceOption& option, uint32_t dwPortId, uint32_t dwDeviceId) override;
    // The base close; its result turned into 0 or 1.
    int32_t ClosePort(uint32_t dwPortId, uint32_t dwDeviceId) override;
    // PollDevice.
    void ThreadBody(const std::shared_ptr<CPollRun>& pRun) override;

    void SetSession(CZamoCtrl* pSession);
    bool SnapshotSession(CPollTarget& target);

    // Waits of the exchange that the poll thread shares with the session.
    uint32_t WaitReadAvailable(uint32_t dwLimitMs, uint32_t dwPortId, uint32_t dwDeviceId);
    uint32_t WaitAnswer(uint32_t dwLimitMs, uint32_t dwPortId, uint32_t dwDeviceId);
    // Bytes read, or 0 when nothing came (the session turns 0 into ZAMO_E_TIMEOUT).
    int32_t ReadAnswer(uint8_t* pBuffer, int32_t nLength, uint32_t dwPortId, uint32_t dwDeviceId);
    int32_t ReadDeviceData(uint8_t* pBuffer, int32_t nLength, uint32_t dwPortId, uint32_t dwDeviceId);

private:
    void StartPollThread();
    // Drains the device's queue; the text for the data callback, or none
    // when nothing was read or there is no callback to call.
    std::optional<std::u16string> ReadReceivedData(const CPollTarget& target);

    std::mutex m_SessionLock;
    CZamoCtrl* m_pSession = nullptr;  // guarded by m_SessionLock

public:
    // Held by an exchange with the session's own device for its whole
    // length; the poll thread only drains that queue when it can take it,
    // so a reply is never handed to the data callback instead.
    std::mutex m_DeviceReadLock;
};

// Poll intervals and limits of the exchange and the poll thread, in ms.
inline constexpr uint32_t kPollIdleMs = 500;
inline constexpr uint32_t kPollActiveMs = 100;
inline constexpr uint32_t kPollStopWaitMs = 2000;

}  // namespace vexal::cfg
