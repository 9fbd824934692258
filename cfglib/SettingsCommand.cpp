#include "cfglib/SettingsCommand.h"

namespace vexal::cfg {

void SettingsLog(int nLevel, std::string_view format, std::initializer_list<CLogArg> args) {
    CVQTLoger::Instance().WriteLog(nLevel, format, args);
}

int32_t SetResult(CZamoCtrl& session, int32_t nResult) {
    session.m_nResult = nResult;
    return nResult;
}

ReplyBytes CSettingsReply::Bytes() const {
    if (m_buffer.empty()) return {};
    return ReplyBytes(m_buffer.data(), m_buffer.size() - 1);
}

int32_t ExchangeWithHub(CZamoCtrl& session, const std::vector<uint8_t>& request, uint32_t dwTimeoutMs,
                        const char* pszReadFailLine, CSettingsReply& reply) {
    reply.m_buffer.clear();
    const int32_t nCode = session.ZamoDeviceInfoRead(request.data(), static_cast<int32_t>(request.size()), kHubDeviceId,
                                                     dwTimeoutMs, reply.m_buffer);
    if (nCode != ZAMO_SUCCESS) {
        reply.m_buffer.clear();
        SettingsLog(kLogError, pszReadFailLine, {nCode});
        return SetResult(session, nCode);
    }
    return ZAMO_SUCCESS;
}

int32_t SendToHub(CZamoCtrl& session, const std::vector<uint8_t>& message) {
    const int32_t nLength = static_cast<int32_t>(message.size());
    if (session.ZamoDataWrite(message.data(), nLength, kHubDeviceId) < nLength) return SetResult(session, ZAMO_E_FAIL);
    return ZAMO_SUCCESS;
}

}  // namespace vexal::cfg
