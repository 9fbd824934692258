// Everything the hub remembers: its settings and the devices plugged into it.
// Plain data with a JSON form, so a state file can seed demos and a control
// command can change any value by its JSON path.
#pragma once

#include "HexText.h"
#include "PrinterLife.h"

#include <nlohmann/json.hpp>

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace hubsim {

inline constexpr size_t kLanBlockSize = 30;
inline constexpr size_t kWlanBlockSize = 592;
inline constexpr size_t kWlanWritableOffset = 18;  // the host writes bytes 18..591 only
inline constexpr size_t kCustomTypeCount = 10;
// Longest Bluetooth name or PIN and SNMP community the hub keeps; longer ones
// would not load back from the state file.
inline constexpr size_t kMaxBluetoothText = 200;
inline constexpr size_t kMaxCommunity = 255;

// How a device behind the hub treats the data the host writes to it.
enum class EDeviceKind { Printer, Hid, Serial, Echo, Sink };
const char* DeviceKindName(EDeviceKind eKind);
bool ParseDeviceKind(const std::string& strName, EDeviceKind& eKind);

struct SAttachedDevice {
    uint8_t nId = 0;
    EDeviceKind eKind = EDeviceKind::Sink;
    uint16_t nVid = 0;
    uint16_t nPid = 0;
};

struct SPrinterInfo {
    uint8_t nModelId = 0x20;
    std::string strFirmware = "1.07 ESC/POS";
    std::string strName = "TM-VX80";
    std::string strCodepage = "PC437";
};

class CHubState {
public:
    CHubState();

    nlohmann::json ToJson() const;
    // Starts from the defaults and applies what the document holds; throws
    // std::runtime_error naming the first unknown key or bad value by its path
    // (the caller's state is untouched).
    static CHubState FromJson(const nlohmann::json& doc);

    // Presence report payload: attached device ids in rising order.
    Bytes PresenceList() const;
    bool IsSerialAdapter(uint8_t nDevice) const;
    std::array<uint8_t, 4> SerialConfig(uint8_t nDevice) const;

    std::string m_strModel = "VX-H400_VXL";
    std::string m_strFirmware = "2.10.3";

    std::string m_strBtName = "VexalHub";
    std::string m_strBtPin = "0000";
    uint8_t m_nBtEncryption = '1';
    uint8_t m_nBtMode = '1';
    uint8_t m_nBtAutoConnect = 1;

    std::array<uint8_t, kLanBlockSize> m_arrLan{};
    std::array<uint8_t, kWlanBlockSize> m_arrWlan{};
    bool m_bWlanAckFail = false;

    std::map<uint8_t, std::array<uint8_t, 4>> m_mapSerial;  // line settings per adapter id

    std::array<std::vector<uint32_t>, kCustomTypeCount> m_arrCustom;  // (vid << 16) | pid
    size_t m_nCustomMax = 8;

    uint8_t m_nTelnet = 1;
    uint8_t m_nSnmp = 0;
    std::string m_strSnmpRo = "public";
    std::string m_strSnmpRw = "private";

    uint8_t m_nIfBluetooth = 1;
    uint8_t m_nIfLan = 1;
    uint8_t m_nIfWlan = 1;

    std::map<uint8_t, SAttachedDevice> m_mapDevices;
    std::map<uint8_t, uint8_t> m_mapReadModes;  // last 0x72 mode per device (not persisted)
    // Each printer's paper, cover, status back... (not persisted; a PLUG or
    // UNPLUG starts the device afresh). Absent: a printer in good order.
    std::map<uint8_t, SPrinterLife> m_mapPrinterLife;
    SPrinterInfo m_printer;
};

}  // namespace hubsim
