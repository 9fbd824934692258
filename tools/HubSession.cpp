#include "tools/HubSession.h"

#include "platform/TextCodec.h"

#include <array>
#include <cstdio>

namespace vexal::tools {
namespace {

// A caller-owned text for the library's outputs; long enough for any list the hub sends.
class CTextOut {
public:
    CTextOut() : m_buffer(8192, u'\0') { m_text = {m_buffer.data(), static_cast<uint32_t>(m_buffer.size()), 0}; }
    ZamoText* get() { return &m_text; }
    std::string Utf8() const {
        const uint32_t n = std::min<uint32_t>(m_text.length, static_cast<uint32_t>(m_buffer.size()));
        return platform::Utf8FromUtf16(std::u16string_view(m_buffer.data(), n));
    }

private:
    std::u16string m_buffer;
    ZamoText m_text{};
};

std::u16string U16(const std::string& str) { return platform::Utf16FromUtf8(str); }

const std::string& Get(const GroupValues& values, const char* pszKey) {
    static const std::string s_empty;
    auto it = values.find(pszKey);
    return it == values.end() ? s_empty : it->second;
}

bool Changed(const GroupValues& a, const GroupValues& b, std::initializer_list<const char*> keys) {
    for (const char* psz : keys)
        if (Get(a, psz) != Get(b, psz)) return true;
    return false;
}

}  // namespace

bool CHubSession::Fail(const std::string& strText) {
    m_strError = strText;
    return false;
}

bool CHubSession::Check(int32_t nCode, const char* pszCall) {
    if (nCode == 0) return true;
    m_nErrorCode = nCode;
    return Fail(std::string(pszCall) + ": " + std::to_string(nCode) + ": " + client::ResultMeaning(nCode));
}

bool CHubSession::Open(const SConnection& connection, int nTimeoutSeconds) {
    Close();
    m_nErrorCode = 0;
    const std::u16string strPort = U16(connection.strPortText);
    m_nHandle = m_api.m_pfn_selectInterface(connection.nInterface, strPort.c_str());
    if (m_nHandle == 0) return Fail("selectInterface(" + connection.strPortText + ") refused the port");
    if (!Check(m_api.m_pfn_selectCommandMode(m_nHandle, 0), "selectCommandMode")) return false;
    if (nTimeoutSeconds > 0 && !Check(m_api.m_pfn_setTimeout(m_nHandle, nTimeoutSeconds), "setTimeout")) return false;
    m_api.m_pfn_openService(m_nHandle);
    // As the utility judges an open: by the session's last result.
    const int32_t nResult = m_api.m_pfn_getResult(m_nHandle);
    if (nResult != 0) {
        m_api.m_pfn_closeService(m_nHandle, 0);
        m_nHandle = 0;
        return Check(nResult, ("open " + connection.strLabel).c_str());
    }
    m_bOpen = true;
    return true;
}

void CHubSession::Close() {
    if (m_nHandle != 0 && m_bOpen) m_api.m_pfn_closeService(m_nHandle, 0);
    m_bOpen = false;
    m_nHandle = 0;
}

bool CHubSession::ReadModel(std::string& strModel, std::string& strFirmware) {
    CTextOut name, version;
    if (!Check(m_api.m_pfn_getVexalName(m_nHandle, name.get()), "getVexalName")) return false;
    if (!Check(m_api.m_pfn_getVexalVersion(m_nHandle, version.get()), "getVexalVersion")) return false;
    strModel = name.Utf8();
    strFirmware = version.Utf8();
    return true;
}

bool CHubSession::ReadInfo(SHubInfo& info) {
    if (!ReadModel(info.strModel, info.strFirmware)) return false;
    std::array<uint8_t, 256> ids{};
    int32_t nCount = 0;
    if (!Check(m_api.m_pfn_getDevIdList(m_nHandle, ids.data(), &nCount), "getDevIdList")) return false;
    info.vecDeviceIds.clear();
    for (int32_t i = 0; i < nCount && i < 254; ++i) info.vecDeviceIds.push_back(ids[static_cast<size_t>(i)]);
    CTextOut list;
    if (!Check(m_api.m_pfn_getUsbList(m_nHandle, list.get()), "getUsbList")) return false;
    info.vecUsbList = SplitIdList(list.Utf8());
    info.vecDevices.clear();
    for (int nId : info.vecDeviceIds) {
        CTextOut vid, pid;
        if (!Check(m_api.m_pfn_getUsbInfo(m_nHandle, nId, vid.get(), pid.get()), "getUsbInfo")) return false;
        info.vecDevices.push_back({nId, vid.Utf8(), pid.Utf8()});
    }
    return true;
}

bool CHubSession::SerialAdapters(std::vector<int>& vecIds) {
    std::array<uint8_t, 256> ids{};
    int32_t nCount = 0;
    if (!Check(m_api.m_pfn_getDevIdList(m_nHandle, ids.data(), &nCount), "getDevIdList")) return false;
    vecIds.clear();
    for (int32_t i = 0; i < nCount && i < 254; ++i)
        if (IsSerialAdapterId(ids[static_cast<size_t>(i)])) vecIds.push_back(ids[static_cast<size_t>(i)]);
    return true;
}

bool CHubSession::ReadGroup(const SGroupDef& group, int nSerialId, GroupValues& v) {
    const std::string& g = group.strName;
    v.clear();
    if (g == "bluetooth") {
        CTextOut name, pin;
        int32_t nEncryption = 0, nMode = 0;
        uint8_t nAuto = 0;
        if (!Check(m_api.m_pfn_getBluetoothName(m_nHandle, name.get()), "getBluetoothName") ||
            !Check(m_api.m_pfn_getBluetoothAuthentication(m_nHandle, &nEncryption), "getBluetoothAuthentication") ||
            !Check(m_api.m_pfn_getBluetoothPinCode(m_nHandle, pin.get()), "getBluetoothPinCode") ||
            !Check(m_api.m_pfn_getBluetoothConnectionMode(m_nHandle, &nMode), "getBluetoothConnectionMode") ||
            !Check(m_api.m_pfn_getBluetoothAutoConnection(m_nHandle, &nAuto), "getBluetoothAutoConnection"))
            return false;
        v = {{"name", name.Utf8()},
             {"pin", pin.Utf8()},
             {"encryption", DecodeBtEncryption(nEncryption)},
             {"mode", DecodeBtMode(nMode)},
             {"auto_connect", nAuto != 0 ? "on" : "off"}};
    } else if (g == "lan") {
        LanBlock block{};
        if (!Check(m_api.m_pfn_getLanInfo(m_nHandle, block.data()), "getLanInfo")) return false;
        m_lanRead = block;
        v = DecodeLan(block);
    } else if (g == "wlan") {
        WlanBlock block{};
        if (!Check(m_api.m_pfn_getWlanInfo(m_nHandle, block.data()), "getWlanInfo")) return false;
        m_wlanRead = block;
        v = DecodeWlan(block);
    } else if (g == "netproto") {
        uint8_t nTelnet = 0, nSnmp = 0;
        CTextOut ro, rw;
        if (!Check(m_api.m_pfn_getTelnetAvailable(m_nHandle, &nTelnet), "getTelnetAvailable") ||
            !Check(m_api.m_pfn_getSNMPAvailable(m_nHandle, &nSnmp), "getSNMPAvailable") ||
            !Check(m_api.m_pfn_getSNMPROCommunity(m_nHandle, ro.get()), "getSNMPROCommunity") ||
            !Check(m_api.m_pfn_getSNMPRWCommunity(m_nHandle, rw.get()), "getSNMPRWCommunity"))
            return false;
        v = {{"telnet", nTelnet != 0 ? "on" : "off"},
             {"snmp", nSnmp != 0 ? "on" : "off"},
             {"ro_community", ro.Utf8()},
             {"rw_community", rw.Utf8()}};
    } else if (g == "usage") {
        int32_t nUsb = 1, nBt = 2, nLan = 2, nWlan = 2;
        if (!Check(m_api.m_pfn_getInterfaceUsageStatus(m_nHandle, &nUsb, &nBt, &nLan, &nWlan),
                   "getInterfaceUsageStatus"))
            return false;
        auto word = [](int32_t n) { return n == 0 ? "off" : n == 1 ? "on" : "n/a"; };
        v = {{"usb", "on"}, {"bluetooth", word(nBt)}, {"lan", word(nLan)}, {"wlan", word(nWlan)}};
    } else if (g == "serial") {
        uint8_t b = 0, d = 0, s = 0, p = 0;
        if (!Check(m_api.m_pfn_getSerialConfiguration(m_nHandle, static_cast<uint8_t>(nSerialId), &b, &d, &s, &p),
                   "getSerialConfiguration"))
            return false;
        v = DecodeSerial(b, d, s, p);
    } else {
        return Fail("unknown group " + g);
    }
    return true;
}

bool CHubSession::WriteGroup(const SGroupDef& group, int nSerialId, const GroupValues& cur, const GroupValues& t,
                             bool& bWrote) {
    const std::string& g = group.strName;
    bWrote = false;
    bool bDiffers = false;
    for (const auto& change : DiffGroup(group, cur, t))
        if (!change.bReadOnly) bDiffers = true;
    if (!bDiffers) return true;
    bWrote = true;
    if (g == "bluetooth") {
        if (Changed(cur, t, {"auto_connect"}) &&
            !Check(m_api.m_pfn_setBluetoothAutoConnection(m_nHandle, Get(t, "auto_connect") == "on" ? 1 : 0),
                   "setBluetoothAutoConnection"))
            return false;
        if (Changed(cur, t, {"name", "pin", "encryption", "mode"})) {
            const std::u16string name = U16(Get(t, "name")), pin = U16(Get(t, "pin"));
            const auto nMode = static_cast<uint8_t>(Get(t, "mode").empty() ? '1' : Get(t, "mode")[0]);
            const uint8_t nEnc = Get(t, "encryption") == "on" ? '1' : '0';
            if (!Check(m_api.m_pfn_setBluetoothInfo(m_nHandle, nMode, name.c_str(), pin.c_str(), nEnc),
                       "setBluetoothInfo"))
                return false;
        }
    } else if (g == "lan") {
        const LanBlock block = EncodeLan(t, m_lanRead);
        uint8_t nStatus = 0;
        if (!Check(m_api.m_pfn_setLanInfo(m_nHandle, block.data(), static_cast<int32_t>(block.size()), &nStatus),
                   "setLanInfo"))
            return false;
        if (nStatus != 0) return Fail("setLanInfo: the hub refused the LAN settings (status " + std::to_string(nStatus) + ")");
    } else if (g == "wlan") {
        const WlanBlock block = EncodeWlan(t, m_wlanRead);
        std::array<uint8_t, 20> answer{};
        if (!Check(m_api.m_pfn_setWlanInfo(m_nHandle, block.data() + kWlanWriteOffset,
                                           static_cast<int32_t>(kWlanBlockSize - kWlanWriteOffset), answer.data()),
                   "setWlanInfo"))
            return false;
        if (!WlanWriteAccepted(answer)) return Fail("setWlanInfo: the hub did not confirm the WLAN settings");
    } else if (g == "netproto") {
        if (Changed(cur, t, {"telnet"}) &&
            !Check(m_api.m_pfn_setTelnetAvailable(m_nHandle, Get(t, "telnet") == "on"), "setTelnetAvailable"))
            return false;
        if (Changed(cur, t, {"snmp"}) &&
            !Check(m_api.m_pfn_setSNMPAvailable(m_nHandle, Get(t, "snmp") == "on"), "setSNMPAvailable"))
            return false;
        if (Changed(cur, t, {"ro_community"}) &&
            !Check(m_api.m_pfn_setSNMPROCommunity(m_nHandle, U16(Get(t, "ro_community")).c_str()), "setSNMPROCommunity"))
            return false;
        if (Changed(cur, t, {"rw_community"}) &&
            !Check(m_api.m_pfn_setSNMPRWCommunity(m_nHandle, U16(Get(t, "rw_community")).c_str()), "setSNMPRWCommunity"))
            return false;
    } else if (g == "usage") {
        auto code = [&](const char* psz) { return Get(t, psz) == "on" ? 1 : Get(t, psz) == "off" ? 0 : 2; };
        int32_t nError = 0;
        const int32_t nResult =
            m_api.m_pfn_setInterfaceUsageStatus(m_nHandle, 1, code("bluetooth"), code("lan"), code("wlan"), &nError);
        if (nError != 0) {
            m_nErrorCode = nResult != 0 ? nResult : 1000;
            return Fail("setInterfaceUsageStatus: the hub refused: " + std::string(UsageErrorText(nError)) + " (" +
                        std::to_string(nError) + ")");
        }
        if (!Check(nResult, "setInterfaceUsageStatus")) return false;
    } else if (g == "serial") {
        const auto bytes = EncodeSerial(t);
        if (!bytes) return Fail("serial: values out of range");
        if (!Check(m_api.m_pfn_setSerialConfiguration(m_nHandle, static_cast<uint8_t>(nSerialId), (*bytes)[0],
                                                      (*bytes)[1], (*bytes)[2], (*bytes)[3]),
                   "setSerialConfiguration"))
            return false;
    } else {
        return Fail("unknown group " + g);
    }
    return true;
}

bool CHubSession::ReadCustomList(int nType, std::vector<std::string>& vecEntries) {
    CTextOut list;
    if (!Check(m_api.m_pfn_getCustomDeviceList(m_nHandle, static_cast<uint8_t>(nType), list.get()),
               "getCustomDeviceList"))
        return false;
    vecEntries = SplitIdList(list.Utf8());
    return true;
}

int32_t CHubSession::ChangeCustom(char cAction, int nType, const std::string& strVid, const std::string& strPid) {
    const std::u16string vid = U16(strVid), pid = U16(strPid);
    const auto nTypeByte = static_cast<uint8_t>(nType);
    int32_t nResult = 0;
    const char* pszCall = "resetCustomDeviceList";
    if (cAction == 'a') {
        m_api.m_nHandle = m_nHandle;
        nResult = m_api.AddCustomDevice(nTypeByte, vid.c_str(), pid.c_str());
        pszCall = "addCustomDevice";
    } else if (cAction == 'd') {
        m_api.m_nHandle = m_nHandle;
        nResult = m_api.DeleteCustomDevice(nTypeByte, vid.c_str(), pid.c_str());
        pszCall = "deleteCustomDevice";
    } else {
        nResult = m_api.m_pfn_resetCustomDeviceList(m_nHandle, nTypeByte);
    }
    m_nErrorCode = nResult;
    // Statuses 1-6 are the hub's verdict; 1000 and above are the library's codes.
    if (nResult > 0 && nResult < 1000)
        m_strError = std::string(pszCall) + ": the hub refused: " + CustomStatusText(nResult);
    else if (nResult != 0)
        Check(nResult, pszCall);
    return nResult;
}

}  // namespace vexal::tools
