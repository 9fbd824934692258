// LAN and WLAN settings of the hub. The blocks move between caller and hub as
// they are; only the reply header and the reply length are judged here.
#include <algorithm>
#include <climits>

#include "cfglib/SettingsCommand.h"
#include "platform/TextCodec.h"

namespace vexal::cfg {

namespace {

// The value line shows the block as text, as far as its first zero byte.
std::u16string BlockText(ReplyBytes reply) { return platform::Utf16FromAnsi(TextFrom(reply, 2)); }

}  // namespace

int32_t CZamoCtrl::getLanInfo(uint8_t* pBlock) {
    if (RefusedInPassThrough()) return ZAMO_E_BYPASS;
    if (pBlock == nullptr) return SetResult(*this, ZAMO_E_ARGUMENT);
    CSettingsReply reply;
    if (const int32_t nCode = ExchangeWithHub(*this, {kCmdLanRead}, kLongTimeoutMs, "getLanInfo read fail=%d", reply))
        return nCode;
    const auto decoded = DecodeLanRead(reply.Bytes());
    if (decoded.eError == EReplyError::BadHeader) {
        SettingsLog(kLogError, "read ERROR in getLanInfo");
        return SetResult(*this, ZAMO_E_FAIL);
    }
    if (!decoded.Ok()) {
        SettingsLog(kLogInfo, "read Invalid data(%dbytes) in getLanInfo", {decoded.nDetail});
        return SetResult(*this, ZAMO_E_FAIL);
    }
    SettingsLog(kLogInfo, "getLanInfo:%s", {BlockText(reply.Bytes())});
    std::copy(decoded.value.begin(), decoded.value.end(), pBlock);
    return m_nResult;
}

int32_t CZamoCtrl::setLanInfo(const uint8_t* pData, int32_t nLength, uint8_t* pStatus) {
    if (RefusedInPassThrough()) return ZAMO_E_BYPASS;
    if (nLength < 0 || nLength == INT32_MAX || (pData == nullptr && nLength > 0))
        return SetResult(*this, ZAMO_E_ARGUMENT);
    CSettingsReply reply;
    if (const int32_t nCode = ExchangeWithHub(*this, BuildLanWrite(pData, static_cast<size_t>(nLength)), kLongTimeoutMs,
                                              "setLanInfo read fail=%d", reply))
        return nCode;
    const auto decoded = DecodeLanWrite(reply.Bytes());
    if (decoded.eError == EReplyError::TooShort) {
        // No status byte to pass on: the caller's byte stays as it was.
        SettingsLog(kLogError, "read Invalid data(%dbytes) in setLanInfo", {decoded.nDetail});
        return SetResult(*this, ZAMO_E_FAIL);
    }
    if (decoded.eError == EReplyError::BadHeader) {
        SettingsLog(kLogError, "error(%d) in setLanInfo", {decoded.nDetail});
        SetResult(*this, ZAMO_E_FAIL);
    }
    // The hub's verdict reaches the caller even with a wrong header.
    if (pStatus != nullptr) *pStatus = decoded.value;
    SettingsLog(kLogInfo, "-setLanInfo");
    return m_nResult;
}

int32_t CZamoCtrl::getWlanInfo(uint8_t* pBlock) {
    if (RefusedInPassThrough()) return ZAMO_E_BYPASS;
    if (pBlock == nullptr) return SetResult(*this, ZAMO_E_ARGUMENT);
    CSettingsReply reply;
    if (const int32_t nCode =
            ExchangeWithHub(*this, {kCmdWlanRead, 0x00}, kLongTimeoutMs, "getWlanInfo read fail=%d", reply))
        return nCode;
    const auto decoded = DecodeWlanRead(reply.Bytes());
    if (decoded.eError == EReplyError::BadHeader || decoded.eError == EReplyError::WrongLength) {
        SettingsLog(kLogError, "getWlanInfo invalid read data");
        return SetResult(*this, ZAMO_E_FAIL);
    }
    if (!decoded.Ok()) {
        SettingsLog(kLogInfo, "read Invalid data(%dbytes) in getWlanInfo", {decoded.nDetail});
        return SetResult(*this, ZAMO_E_FAIL);
    }
    SettingsLog(kLogInfo, "getWlanInfo:%s", {BlockText(reply.Bytes())});
    std::copy(decoded.value.begin(), decoded.value.end(), pBlock);
    return m_nResult;
}

int32_t CZamoCtrl::setWlanInfo(const uint8_t* pData, int32_t nLength, uint8_t* pReply) {
    if (RefusedInPassThrough()) return ZAMO_E_BYPASS;
    if (nLength < 0 || nLength > INT32_MAX - 2 || (pData == nullptr && nLength > 0))
        return SetResult(*this, ZAMO_E_ARGUMENT);
    CSettingsReply reply;
    if (const int32_t nCode = ExchangeWithHub(*this, BuildWlanWrite(pData, static_cast<size_t>(nLength)),
                                              kLongTimeoutMs, "setWlanInfo read fail=%d", reply))
        return nCode;
    const auto decoded = DecodeWlanWrite(reply.Bytes());
    if (!decoded.Ok()) {
        SettingsLog(kLogError, "setWlanInfo invalid read data");
        return SetResult(*this, ZAMO_E_FAIL);
    }
    if (pReply != nullptr) std::copy(decoded.value.begin(), decoded.value.end(), pReply);
    SettingsLog(kLogInfo, "-setWlanInfo");
    return m_nResult;
}

}  // namespace vexal::cfg
