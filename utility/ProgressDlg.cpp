#include "utility/ProgressDlg.h"

#include <QCloseEvent>
#include <QProgressBar>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

namespace vexal::utility {
namespace {
std::vector<CProgressDlg*>& LivePopups() {
    static std::vector<CProgressDlg*> s_popups;  // main thread only
    return s_popups;
}
}  // namespace

CProgressDlg::CProgressDlg(QWidget* pOwner)
    : QDialog(pOwner, Qt::Dialog | Qt::FramelessWindowHint) {
    setObjectName(QString::number(kDialogId));
    setAccessibleName(tr("Working"));
    setWindowModality(Qt::ApplicationModal);
    auto* pLayout = new QVBoxLayout(this);
    pLayout->setContentsMargins(2, 2, 2, 2);
    m_pBar = new QProgressBar(this);
    m_pBar->setObjectName(QString::number(kBarId));
    m_pBar->setAccessibleName(tr("Progress"));
    m_pBar->setRange(0, 100);
    m_pBar->setValue(0);
    m_pBar->setTextVisible(false);
    m_pBar->setMinimumWidth(fontMetrics().averageCharWidth() * 58);  // about 232 dialog units
    pLayout->addWidget(m_pBar);
    m_timer.setInterval(kTimerMs);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &CProgressDlg::OnTimer);
    LivePopups().push_back(this);
}

CProgressDlg::~CProgressDlg() {
    auto& popups = LivePopups();
    popups.erase(std::remove(popups.begin(), popups.end(), this), popups.end());
}

void CProgressDlg::Begin() {
    m_pBar->setValue(0);
    show();
    raise();
}

void CProgressDlg::End() { hide(); }

int CProgressDlg::Position() const { return m_pBar->value(); }

void CProgressDlg::HideAll() {
    for (CProgressDlg* p : LivePopups())
        p->hide();
}

void CProgressDlg::showEvent(QShowEvent* pEvent) {
    QDialog::showEvent(pEvent);
    m_timer.start();
}

void CProgressDlg::hideEvent(QHideEvent* pEvent) {
    m_timer.stop();
    QDialog::hideEvent(pEvent);
}

void CProgressDlg::closeEvent(QCloseEvent* pEvent) { pEvent->ignore(); }

void CProgressDlg::OnTimer() {
    const int nPos = m_pBar->value();
    m_pBar->setValue(nPos >= 100 ? 0 : std::min(100, nPos + kStep));
}

}  // namespace vexal::utility
