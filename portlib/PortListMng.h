// CPortListMng: the process-wide port registry. Maps port identifiers to
// shared port objects, shares one object per name, counts references and
// opens, and writes the exported functions' log lines.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <type_traits>

#include "common/VQTLog.h"
#include "include/zamoport.h"
#include "portlib/PortInterface.h"

namespace vexal {

inline constexpr uint32_t kFirstPortId = 10000;
inline constexpr uint32_t kUnknownPortMode = 1000;

// Port type from the name: a device path (platform::DevicePathOf) is serial;
// otherwise "COM" serial, "USB", "LPT", else network; 0 for empty.
uint32_t PortTypeFromName(std::u16string_view strName);

// Bluetooth stack behind a serial port name (0 unknown or none).
uint32_t GetBluetoothStackType(std::u16string_view strPortName);

class CPortListMng {
public:
    using PortFactory = std::function<std::shared_ptr<CPortInterface>(uint32_t dwPortType)>;

    // The registry of the process: created on first use, never destroyed.
    static CPortListMng& Instance();
    // Tests build their own registry with a factory of fake transports.
    explicit CPortListMng(PortFactory factory);

    uint32_t CreatePort(std::u16string_view strPort, uint32_t dwDeviceType);
    uint32_t RemovePort(uint32_t dwPortId);
    uint32_t SetDeviceOption(DeviceOption option, uint32_t dwPortId);
    uint32_t OpenPort(uint32_t dwPortId, uint32_t dwDeviceId);
    void ClosePort(uint32_t dwPortId, uint32_t dwDeviceId);
    uint32_t Read(uint8_t* pDest, uint32_t dwWanted, uint32_t dwTimeout, uint32_t dwPortId, uint32_t dwDeviceId);
    uint32_t ReadAvailable(uint32_t dwPortId, uint32_t dwDeviceId);
    int32_t Write(const uint8_t* pData, uint32_t dwLength, uint32_t dwPortId);
    void SetWrite(uint32_t dwFlag, uint32_t dwPortId, uint32_t dwDeviceId);
    void Clear(uint32_t dwPortId, uint32_t dwDeviceId);
    uint32_t IsPowerState(uint32_t dwPortId, uint32_t dwDeviceId);
    uint32_t GetASBState(uint8_t* pDest, uint32_t dwPortId, uint32_t dwDeviceId);
    uint32_t AvailableDevId(uint32_t dwPortId, uint32_t dwLowest, uint32_t dwHighest);
    uint32_t SetAsbMode(uint32_t dwFlag, uint32_t dwPortId, uint32_t dwDeviceId);
    uint32_t GetAsbMode(uint32_t dwPortId, uint32_t dwDeviceId);
    uint32_t SetPnPMode(uint32_t dwFlag, uint32_t dwPortId, uint32_t dwDeviceId);
    uint32_t GetPnPMode(uint32_t dwPortId, uint32_t dwDeviceId);
    void SetAlarmCallback(uint32_t dwPortId, uint32_t dwDeviceId, ZamoAlarmCallback pfnCallback);

    // Keeps the port alive while a call uses it; null when unknown.
    std::shared_ptr<CPortInterface> Find(uint32_t dwPortId);
    size_t PortCount();

    // Test hooks.
    void SetNextPortId(uint32_t dwNext);
    void SetLogSwitches(uint32_t nSwitchA, uint32_t nSwitchB);
    CVQTPortLogger& RegistryLog() { return m_log; }

private:
    // The values an exit line shows: none, the result, or the port and the result.
    enum class EExitValues { None, Result, PortAndResult };
    // The log lines of one exported call on a port. The entry and exit lines go
    // through switch A or B; the unknown-port line (none when empty) through A.
    // An empty exit line: the call writes its own.
    struct SPortCall {
        bool bSwitchA;
        std::string_view entry;
        std::string_view unknown;
        std::string_view exit;
        EExitValues eExitValues;
    };

    // Writes the entry line, finds the port (unknown: writes the unknown-port
    // line and returns nUnknown), runs fn on it and writes the exit line.
    template <typename TFn, typename TResult = std::invoke_result_t<TFn, CPortInterface&>>
    TResult OnPort(const SPortCall& call, std::initializer_list<CLogArg> entryArgs, uint32_t dwPortId, TFn&& fn,
                   uint32_t nUnknown = 0);

    void LogA(int nLevel, std::string_view format, std::initializer_list<CLogArg> args = {});
    void LogB(int nLevel, std::string_view format, std::initializer_list<CLogArg> args = {});

    PortFactory m_factory;
    std::mutex m_mutex;  // guards m_ports, m_dwNextPortId, names and reference counts
    uint32_t m_dwNextPortId = kFirstPortId;
    std::list<std::shared_ptr<CPortInterface>> m_ports;  // newest first
    std::atomic<uint32_t> m_nLogSwitchA{0};
    std::atomic<uint32_t> m_nLogSwitchB{0};
    CVQTPortLogger m_log;
};

}  // namespace vexal
