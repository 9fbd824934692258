#include "platform/WakeSignal.h"

#include "platform/win32/Win32Util.h"

namespace vexal::platform {

namespace {
HANDLE EventOf(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }
}  // namespace

// A manual-reset event, so every waiter sees it until Reset.
CWakeSignal::CWakeSignal() {
    HANDLE h = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_hEvent = h != nullptr ? reinterpret_cast<std::intptr_t>(h) : -1;
}

CWakeSignal::~CWakeSignal() {
    if (m_hEvent != -1) CloseHandle(EventOf(m_hEvent));
    m_hEvent = -1;
}

void CWakeSignal::Set() {
    m_bSet.store(true);
    if (m_hEvent != -1) SetEvent(EventOf(m_hEvent));
}

void CWakeSignal::Reset() {
    m_bSet.store(false);
    if (m_hEvent != -1) ResetEvent(EventOf(m_hEvent));
}

bool CWakeSignal::SleepMs(uint32_t ms) const {
    if (m_hEvent == -1) {
        // No event: pause in short steps and look at the flag between them.
        const uint64_t nStart = GetTickCount64();
        while (!IsSet()) {
            const uint64_t nElapsed = GetTickCount64() - nStart;
            if (nElapsed >= ms) return false;
            Sleep(static_cast<DWORD>(ms - nElapsed < 20 ? ms - nElapsed : 20));
        }
        return true;
    }
    if (IsSet()) return true;
    return WaitForSingleObject(EventOf(m_hEvent), ms) == WAIT_OBJECT_0 || IsSet();
}

}  // namespace vexal::platform
