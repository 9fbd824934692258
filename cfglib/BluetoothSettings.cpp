// Bluetooth settings of the hub: name, PIN, encryption, connection mode and
// auto connection. Values pass through unchanged; the caller gives them meaning.
#include "cfglib/SettingsCommand.h"
#include "cfglib/ZamoText.h"
#include "platform/TextCodec.h"

namespace vexal::cfg {

namespace {

using platform::AnsiFromUtf16;
using platform::Utf16FromAnsi;

struct SBluetoothLines {
    const char* pszReadFail;
    const char* pszInvalid;
    const char* pszValue;
};

constexpr SBluetoothLines kModeLines = {"getBluetoothConnectionMode read fail=%d",
                                        "getBluetoothConnectionMode invalid read data",
                                        "getBluetoothConnectionMode:%s"};
constexpr SBluetoothLines kNameLines = {"getBluetoothName read fail=%d", "getBluetoothName invalid read data",
                                        "getBluetoothName:%s"};
constexpr SBluetoothLines kPinLines = {"getBluetoothPinCode read fail=%d", "getBluetoothPinCode invalid read data",
                                       "getBluetoothPinCode:%s"};
// The encryption read logs under the command's older name.
constexpr SBluetoothLines kEncryptionLines = {"getBluetoothAuthentication read fail=%d",
                                              "getBluetoothCertificationStatus invalid read data",
                                              "getBluetoothCertificationStatus:%d"};

int32_t ReadBluetoothChar(CZamoCtrl& session, EBluetoothItem eItem, const SBluetoothLines& lines, int32_t* pValue) {
    if (session.RefusedInPassThrough()) return ZAMO_E_BYPASS;
    if (pValue == nullptr) return SetResult(session, ZAMO_E_ARGUMENT);
    CSettingsReply reply;
    if (const int32_t nCode =
            ExchangeWithHub(session, BuildBluetoothRead(eItem), kMediumTimeoutMs, lines.pszReadFail, reply))
        return nCode;
    const auto decoded = DecodeBluetoothChar(eItem, reply.Bytes());
    if (!decoded.Ok()) {
        SettingsLog(kLogError, lines.pszInvalid);
        return SetResult(session, ZAMO_E_FAIL);
    }
    *pValue = decoded.value;
    if (eItem == EBluetoothItem::Encryption)
        SettingsLog(kLogInfo, lines.pszValue, {decoded.value});
    else
        SettingsLog(kLogInfo, lines.pszValue, {Utf16FromAnsi(TextFrom(reply.Bytes(), kBluetoothValueOffset))});
    return session.m_nResult;
}

int32_t ReadBluetoothText(CZamoCtrl& session, EBluetoothItem eItem, const SBluetoothLines& lines, ZamoText* pText) {
    if (session.RefusedInPassThrough()) return ZAMO_E_BYPASS;
    if (pText == nullptr) return SetResult(session, ZAMO_E_ARGUMENT);
    CSettingsReply reply;
    if (const int32_t nCode =
            ExchangeWithHub(session, BuildBluetoothRead(eItem), kMediumTimeoutMs, lines.pszReadFail, reply))
        return nCode;
    const auto decoded = DecodeBluetoothText(eItem, reply.Bytes());
    if (!decoded.Ok()) {
        SettingsLog(kLogError, lines.pszInvalid);
        return SetResult(session, ZAMO_E_FAIL);
    }
    const std::u16string strValue = Utf16FromAnsi(decoded.value);
    ZamoTextAssign(pText, strValue);
    SettingsLog(kLogInfo, lines.pszValue, {strValue});
    return session.m_nResult;
}

}  // namespace

int32_t CZamoCtrl::getBluetoothConnectionMode(int32_t* pMode) {
    return ReadBluetoothChar(*this, EBluetoothItem::ConnectionMode, kModeLines, pMode);
}

int32_t CZamoCtrl::getBluetoothName(ZamoText* pName) {
    return ReadBluetoothText(*this, EBluetoothItem::Name, kNameLines, pName);
}

int32_t CZamoCtrl::getBluetoothPinCode(ZamoText* pPinCode) {
    return ReadBluetoothText(*this, EBluetoothItem::PinCode, kPinLines, pPinCode);
}

int32_t CZamoCtrl::getBluetoothAuthentication(int32_t* pEncryption) {
    return ReadBluetoothChar(*this, EBluetoothItem::Encryption, kEncryptionLines, pEncryption);
}

int32_t CZamoCtrl::setBluetoothInfo(uint8_t byMode, const char16_t* pszName, const char16_t* pszPinCode,
                                    uint8_t byEncryption) {
    if (RefusedInPassThrough()) return ZAMO_E_BYPASS;
    // Field lengths are those of the converted bytes, not of the UTF-16 text.
    const std::string strName = AnsiFromUtf16(TextFromInput(pszName));
    const std::string strPin = AnsiFromUtf16(TextFromInput(pszPinCode));
    if (SendToHub(*this, BuildBluetoothInfo(byMode, strName, strPin, byEncryption)) != ZAMO_SUCCESS) return m_nResult;
    SettingsLog(kLogInfo, "-setBluetoothInfo");
    return m_nResult;
}

int32_t CZamoCtrl::getBluetoothAutoConnection(uint8_t* pAutoConnection) {
    if (RefusedInPassThrough()) return ZAMO_E_BYPASS;
    if (pAutoConnection == nullptr) return SetResult(*this, ZAMO_E_ARGUMENT);
    CSettingsReply reply;
    if (const int32_t nCode = ExchangeWithHub(*this, {kCmdBluetoothAutoRead, 0x00}, kMediumTimeoutMs,
                                              "getBluetoothAutoConnection read fail=%d", reply))
        return nCode;
    const auto decoded = DecodeBluetoothAutoConnection(reply.Bytes());
    if (!decoded.Ok()) {
        SettingsLog(kLogError, "getBluetoothAutoConnection invalid read data");
        return SetResult(*this, ZAMO_E_FAIL);
    }
    *pAutoConnection = decoded.value;
    SettingsLog(kLogInfo, "getBluetoothAutoConnection:%d", {decoded.value});
    return m_nResult;
}

int32_t CZamoCtrl::setBluetoothAutoConnection(int32_t nOn) {
    if (RefusedInPassThrough()) return ZAMO_E_BYPASS;
    if (SendToHub(*this, BuildOnOff(kCmdBluetoothAutoWrite, nOn)) != ZAMO_SUCCESS) return m_nResult;
    SettingsLog(kLogInfo, "-setBluetoothAutoConnection");
    return m_nResult;
}

}  // namespace vexal::cfg
