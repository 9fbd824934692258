// The stand-in port library's state and the controls its tests call.
#include "FakePort.h"
#include "FakePortState.h"

#include <algorithm>
#include <cstring>

namespace fakeport {

SFake& Fake() {
    static SFake* s_pFake = new SFake();  // never destroyed: callers may outlive statics
    return *s_pFake;
}

void LogLocked(SFake& f, const std::string& strLine) { f.strLog += strLine + "\n"; }

std::string Utf8(const char16_t* psz) {
    std::string out;
    for (; psz != nullptr && *psz != 0; ++psz) out += *psz < 0x80 ? static_cast<char>(*psz) : '?';
    return out;
}

void DeliverDueLocked(SFake& f) {
    const auto now = Clock::now();
    auto it = f.pending.begin();
    while (it != f.pending.end()) {
        if (it->due <= now) {
            auto& q = f.queues[it->dwDevice];
            q.insert(q.end(), it->bytes.begin(), it->bytes.end());
            it = f.pending.erase(it);
        } else {
            ++it;
        }
    }
}

void ParseFramesLocked(SFake& f, const uint8_t* pData, uint32_t dwLength) {
    f.frameBuffer.insert(f.frameBuffer.end(), pData, pData + dwLength);
    for (;;) {
        auto& b = f.frameBuffer;
        if (b.size() < 6 || b[0] != 'V' || b[1] != 'Q' || b[2] != 'T') {
            if (b.size() >= 6) b.clear();  // not framed (pass-through): nothing to answer
            return;
        }
        const size_t nLen = static_cast<size_t>(b[4]) << 8 | b[5];
        if (b.size() < 6 + nLen) return;
        if (nLen > 0) {
            const auto it = f.replies.find({b[3], b[6]});
            if (it != f.replies.end())
                f.pending.push_back(
                    {b[3], Clock::now() + std::chrono::milliseconds(it->second.dwDelayMs), it->second.bytes});
        }
        b.erase(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(6 + nLen));
    }
}

uint32_t CopyOut(const void* pSource, size_t nSource, void* pBuffer, uint32_t dwSize, bool bText) {
    if (pBuffer != nullptr && dwSize > 0) {
        const size_t nCopy = std::min<size_t>(nSource, bText ? dwSize - 1 : dwSize);
        std::memcpy(pBuffer, pSource, nCopy);
        if (bText) static_cast<char*>(pBuffer)[nCopy] = 0;
    }
    return static_cast<uint32_t>(nSource);
}

}  // namespace fakeport

using namespace fakeport;

extern "C" {

// ---- Test controls ----

FAKEPORT_API void FakePort_Reset(void) {
    SFake& f = Fake();
    std::lock_guard lock(f.lock);
    f.strLog.clear();
    f.written.clear();
    f.queues.clear();
    f.pending.clear();
    f.replies.clear();
    std::fill(std::begin(f.present), std::end(f.present), 0u);
    std::fill(std::begin(f.alarms), std::end(f.alarms), nullptr);
    f.dwOpenResult = 1;
    f.dwOpenCount = 0;
    f.dwReferences = 0;
    f.dwWriteLimit = 0;
    f.bWriteFailure = false;
    f.nWriteFailure = 0;
    f.dwPnp = 0;
    f.dwPowerStateDelayMs = 0;
    f.frameBuffer.clear();
}

FAKEPORT_API void FakePort_SetOpenResult(uint32_t result) {
    std::lock_guard lock(Fake().lock);
    Fake().dwOpenResult = result;
}

FAKEPORT_API void FakePort_SetWriteLimit(uint32_t limit) {
    std::lock_guard lock(Fake().lock);
    Fake().dwWriteLimit = limit;
}

FAKEPORT_API void FakePort_SetWriteFailure(uint32_t enabled, int32_t result) {
    std::lock_guard lock(Fake().lock);
    Fake().bWriteFailure = enabled != 0;
    Fake().nWriteFailure = result;
}

FAKEPORT_API void FakePort_SetPresent(uint32_t device, uint32_t present) {
    std::lock_guard lock(Fake().lock);
    if (device < 256) Fake().present[device] = present;
}

FAKEPORT_API void FakePort_SetDeviceReply(uint32_t device, uint8_t command, const uint8_t* reply, uint32_t length,
                                          uint32_t delayMs) {
    std::lock_guard lock(Fake().lock);
    if (reply == nullptr || length == 0)
        Fake().replies.erase({device, command});
    else
        Fake().replies[{device, command}] = SReply{std::vector<uint8_t>(reply, reply + length), delayMs};
}

FAKEPORT_API void FakePort_SetReply(uint8_t command, const uint8_t* reply, uint32_t length, uint32_t delayMs) {
    FakePort_SetDeviceReply(0, command, reply, length, delayMs);
}

FAKEPORT_API void FakePort_Enqueue(uint32_t device, const uint8_t* data, uint32_t length) {
    std::lock_guard lock(Fake().lock);
    auto& q = Fake().queues[device];
    q.insert(q.end(), data, data + length);
}

FAKEPORT_API void FakePort_RaiseAlarm(uint32_t device, uint32_t code) {
    ZamoAlarmCallback pfn = nullptr;
    {
        std::lock_guard lock(Fake().lock);
        if (device < 256) pfn = Fake().alarms[device];
    }
    if (pfn != nullptr) pfn(0x74, 0, code);
}

FAKEPORT_API uint32_t FakePort_CallLog(char* buffer, uint32_t size) {
    std::lock_guard lock(Fake().lock);
    return CopyOut(Fake().strLog.data(), Fake().strLog.size(), buffer, size, true);
}

FAKEPORT_API uint32_t FakePort_Written(uint8_t* buffer, uint32_t size) {
    std::lock_guard lock(Fake().lock);
    return CopyOut(Fake().written.data(), Fake().written.size(), buffer, size, false);
}

FAKEPORT_API uint32_t FakePort_LastOption(uint32_t fields[18], char* name, uint32_t size) {
    std::lock_guard lock(Fake().lock);
    std::copy(std::begin(Fake().fields), std::end(Fake().fields), fields);
    return CopyOut(Fake().strOptionName.data(), Fake().strOptionName.size(), name, size, true);
}

FAKEPORT_API uint32_t FakePort_References(void) {
    std::lock_guard lock(Fake().lock);
    return Fake().dwReferences;
}

FAKEPORT_API void FakePort_SetPowerStateDelay(uint32_t delayMs) { Fake().dwPowerStateDelayMs = delayMs; }

FAKEPORT_API uint32_t FakePort_PowerStateCallers(void) { return Fake().dwPowerStateCallers.load(); }

}  // extern "C"
