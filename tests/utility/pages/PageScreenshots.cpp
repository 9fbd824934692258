// Pictures of the seven settings dialogs, "Devices…", "Find hubs…" and "Load settings…"
// for the README: each reads simulated hubs through the real library and is
// captured as shown. The search looks through 127.0.0.0/29 only.
//   xvfb-run -a -s "-screen 0 1280x1024x24" out/utility_pages_screenshots docs
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QListWidget>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>

#include "client/CfgEntryPoints.h"
#include "HubSimFixture.h"
#include "client/CfgLibrary.h"
#include "client/HubSession.h"
#include "utility/logic/DeviceWatch.h"
#include "utility/logic/DevicesLogic.h"
#include "utility/logic/FindHubsLogic.h"
#include "utility/logic/RestoreLogic.h"
#include "utility/qt/SettingsPage.h"

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
    while (!fnDone() && clock.elapsed() < 10000) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return fnDone();
}

}  // namespace

int main(int argc, char** argv) {
    setenv("VEXAL_ANSI_CODEPAGE", "CP1252", 1);
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Vexal Utility"));
    const QDir out(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs"));

    CHubSimFixture hub;
    vexal::client::CCfgLibrary api;
    if (!api.Load()) {
        std::fprintf(stderr, "screenshots: %s\n", api.LastError().c_str());
        return 1;
    }
    CLibraryWorker worker;
    CQtDialogServices services;
    const std::string strPort = "127.0.0.1:" + std::to_string(hub.Port());
    const std::u16string port(strPort.begin(), strPort.end());
    std::optional<int32_t> opened;
    int32_t nHandle = 0;
    worker.Start<int32_t>(
        nullptr,
        [&api, &nHandle, port] {
            nHandle = api.Fn().m_pfn_selectInterface(ZAMO_IF_ETHERNET, port.c_str());
            api.Fn().m_pfn_openService(nHandle);
            return api.Fn().m_pfn_getResult(nHandle);
        },
        [&opened](int32_t nResult) { opened = nResult; });
    if (!Await([&] { return opened.has_value(); }) || *opened != 0) {
        std::fprintf(stderr, "screenshots: no session to the simulator\n");
        return 1;
    }

    struct SShot {
        const char* pszName;
        std::unique_ptr<CPageLogic> (*pfnMake)(const SPageContext&);
    };
    const SShot kShots[] = {{"bluetooth", &MakeBluetoothPage},
                            {"lan", &MakeLanPage},
                            {"wlan", &MakeWlanPage},
                            {"usb-to-serial", &MakeUsbToSerialPage},
                            {"custom-device", &MakeCustomDevicePage},
                            {"interface-usage", &MakeInterfaceUsagePage},
                            {"net-protocol", &MakeNetProtocolPage}};
    int nFailed = 0;
    vexal::client::CHubSession session(api);
    session.Attach(nHandle);
    const SQtPageContext context{session, worker, services};
    for (const SShot& shot : kShots) {
        auto page = RenderPage(shot.pfnMake, context);
        std::optional<bool> read;
        if (page) page->ReadFromHub([&read](bool bRead) { read = bRead; });
        if (!page || !Await([&] { return read.has_value(); }) || !*read) {
            std::fprintf(stderr, "screenshots: %s did not read\n", shot.pszName);
            ++nFailed;
            continue;
        }
        page->show();
        Settle();
        // The custom device page reads on the user's choice: show the
        // attached devices.
        if (auto* pView = page->ControlAs<QListWidget>(1066)) pView->setCurrentRow(2);
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
    auto save = [&](QWidget& dlg, const char* pszName) {
        const QString strFile = out.filePath(QString::fromLatin1(pszName));
        if (!dlg.grab().save(strFile)) {
            std::fprintf(stderr, "screenshots: cannot write %s\n", qPrintable(strFile));
            ++nFailed;
        } else {
            std::printf("Wrote %s\n", qPrintable(strFile));
        }
    };

    // "Devices…": a scanner and a second printer plugged, the paper low and out.
    for (const char* psz :
         {"PLUG 40 echo 1234 ABCD", "PLUG 11 printer 5A4D 0E29", "PRINTER 10 PAPER LOW", "PRINTER 11 PAPER OUT"})
        hub.Control(psz);
    {
        CDevicesLogic logic(worker.Jobs(),
                            std::make_shared<CDeviceWatch>(
                                api, nHandle, vexal::client::SHubAddress{ZAMO_IF_ETHERNET, strPort, strPort}));
        CDialogBase devices(logic, services);
        devices.show();
        if (!Await([&] {
                return devices.ListRowCount(devices_ids::kList) >= 5 &&
                       devices.ListCell(devices_ids::kList, 1, 4) != QStringLiteral("No status yet");
            }))
            ++nFailed;
        Settle();
        save(devices, "dialog-devices.png");
        if (auto* pClose = devices.ControlAs<QAbstractButton>(devices_ids::kClose)) pClose->click();
        if (!Await([&] { return logic.State() == CDevicesLogic::EState::Stopped; })) ++nFailed;
    }

    // "Find hubs…" after a search: two hubs on one port.
    CHubSimFixture::Options at2;
    at2.strListenAddress = "127.0.0.2";
    CHubSimFixture second(at2);
    CHubSimFixture::Options at5;
    at5.strListenAddress = "127.0.0.5";
    at5.nListenPort = second.Port();
    CHubSimFixture third(at5);
    third.Control("SET model _VX-H300");
    third.Control("SET firmware 3.0.1");
    {
        CFindHubsLogic logic(api, worker.Jobs(), u"127.0.0.0/29", second.Port());
        CDialogBase find(logic, services);
        find.show();
        find.ListSelectRow(find_ids::kList, -1);
        if (auto* pSearch = find.ControlAs<QAbstractButton>(find_ids::kSearch)) pSearch->click();
        if (!Await([&] { return !find.IsBusy(); })) ++nFailed;
        find.ListSelectRow(find_ids::kList, 1);
        Settle();
        save(find, "dialog-find-hubs.png");
    }

    // "Load settings…": the backup of one till's hub over another's, as a clone.
    CHubSimFixture::Options at6;
    at6.strListenAddress = "127.0.0.6";
    CHubSimFixture source(at6);
    for (const char* psz : {"SET bluetooth.name Till 2", "SET lan.ip 192.168.0.12", "SET lan.mac 00:1B:5F:40:12:7C",
                            "SET wlan.ssid Store-7", "SET snmp_ro shop", "SET serial.100 [6,1,0,2]"})
        source.Control(psz);
    struct SRead {
        vexal::model::SBackup backup;
        vexal::model::SHubSettings hub;
    };
    std::optional<SRead> read;
    const std::string strSource = "127.0.0.6:" + std::to_string(source.Port());
    worker.Start<SRead>(
        nullptr,
        [&api, nHandle, strSource] {
            SRead r;
            std::vector<std::string> errors;
            vexal::client::CHubSession other(api);
            if (other.Open(ZAMO_IF_ETHERNET, strSource, strSource, 0) &&
                other.ReadModel(r.backup.strModel, r.backup.strFirmware)) {
                vexal::model::SHubSettings settings;
                other.ReadSettings({}, settings, errors);
                r.backup.settings = vexal::model::ToValues(settings);
            }
            other.Close();
            vexal::client::CHubSession mine(api);
            mine.Attach(nHandle);
            mine.ReadSettings({}, r.hub, errors);
            return r;
        },
        [&read](SRead r) { read = std::move(r); });
    if (!Await([&] { return read.has_value(); })) {
        ++nFailed;
    } else {
        read->backup.strTaken = "2026-12-08T08:30:00Z";
        read->backup.strSource = "192.168.0.12:9100";
        CRestoreLogic logic(session, worker.Jobs(), u"Till 2 2026-12-08.json", read->backup, read->hub, {});
        CDialogBase restore(logic, services);
        restore.show();
        Settle();
        save(restore, "dialog-load-settings.png");
    }

    worker.Start(nullptr, [&api, nHandle] { api.Fn().m_pfn_closeService(nHandle, 0); });
    worker.Stop();  // after the close
    return nFailed == 0 ? 0 : 1;
}
