// Line settings of a USB-to-serial adapter behind the hub, and the hub's table
// of custom USB devices per device type.
#include "cfglib/SettingsCommand.h"
#include "cfglib/ZamoText.h"
#include "platform/TextCodec.h"

namespace vexal::cfg {

namespace {

struct SCustomLines {
    const char* pszReadFail;
    const char* pszInvalid;
    const char* pszDone;
};

// Add, delete and reset answer with the hub's status byte, which is also what
// the command returns; the session's last result stays 0 then.
int32_t ChangeCustomDevices(CZamoCtrl& session, const std::vector<uint8_t>& request, const SCustomLines& lines) {
    CSettingsReply reply;
    if (const int32_t nCode = ExchangeWithHub(session, request, kShortTimeoutMs, lines.pszReadFail, reply))
        return nCode;
    const auto decoded = DecodeCustomChange(request[0], request[1], reply.Bytes());
    if (!decoded.Ok()) {
        SettingsLog(kLogError, lines.pszInvalid);
        return SetResult(session, ZAMO_E_FAIL);
    }
    SettingsLog(kLogInfo, lines.pszDone);
    return decoded.value;
}

}  // namespace

int32_t CZamoCtrl::getSerialConfiguration(uint8_t byDeviceId, uint8_t* pBaudRate, uint8_t* pDataBits,
                                          uint8_t* pStopBits, uint8_t* pParity) {
    if (RefusedInPassThrough()) return ZAMO_E_BYPASS;
    if (pBaudRate == nullptr || pDataBits == nullptr || pStopBits == nullptr || pParity == nullptr)
        return SetResult(*this, ZAMO_E_ARGUMENT);
    CSettingsReply reply;
    if (const int32_t nCode = ExchangeWithHub(*this, {kCmdSerialRead, byDeviceId}, kMediumTimeoutMs,
                                              "getSerialConfiguration read fail=%d", reply))
        return nCode;
    const auto decoded = DecodeSerialRead(byDeviceId, reply.Bytes());
    if (decoded.eError == EReplyError::BadHeader) {
        SettingsLog(kLogError, "getSerialConfiguration invalid read data2");
        return SetResult(*this, ZAMO_E_FAIL);
    }
    if (!decoded.Ok()) {
        SettingsLog(kLogError, "getSerialConfiguration invalid read data");
        return SetResult(*this, ZAMO_E_FAIL);
    }
    *pBaudRate = decoded.value.nBaudRate;
    *pDataBits = decoded.value.nDataBits;
    *pStopBits = decoded.value.nStopBits;
    *pParity = decoded.value.nParity;
    SettingsLog(kLogInfo, "-getSerialConfiguration");
    return m_nResult;
}

int32_t CZamoCtrl::setSerialConfiguration(uint8_t byDeviceId, uint8_t byBaudRate, uint8_t byDataBits,
                                          uint8_t byStopBits, uint8_t byParity) {
    if (RefusedInPassThrough()) return ZAMO_E_BYPASS;
    const SSerialConfig config{byBaudRate, byDataBits, byStopBits, byParity};
    if (SendToHub(*this, BuildSerialWrite(byDeviceId, config)) != ZAMO_SUCCESS) return m_nResult;
    SettingsLog(kLogInfo, "-setSerialConfiguration");
    return m_nResult;
}

int32_t CZamoCtrl::getCustomDeviceList(uint8_t byDeviceType, ZamoText* pList) {
    if (RefusedInPassThrough()) return ZAMO_E_BYPASS;
    if (pList == nullptr) return SetResult(*this, ZAMO_E_ARGUMENT);
    CSettingsReply reply;
    if (const int32_t nCode = ExchangeWithHub(*this, {kCmdCustomList, byDeviceType}, kMediumTimeoutMs,
                                              "getCustomDeviceList read fail=%d", reply))
        return nCode;
    const auto decoded = DecodeCustomList(byDeviceType, reply.Bytes());
    if (!decoded.Ok()) {
        SettingsLog(kLogError, "getCustomDeviceList invalid read data");
        return SetResult(*this, ZAMO_E_FAIL);
    }
    // Appended: the entries follow whatever the caller's text held.
    ZamoTextAppend(pList, platform::Utf16FromAnsi(decoded.value));
    SettingsLog(kLogInfo, "-getCustomDeviceList");
    return m_nResult;
}

int32_t CZamoCtrl::addCustomDevice(uint8_t byDeviceType, const char16_t* pszVendorId, const char16_t* pszProductId) {
    if (RefusedInPassThrough()) return ZAMO_E_BYPASS;
    const auto request =
        BuildCustomChange(kCmdCustomAdd, byDeviceType, platform::AnsiFromUtf16(TextFromInput(pszVendorId)),
                          platform::AnsiFromUtf16(TextFromInput(pszProductId)));
    return ChangeCustomDevices(
        *this, request, {"addCustomDevice read fail=%d", "addCustomDevice invalid read data", "-addCustomDevice"});
}

int32_t CZamoCtrl::deleteCustomDevice(uint8_t byDeviceType, const char16_t* pszVendorId, const char16_t* pszProductId) {
    if (RefusedInPassThrough()) return ZAMO_E_BYPASS;
    const auto request =
        BuildCustomChange(kCmdCustomDelete, byDeviceType, platform::AnsiFromUtf16(TextFromInput(pszVendorId)),
                          platform::AnsiFromUtf16(TextFromInput(pszProductId)));
    return ChangeCustomDevices(
        *this, request,
        {"deleteCustomDevice read fail=%d", "deleteCustomDevice invalid read data", "-deleteCustomDevice"});
}

int32_t CZamoCtrl::resetCustomDeviceList(uint8_t byDeviceType) {
    if (RefusedInPassThrough()) return ZAMO_E_BYPASS;
    return ChangeCustomDevices(
        *this, {kCmdCustomReset, byDeviceType},
        {"resetCustomDeviceList read fail=%d", "resetCustomDeviceList invalid read data", "-resetCustomDeviceList"});
}

}  // namespace vexal::cfg
