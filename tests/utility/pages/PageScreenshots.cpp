// Pictures of the seven settings dialogs for the README: each page reads the
// simulated hub through the real library and is captured as shown.
//   xvfb-run -a -s "-screen 0 1280x1024x24" out/utility_pages_screenshots docs
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QListWidget>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>

#include "HubSimFixture.h"
#include "client/CfgApiTable.h"
#include "utility/SettingsPages.h"

using namespace vexal::utility;

namespace {

void Settle() {
    for (int i = 0; i < 20; ++i) {
        QApplication::processEvents();
        QThread::msleep(20);
    }
}

// Runs the event loop until fnDone holds (at most 10 s).
bool Await(const std::function<bool()>& fnDone) {
    QElapsedTimer clock;
    clock.start();
    while (!fnDone() && clock.elapsed() < 10000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return fnDone();
}

}  // namespace

int main(int argc, char** argv) {
    setenv("VEXAL_ANSI_CODEPAGE", "CP1252", 1);
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Vexal Utility"));
    const QDir out(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs"));

    CHubSimFixture hub;
    vexal::client::CfgApiTable api;
    if (!api.Load()) {
        std::fprintf(stderr, "screenshots: %s\n", api.LastError().c_str());
        return 1;
    }
    CLibraryWorker worker;
    CQtDialogServices services;
    const std::string strPort = "127.0.0.1:" + std::to_string(hub.Port());
    const std::u16string port(strPort.begin(), strPort.end());
    std::optional<int32_t> opened;
    worker.Start<int32_t>(
        nullptr,
        [&api, port] {
            api.m_nHandle = api.m_pfn_selectInterface(ZAMO_IF_ETHERNET, port.c_str());
            api.m_pfn_openService(api.m_nHandle);
            return api.m_pfn_getResult(api.m_nHandle);
        },
        [&opened](int32_t nResult) { opened = nResult; });
    if (!Await([&] { return opened.has_value(); }) || *opened != 0) {
        std::fprintf(stderr, "screenshots: no session to the simulator\n");
        return 1;
    }

    struct SShot {
        const char* pszName;
        std::unique_ptr<CSettingsPage> (*pfnCreate)(const SPageContext&, QWidget*);
    };
    const SShot kShots[] = {{"bluetooth", &CreateBluetoothConfiguration},
                            {"lan", &CreateLANConfiguration},
                            {"wlan", &CreateWLANConfiguration},
                            {"usb-to-serial", &CreateUsbToSerialConfiguration},
                            {"custom-device", &CreateCustomDeviceConfiguration},
                            {"interface-usage", &CreateInterfaceUsageDlg},
                            {"net-protocol", &CreateNetProtocolDlg}};
    int nFailed = 0;
    const SPageContext context{api, worker, services};
    for (const SShot& shot : kShots) {
        auto page = shot.pfnCreate(context, nullptr);
        std::optional<bool> read;
        if (page)
            page->ReadFromHub([&read](bool bRead) { read = bRead; });
        if (!page || !Await([&] { return read.has_value(); }) || !*read) {
            std::fprintf(stderr, "screenshots: %s did not read\n", shot.pszName);
            ++nFailed;
            continue;
        }
        page->show();
        Settle();
        // The custom device page reads on the user's choice: show the
        // attached devices.
        if (auto* pView = page->ControlAs<QListWidget>(1066))
            pView->setCurrentRow(2);
        Settle();
        const QString strFile = out.filePath(QStringLiteral("dialog-%1.png").arg(QString::fromLatin1(shot.pszName)));
        if (!page->grab().save(strFile)) {
            std::fprintf(stderr, "screenshots: cannot write %s\n", qPrintable(strFile));
            ++nFailed;
        } else {
            std::printf("Wrote %s\n", qPrintable(strFile));
        }
        page->hide();
    }
    worker.Start(nullptr, [&api] { api.m_pfn_closeService(api.m_nHandle, 0); });
    worker.Stop();  // after the close
    return nFailed == 0 ? 0 : 1;
}
