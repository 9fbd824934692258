#include "UtilityTestSupport.h"

#include "utility/qt/Ipv4Edit.h"
#include "utility/qt/WaitCursor.h"
#include "tests/support/ThreadCount.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QAbstractItemView>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace vexal::utility::test {

QApplication& TestApplication() {
    static QApplication* s_pApp = [] {
        if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int s_argc = 1;
        static char s_name[] = "vexal-utility-test";
        static char* s_argv[] = {s_name, nullptr};
        auto* pApp = new QApplication(s_argc, s_argv);  // lives for the whole test run
        QApplication::setApplicationDisplayName(QStringLiteral("Vexal Utility"));
        return pApp;
    }();
    return *s_pApp;
}

EMsgResult CRecordingServices::ShowMessage(QWidget*, const SMessage& message) {
    m_messages.push_back(message);
    m_bWaitCursorAtMessage = CWaitCursor::ActiveCount() > 0 || QApplication::overrideCursor() != nullptr;
    if (!m_answers.empty()) {
        const EMsgResult eAnswer = m_answers.front();
        m_answers.pop_front();
        return eAnswer;
    }
    return message.eButtons == EMsgButtons::YesNo ? EMsgResult::No : EMsgResult::Ok;
}

int CRecordingServices::RunModal(QDialog& dlg) {
    m_modalRuns.push_back(dlg.objectName());
    dlg.show();
    const int nResult = m_fnModal ? m_fnModal(dlg) : QDialog::Rejected;
    dlg.hide();
    return nResult;
}

std::optional<QString> CRecordingServices::ChooseFile(QWidget*, const SFileChoice& choice) {
    m_fileChoices.push_back(choice);
    if (m_files.empty()) return std::nullopt;
    const QString strFile = m_files.front();
    m_files.pop_front();
    if (strFile.isEmpty()) return std::nullopt;
    return strFile;
}

void CRecordingServices::Clear() {
    m_messages.clear();
    m_modalRuns.clear();
    m_answers.clear();
    m_files.clear();
    m_fileChoices.clear();
    m_bWaitCursorAtMessage = false;
}

CUtilityTest::CUtilityTest() {
    TestApplication();
    m_nThreadsAtStart = ProcessThreadCount();
}

CUtilityTest::~CUtilityTest() {
    // Threads that are still there after a while without change are meant to
    // be (a session's, or Qt's own): stop waiting then.
    size_t nLast = ProcessThreadCount();
    int nUnchanged = 0;
    for (int i = 0; i < 200 && nLast > m_nThreadsAtStart && nUnchanged < 10; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const size_t nNow = ProcessThreadCount();
        nUnchanged = nNow == nLast ? nUnchanged + 1 : 0;
        nLast = nNow;
    }
}

void ClickControl(CDialogBase& dlg, int nId) {
    auto* pButton = dlg.ControlAs<QAbstractButton>(nId);
    if (pButton == nullptr) {
        ADD_FAILURE() << "no button " << nId << " in dialog " << dlg.DialogId();
        return;
    }
    QTest::mouseClick(pButton, Qt::LeftButton);
    WaitUntilIdle(dlg);
}

void ClickDuringJob(CDialogBase& dlg, int nId) {
    if (auto* pButton = dlg.ControlAs<QAbstractButton>(nId))
        QTest::mouseClick(pButton, Qt::LeftButton);
    else
        ADD_FAILURE() << "no button " << nId << " in dialog " << dlg.DialogId();
}

void WaitUntilIdle(const CDialogBase& dlg) {
    if (!WaitFor([&] { return !dlg.IsBusy(); }))
        ADD_FAILURE() << "dialog " << dlg.DialogId() << " still waits for the library";
}

bool PopupShown(const CDialogBase& owner, const CDialogLogic& popup) {
    const CDialogBase* pWindow = owner.ModelessWindow(popup);
    return pWindow != nullptr && pWindow->isVisible();
}

bool ReadFromHub(CSettingsPage& page) {
    std::optional<bool> read;
    page.ReadFromHub([&read](bool bRead) { read = bRead; });
    if (!WaitFor([&] { return read.has_value(); }))
        ADD_FAILURE() << "the read of page " << page.DialogId() << " did not end";
    return read.value_or(false);
}

void TypeInto(CDialogBase& dlg, int nId, const QString& strText) {
    auto* pEdit = dlg.ControlAs<QLineEdit>(nId);
    if (pEdit == nullptr) {
        ADD_FAILURE() << "no edit " << nId << " in dialog " << dlg.DialogId();
        return;
    }
    pEdit->setFocus();
    pEdit->selectAll();
    if (strText.isEmpty())
        QTest::keyClick(pEdit, Qt::Key_Delete);
    else
        QTest::keyClicks(pEdit, strText);
}

void TypeIpv4(CDialogBase& dlg, int nId, const QString& strDotted) {
    auto* pAddress = dlg.ControlAs<CIpv4Edit>(nId);
    const QStringList parts = strDotted.split(QLatin1Char('.'));
    if (pAddress == nullptr || parts.size() != 4) {
        ADD_FAILURE() << "no address control " << nId << " or not four octets: " << strDotted.toStdString();
        return;
    }
    for (int i = 0; i < 4; ++i) {
        QLineEdit* pField = pAddress->Field(i);
        pField->setFocus();
        pField->selectAll();
        QTest::keyClick(pField, Qt::Key_Delete);
        QTest::keyClicks(pField, parts[i]);
    }
}

void ActivateComboIndex(CDialogBase& dlg, int nId, int nIndex) {
    auto* pCombo = dlg.ControlAs<QComboBox>(nId);
    if (pCombo == nullptr || nIndex < 0 || nIndex >= pCombo->count()) {
        ADD_FAILURE() << "no drop-down " << nId << " or no entry " << nIndex;
        return;
    }
    pCombo->setFocus();
    QTest::keyClick(pCombo, Qt::Key_Home);
    WaitUntilIdle(dlg);
    for (int i = 0; i < nIndex; ++i) {
        QTest::keyClick(pCombo, Qt::Key_Down);
        WaitUntilIdle(dlg);  // each entry passed on the way may start a read
    }
}

void ChooseFromOpenList(CDialogBase& dlg, int nId, int nIndex) {
    auto* pCombo = dlg.ControlAs<QComboBox>(nId);
    if (pCombo == nullptr || nIndex < 0 || nIndex >= pCombo->count()) {
        ADD_FAILURE() << "no drop-down " << nId << " or no entry " << nIndex;
        return;
    }
    pCombo->setFocus();
    QTest::keyClick(pCombo, Qt::Key_F4);
    QAbstractItemView* pList = pCombo->view();
    if (!pList->isVisible()) {
        ADD_FAILURE() << "the list of " << nId << " did not open";
        return;
    }
    QTest::keyClick(pList, Qt::Key_Home);
    for (int i = 0; i < nIndex; ++i) QTest::keyClick(pList, Qt::Key_Down);
    QTest::keyClick(pList, Qt::Key_Return);
    WaitUntilIdle(dlg);
}

bool WaitFor(const std::function<bool()>& fnDone, std::chrono::milliseconds nTimeout) {
    return QTest::qWaitFor(fnDone, static_cast<int>(nTimeout.count()));
}

struct CStallMonitor::SImpl {
    QTimer timer;
    QElapsedTimer clock;
    qint64 nLast = 0;
    qint64 nLongest = 0;
};

CStallMonitor::CStallMonitor() : m_pImpl(std::make_unique<SImpl>()) {
    m_pImpl->clock.start();
    m_pImpl->timer.setInterval(10);
    QObject::connect(&m_pImpl->timer, &QTimer::timeout, [p = m_pImpl.get()] {
        const qint64 nNow = p->clock.elapsed();
        p->nLongest = std::max(p->nLongest, nNow - p->nLast);
        p->nLast = nNow;
    });
    m_pImpl->timer.start();
}

CStallMonitor::~CStallMonitor() = default;

std::chrono::milliseconds CStallMonitor::LongestGap() const {
    const qint64 nNow = m_pImpl->clock.elapsed();
    return std::chrono::milliseconds(std::max(m_pImpl->nLongest, nNow - m_pImpl->nLast));
}

}  // namespace vexal::utility::test

// Under LeakSanitizer: fontconfig (loaded by Qt's font database) keeps its
// caches for the life of the process, which is not a leak of ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
