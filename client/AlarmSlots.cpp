#include "client/AlarmSlots.h"

#include <array>
#include <deque>
#include <mutex>
#include <utility>

namespace vexal::client {

namespace {

struct SSlot {
    IAlarmReceiver* pReceiver = nullptr;
    int nDevice = 0;
};

struct SPool {
    std::mutex mutex;
    std::array<SSlot, CAlarmSlots::kSlotCount> slots{};  // guarded by mutex
    std::deque<size_t> free;                             // guarded by mutex; oldest released first
    size_t nInUse = 0;                                   // guarded by mutex
    SPool() {
        for (size_t i = 0; i < slots.size(); ++i) free.push_back(i);
    }
};

// Never destroyed: a reader thread may still call a slot at exit.
SPool& Pool() {
    static SPool* s_pPool = new SPool();
    return *s_pPool;
}

void Dispatch(size_t nSlot, uint32_t nKind, uint32_t nCode) noexcept {
    try {
        SPool& pool = Pool();
        std::lock_guard lock(pool.mutex);
        const SSlot& slot = pool.slots[nSlot];
        if (slot.pReceiver != nullptr) slot.pReceiver->OnAlarm(slot.nDevice, nKind, nCode);
    } catch (...) {
        // On the port's reader thread: nothing may escape.
    }
}

template <size_t N>
void ZAMO_CALL Trampoline(uint32_t nKind, uint32_t /*nZero*/, uint32_t nCode) {
    Dispatch(N, nKind, nCode);
}

template <size_t... N>
constexpr std::array<ZamoAlarmCallback, sizeof...(N)> MakeTable(std::index_sequence<N...>) {
    return {&Trampoline<N>...};
}

constexpr auto kTable = MakeTable(std::make_index_sequence<CAlarmSlots::kSlotCount>());

}  // namespace

ZamoAlarmCallback CAlarmSlots::Acquire(IAlarmReceiver* pReceiver, int nDevice) {
    SPool& pool = Pool();
    std::lock_guard lock(pool.mutex);
    if (pool.free.empty() || pReceiver == nullptr) return nullptr;
    const size_t nSlot = pool.free.front();
    pool.free.pop_front();
    pool.slots[nSlot] = {pReceiver, nDevice};
    ++pool.nInUse;
    return kTable[nSlot];
}

void CAlarmSlots::Release(ZamoAlarmCallback pfnCallback) {
    SPool& pool = Pool();
    std::lock_guard lock(pool.mutex);
    for (size_t i = 0; i < kTable.size(); ++i) {
        if (kTable[i] != pfnCallback) continue;
        if (pool.slots[i].pReceiver == nullptr) return;
        pool.slots[i] = {};
        pool.free.push_back(i);
        --pool.nInUse;
        return;
    }
}

size_t CAlarmSlots::InUse() {
    SPool& pool = Pool();
    std::lock_guard lock(pool.mutex);
    return pool.nInUse;
}

}  // namespace vexal::client
