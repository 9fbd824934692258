// The hub's settings moved between the model's typed values and the
// configuration library, one session at a time. Every call goes through the
// table's entry points on the caller's thread (the library is driven by one
// client thread: the utility calls these on its library worker).
//
//   CHubClient hub(api, nSession);
//   model::SLan lan;
//   if (auto r = hub.ReadLan(lan); !r.Ok()) ... r.pszCall, r.nCode
//   lan.ip = {10, 0, 0, 5};
//   uint8_t nStatus = 0;
//   hub.WriteLan(lan, nStatus);
#pragma once
#include "client/CfgLibrary.h"
#include "model/Bluetooth.h"
#include "model/Identification.h"
#include "model/Lan.h"
#include "model/NetProto.h"
#include "model/SerialLine.h"
#include "model/Usage.h"
#include "model/Wlan.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vexal::client {

// The outcome of one or more library calls: 0, or the code of the first
// call that failed and its entry point's name.
struct SCallResult {
    int32_t nCode = 0;
    const char* pszCall = nullptr;
    bool Ok() const { return nCode == 0; }
};

enum class ECustomAction { Add, Delete, Reset };

class CHubClient {
public:
    CHubClient(const CCfgLibrary& api, int32_t nSession) : m_api(api), m_nSession(nSession) {}

    // ---- Identification
    SCallResult ReadModel(std::string& strModel);
    SCallResult ReadFirmware(std::string& strFirmware);
    // The device IDs present on the hub's link, in rising order.
    SCallResult ReadDeviceIds(std::vector<int>& vecIds);
    // The USB devices behind the hub: the pieces of the library's list text
    // (model::SplitListText; model::ParseUsbIdEntry reads each).
    SCallResult ReadUsbList(std::vector<std::string>& vecPieces);
    SCallResult ReadUsbInfo(int nDeviceId, std::string& strVid, std::string& strPid);
    // Model, firmware, device IDs, USB list and each device's identifiers.
    SCallResult ReadInfo(model::SHubInfo& info);

    // ---- Bluetooth: the five reads in the hub's order (name, encryption,
    // PIN, mode, auto connection), stopping at the first that fails.
    SCallResult ReadBluetooth(model::SBluetooth& value);
    SCallResult WriteBluetoothAutoConnect(bool bOn);
    // Name, PIN, encryption and mode in one message.
    SCallResult WriteBluetoothInfo(const model::SBluetooth& value);

    // ---- LAN and WLAN blocks
    SCallResult ReadLan(model::SLan& value);
    // nStatus is the hub's verdict (0 took it); a non-zero result means no verdict came.
    SCallResult WriteLan(const model::SLan& value, uint8_t& nStatus);
    SCallResult ReadWlan(model::SWlan& value);
    // answer is the hub's acknowledgement (model::IsWlanWriteAcknowledged).
    SCallResult WriteWlan(const model::SWlan& value, model::CWlanAnswer& answer);

    // ---- Net protocols: telnet, SNMP, read-only and read-write community.
    SCallResult ReadNetProto(model::SNetProto& value);
    SCallResult WriteTelnet(bool bOn);
    SCallResult WriteSnmp(bool bOn);
    SCallResult WriteReadOnlyCommunity(const std::string& strCommunity);
    SCallResult WriteReadWriteCommunity(const std::string& strCommunity);

    // ---- Interface usage: read into USB 1 and the others 2 (not reported).
    SCallResult ReadUsage(model::SUsage& value);
    // nError is the hub's error byte when it refused (model::UsageErrorMeaning), else left as given.
    SCallResult WriteUsage(const model::SUsage& value, int32_t& nError);

    // ---- A USB-to-serial adapter's line
    SCallResult ReadSerialLine(int nDeviceId, model::SSerialLine& value);
    SCallResult WriteSerialLine(int nDeviceId, const model::SSerialLine& value);

    // ---- Custom devices: a type's list as the pieces of its text.
    SCallResult ReadCustomList(int nType, std::vector<std::string>& vecPieces);
    // The hub's status byte (model::CustomStatusMeaning) or, without one, the library's code.
    int32_t ChangeCustom(ECustomAction eAction, int nType, const std::string& strVid = {},
                         const std::string& strPid = {});

private:
    const CCfgLibrary& m_api;
    int32_t m_nSession;
};

// The entry point a custom action calls ("addCustomDevice").
const char* CustomCallName(ECustomAction eAction);

}  // namespace vexal::client
