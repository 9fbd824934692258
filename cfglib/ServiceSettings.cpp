// The hub's telnet and SNMP services and the use of its host interfaces.
#include "cfglib/SettingsCommand.h"
#include "cfglib/ZamoText.h"
#include "platform/TextCodec.h"

namespace vexal::cfg {

namespace {

struct SServiceLines {
    const char* pszReadFail;
    const char* pszInvalid;
    const char* pszValue;
};

int32_t ReadServiceByte(CZamoCtrl& session, uint8_t nCommand, const SServiceLines& lines, uint8_t* pValue) {
    if (session.RefusedInPassThrough()) return ZAMO_E_BYPASS;
    if (pValue == nullptr) return SetResult(session, ZAMO_E_ARGUMENT);
    CSettingsReply reply;
    if (const int32_t nCode = ExchangeWithHub(session, {nCommand}, kMediumTimeoutMs, lines.pszReadFail, reply))
        return nCode;
    const auto decoded = DecodeServiceByte(nCommand, reply.Bytes());
    if (!decoded.Ok()) {
        SettingsLog(kLogError, lines.pszInvalid);
        return SetResult(session, ZAMO_E_FAIL);
    }
    *pValue = decoded.value;
    SettingsLog(kLogInfo, lines.pszValue, {decoded.value});
    return session.m_nResult;
}

int32_t ReadServiceText(CZamoCtrl& session, uint8_t nCommand, const SServiceLines& lines, ZamoText* pText) {
    if (session.RefusedInPassThrough()) return ZAMO_E_BYPASS;
    if (pText == nullptr) return SetResult(session, ZAMO_E_ARGUMENT);
    CSettingsReply reply;
    if (const int32_t nCode = ExchangeWithHub(session, {nCommand}, kMediumTimeoutMs, lines.pszReadFail, reply))
        return nCode;
    const auto decoded = DecodeServiceText(nCommand, reply.Bytes());
    if (!decoded.Ok()) {
        SettingsLog(kLogError, lines.pszInvalid);
        return SetResult(session, ZAMO_E_FAIL);
    }
    const std::u16string strValue = platform::Utf16FromAnsi(decoded.value);
    ZamoTextAssign(pText, strValue);
    SettingsLog(kLogInfo, lines.pszValue, {strValue});
    return session.m_nResult;
}

// pszDoneLine may be null: the SNMP switch writes no exit line.
int32_t WriteService(CZamoCtrl& session, const std::vector<uint8_t>& message, const char* pszDoneLine) {
    if (session.RefusedInPassThrough()) return ZAMO_E_BYPASS;
    if (SendToHub(session, message) != ZAMO_SUCCESS) return session.m_nResult;
    if (pszDoneLine != nullptr) SettingsLog(kLogInfo, pszDoneLine);
    return session.m_nResult;
}

}  // namespace

int32_t CZamoCtrl::getTelnetAvailable(uint8_t* pAvailable) {
    return ReadServiceByte(
        *this, kCmdTelnetRead,
        {"getTelnetAvailable read fail=%d", "getTelnetAvailable invalid read data", "getTelnetAvailable:%d"},
        pAvailable);
}

int32_t CZamoCtrl::setTelnetAvailable(int32_t nOn) {
    return WriteService(*this, BuildOnOff(kCmdTelnetWrite, nOn), "-setTelnetAvailable");
}

int32_t CZamoCtrl::getSNMPAvailable(uint8_t* pAvailable) {
    return ReadServiceByte(
        *this, kCmdSnmpRead,
        {"getSNMPAvailable read fail=%d", "getSNMPAvailable Invalid read data", "getSNMPAvailable:%d"}, pAvailable);
}

int32_t CZamoCtrl::setSNMPAvailable(int32_t nOn) {
    return WriteService(*this, BuildOnOff(kCmdSnmpWrite, nOn), nullptr);
}

int32_t CZamoCtrl::getSNMPROCommunity(ZamoText* pCommunity) {
    return ReadServiceText(
        *this, kCmdSnmpRoRead,
        {"getSNMPROCommunity read fail=%d", "getSNMPROCommunity invalid read data", "getSNMPROCommunity:%s"},
        pCommunity);
}

int32_t CZamoCtrl::setSNMPROCommunity(const char16_t* pszCommunity) {
    return WriteService(*this, BuildServiceText(kCmdSnmpRoWrite, platform::AnsiFromUtf16(TextFromInput(pszCommunity))),
                        "-setSNMPROCommunity");
}

int32_t CZamoCtrl::getSNMPRWCommunity(ZamoText* pCommunity) {
    return ReadServiceText(
        *this, kCmdSnmpRwRead,
        {"getSNMPRWCommunity read fail=%d", "getSNMPRWCommunity invalid read data", "getSNMPRWCommunity:%s"},
        pCommunity);
}

int32_t CZamoCtrl::setSNMPRWCommunity(const char16_t* pszCommunity) {
    return WriteService(*this, BuildServiceText(kCmdSnmpRwWrite, platform::AnsiFromUtf16(TextFromInput(pszCommunity))),
                        "-setSNMPRWCommunity");
}

int32_t CZamoCtrl::getInterfaceUsageStatus(int32_t* pUsb, int32_t* pBluetooth, int32_t* pLan, int32_t* pWlan) {
    if (RefusedInPassThrough()) return ZAMO_E_BYPASS;
    if (pUsb == nullptr || pBluetooth == nullptr || pLan == nullptr || pWlan == nullptr)
        return SetResult(*this, ZAMO_E_ARGUMENT);
    CSettingsReply reply;
    if (const int32_t nCode =
            ExchangeWithHub(*this, {kCmdUsageRead}, kMediumTimeoutMs, "getInterfaceUsageStatus read fail=%d", reply))
        return nCode;
    // Any refusal returns at once: the four outputs keep what they held.
    const auto decoded = DecodeInterfaceUsageRead(reply.Bytes());
    if (decoded.eError == EReplyError::HubStatus) {
        SettingsLog(kLogError, "getInterfaceUsageStatus error=%d", {decoded.nDetail});
        return SetResult(*this, ZAMO_E_FAIL);
    }
    if (!decoded.Ok()) {
        SettingsLog(kLogError, "getInterfaceUsageStatus Invalid read data");
        return SetResult(*this, ZAMO_E_FAIL);
    }
    *pUsb = decoded.value.nUsb;
    *pBluetooth = decoded.value.nBluetooth;
    *pLan = decoded.value.nLan;
    *pWlan = decoded.value.nWlan;
    SettingsLog(kLogInfo, "getInterfaceUsageStatus(%d,%d,%d)",
                {decoded.value.nBluetooth, decoded.value.nLan, decoded.value.nWlan});
    return m_nResult;
}

int32_t CZamoCtrl::setInterfaceUsageStatus(int32_t /*nUsb: always on, never sent*/, int32_t nBluetooth, int32_t nLan,
                                           int32_t nWlan, int32_t* pError) {
    if (RefusedInPassThrough()) return ZAMO_E_BYPASS;
    CSettingsReply reply;
    if (const int32_t nCode = ExchangeWithHub(*this, BuildInterfaceUsageWrite(nBluetooth, nLan, nWlan),
                                              kMediumTimeoutMs, "-setInterfaceUsageStatus read fail=%d", reply))
        return nCode;
    const auto decoded = DecodeInterfaceUsageWrite(reply.Bytes());
    if (decoded.eError == EReplyError::HubStatus) {
        SettingsLog(kLogError, "-setInterfaceUsageStatus error=%d", {decoded.nDetail});
        if (pError != nullptr) *pError = decoded.nDetail;
        return SetResult(*this, ZAMO_E_FAIL);
    }
    if (!decoded.Ok()) {
        SettingsLog(kLogError, "-setInterfaceUsageStatus Invalid read data");
        return SetResult(*this, ZAMO_E_FAIL);
    }
    SettingsLog(kLogInfo, "-setInterfaceUsageStatus");
    return m_nResult;
}

}  // namespace vexal::cfg
