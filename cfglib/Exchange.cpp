// The command exchange with the hub: framing, request and reply, read mode.
#include <algorithm>
#include <cstring>
#include <mutex>

#include "cfglib/State.h"
#include "cfglib/ZamoCtrl.h"
#include "common/VQTLog.h"

namespace vexal::cfg {

namespace {

constexpr int32_t kFramePayloadMax = 4096;
constexpr int32_t kFrameHeaderSize = 6;

}  // namespace

int32_t CZamoCtrl::ZamoDataWrite(const uint8_t* pData, int32_t nLength, uint32_t dwTarget) {
    if (pData == nullptr || nLength <= 0) return 0;
    std::vector<uint8_t> frame(kFrameHeaderSize + kFramePayloadMax);
    int32_t nSent = 0;
    while (nSent < nLength) {
        const int32_t nChunk = std::min(nLength - nSent, kFramePayloadMax);
        std::fill(frame.begin(), frame.end(), 0);
        int32_t nFrame = 0;
        if (m_nCommandMode == 0) {
            frame[0] = 0x56;  // "VQT"
            frame[1] = 0x51;
            frame[2] = 0x54;
            frame[3] = static_cast<uint8_t>(dwTarget);
            frame[4] = static_cast<uint8_t>(nChunk >> 8);
            frame[5] = static_cast<uint8_t>(nChunk);
            nFrame = kFrameHeaderSize;
        }
        std::memcpy(frame.data() + nFrame, pData + nSent, static_cast<size_t>(nChunk));
        nFrame += nChunk;
        const int32_t nWritten = writeData(frame.data(), nFrame);
        if (nWritten < nFrame) {
            CVQTLoger::Instance().WriteLog(kLogError, "ZamoDataWrite : %d/%d", {nWritten, nFrame});
            m_nResult = ZAMO_E_FAIL;
            break;
        }
        nSent += nChunk;
    }
    return nSent;
}

int32_t CZamoCtrl::ZamoDeviceInfoRead(const uint8_t* pRequest, int32_t nLength, uint32_t dwTarget, uint32_t dwTimeoutMs,
                                      std::vector<uint8_t>& reply) {
    CVQTLoger::Instance().WriteLog(kLogInfo, "ZamoDeviceInfoRead");
    reply.clear();
    // The poll thread drains the session device's queue: keep it away while
    // this exchange waits for that device's reply.
    std::unique_lock<std::mutex> readLock;
    // (In pass-through mode the session's device is 0 itself.)
    if (dwTarget == m_dwDeviceId) readLock = std::unique_lock(m_pState->m_DeviceReadLock);
    if (dwTarget != kHubDeviceId && dwTarget != kPnpDeviceId) SetMultiDeviceRead(dwTarget, 0);
    // Only the reply to this request may be read: drop anything left over.
    if (IsPortOpen()) m_pState->CallClear(m_dwPortId, dwTarget);
    if (nLength > 0 && pRequest != nullptr) ZamoDataWrite(pRequest, nLength, dwTarget);
    if (WaitAnswer(dwTimeoutMs, dwTarget) == 0) return ZAMO_E_TIMEOUT;
    const uint32_t dwWaiting = WaitAnswer(dwTimeoutMs / 10, dwTarget);
    if (dwWaiting == 0) return ZAMO_E_TIMEOUT;
    std::vector<uint8_t> buffer(static_cast<size_t>(dwWaiting) + 1, 0);
    const int32_t nRead = ReadAnswer(buffer.data(), static_cast<int32_t>(dwWaiting), dwTarget);
    if (nRead <= 0) return ZAMO_E_TIMEOUT;
    buffer.resize(static_cast<size_t>(nRead) + 1);  // the reply and one zero byte
    buffer[static_cast<size_t>(nRead)] = 0;
    reply = std::move(buffer);
    return 0;
}

int32_t CZamoCtrl::SetMultiDeviceRead(uint32_t dwDeviceId, uint32_t dwMode) {
    CVQTLoger::Instance().WriteLog(kLogInfo, "SetMultiDeviceRead");
    if (m_nCommandMode == 1) return 0;
    const uint8_t request[3] = {0x72, static_cast<uint8_t>(dwDeviceId), static_cast<uint8_t>(dwMode)};
    return ZamoDataWrite(request, 3, kHubDeviceId) == 3 ? ZAMO_SUCCESS : ZAMO_E_FAIL;
}

uint32_t CZamoCtrl::WaitReadAvailable(uint32_t dwLimitMs, uint32_t dwDeviceId) {
    return m_pState->WaitReadAvailable(dwLimitMs, m_dwPortId, dwDeviceId);
}

uint32_t CZamoCtrl::WaitAnswer(uint32_t dwLimitMs, uint32_t dwDeviceId) {
    return m_pState->WaitAnswer(dwLimitMs, m_dwPortId, dwDeviceId);
}

int32_t CZamoCtrl::ReadAnswer(uint8_t* pBuffer, int32_t nLength, uint32_t dwDeviceId) {
    const int32_t nRead = nLength > 0 ? m_pState->ReadAnswer(pBuffer, nLength, m_dwPortId, dwDeviceId) : 0;
    if (nRead <= 0) m_nResult = ZAMO_E_TIMEOUT;
    return nRead;
}

int32_t CZamoCtrl::ReadDeviceData(uint8_t* pBuffer, int32_t nLength, uint32_t dwDeviceId) {
    return m_pState->ReadDeviceData(pBuffer, nLength, m_dwPortId, dwDeviceId);
}

}  // namespace vexal::cfg
