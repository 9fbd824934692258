// The port library calls an alarm callback with (kind, 0, code) only: it
// names neither the port nor the device. So each (receiver, device) pair
// that wants a port's write alarms is given a function of its own from a
// fixed pool, which passes the alarm on with the device it stands for.
#pragma once
#include "zamoport.h"

#include <cstddef>
#include <cstdint>

namespace vexal::client {

class IAlarmReceiver {
public:
    virtual ~IAlarmReceiver() = default;
    // Called on the port's reader thread while the pool's lock is held: it
    // must return at once (queue the alarm, signal) and never acquire or
    // release a slot.
    virtual void OnAlarm(int nDevice, uint32_t nKind, uint32_t nCode) = 0;
};

class CAlarmSlots {
public:
    static constexpr size_t kSlotCount = 1024;

    // A callback that reports to pReceiver for nDevice; nullptr when every
    // slot is taken. A released slot is handed out again only after every
    // other free one, so a call already on its way to an old owner when it
    // was released finds no receiver (and is dropped) rather than a new one.
    static ZamoAlarmCallback Acquire(IAlarmReceiver* pReceiver, int nDevice);
    // After it returns, the slot's receiver is never called again. Unregister
    // the callback from the port first.
    static void Release(ZamoAlarmCallback pfnCallback);
    // Slots taken now (tests).
    static size_t InUse();
};

}  // namespace vexal::client
