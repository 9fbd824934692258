#include "utility/LibraryWorker.h"

#include "utility/WaitCursor.h"

#include <QEventLoop>
#include <QPointer>
#include <QThread>
#include <QWidget>

#include <condition_variable>
#include <cstdio>
#include <mutex>

namespace vexal::utility {
namespace {
// What a running job shares between the two threads.
struct SJobState {
    std::mutex mutex;
    std::condition_variable cv;
    bool bReturned = false;  // the job function has returned (worker side)
    QEventLoop* pLoop = nullptr;  // main thread only
    bool bDelivered = false;      // main thread only
};
}  // namespace

CLibraryWorker::CLibraryWorker()
    : m_pThread(std::make_unique<QThread>()),
      m_pContext(std::make_unique<QObject>()),
      m_pReceiver(std::make_unique<QObject>()) {
    m_pThread->setObjectName(QStringLiteral("vexal-library"));
    m_pContext->moveToThread(m_pThread.get());
    m_pThread->start();
}

CLibraryWorker::~CLibraryWorker() { Stop(); }

bool CLibraryWorker::IsRunning() const { return !m_bStopped && m_pThread && m_pThread->isRunning(); }

bool CLibraryWorker::OnWorkerThread() const { return m_pThread && QThread::currentThread() == m_pThread.get(); }

bool CLibraryWorker::Run(std::function<void()> fnJob) {
    if (m_bBusy || !IsRunning() || OnWorkerThread())
        return false;
    m_bBusy = true;
    auto pState = std::make_shared<SJobState>();
    QEventLoop loop;
    pState->pLoop = &loop;
    QObject* pReceiver = m_pReceiver.get();
    QMetaObject::invokeMethod(
        m_pContext.get(),
        [pState, pReceiver, fn = std::move(fnJob)]() {
            try {
                fn();
            } catch (...) {
                std::fputs("Vexal utility: a library job failed with an exception\n", stderr);
            }
            {
                std::lock_guard<std::mutex> lock(pState->mutex);
                pState->bReturned = true;
            }
            pState->cv.notify_all();
            QMetaObject::invokeMethod(
                pReceiver,
                [pState] {
                    pState->bDelivered = true;
                    if (pState->pLoop != nullptr)
                        pState->pLoop->quit();
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
    // Paint, timers and the pop-up keep running here; input is blocked by the
    // caller (modal pop-up or disabled window).
    while (!pState->bDelivered) {
        loop.exec();
        if (!pState->bDelivered)
            break;  // the application is quitting: the loop returns at once now
    }
    pState->pLoop = nullptr;
    // The job may capture the caller's stack: never return before it did.
    {
        std::unique_lock<std::mutex> lock(pState->mutex);
        pState->cv.wait(lock, [&] { return pState->bReturned; });
    }
    m_bBusy = false;
    if (m_fnJobEnded)
        m_fnJobEnded();
    return true;
}

bool CLibraryWorker::Stop(std::chrono::milliseconds nWait) {
    if (m_bStopped)
        return m_pThread != nullptr;
    m_bStopped = true;
    m_pThread->quit();
    if (!m_pThread->wait(QDeadlineTimer(nWait.count()))) {
        std::fputs("Vexal utility: the library thread did not end in time; it is left to run out\n", stderr);
        // Deleting a running QThread aborts the program: leave it (and what it
        // runs on) to the end of the process.
        (void)m_pThread.release();
        (void)m_pContext.release();
        return false;
    }
    m_pContext.reset();
    return true;
}

CBusyGuard::CBusyGuard(QWidget* pWindow)
    : m_pWindow(pWindow), m_bWasEnabled(pWindow != nullptr && pWindow->isEnabled()),
      m_pWait(std::make_unique<CWaitCursor>()) {
    if (m_pWindow != nullptr)
        m_pWindow->setEnabled(false);
}

CBusyGuard::~CBusyGuard() {
    if (m_pWindow != nullptr && m_bWasEnabled)
        m_pWindow->setEnabled(true);
}

}  // namespace vexal::utility
