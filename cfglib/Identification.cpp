// Identification of the hub and its devices: model name and firmware version
// (cached per session), the USB device list, device IDs present on the link,
// the GS I queries of the session's device, and the PnP enable command.
#include <algorithm>
#include <array>
#include <string_view>

#include "cfglib/IdentificationReplies.h"
#include "cfglib/State.h"
#include "cfglib/ZamoCtrl.h"
#include "cfglib/ZamoText.h"
#include "common/VQTLog.h"
#include "platform/TextCodec.h"

namespace vexal::cfg {

namespace {

CVQTLoger& Log() { return CVQTLoger::Instance(); }

constexpr std::array<std::u16string_view, 4> kModelSuffixes = {u"_VXL", u"_HMX-T300", u"_HMX-T302", u"_RWD-VXL"};

// The reply bytes without the zero byte the exchange appends.
ReplySpan Reply(const std::vector<uint8_t>& reply) {
    return reply.empty() ? ReplySpan() : ReplySpan(reply.data(), reply.size() - 1);
}

}  // namespace

namespace {

// Model name and firmware version share one shape.
struct CHubTextQuery {
    uint8_t byCommand;
    const char* pszReadFail;
    const char* pszInvalid;
    const char* pszValue;
};

constexpr CHubTextQuery kModelNameQuery = {0x50, "GetVexalModelName read fail=%d",
                                           "GetVexalModelName Invalid read data", "GetVexalModelName:%s"};
constexpr CHubTextQuery kFWVersionQuery = {0x51, "GetVexalFWVersion read fail=%d",
                                           "GetVexalFWVersion Invalid read data", "GetVexalFWVersion:%s"};

}  // namespace

static int32_t ReadHubText(CZamoCtrl& session, const CHubTextQuery& query, std::u16string& strCache,
                           std::u16string& strOut) {
    if (session.RefusedInPassThrough()) return ZAMO_E_BYPASS;
    if (!strCache.empty()) {
        if (&strOut != &strCache) strOut = strCache;
        return 0;
    }
    std::vector<uint8_t> reply;
    const uint8_t request[1] = {query.byCommand};
    const int32_t nCode = session.ZamoDeviceInfoRead(request, 1, kHubDeviceId, kShortTimeoutMs, reply);
    if (nCode != 0) {
        session.m_nResult = nCode;
        Log().WriteLog(kLogError, query.pszReadFail, {nCode});
        return nCode;
    }
    const std::optional<std::string> text = DecodeHubText(Reply(reply), query.byCommand);
    if (!text) {
        Log().WriteLog(kLogError, query.pszInvalid);
        return ZAMO_E_FAIL;
    }
    strOut = platform::Utf16FromAnsi(*text);
    Log().WriteLog(kLogInfo, query.pszValue, {strOut});
    return 0;
}

int32_t CZamoCtrl::GetVexalModelName(std::u16string& strOut) {
    return ReadHubText(*this, kModelNameQuery, m_strModelName, strOut);
}

int32_t CZamoCtrl::GetVexalFWVersion(std::u16string& strOut) {
    return ReadHubText(*this, kFWVersionQuery, m_strVexalFWVersion, strOut);
}

int32_t CZamoCtrl::CheckModelName() {
    if (RefusedInPassThrough()) return m_nResult;
    GetVexalModelName(m_strModelName);
    if (m_nResult == 0) {
        const bool bKnown = std::any_of(kModelSuffixes.begin(), kModelSuffixes.end(), [&](std::u16string_view suffix) {
            return m_strModelName.find(suffix) != std::u16string::npos;
        });
        // Hubs with new model names must stay reachable: only note it.
        if (!bKnown) Log().WriteLog(kLogError, "unknown model name: %s", {m_strModelName});
    }
    return m_nResult;
}

int32_t CZamoCtrl::getUsbList(ZamoText* pList) {
    if (RefusedInPassThrough()) return m_nResult;
    if (pList == nullptr) {
        m_nResult = ZAMO_E_ARGUMENT;
        return m_nResult;
    }
    std::vector<uint8_t> reply;
    const uint8_t request[1] = {0x44};
    const int32_t nCode = ZamoDeviceInfoRead(request, 1, kHubDeviceId, kShortTimeoutMs, reply);
    if (nCode != 0) {
        m_nResult = nCode;
        Log().WriteLog(kLogError, "getUsbList read fail=%d", {nCode});
        return nCode;
    }
    const std::optional<std::string> entries = DecodeUsbList(Reply(reply));
    if (!entries) {
        Log().WriteLog(kLogError, "getUsbList invalid read data");
        m_nResult = ZAMO_E_FAIL;
        return m_nResult;
    }
    ZamoTextAppend(pList, platform::Utf16FromAnsi(*entries));
    Log().WriteLog(kLogInfo, "GetUsbList:%s", {ZamoTextView(pList)});
    return m_nResult;
}

int32_t CZamoCtrl::getUsbInfoByDevId(int32_t nDeviceId, ZamoText* pVendorId, ZamoText* pProductId) {
    if (RefusedInPassThrough()) return m_nResult;
    if (pVendorId == nullptr || pProductId == nullptr) {
        m_nResult = ZAMO_E_ARGUMENT;
        return m_nResult;
    }
    const uint8_t byDeviceId = static_cast<uint8_t>(nDeviceId);
    std::vector<uint8_t> reply;
    const uint8_t request[2] = {0x45, byDeviceId};
    const int32_t nCode = ZamoDeviceInfoRead(request, 2, kHubDeviceId, kShortTimeoutMs, reply);
    if (nCode != 0) {
        m_nResult = nCode;
        Log().WriteLog(kLogError, "getUsbInfoByDevId read fail=%d", {nCode});
        return nCode;
    }
    const SUsbInfoReply decoded = DecodeUsbInfo(Reply(reply), byDeviceId);
    if (decoded.eResult == EUsbInfoReply::TooShort) {
        Log().WriteLog(kLogError, "getUsbInfoByDevId read zero");
        m_nResult = ZAMO_E_DEVICE_ID;
        return m_nResult;
    }
    if (decoded.eResult == EUsbInfoReply::BadHeader) {
        Log().WriteLog(kLogError, "getUsbInfoByDevId invalid read data");
        m_nResult = ZAMO_E_FAIL;
        return m_nResult;
    }
    const std::u16string strVendor = platform::Utf16FromAnsi(decoded.strVendorId);
    const std::u16string strProduct = platform::Utf16FromAnsi(decoded.strProductId);
    ZamoTextAssign(pVendorId, strVendor);
    ZamoTextAssign(pProductId, strProduct);
    Log().WriteLog(kLogInfo, "getUsbInfoByDevId<vid=%s,pid=%s>", {strVendor, strProduct});
    return 0;
}

int32_t CZamoCtrl::getDevIdList(uint8_t* pIds, int32_t* pCount) {
    Log().WriteLog(kLogInfo, "getDevIdList");
    if (RefusedInPassThrough()) return m_nResult;
    if (pIds == nullptr || pCount == nullptr) {
        m_nResult = ZAMO_E_ARGUMENT;
        return m_nResult;
    }
    *pCount = 0;
    for (uint32_t dwId = 1; dwId <= 254; ++dwId) {
        if (IsPortOpen() && m_pState->CallIsPowerState(m_dwPortId, dwId) != 0)
            pIds[(*pCount)++] = static_cast<uint8_t>(dwId);
    }
    return m_nResult;
}

int32_t CZamoCtrl::ExchangeGSI(uint8_t n, std::vector<uint8_t>& reply) {
    m_nResult = ZAMO_SUCCESS;
    const uint8_t request[3] = {0x1D, 0x49, n};
    const int32_t nCode = ZamoDeviceInfoRead(request, 3, m_dwDeviceId, kShortTimeoutMs, reply);
    if (nCode != 0) {
        m_nResult = nCode;
        Log().WriteLog(kLogError, "getDeviceInfoByGSI read fail=%d", {nCode});
    }
    return nCode;
}

int32_t CZamoCtrl::getDeviceInfoByGSI(uint8_t n, std::u16string& strOut) {
    std::vector<uint8_t> reply;
    if (const int32_t nCode = ExchangeGSI(n, reply); nCode != 0) return nCode;
    strOut = platform::Utf16FromAnsi(ReplyTextFrom(Reply(reply), 0));
    Log().WriteLog(kLogInfo, "getDeviceInfoByGSI:%s", {strOut});
    return m_nResult;
}

int32_t CZamoCtrl::getDeviceInfoByGSI(uint8_t n, uint8_t& byOut) {
    std::vector<uint8_t> reply;
    if (const int32_t nCode = ExchangeGSI(n, reply); nCode != 0) return nCode;
    byOut = reply[0];  // a successful exchange holds at least one byte
    Log().WriteLog(kLogInfo, "getDeviceInfoByGSI:%d", {byOut});
    return m_nResult;
}

namespace {

int32_t CachedGSI(CZamoCtrl& session, uint8_t n, std::u16string& strCache, std::u16string* pOut, const char* pszLine) {
    if (strCache.empty()) {
        std::u16string strValue;
        if (session.getDeviceInfoByGSI(n, strValue) == 0) strCache = strValue;
    }
    if (pOut != nullptr) *pOut = strCache;
    Log().WriteLog(kLogInfo, pszLine, {strCache});
    return session.m_nResult;
}

}  // namespace

int32_t CZamoCtrl::getDeviceName(std::u16string* pOut) {
    return CachedGSI(*this, 0x43, m_strDeviceName, pOut, "getDeviceName(%s)");
}

int32_t CZamoCtrl::getFWVersion(std::u16string* pOut) {
    return CachedGSI(*this, 0x41, m_strFWVersion, pOut, "getFWVersion(%s)");
}

int32_t CZamoCtrl::getCodepage(std::u16string* pOut) {
    return CachedGSI(*this, 0x45, m_strCodepage, pOut, "getCodepage(%s)");
}

int32_t CZamoCtrl::enablePNP(int32_t nForce) {
    Log().WriteLog(kLogInfo, "enablePNP(%d, %d)", {1, nForce});
    m_nResult = ZAMO_SUCCESS;
    if (m_nCommandMode == 1) {
        Log().WriteLog(kLogError, "CommandMode is BYPASS");
        m_nResult = ZAMO_E_BYPASS;
        return m_nResult;
    }
    if (nForce == 0 && IsPortOpen() && m_pState->CallGetPnPMode(m_dwPortId, m_dwDeviceId) == 1) {
        Log().WriteLog(kLogInfo, "pnp mode is already %d", {1});
        return 0;
    }
    const uint8_t request[1] = {0x01};
    ZamoDataWrite(request, 1, kPnpDeviceId);
    if (IsPortOpen()) m_pState->CallSetPnPMode(1, m_dwPortId, m_dwDeviceId);
    return m_nResult;
}

}  // namespace vexal::cfg
