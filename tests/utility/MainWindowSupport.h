// What the main window's tests share: a window made and started over a given
// library, a device folder of its own, and a page that reads through the
// worker (so the opening sequence can be watched without the real pages).
#pragma once
#include "UtilityTestSupport.h"
#include "utility/qt/LumaroDlg.h"

#include <dlfcn.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include <memory>

namespace vexal::utility::test {

// A page whose read is getLanInfo on the session, as a settings page reads.
class CReadingPage final : public CPageLogic {
public:
    explicit CReadingPage(const SPageContext& context) : CPageLogic(context) { m_desc.nId = 144; }
    const SDialogDesc& Desc() const override { return m_desc; }
    void ReadFromHub(std::function<void(bool)> fnDone) override {
        m_bRan = StartJob<int32_t>(
            Jobs(),
            [hub = Hub()]() mutable {
                model::SLan lan;
                return hub.ReadLan(lan).nCode;
            },
            [fnDone](int32_t nResult) { fnDone(nResult == 0); }, NotDone(fnDone));
    }
    bool m_bRan = false;

private:
    SDialogDesc m_desc;
};

class CMainWindowTest : public CUtilityTest {
protected:
    CMainWindowTest() { qputenv("VEXAL_DEVICE_DIR", m_devices.path().toLocal8Bit()); }
    ~CMainWindowTest() override { qunsetenv("VEXAL_DEVICE_DIR"); }

    std::unique_ptr<CLumaroDlg> MakeMain(SUtilityOptions options, const QString& strLibrary) {
        options.strLibrary = strLibrary.toStdString();
        auto pDlg = std::make_unique<CLumaroDlg>(m_services, options);
        pDlg->show();
        m_bStarted = pDlg->Start();
        WaitUntilIdle(*pDlg);  // a connect asked for on the command line
        pDlg->Logic().SetPageFactory(main_ids::kLanSettings, [](const SPageContext& c) {
            return std::unique_ptr<CPageLogic>(std::make_unique<CReadingPage>(c));
        });
        return pDlg;
    }

    QTemporaryDir m_devices;
    bool m_bStarted = false;
};

// The library keeps process-wide objects that it never destroys (other
// threads may still use them at exit). The utility unloads it on the way
// out, which would leave them unreachable and flagged by LeakSanitizer; one
// reference held by the test keeps the library mapped and them reachable.
inline void KeepLibraryMapped() {
    static void* s_pLibrary = dlopen(
        (QCoreApplication::applicationDirPath() + "/libZamoCfg.so").toLocal8Bit().constData(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(s_pLibrary, nullptr) << dlerror();
}

// The main window over the real library (against simulators): the library
// stays mapped, log folders go to the test's own folder.
class CMainWindowHubTest : public CMainWindowTest {
protected:
    CMainWindowHubTest() {
        KeepLibraryMapped();
        qputenv("VEXAL_LOG_DIR", m_logs.path().toLocal8Bit());
    }
    ~CMainWindowHubTest() override { qunsetenv("VEXAL_LOG_DIR"); }

    QTemporaryDir m_logs;
};

}  // namespace vexal::utility::test
