// The one long-lived thread on which every call into the configuration
// library runs (the library is driven by one client thread; widgets stay on
// the main thread). The main thread keeps handling paint and timer events
// while a job runs, so the progress pop-up keeps moving.
//
// A job reads the widget values it needs BEFORE it is sent, touches no
// widget, and returns a plain value:
//
//   const auto octets = GetIpv4(1316);                      // main thread
//   std::optional<int32_t> r = worker.Call<int32_t>([&api, h, octets] {
//       return api.m_pfn_setLanInfo(h, ...);                 // worker thread
//   });
//   if (!r) return;          // another job was running (or the worker stopped)
//
// Call() returns once the job has ended. It refuses (nullopt, job not run)
// while another job runs, so a second job is never started. The caller
// blocks the input meanwhile: the pop-up for reads, CBusyGuard for writes.
#pragma once
#include <QObject>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QThread;

namespace vexal::utility {

class CLibraryWorker {
public:
    CLibraryWorker();   // starts the thread
    ~CLibraryWorker();  // Stop()
    CLibraryWorker(const CLibraryWorker&) = delete;
    CLibraryWorker& operator=(const CLibraryWorker&) = delete;

    bool IsRunning() const;
    bool IsBusy() const { return m_bBusy; }

    // Runs fnJob on the worker thread and returns once it has ended; false
    // (job not run) while another job runs or after Stop.
    bool Run(std::function<void()> fnJob);

    template <class R>
    std::optional<R> Call(std::function<R()> fnJob) {
        std::optional<R> result;
        if (!Run([&result, &fnJob] { result = fnJob(); }))
            return std::nullopt;
        return result;
    }

    // Called on the main thread after every job (a close asked for during
    // the job is carried out from here).
    void SetJobEndedHandler(std::function<void()> fnHandler) { m_fnJobEnded = std::move(fnHandler); }

    // Ends the thread: quit, then wait at most nWait. A thread that does not
    // end in time is never terminated nor deleted: it is left to run out and
    // false is returned (the caller must then keep the library loaded).
    bool Stop(std::chrono::milliseconds nWait = std::chrono::seconds(10));

    // True on the worker thread (for checks and tests).
    bool OnWorkerThread() const;

private:
    std::unique_ptr<QThread> m_pThread;
    std::unique_ptr<QObject> m_pContext;   // lives on the worker thread
    std::unique_ptr<QObject> m_pReceiver;  // lives on the main thread
    bool m_bBusy = false;
    bool m_bStopped = false;
    std::function<void()> m_fnJobEnded;
};

// Blocks a window's input while a write runs: disables it and shows the wait
// cursor; both are restored when the guard ends.
class CBusyGuard {
public:
    explicit CBusyGuard(QWidget* pWindow);
    ~CBusyGuard();
    CBusyGuard(const CBusyGuard&) = delete;
    CBusyGuard& operator=(const CBusyGuard&) = delete;

private:
    QWidget* m_pWindow;
    bool m_bWasEnabled;
    std::unique_ptr<class CWaitCursor> m_pWait;
};

}  // namespace vexal::utility
