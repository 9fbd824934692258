// A stand-in for the port library with one port: it records every call,
// keeps per-device queues, and answers hub commands from a table. Built as
// libzamoport.so in a directory of its own, beside a link to libZamoCfg.so.
// Its state and test controls live in libzamoport_fakecontrol.so, so that
// this library exports the port library's 18 names and nothing else.
#include "FakePortState.h"

#include <algorithm>
#include <thread>

using namespace fakeport;

extern "C" {

// ---- The 18 entries ----

ZAMOPORT_API uint32_t CreatePort(const char16_t* portName, uint32_t deviceType) {
    SFake& f = Fake();
    std::lock_guard lock(f.lock);
    LogLocked(f, "CreatePort " + Utf8(portName) + " " + std::to_string(deviceType));
    if (portName == nullptr || *portName == 0) return 0;
    ++f.dwReferences;
    return kPortId;
}

ZAMOPORT_API uint32_t RemovePort(uint32_t port) {
    SFake& f = Fake();
    std::lock_guard lock(f.lock);
    LogLocked(f, "RemovePort " + std::to_string(port));
    if (port != kPortId || f.dwReferences == 0) return 0;
    return --f.dwReferences;
}

ZAMOPORT_API uint32_t SetDeviceOption(DeviceOption option, uint32_t port, uint32_t) {
    SFake& f = Fake();
    std::lock_guard lock(f.lock);
    LogLocked(f, "SetDeviceOption " + std::to_string(port));
    if (port != kPortId) return 0;
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
    if (port != kPortId) return 0;
    if (f.dwOpenCount > 0) {
        f.queues[device];
        return ++f.dwOpenCount;
    }
    if (f.dwOpenResult != 0) f.dwOpenCount = 1;
    return f.dwOpenResult;
}

ZAMOPORT_API void ClosePort(uint32_t port, uint32_t device) {
    SFake& f = Fake();
    std::lock_guard lock(f.lock);
    LogLocked(f, "ClosePort " + std::to_string(port) + " " + std::to_string(device));
    if (port != kPortId) return;
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
    if (port != kPortId || dest == nullptr) return 0;
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
    if (port != kPortId) return 0;
    const auto it = f.queues.find(device);
    return it == f.queues.end() ? 0 : static_cast<uint32_t>(it->second.size());
}

ZAMOPORT_API int32_t Write(const uint8_t* data, uint32_t length, uint32_t port) {
    SFake& f = Fake();
    std::lock_guard lock(f.lock);
    LogLocked(f, "Write " + std::to_string(length));
    if (port != kPortId || data == nullptr) return 0;
    if (f.bWriteFailure) return f.nWriteFailure;
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
    if (port == kPortId && f.queues.count(device)) f.queues[device].clear();
}

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
    if (port != kPortId) return 0;
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
    if (port != kPortId) return 1000;
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
    if (port == kPortId && device < 256) f.alarms[device] = callback;
}

}  // extern "C"
