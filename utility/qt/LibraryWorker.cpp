#include "utility/qt/LibraryWorker.h"

#include "utility/qt/WaitCursor.h"

#include <QWidget>

namespace vexal::utility {
namespace {
// Results come back as queued calls on an object of the main thread; calls
// still queued when it goes are dropped by Qt.
class CQtUiQueue final : public IUiQueue {
public:
    void Post(std::function<void()> fn) override {
        QMetaObject::invokeMethod(&m_receiver, std::move(fn), Qt::QueuedConnection);
    }

private:
    QObject m_receiver;
};
}  // namespace

CLibraryWorker::CLibraryWorker() : m_pQueue(std::make_unique<CQtUiQueue>()), m_jobs(*m_pQueue) {}

CLibraryWorker::~CLibraryWorker() = default;

CBusyGuard::CBusyGuard(QWidget* pWindow)
    : m_pWindow(pWindow),
      m_pFocus(pWindow != nullptr ? pWindow->focusWidget() : nullptr),
      m_bWasEnabled(pWindow != nullptr && pWindow->isEnabled()),
      m_pWait(std::make_unique<CWaitCursor>()) {
    if (m_pWindow != nullptr) m_pWindow->setEnabled(false);
}

CBusyGuard::~CBusyGuard() {
    if (m_pWindow == nullptr || !m_bWasEnabled) return;
    m_pWindow->setEnabled(true);
    if (m_pFocus != nullptr && m_pFocus->isEnabled() && m_pFocus->isVisible()) m_pFocus->setFocus(Qt::OtherFocusReason);
}

}  // namespace vexal::utility
