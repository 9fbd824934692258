// A stand-in for the port library with one port: it records every call,
// keeps per-device queues, and answers hub commands from a table. Built as
// libzamoport.so in a directory of its own, beside a link to libZamoCfg.so.
#include "FakePort.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "include/zamoport.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint32_t kPortId = 10000;

struct SPending {
    uint32_t dwDevice = 0;
    Clock::time_point due;
    std::vector<uint8_t> bytes;
};

struct SReply {
    std::vector<uint8_t> bytes;
    uint32_t dwDelayMs = 0;
};

struct SFake {
    std::mutex lock;
    std::string strLog;
    std::vector<uint8_t> written;
    std::map<uint32_t, std::deque<uint8_t>> queues;
    std::vector<SPending> pending;  // replies for device 0 not yet due
    std::map<std::pair<uint32_t, uint8_t>, SReply> replies;  // (device, first payload byte)
    uint32_t present[256] = {};
    ZamoAlarmCallback alarms[256] = {};
    uint32_t dwOpenResult = 1;
    uint32_t dwOpenCount = 0;
    uint32_t dwReferences = 0;
    uint32_t dwWriteLimit = 0;
    bool bWriteFailure = false;
    int32_t nWriteFailure = 0;
    uint32_t dwPnp = 0;
    std::atomic<uint32_t> dwPowerStateDelayMs{0};
    std::atomic<uint32_t> dwPowerStateCallers{0};
    uint32_t fields[18] = {};
    std::string strOptionName;
    std::vector<uint8_t> frameBuffer;  // bytes of a frame still being written
};

SFake& Fake() {
    static SFake* s_pFake = new SFake();  // never destroyed: callers may outlive statics
    return *s_pFake;
}

void LogLocked(SFake& f, const std::string& strLine) { f.strLog += strLine + "\n"; }

std::string Utf8(const char16_t* psz) {
    std::string out;
    for (; psz != nullptr && *psz != 0; ++psz)
        out += *psz < 0x80 ? static_cast<char>(*psz) : '?';
    return out;
}

// Moves replies that are due into device 0's queue.
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

// Answers complete hub frames found in what was written.
void ParseFramesLocked(SFake& f, const uint8_t* pData, uint32_t dwLength) {
    f.frameBuffer.insert(f.frameBuffer.end(), pData, pData + dwLength);
    for (;;) {
        auto& b = f.frameBuffer;
        if (b.size() < 6 || b[0] != 'V' || b[1] != 'Q' || b[2] != 'T') {
            if (b.size() >= 6)
                b.clear();  // not framed (pass-through): nothing to answer
            return;
        }
        const size_t nLen = static_cast<size_t>(b[4]) << 8 | b[5];
        if (b.size() < 6 + nLen)
            return;
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
        if (bText)
            static_cast<char*>(pBuffer)[nCopy] = 0;
    }
    return static_cast<uint32_t>(nSource);
}

}  // namespace

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
    if (device < 256)
        Fake().present[device] = present;
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
        if (device < 256)
            pfn = Fake().alarms[device];
    }
    if (pfn != nullptr)
        pfn(0x74, 0, code);
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

// ---- The 18 entries ----

ZAMOPORT_API uint32_t CreatePort(const char16_t* portName, uint32_t deviceType) {
    SFake& f = Fake();
    std::lock_guard lock(f.lock);
    LogLocked(f, "CreatePort " + Utf8(portName) + " " + std::to_string(deviceType));
    if (portName == nullptr || *portName == 0)
        return 0;
    ++f.dwReferences;
    return kPortId;
}

ZAMOPORT_API uint32_t RemovePort(uint32_t port) {
    SFake& f = Fake();
    std::lock_guard lock(f.lock);
    LogLocked(f, "RemovePort " + std::to_string(port));
    if (port != kPortId || f.dwReferences == 0)
        return 0;
    return --f.dwReferences;
}

ZAMOPORT_API uint32_t SetDeviceOption(DeviceOption option, uint32_t port, uint32_t) {
    SFake& f = Fake();
    std::lock_guard lock(f.lock);
    LogLocked(f, "SetDeviceOption " + std::to_string(port));
    if (port != kPortId)
        return 0;
    f.strOptionName = Utf8(option.portName);
    const uint32_t values[18] = {0,
                                 option.portType,
                                 option.rawMode,
                                 option.speed,
                                 option.dataBits,
                                 option.stopBits,
                                 option.parity,
                                 option.flowControl,
                                 option.readIntervalTimeout,
                                 option.readTotalTimeoutMultiplier,
                                 option.readTotalTimeoutConstant,
                                 option.writeTotalTimeoutMultiplier,
                                 option.writeTotalTimeoutConstant,
                                 option.inputQueueSize,
                                 option.outputQueueSize,
                                 option.bluetoothCheck,
                                 option.bluetoothStack,
                                 option.reserved};
    std::copy(std::begin(values), std::end(values), f.fields);
    f.queues[0];
    return 1;
}

ZAMOPORT_API uint32_t OpenPort(uint32_t port, uint32_t device) {
    SFake& f = Fake();
    std::lock_guard lock(f.lock);
    LogLocked(f, "OpenPort " + std::to_string(port) + " " + std::to_string(device));
    if (port != kPortId)
        return 0;
    if (f.dwOpenCount > 0) {
        f.queues[device];
        return ++f.dwOpenCount;
    }
    if (f.dwOpenResult != 0)
        f.dwOpenCount = 1;
    return f.dwOpenResult;
}

ZAMOPORT_API void ClosePort(uint32_t port, uint32_t device) {
    SFake& f = Fake();
    std::lock_guard lock(f.lock);
    LogLocked(f, "ClosePort " + std::to_string(port) + " " + std::to_string(device));
    if (port != kPortId)
        return;
    f.queues.erase(device);
    if (f.dwOpenCount > 1) {
        --f.dwOpenCount;
        return;
    }
    f.queues.erase(0);
    f.dwOpenCount = 0;
}

ZAMOPORT_API uint32_t Read(uint8_t* dest, uint32_t wanted, uint32_t, uint32_t port, uint32_t device) {
    SFake& f = Fake();
    std::lock_guard lock(f.lock);
    DeliverDueLocked(f);
    if (port != kPortId || dest == nullptr)
        return 0;
    auto& q = f.queues[device];
    const uint32_t n = std::min<uint32_t>(wanted, static_cast<uint32_t>(q.size()));
    std::copy_n(q.begin(), n, dest);
    q.erase(q.begin(), q.begin() + n);
    return n;
}

ZAMOPORT_API uint32_t ReadAvailable(uint32_t port, uint32_t device) {
    SFake& f = Fake();
    std::lock_guard lock(f.lock);
    DeliverDueLocked(f);
    if (port != kPortId)
        return 0;
    const auto it = f.queues.find(device);
    return it == f.queues.end() ? 0 : static_cast<uint32_t>(it->second.size());
}

ZAMOPORT_API int32_t Write(const uint8_t* data, uint32_t length, uint32_t port) {
    SFake& f = Fake();
    std::lock_guard lock(f.lock);
    LogLocked(f, "Write " + std::to_string(length));
    if (port != kPortId || data == nullptr)
        return 0;
    if (f.bWriteFailure)
        return f.nWriteFailure;
    const uint32_t n = f.dwWriteLimit != 0 ? std::min(length, f.dwWriteLimit) : length;
    f.written.insert(f.written.end(), data, data + n);
    ParseFramesLocked(f, data, n);
    return static_cast<int32_t>(n);
}

ZAMOPORT_API void SetWrite(uint32_t isWrite, uint32_t port, uint32_t) {
    SFake& f = Fake();
    std::lock_guard lock(f.lock);
    LogLocked(f, "SetWrite " + std::to_string(isWrite) + " " + std::to_string(port));
}

ZAMOPORT_API void Clear(uint32_t port, uint32_t device) {
    SFake& f = Fake();
    std::lock_guard lock(f.lock);
    DeliverDueLocked(f);
    if (port == kPortId && f.queues.count(device))
        f.queues[device].clear();
}

FAKEPORT_API void FakePort_SetPowerStateDelay(uint32_t delayMs) { Fake().dwPowerStateDelayMs = delayMs; }

FAKEPORT_API uint32_t FakePort_PowerStateCallers(void) { return Fake().dwPowerStateCallers.load(); }

ZAMOPORT_API uint32_t IsPowerState(uint32_t port, uint32_t device) {
    SFake& f = Fake();
    if (const uint32_t dwDelay = f.dwPowerStateDelayMs.load()) {
        ++f.dwPowerStateCallers;
        std::this_thread::sleep_for(std::chrono::milliseconds(dwDelay));
        --f.dwPowerStateCallers;
    }
    std::lock_guard lock(f.lock);
    return port == kPortId && device < 256 ? f.present[device] : 0;
}

ZAMOPORT_API uint32_t GetASBState(uint8_t*, uint32_t, uint32_t) { return 0; }

ZAMOPORT_API uint32_t AvailableDevId(uint32_t port, uint32_t, uint32_t lowest, uint32_t highest) {
    SFake& f = Fake();
    std::lock_guard lock(f.lock);
    if (port != kPortId)
        return 0;
    for (uint32_t d = lowest; d <= highest && d < 256; ++d) {
        if (f.present[d] != 0) {
            f.queues[d];
            return d;
        }
    }
    return 0;
}

ZAMOPORT_API uint32_t SetAsbMode(uint32_t, uint32_t port, uint32_t) { return port == kPortId ? 0 : 1000; }
ZAMOPORT_API uint32_t GetAsbMode(uint32_t port, uint32_t) { return port == kPortId ? 0 : 1000; }

ZAMOPORT_API uint32_t SetPnPMode(uint32_t enable, uint32_t port, uint32_t) {
    SFake& f = Fake();
    std::lock_guard lock(f.lock);
    LogLocked(f, "SetPnPMode " + std::to_string(enable));
    if (port != kPortId)
        return 1000;
    f.dwPnp = enable;
    return 0;
}

ZAMOPORT_API uint32_t GetPnPMode(uint32_t port, uint32_t) {
    SFake& f = Fake();
    std::lock_guard lock(f.lock);
    return port == kPortId ? f.dwPnp : 1000;
}

ZAMOPORT_API void SetAlarmCallback(uint32_t port, uint32_t device, ZamoAlarmCallback callback) {
    SFake& f = Fake();
    std::lock_guard lock(f.lock);
    LogLocked(f, std::string("SetAlarmCallback ") + std::to_string(device) + (callback ? " set" : " none"));
    if (port == kPortId && device < 256)
        f.alarms[device] = callback;
}

}  // extern "C"
