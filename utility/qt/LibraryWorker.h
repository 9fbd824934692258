// The library thread of LibraryJobs.h as the Qt program uses it: results come
// back to the main thread as queued calls, and a continuation is dropped when
// the window it belongs to is gone by then.
//
// A job reads the widget values it needs BEFORE it starts, touches no widget,
// and returns a plain value; the continuation shows it:
//
//   const model::SLan lan = Collect();                                      // main thread
//   worker.Start<client::SCallResult>(this,
//       [hub, lan]() mutable { uint8_t n = 0; return hub.WriteLan(lan, n); },  // worker
//       [this](client::SCallResult r) { ... });                                 // main thread, later
//
// Start refuses (false, nothing runs) while another job runs. The caller
// blocks the input meanwhile: the pop-up for reads before a page shows,
// CBusyGuard otherwise.
#pragma once
#include "utility/logic/LibraryJobs.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <chrono>
#include <functional>
#include <memory>

namespace vexal::utility {

class CLibraryWorker {
public:
    CLibraryWorker();  // starts the thread
    ~CLibraryWorker();
    CLibraryWorker(const CLibraryWorker&) = delete;
    CLibraryWorker& operator=(const CLibraryWorker&) = delete;

    bool IsRunning() const { return m_jobs.IsRunning(); }
    bool IsBusy() const { return m_jobs.IsBusy(); }

    // fnWork on the worker thread, then fnDone on the main thread with its
    // result (fnFailed instead when the work threw), unless pContext (when
    // given) has been deleted by then.
    template <class R>
    bool Start(QObject* pContext, std::function<R()> fnWork, std::function<void(R)> fnDone,
               CLibraryJobs::FailedFn fnFailed = {}) {
        return m_jobs.Start<R>(std::move(fnWork), Guarded(pContext, std::move(fnDone)),
                               Guarded(pContext, std::move(fnFailed)));
    }
    bool Start(QObject* pContext, std::function<void()> fnWork, std::function<void()> fnDone = {}) {
        return m_jobs.StartJob(std::move(fnWork), Guarded(pContext, std::move(fnDone)));
    }

    // Called on the main thread after every job (a close asked for during
    // the job is carried out from here).
    void SetJobEndedHandler(std::function<void()> fnHandler) { m_jobs.SetJobEndedHandler(std::move(fnHandler)); }
    // The way out: see CLibraryJobs.
    bool WaitForJob(std::chrono::milliseconds nWait) { return m_jobs.WaitForJob(nWait); }
    bool Stop(std::chrono::milliseconds nWait = std::chrono::seconds(10)) { return m_jobs.Stop(nWait); }
    bool OnWorkerThread() const { return m_jobs.OnWorkerThread(); }
    // The toolkit-free core, as the windows' logic takes it.
    CLibraryJobs& Jobs() { return m_jobs; }

private:
    template <class... A>
    static std::function<void(A...)> Guarded(QObject* pContext, std::function<void(A...)> fn) {
        if (pContext == nullptr || !fn) return fn;
        return [p = QPointer<QObject>(pContext), fn = std::move(fn)](A... args) {
            if (p) fn(std::forward<A>(args)...);
        };
    }

    std::unique_ptr<IUiQueue> m_pQueue;  // declared first: outlives the thread
    CLibraryJobs m_jobs;
};

// Blocks a window's input while a job runs: disables it and shows the wait
// cursor; both are restored when the guard ends (held by the job's
// continuation, so it ends with the job, also when the window is gone), and
// the focus goes back where it was (disabling the window took it away).
class CBusyGuard {
public:
    explicit CBusyGuard(QWidget* pWindow);
    ~CBusyGuard();
    CBusyGuard(const CBusyGuard&) = delete;
    CBusyGuard& operator=(const CBusyGuard&) = delete;

private:
    QPointer<QWidget> m_pWindow;
    QPointer<QWidget> m_pFocus;
    bool m_bWasEnabled;
    std::unique_ptr<class CWaitCursor> m_pWait;
};

}  // namespace vexal::utility
