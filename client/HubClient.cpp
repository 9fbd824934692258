#include "client/HubClient.h"

#include "client/CfgEntryPoints.h"
#include "client/LibText.h"
#include "platform/TextCodec.h"

#include <algorithm>
#include <array>

namespace vexal::client {

namespace {

std::u16string U16(const std::string& str) { return platform::Utf16FromUtf8(str); }

SCallResult Call(int32_t nCode, const char* pszCall) { return {nCode, nCode == 0 ? nullptr : pszCall}; }

// A device-ID buffer: the library fills at most 254 IDs.
std::vector<int> Ids(const std::array<uint8_t, 256>& ids, int32_t nCount) {
    return std::vector<int>(ids.begin(), ids.begin() + std::clamp<int32_t>(nCount, 0, 254));
}

}  // namespace

std::string CLibText::Utf8() const { return platform::Utf8FromUtf16(Text()); }

const char* CustomCallName(ECustomAction eAction) {
    switch (eAction) {
    case ECustomAction::Add: return "addCustomDevice";
    case ECustomAction::Delete: return "deleteCustomDevice";
    case ECustomAction::Reset: return "resetCustomDeviceList";
    }
    return "?";
}

SCallResult CHubClient::ReadModel(std::string& strModel) {
    CLibText text;
    const auto r = Call(m_api.Fn().m_pfn_getVexalName(m_nSession, text.Get()), "getVexalName");
    if (r.Ok()) strModel = text.Utf8();
    return r;
}

SCallResult CHubClient::ReadFirmware(std::string& strFirmware) {
    CLibText text;
    const auto r = Call(m_api.Fn().m_pfn_getVexalVersion(m_nSession, text.Get()), "getVexalVersion");
    if (r.Ok()) strFirmware = text.Utf8();
    return r;
}

SCallResult CHubClient::ReadDeviceIds(std::vector<int>& vecIds) {
    std::array<uint8_t, 256> ids{};
    int32_t nCount = 0;
    const auto r = Call(m_api.Fn().m_pfn_getDevIdList(m_nSession, ids.data(), &nCount), "getDevIdList");
    if (r.Ok()) vecIds = Ids(ids, nCount);
    return r;
}

SCallResult CHubClient::ReadUsbList(std::vector<std::string>& vecPieces) {
    CLibText text;
    const auto r = Call(m_api.Fn().m_pfn_getUsbList(m_nSession, text.Get()), "getUsbList");
    if (r.Ok()) vecPieces = model::SplitListText(text.Utf8(), text.IsFull());
    return r;
}

SCallResult CHubClient::ReadUsbInfo(int nDeviceId, std::string& strVid, std::string& strPid) {
    CLibText vid, pid;
    const auto r = Call(m_api.Fn().m_pfn_getUsbInfo(m_nSession, nDeviceId, vid.Get(), pid.Get()), "getUsbInfo");
    if (r.Ok()) {
        strVid = vid.Utf8();
        strPid = pid.Utf8();
    }
    return r;
}

SCallResult CHubClient::ReadInfo(model::SHubInfo& info) {
    SCallResult r = ReadModel(info.strModel);
    if (r.Ok()) r = ReadFirmware(info.strFirmware);
    if (r.Ok()) r = ReadDeviceIds(info.vecDeviceIds);
    std::vector<std::string> pieces;
    if (r.Ok()) r = ReadUsbList(pieces);
    if (!r.Ok()) return r;
    info.vecUsbList.clear();
    for (const auto& strPiece : pieces)
        if (auto entry = model::ParseUsbIdEntry(strPiece)) info.vecUsbList.push_back(*entry);
    info.vecDevices.clear();
    for (int nId : info.vecDeviceIds) {
        model::SUsbDevice device{nId, {}, {}};
        if (r = ReadUsbInfo(nId, device.strVid, device.strPid); !r.Ok()) return r;
        info.vecDevices.push_back(device);
    }
    return r;
}

SCallResult CHubClient::ReadBluetooth(model::SBluetooth& value) {
    CLibText name, pin;
    int32_t nEncryption = 0, nMode = 0;
    uint8_t nAuto = 0;
    SCallResult r = Call(m_api.Fn().m_pfn_getBluetoothName(m_nSession, name.Get()), "getBluetoothName");
    if (r.Ok())
        r = Call(m_api.Fn().m_pfn_getBluetoothAuthentication(m_nSession, &nEncryption), "getBluetoothAuthentication");
    if (r.Ok()) r = Call(m_api.Fn().m_pfn_getBluetoothPinCode(m_nSession, pin.Get()), "getBluetoothPinCode");
    if (r.Ok()) r = Call(m_api.Fn().m_pfn_getBluetoothConnectionMode(m_nSession, &nMode), "getBluetoothConnectionMode");
    if (r.Ok()) r = Call(m_api.Fn().m_pfn_getBluetoothAutoConnection(m_nSession, &nAuto), "getBluetoothAutoConnection");
    if (r.Ok())
        value = {name.Utf8(), pin.Utf8(), static_cast<uint8_t>(nEncryption), static_cast<uint8_t>(nMode), nAuto};
    return r;
}

SCallResult CHubClient::WriteBluetoothAutoConnect(bool bOn) {
    return Call(m_api.Fn().m_pfn_setBluetoothAutoConnection(m_nSession, bOn ? 1 : 0), "setBluetoothAutoConnection");
}

SCallResult CHubClient::WriteBluetoothInfo(const model::SBluetooth& value) {
    const std::u16string name = U16(value.strName), pin = U16(value.strPin);
    return Call(
        m_api.Fn().m_pfn_setBluetoothInfo(m_nSession, value.nMode, name.c_str(), pin.c_str(), value.nEncryption),
        "setBluetoothInfo");
}

SCallResult CHubClient::ReadLan(model::SLan& value) {
    model::CLanBlock block{};
    const auto r = Call(m_api.Fn().m_pfn_getLanInfo(m_nSession, block.data()), "getLanInfo");
    if (r.Ok()) value = model::DecodeLan(block);
    return r;
}

SCallResult CHubClient::WriteLan(const model::SLan& value, uint8_t& nStatus) {
    const model::CLanBlock block = model::EncodeLan(value);
    return Call(m_api.Fn().m_pfn_setLanInfo(m_nSession, block.data(), static_cast<int32_t>(block.size()), &nStatus),
                "setLanInfo");
}

SCallResult CHubClient::ReadWlan(model::SWlan& value) {
    model::CWlanBlock block{};
    const auto r = Call(m_api.Fn().m_pfn_getWlanInfo(m_nSession, block.data()), "getWlanInfo");
    if (r.Ok()) value = model::DecodeWlan(block);
    return r;
}

SCallResult CHubClient::WriteWlan(const model::SWlan& value, model::CWlanAnswer& answer) {
    const model::CWlanBlock block = model::EncodeWlan(value);
    return Call(m_api.Fn().m_pfn_setWlanInfo(m_nSession, block.data() + model::kWlanWriteOffset,
                                             static_cast<int32_t>(model::kWlanWriteSize), answer.data()),
                "setWlanInfo");
}

SCallResult CHubClient::ReadNetProto(model::SNetProto& value) {
    model::SNetProto read;
    CLibText ro, rw;
    SCallResult r = Call(m_api.Fn().m_pfn_getTelnetAvailable(m_nSession, &read.nTelnet), "getTelnetAvailable");
    if (r.Ok()) r = Call(m_api.Fn().m_pfn_getSNMPAvailable(m_nSession, &read.nSnmp), "getSNMPAvailable");
    if (r.Ok()) r = Call(m_api.Fn().m_pfn_getSNMPROCommunity(m_nSession, ro.Get()), "getSNMPROCommunity");
    if (r.Ok()) r = Call(m_api.Fn().m_pfn_getSNMPRWCommunity(m_nSession, rw.Get()), "getSNMPRWCommunity");
    if (r.Ok()) {
        read.strReadOnly = ro.Utf8();
        read.strReadWrite = rw.Utf8();
        value = read;
    }
    return r;
}

SCallResult CHubClient::WriteTelnet(bool bOn) {
    return Call(m_api.Fn().m_pfn_setTelnetAvailable(m_nSession, bOn ? 1 : 0), "setTelnetAvailable");
}

SCallResult CHubClient::WriteSnmp(bool bOn) {
    return Call(m_api.Fn().m_pfn_setSNMPAvailable(m_nSession, bOn ? 1 : 0), "setSNMPAvailable");
}

SCallResult CHubClient::WriteReadOnlyCommunity(const std::string& strCommunity) {
    return Call(m_api.Fn().m_pfn_setSNMPROCommunity(m_nSession, U16(strCommunity).c_str()), "setSNMPROCommunity");
}

SCallResult CHubClient::WriteReadWriteCommunity(const std::string& strCommunity) {
    return Call(m_api.Fn().m_pfn_setSNMPRWCommunity(m_nSession, U16(strCommunity).c_str()), "setSNMPRWCommunity");
}

SCallResult CHubClient::ReadUsage(model::SUsage& value) {
    model::SUsage read;  // USB 1, the others 2: what the hub does not report stays 2
    const auto r = Call(
        m_api.Fn().m_pfn_getInterfaceUsageStatus(m_nSession, &read.nUsb, &read.nBluetooth, &read.nLan, &read.nWlan),
        "getInterfaceUsageStatus");
    if (r.Ok()) value = read;
    return r;
}

SCallResult CHubClient::WriteUsage(const model::SUsage& value, int32_t& nError) {
    return Call(m_api.Fn().m_pfn_setInterfaceUsageStatus(m_nSession, value.nUsb, value.nBluetooth, value.nLan,
                                                         value.nWlan, &nError),
                "setInterfaceUsageStatus");
}

SCallResult CHubClient::ReadSerialLine(int nDeviceId, model::SSerialLine& value) {
    model::SSerialLine read;
    const auto r =
        Call(m_api.Fn().m_pfn_getSerialConfiguration(m_nSession, static_cast<uint8_t>(nDeviceId), &read.nBaud,
                                                     &read.nDataBits, &read.nStopBits, &read.nParity),
             "getSerialConfiguration");
    if (r.Ok()) value = read;
    return r;
}

SCallResult CHubClient::WriteSerialLine(int nDeviceId, const model::SSerialLine& value) {
    return Call(m_api.Fn().m_pfn_setSerialConfiguration(m_nSession, static_cast<uint8_t>(nDeviceId), value.nBaud,
                                                        value.nDataBits, value.nStopBits, value.nParity),
                "setSerialConfiguration");
}

SCallResult CHubClient::ReadCustomList(int nType, std::vector<std::string>& vecPieces) {
    CLibText text;
    const auto r = Call(m_api.Fn().m_pfn_getCustomDeviceList(m_nSession, static_cast<uint8_t>(nType), text.Get()),
                        "getCustomDeviceList");
    if (r.Ok()) vecPieces = model::SplitListText(text.Utf8(), text.IsFull());
    return r;
}

int32_t CHubClient::ChangeCustom(ECustomAction eAction, int nType, const std::string& strVid,
                                 const std::string& strPid) {
    const auto nTypeByte = static_cast<uint8_t>(nType);
    const std::u16string vid = U16(strVid), pid = U16(strPid);
    switch (eAction) {
    case ECustomAction::Add: return m_api.Fn().m_pfn_addCustomDevice(m_nSession, nTypeByte, vid.c_str(), pid.c_str());
    case ECustomAction::Delete:
        return m_api.Fn().m_pfn_deleteCustomDevice(m_nSession, nTypeByte, vid.c_str(), pid.c_str());
    case ECustomAction::Reset: return m_api.Fn().m_pfn_resetCustomDeviceList(m_nSession, nTypeByte);
    }
    return ZAMO_E_FAIL;
}

}  // namespace vexal::client
