#include "PagesTestSupport.h"
#include "client/CfgEntryPoints.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>

#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>

namespace vexal::utility::test {

void CHubPageTest::SetUp() {
    // The library keeps process-wide objects for good; a table's unload
    // would leave them unreachable (a leak to the sanitizer). Held once here,
    // it stays mapped for the whole run, as in the utility.
    static void* s_pKeep = [] {
        const std::string strDir = std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
        return dlopen((strDir + "/libZamoCfg.so").c_str(), RTLD_NOW | RTLD_NODELETE);
    }();
    ASSERT_NE(s_pKeep, nullptr) << dlerror();
    // The cases spell out CP1252 bytes; the library and the pages read this.
    setenv("VEXAL_ANSI_CODEPAGE", "CP1252", 1);
    m_pHub = std::make_unique<CHubSimFixture>();
    ASSERT_TRUE(m_api.Load()) << m_api.LastError();
    const std::string strPort = "127.0.0.1:" + std::to_string(m_pHub->Port());
    const std::u16string port(strPort.begin(), strPort.end());
    const auto& fn = m_api.Fn();
    int32_t& nHandle = m_nHandle;
    auto opened = CallOnWorker<int32_t>(m_worker, [&fn, &nHandle, port] {
        nHandle = fn.m_pfn_selectInterface(ZAMO_IF_ETHERNET, port.c_str());
        fn.m_pfn_selectCommandMode(nHandle, 0);
        fn.m_pfn_openService(nHandle);
        return fn.m_pfn_getResult(nHandle);
    });
    ASSERT_TRUE(opened.has_value());
    ASSERT_EQ(*opened, 0);
    ClearReceived();
}

void CHubPageTest::TearDown() {
    // A job a failed case left running ends first: the session must close,
    // or the next case's session would share its port.
    WaitFor([&] { return !m_worker.IsBusy(); });
    if (m_api.IsBound() && m_nHandle != 0) {
        const auto& fn = m_api.Fn();
        m_worker.Start(nullptr, [&fn, nHandle = m_nHandle] { fn.m_pfn_closeService(nHandle, 0); });  // Stop runs it
    }
    m_worker.Stop();
}

std::string CHubPageTest::Control(const std::string& strLine) {
    std::string strAnswer = m_pHub->Control(strLine);
    EXPECT_EQ(strAnswer.rfind("OK", 0), 0u) << strLine << " -> " << strAnswer;
    return strAnswer.size() > 3 ? strAnswer.substr(3) : std::string();
}

std::vector<std::string> CHubPageTest::WaitReceived(size_t nAtLeast) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (;;) {
        std::vector<std::string> payloads;
        std::istringstream words(Control("RX 0"));
        std::string strWord;
        while (words >> strWord) payloads.push_back(strWord);
        if (payloads.size() >= nAtLeast || std::chrono::steady_clock::now() >= deadline) return payloads;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void CHubPageTest::Plug(int nId, const std::string& strKind) {
    Control("PLUG " + std::to_string(nId) + " " + strKind);
    WaitPresence(nId, true);
}

void CHubPageTest::Unplug(int nId) {
    Control("UNPLUG " + std::to_string(nId));
    WaitPresence(nId, false);
}

void CHubPageTest::WaitPresence(int nId, bool bPresent) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    const auto& fn = m_api.Fn();
    for (;;) {
        auto present = CallOnWorker<bool>(m_worker, [&fn, nHandle = m_nHandle, nId] {
            uint8_t ids[256] = {};
            int32_t nCount = 0;
            fn.m_pfn_getDevIdList(nHandle, ids, &nCount);
            return std::find(ids, ids + std::clamp(nCount, 0, 256), static_cast<uint8_t>(nId)) !=
                   ids + std::clamp(nCount, 0, 256);
        });
        if (present == bPresent) return;
        if (std::chrono::steady_clock::now() >= deadline) {
            ADD_FAILURE() << "device " << nId << (bPresent ? " never appeared" : " never went");
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::vector<std::string> CHubPageTest::Texts() const {
    std::vector<std::string> texts;
    for (const SMessage& message : m_services.Messages()) texts.push_back(U8(message.strText));
    return texts;
}

std::unique_ptr<CSettingsPage> CRecorderPageTest::OpenActive(
    std::unique_ptr<CPageLogic> (*pfnMake)(const SPageContext&)) {
    auto page = RenderPage(pfnMake, Context());
    EXPECT_TRUE(ReadFromHub(*page));
    page->show();
    page->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(page.get()));
    return page;
}

void TypeText(CDialogBase& dlg, int nId, const QString& strText) {
    auto* pEdit = dlg.ControlAs<QLineEdit>(nId);
    ASSERT_NE(pEdit, nullptr) << nId;
    pEdit->setFocus();
    pEdit->selectAll();
    auto press = [pEdit](int nKey, const QString& strKeyText) {
        QKeyEvent down(QEvent::KeyPress, nKey, Qt::NoModifier, strKeyText);
        QApplication::sendEvent(pEdit, &down);
        QKeyEvent up(QEvent::KeyRelease, nKey, Qt::NoModifier, strKeyText);
        QApplication::sendEvent(pEdit, &up);
    };
    if (strText.isEmpty()) press(Qt::Key_Delete, QString());
    for (QChar c : strText) press(Qt::Key_unknown, QString(c));
}

void PasteInto(CDialogBase& dlg, int nId, const QString& strText) {
    auto* pEdit = dlg.ControlAs<QLineEdit>(nId);
    ASSERT_NE(pEdit, nullptr) << nId;
    QApplication::clipboard()->setText(strText);
    pEdit->setFocus();
    pEdit->selectAll();
    QTest::keyClick(pEdit, Qt::Key_V, Qt::ControlModifier);
}

std::string U8(const QString& strText) { return strText.toStdString(); }

}  // namespace vexal::utility::test
