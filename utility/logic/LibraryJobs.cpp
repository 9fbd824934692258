#include "utility/logic/LibraryJobs.h"

#include <condition_variable>
#include <cstdio>
#include <exception>
#include <mutex>
#include <vector>

namespace vexal::utility {

struct CLibraryJobs::SShared {
    std::mutex mutex;
    std::condition_variable cv;
    // Guarded by mutex.
    std::function<void()> fnWork;  // the work handed over, not started yet
    unsigned nJob = 0;             // its number
    bool bWorking = false;         // a work is running
    bool bStop = false;
    bool bExited = false;
    IUiQueue* pUi = nullptr;                          // nulled by Stop: nothing is posted after it
    std::weak_ptr<SUi> ui;                            // set once, before the thread starts
    std::vector<std::shared_ptr<const void>> shared;  // what the works refer to
};

// UI thread only.
struct CLibraryJobs::SUi {
    bool bBusy = false;
    unsigned nJob = 0;  // the job whose continuation is due
    std::function<void()> fnDone;
    FailedFn fnFailed;
    std::function<void()> fnJobEnded;
};

CLibraryJobs::CLibraryJobs(IUiQueue& ui) : m_pShared(std::make_shared<SShared>()), m_pUi(std::make_shared<SUi>()) {
    m_pShared->pUi = &ui;
    m_pShared->ui = m_pUi;
    // The thread holds the shared state, so a thread left to run out by
    // Stop never touches freed memory.
    m_thread = std::thread([p = m_pShared] {
        std::unique_lock<std::mutex> lock(p->mutex);
        for (;;) {
            p->cv.wait(lock, [&] { return p->bStop || p->fnWork; });
            if (!p->fnWork) break;  // stopped, and the last job has run
            std::function<void()> fnWork = std::move(p->fnWork);
            p->fnWork = nullptr;
            const unsigned nJob = p->nJob;
            p->bWorking = true;
            lock.unlock();
            // The text is for the user's message only: it may quote a value.
            std::optional<std::string> failure;
            try {
                fnWork();
            } catch (const std::exception& e) {
                failure = e.what();
            } catch (...) {
                failure = "an unknown error";
            }
            if (failure) std::fputs("Vexal utility: a library job failed with an exception\n", stderr);
            fnWork = nullptr;  // its captures go on this thread, with no lock held
            lock.lock();
            p->bWorking = false;
            if (p->pUi != nullptr)
                p->pUi->Post([ui = p->ui, nJob, failure = std::move(failure)] { Deliver(ui.lock(), nJob, failure); });
            p->cv.notify_all();
        }
        p->bExited = true;
        p->cv.notify_all();
    });
    m_workerId = m_thread.get_id();
}

CLibraryJobs::~CLibraryJobs() { Stop(); }

bool CLibraryJobs::IsBusy() const { return m_pUi->bBusy; }

bool CLibraryJobs::OnWorkerThread() const { return std::this_thread::get_id() == m_workerId; }

void CLibraryJobs::Share(std::shared_ptr<const void> p) {
    std::lock_guard<std::mutex> lock(m_pShared->mutex);
    m_pShared->shared.push_back(std::move(p));
}

CLibraryJobs::PostFn CLibraryJobs::UiPoster() const {
    return [p = m_pShared](std::function<void()> fn) {
        std::lock_guard<std::mutex> lock(p->mutex);
        if (p->pUi != nullptr) p->pUi->Post(std::move(fn));
    };
}

void CLibraryJobs::SetJobEndedHandler(std::function<void()> fnHandler) { m_pUi->fnJobEnded = std::move(fnHandler); }

bool CLibraryJobs::StartJob(std::function<void()> fnWork, std::function<void()> fnDone, FailedFn fnFailed) {
    if (m_bStopped || m_pUi->bBusy || OnWorkerThread() || !fnWork) return false;
    m_pUi->bBusy = true;
    m_pUi->fnDone = std::move(fnDone);
    m_pUi->fnFailed = std::move(fnFailed);
    const unsigned nJob = ++m_pUi->nJob;
    {
        std::lock_guard<std::mutex> lock(m_pShared->mutex);
        m_pShared->fnWork = std::move(fnWork);
        m_pShared->nJob = nJob;
    }
    m_pShared->cv.notify_all();
    return true;
}

void CLibraryJobs::Deliver(const std::shared_ptr<SUi>& pUi, unsigned nJob, const std::optional<std::string>& failure) {
    // A late result of a job dropped by WaitForJob or Stop is not delivered.
    if (!pUi || !pUi->bBusy || pUi->nJob != nJob) return;
    std::function<void()> fnDone = std::move(pUi->fnDone);
    FailedFn fnFailed = std::move(pUi->fnFailed);
    pUi->fnDone = nullptr;
    pUi->fnFailed = nullptr;
    pUi->bBusy = false;  // the continuation may start the next job
    if (!failure && fnDone) fnDone();
    if (failure && fnFailed) fnFailed(*failure);
    fnDone = nullptr;
    fnFailed = nullptr;
    if (std::function<void()> fnEnded = pUi->fnJobEnded) fnEnded();
}

bool CLibraryJobs::WaitForJob(std::chrono::milliseconds nWait) {
    if (!m_pUi->bBusy) return true;
    {
        std::unique_lock<std::mutex> lock(m_pShared->mutex);
        if (!m_pShared->cv.wait_for(lock, nWait, [&] { return !m_pShared->fnWork && !m_pShared->bWorking; }))
            return false;
    }
    std::function<void()> fnDropped = std::move(m_pUi->fnDone);
    m_pUi->fnDone = nullptr;
    m_pUi->fnFailed = nullptr;
    m_pUi->bBusy = false;
    return true;
}

bool CLibraryJobs::Stop(std::chrono::milliseconds nWait) {
    if (m_bStopped) return m_bEnded;
    m_bStopped = true;
    bool bEnded = false;
    {
        std::unique_lock<std::mutex> lock(m_pShared->mutex);
        m_pShared->bStop = true;
        m_pShared->cv.notify_all();
        bEnded = m_pShared->cv.wait_for(lock, nWait, [&] { return m_pShared->bExited; });
        m_pShared->pUi = nullptr;
    }
    if (bEnded) {
        m_thread.join();
    } else {
        std::fputs("Vexal utility: the library thread did not end in time; it is left to run out\n", stderr);
        m_thread.detach();
    }
    std::function<void()> fnDropped = std::move(m_pUi->fnDone);
    m_pUi->fnDone = nullptr;
    m_pUi->fnFailed = nullptr;
    m_pUi->bBusy = false;
    m_bEnded = bEnded;
    return bEnded;
}

}  // namespace vexal::utility
