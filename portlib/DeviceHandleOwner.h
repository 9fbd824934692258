// CDeviceHandleOwner: the one owner of a device handle that a caller's
// thread, the reader thread and a transport's own check thread share.
//
// - Open and Close go through the owner, serialised against each other.
// - Each read or write takes a CHold for its whole duration; a hold is never
//   waited for: while the device is closed or closing, Hold() gives an empty
//   hold at once and the I/O reports "nothing done".
// - Close first wakes or cancels the I/O of current holders (the wake function,
//   called again every wake interval in case an I/O started after the first
//   wake), then waits for the holders to finish, and only then destroys the
//   handle. Should a holder outlast the wait limit, the handle is left to that
//   holder, and the last hold destroys it: a handle is never closed under an
//   I/O that still uses it.
//
// THandle is any movable RAII type that closes the device in its destructor:
// a descriptor wrapper for a serial or lp device, a pointer to a USB handle.
// The wake function runs concurrently with holders' I/O on the same handle,
// so it must be safe for that (signal an eventfd, cancel transfers).
#pragma once
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

namespace vexal {

inline constexpr uint32_t kHandleWakeIntervalMs = 100;
inline constexpr uint32_t kHandleCloseWaitMs = 3000;

template <typename THandle>
class CDeviceHandleOwner {
    struct CSlot {
        CSlot(THandle handle, uint64_t nGeneration) : m_handle(std::move(handle)), m_nGeneration(nGeneration) {}
        THandle m_handle;
        const uint64_t m_nGeneration;
        std::mutex m_cs;  // guards the two below
        std::condition_variable m_cvIdle;
        uint32_t m_nHolders = 0;
        bool m_bClosing = false;
    };

public:
    using WakeFn = std::function<void(THandle&)>;

    // Access to the handle for one I/O. Empty when the device is not open.
    class CHold {
    public:
        CHold() = default;
        CHold(CHold&& other) noexcept : m_pSlot(std::move(other.m_pSlot)) {}
        CHold& operator=(CHold&& other) noexcept {
            if (this != &other) {
                Release();
                m_pSlot = std::move(other.m_pSlot);
            }
            return *this;
        }
        CHold(const CHold&) = delete;
        CHold& operator=(const CHold&) = delete;
        ~CHold() { Release(); }

        explicit operator bool() const { return m_pSlot != nullptr; }
        THandle& operator*() const { return m_pSlot->m_handle; }
        THandle* operator->() const { return &m_pSlot->m_handle; }
        // The open this handle came from (1 for the first open, then 2, ...).
        uint64_t Generation() const { return m_pSlot ? m_pSlot->m_nGeneration : 0; }
        // True once a close has begun: an I/O in slices should stop.
        bool IsClosing() const {
            if (!m_pSlot) return true;
            std::lock_guard lock(m_pSlot->m_cs);
            return m_pSlot->m_bClosing;
        }
        void Release() {
            if (!m_pSlot) return;
            {
                std::lock_guard lock(m_pSlot->m_cs);
                if (--m_pSlot->m_nHolders == 0) m_pSlot->m_cvIdle.notify_all();
            }
            m_pSlot.reset();  // the last owner of a slot closes its handle
        }

    private:
        friend class CDeviceHandleOwner;
        explicit CHold(std::shared_ptr<CSlot> pSlot) : m_pSlot(std::move(pSlot)) {}
        std::shared_ptr<CSlot> m_pSlot;
    };

    explicit CDeviceHandleOwner(WakeFn pfnWake = {}, uint32_t dwCloseWaitMs = kHandleCloseWaitMs)
        : m_pfnWake(std::move(pfnWake)), m_dwCloseWaitMs(dwCloseWaitMs) {}
    ~CDeviceHandleOwner() { Close(); }
    CDeviceHandleOwner(const CDeviceHandleOwner&) = delete;
    CDeviceHandleOwner& operator=(const CDeviceHandleOwner&) = delete;

    // Closes any handle held (as Close does), then installs what fnOpen gives:
    // a callable returning std::optional<THandle>, empty on failure. Returns the
    // new generation, or 0 when the open failed (the device stays closed).
    template <typename FnOpen>
    uint64_t Open(FnOpen&& fnOpen) {
        std::lock_guard life(m_csLifecycle);
        CloseLocked();
        std::optional<THandle> handle = fnOpen();
        if (!handle) return 0;
        auto pSlot = std::make_shared<CSlot>(std::move(*handle), ++m_nGeneration);
        std::lock_guard lock(m_cs);
        m_pSlot = std::move(pSlot);
        return m_nGeneration;
    }

    // Wakes current holders, waits for them (up to the wait limit), closes.
    // Returns false when a holder outlasted the limit (it closes the handle
    // when it lets go).
    bool Close() {
        std::lock_guard life(m_csLifecycle);
        return CloseLocked();
    }

    // Never blocks on I/O: empty when closed or closing.
    CHold Hold() {
        std::shared_ptr<CSlot> pSlot;
        {
            std::lock_guard lock(m_cs);
            pSlot = m_pSlot;
        }
        if (!pSlot) return {};
        std::lock_guard lock(pSlot->m_cs);
        if (pSlot->m_bClosing) return {};
        ++pSlot->m_nHolders;
        return CHold(std::move(pSlot));
    }

    bool IsOpen() const {
        std::lock_guard lock(m_cs);
        return m_pSlot != nullptr;
    }

    // Wakes the current holders without closing (a cancel that leaves the device open).
    void Wake() {
        CHold hold = Hold();
        if (hold && m_pfnWake) m_pfnWake(*hold);
    }

private:
    bool CloseLocked() {
        std::shared_ptr<CSlot> pSlot;
        {
            std::lock_guard lock(m_cs);
            pSlot = std::move(m_pSlot);
        }
        if (!pSlot) return true;
        std::unique_lock lock(pSlot->m_cs);
        pSlot->m_bClosing = true;
        const auto tEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_dwCloseWaitMs);
        while (pSlot->m_nHolders > 0) {
            if (m_pfnWake) {
                lock.unlock();
                m_pfnWake(pSlot->m_handle);
                lock.lock();
            }
            if (pSlot->m_nHolders == 0) break;
            const auto tNow = std::chrono::steady_clock::now();
            if (tNow >= tEnd) return false;
            const auto tNext = std::min(tEnd, tNow + std::chrono::milliseconds(kHandleWakeIntervalMs));
            pSlot->m_cvIdle.wait_until(lock, tNext, [&] { return pSlot->m_nHolders == 0; });
        }
        lock.unlock();
        pSlot.reset();  // no holder left: this closes the handle now
        return true;
    }

    WakeFn m_pfnWake;
    const uint32_t m_dwCloseWaitMs;
    std::mutex m_csLifecycle;  // serialises Open and Close
    mutable std::mutex m_cs;   // guards m_pSlot
    std::shared_ptr<CSlot> m_pSlot;
    uint64_t m_nGeneration = 0;  // under m_csLifecycle
};

}  // namespace vexal
