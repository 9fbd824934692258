// The one long-lived thread on which every call into the configuration
// library runs (the library is driven by one client thread), and the way a
// call's result gets back to the thread that owns the windows. No toolkit
// here: each front end supplies its IUiQueue (a queued call in Qt, a posted
// window message on Win32).
//
// A job is two functions: the work, run on the library thread, which touches
// no window and returns a plain value; and the continuation, run later on the
// UI thread with that value, from the UI's own event loop. Start() returns at
// once, so no handler waits inside itself and none can be re-entered:
//
//   const model::SLan lan = Collect();                                          // UI thread
//   jobs.Start<client::SCallResult>(
//       [hub, lan]() mutable { uint8_t n = 0; return hub.WriteLan(lan, n); },  // library thread
//       [this](client::SCallResult r) { ShowOutcome(r); });                    // UI thread, later
//
// One job at a time: from Start until its continuation has returned, Start
// refuses (false, nothing runs). A continuation may start the next job.
#pragma once
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace vexal::utility {

// The UI thread's queue, as a front end offers it.
class IUiQueue {
public:
    virtual ~IUiQueue() = default;
    // Called on the library thread: fn must run on the UI thread, later,
    // from its event loop (never inside Post).
    virtual void Post(std::function<void()> fn) = 0;
};

class CLibraryJobs {
public:
    explicit CLibraryJobs(IUiQueue& ui);  // starts the thread
    ~CLibraryJobs();                      // Stop()
    CLibraryJobs(const CLibraryJobs&) = delete;
    CLibraryJobs& operator=(const CLibraryJobs&) = delete;

    // UI thread only, like every member but OnWorkerThread.
    bool IsRunning() const { return !m_bStopped; }
    bool IsBusy() const;

    // fnWork on the library thread, then on the UI thread fnDone, or instead
    // fnFailed with the exception's text when the work threw (also noted on
    // standard error, without the text). Either way the job ends.
    using FailedFn = std::function<void(const std::string& strWhy)>;
    bool StartJob(std::function<void()> fnWork, std::function<void()> fnDone, FailedFn fnFailed = {});
    template <class R>
    bool Start(std::function<R()> fnWork, std::function<void(R)> fnDone, FailedFn fnFailed = {}) {
        auto pResult = std::make_shared<std::optional<R>>();
        return StartJob([pResult, fn = std::move(fnWork)] { pResult->emplace(fn()); },
                        [pResult, fn = std::move(fnDone)] {
                            if (pResult->has_value() && fn) fn(std::move(**pResult));
                        },
                        std::move(fnFailed));
    }

    // The library thread shares ownership of p until it ends: what works
    // refer to (the entry-point table) outlives a thread Stop left running.
    void Share(std::shared_ptr<const void> p);

    // For threads of a window's own (a watch's events): a function that any
    // thread may call, also once this object is gone, to run fn later on the
    // UI thread from its event loop; after Stop it drops fn.
    using PostFn = std::function<void(std::function<void()>)>;
    PostFn UiPoster() const;

    // Called on the UI thread after every job's continuation (or its fnFailed).
    void SetJobEndedHandler(std::function<void()> fnHandler);

    // For the way out only, when no event loop will deliver the result:
    // blocks until the running job's work has returned, at most nWait, and
    // drops its continuation. False when it did not return in time.
    bool WaitForJob(std::chrono::milliseconds nWait);

    // Ends the thread after the job it holds: waits at most nWait. A job's
    // continuation still due is dropped. A thread that does not end in time
    // is never killed: it is left to run out, with what Share gave it, and
    // false is returned (the caller must then keep the library loaded).
    bool Stop(std::chrono::milliseconds nWait = std::chrono::seconds(10));

    // True on the library thread (for checks and tests); any thread.
    bool OnWorkerThread() const;

private:
    struct SShared;  // what the library thread shares: its queue and flags
    struct SUi;      // the UI thread's side: the continuation due
    static void Deliver(const std::shared_ptr<SUi>& pUi, unsigned nJob, const std::optional<std::string>& failure);

    std::shared_ptr<SShared> m_pShared;
    std::shared_ptr<SUi> m_pUi;
    std::thread m_thread;
    std::thread::id m_workerId;
    bool m_bStopped = false;
    bool m_bEnded = false;  // the thread ended within Stop's wait
};

}  // namespace vexal::utility
