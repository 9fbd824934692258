#include "utility/qt/WaitCursor.h"

#include <QApplication>
#include <QCursor>

namespace vexal::utility {
namespace {
// Main thread only, like every widget call.
int s_nActive = 0;
// Bumped by LiftAll: guards from an earlier generation no longer own a cursor.
uint64_t s_nGeneration = 0;
}  // namespace

CWaitCursor::CWaitCursor() : m_nGeneration(s_nGeneration) {
    QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    ++s_nActive;
    m_bActive = true;
}

CWaitCursor::~CWaitCursor() { Release(); }

void CWaitCursor::Release() {
    if (!m_bActive) return;
    m_bActive = false;
    if (m_nGeneration != s_nGeneration) return;
    QApplication::restoreOverrideCursor();
    --s_nActive;
}

void CWaitCursor::LiftAll() {
    while (s_nActive > 0) {
        QApplication::restoreOverrideCursor();
        --s_nActive;
    }
    ++s_nGeneration;
}

int CWaitCursor::ActiveCount() { return s_nActive; }

}  // namespace vexal::utility
