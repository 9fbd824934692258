// The main window through the real library against the hub simulator:
// connect, the pop-up during a slow read, every way out with a session open
// (the TCP connection must end on both sides), and the Devices window over
// the session.
#include "HubSimFixture.h"
#include "MainWindowSupport.h"
#include "utility/logic/DevicesLogic.h"
#include "utility/qt/WaitCursor.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QTest>
#include <QTimer>

#include <fstream>
#include <sstream>

using namespace vexal::utility;
using namespace vexal::utility::test;
using namespace vexal::utility::main_ids;
using namespace std::chrono_literals;

namespace {
// ESTABLISHED TCP connections on loopback with nPort at either end (both the
// program's and the simulator's side are in this network namespace).
int EstablishedWith(uint16_t nPort) {
    std::ifstream in("/proc/net/tcp");
    std::string strLine;
    std::getline(in, strLine);  // header
    int nCount = 0;
    while (std::getline(in, strLine)) {
        std::istringstream fields(strLine);
        std::string strSlot, strLocal, strRemote, strState;
        fields >> strSlot >> strLocal >> strRemote >> strState;
        auto port = [](const std::string& s) {
            const auto colon = s.find(':');
            return colon == std::string::npos ? 0UL : std::stoul(s.substr(colon + 1), nullptr, 16);
        };
        if (strState == "01" && (port(strLocal) == nPort || port(strRemote) == nPort)) ++nCount;
    }
    return nCount;
}

SUtilityOptions HubOptions(const CHubSimFixture& hub) {
    SUtilityOptions options;
    options.nInterface = 2;
    options.address = Ipv4Octets{127, 0, 0, 1};
    options.nTcpPort = hub.Port();
    return options;
}
}  // namespace

class MainWindowHubTest : public CMainWindowHubTest {
protected:
    void Connect(CLumaroDlg& dlg) {
        ClickControl(dlg, kConnect);
        ASSERT_FALSE(m_services.Messages().empty());
        ASSERT_EQ(m_services.Messages().back().strText, "Success open port.");
        ASSERT_TRUE(dlg.IsConnected());
    }

    CHubSimFixture m_hub;
};

TEST_F(MainWindowHubTest, ConnectShowsTheHubsModelAndVersionAndDisconnectEndsTheLink) {
    m_hub.Control("SET model _VX-H400");
    m_hub.Control("SET firmware 2.10.3");
    auto dlg = MakeMain(HubOptions(m_hub), "ZamoCfg");
    ASSERT_TRUE(m_bStarted);
    Connect(*dlg);
    EXPECT_EQ(dlg->GetText(kModel), "VX-H400");
    EXPECT_EQ(dlg->GetText(kVersion), "2.10.3");
    EXPECT_EQ(dlg->PortText(), QString("127.0.0.1:%1").arg(m_hub.Port()));
    EXPECT_GE(EstablishedWith(m_hub.Port()), 1);
    ClickControl(*dlg, kDisconnect);
    EXPECT_FALSE(dlg->IsConnected());
    EXPECT_TRUE(WaitFor([&] { return EstablishedWith(m_hub.Port()) == 0; }, 5s));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(MainWindowHubTest, WrongAddressGivesTheWarningAndNoSession) {
    SUtilityOptions options = HubOptions(m_hub);
    options.nTcpPort = 1;  // nothing listens there
    auto dlg = MakeMain(options, "ZamoCfg");
    ClickControl(*dlg, kConnect);
    ASSERT_EQ(m_services.Messages().size(), 1u);
    EXPECT_EQ(m_services.Messages()[0].strText.section('\n', 0, 0),
              "Cannot open port! Please check printer and cable.");
    EXPECT_FALSE(dlg->IsConnected());
    EXPECT_TRUE(dlg->IsEnabled(kConnect));
}

TEST_F(MainWindowHubTest, APageIsReadBeforeItShowsTakesItsOwnJobsAndGoesAfterItsRun) {
    auto dlg = MakeMain(HubOptions(m_hub), "ZamoCfg");
    dlg->Logic().SetPageFactory(kLanSettings, MakeLanPage);  // the program's own page
    Connect(*dlg);
    m_services.Clear();
    std::string strMac;
    bool bShown = false;
    m_services.SetModalHandler([&](QDialog& modal) {
        auto& page = dynamic_cast<CDialogBase&>(modal);
        strMac = page.GetText(1073).toStdString();
        bShown = page.isVisible() && !PopupShown(*dlg, dlg->Progress());
        ClickControl(page, 1037);  // SET: the read's job has ended, so the page's own starts
        return QDialog::Rejected;
    });
    ClickControl(*dlg, kLanSettings);
    EXPECT_EQ(m_services.ModalRuns(), std::vector<QString>{"144"});
    EXPECT_EQ(strMac, "00:1b:5f:40:12:7a");
    EXPECT_TRUE(bShown);
    ASSERT_FALSE(m_services.Messages().empty());
    EXPECT_EQ(m_services.Messages()[0].strText, "Succeeded to configure network info.");
    EXPECT_TRUE(WaitFor([&] { return dlg->findChild<CDialogBase*>("144") == nullptr; }, 5s));
    EXPECT_FALSE(dlg->IsBusy());
}

TEST_F(MainWindowHubTest, PopupMovesWhileASlowReadRunsAndTheMainThreadKeepsTurning) {
    auto dlg = MakeMain(HubOptions(m_hub), "ZamoCfg");
    Connect(*dlg);
    m_hub.Control("FAULT DELAY 700");
    std::vector<int> positions;
    QTimer sampler;
    sampler.setInterval(25);
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        if (PopupShown(*dlg, dlg->Progress())) positions.push_back(dlg->Progress().Position());
    });
    sampler.start();
    CStallMonitor monitor;
    ClickControl(*dlg, kLanSettings);
    const auto nGap = monitor.LongestGap();
    sampler.stop();
    m_hub.Control("FAULT CLEAR");
    EXPECT_EQ(m_services.ModalRuns(), std::vector<QString>{"144"});  // the read succeeded
    EXPECT_FALSE(PopupShown(*dlg, dlg->Progress()));
    ASSERT_GE(positions.size(), 10u);
    EXPECT_GE(positions.back() - positions.front(), 10);
    EXPECT_LT(nGap, 100ms);
}

// Every way out with a session open: no crash, the session closed (the TCP
// link ends on the simulator's side too), the worker stopped, the library
// unloaded.
TEST_F(MainWindowHubTest, EveryWayOutClosesTheSessionFirst) {
    const std::vector<std::string> ways = {"exit", "close", "escape", "destructor"};
    for (const std::string& strWay : ways) {
        SCOPED_TRACE(strWay);
        m_services.Clear();
        auto dlg = MakeMain(HubOptions(m_hub), "ZamoCfg");
        Connect(*dlg);
        ASSERT_GE(EstablishedWith(m_hub.Port()), 1);
        if (strWay == "exit") {
            ClickControl(*dlg, kExit);
            EXPECT_EQ(dlg->result(), QDialog::Accepted);
        } else if (strWay == "close") {
            dlg->close();
        } else if (strWay == "escape") {
            QTest::keyClick(dlg.get(), Qt::Key_Escape);
        }
        if (strWay != "destructor") {
            EXPECT_FALSE(dlg->isVisible());
            EXPECT_FALSE(dlg->Worker().IsRunning());
            EXPECT_TRUE(dlg->LibraryUnloaded());
        }
        dlg.reset();
        EXPECT_TRUE(WaitFor([&] { return EstablishedWith(m_hub.Port()) == 0; }, 5s));
        EXPECT_EQ(m_hub.Control("PING"), "OK PONG");
    }
}

namespace {
// The cells of the Devices list's row for a device ("" when it has none).
QStringList DeviceRow(const CDialogBase& win, int nDevice) {
    using namespace devices_ids;
    for (int r = 0; r < win.ListRowCount(kList); ++r)
        if (win.ListCell(kList, r, 0) == QString::number(nDevice))
            return {win.ListCell(kList, r, 1), win.ListCell(kList, r, 2), win.ListCell(kList, r, 3),
                    win.ListCell(kList, r, 4)};
    return {};
}
}  // namespace

TEST_F(MainWindowHubTest, DevicesFollowsAPlugAndThePaperRunningOutAndItsCloseLeavesTheSessionToThePages) {
    using namespace devices_ids;
    auto dlg = MakeMain(HubOptions(m_hub), "ZamoCfg");
    dlg->Logic().SetPageFactory(kLanSettings, MakeLanPage);
    EXPECT_FALSE(dlg->IsEnabled(kDevices)) << "not connected";
    Connect(*dlg);
    EXPECT_TRUE(dlg->IsEnabled(kDevices));
    m_services.Clear();
    QStringList before, plugged, paperOut;
    QString strLink;
    std::string strAsked;
    m_services.SetModalHandler([&](QDialog& modal) {
        auto& win = dynamic_cast<CDialogBase&>(modal);
        EXPECT_NE(dynamic_cast<CDevicesLogic*>(win.Logic()), nullptr);
        CStallMonitor monitor;
        WaitFor([&] { return DeviceRow(win, 10).value(3) == "Ready"; });
        before = DeviceRow(win, 10);
        strLink = win.GetText(kLink);
        EXPECT_TRUE(DeviceRow(win, 40).isEmpty());
        EXPECT_EQ(m_hub.Control("PLUG 40 echo 1234 ABCD"), "OK");
        WaitFor([&] { return !DeviceRow(win, 40).isEmpty(); });
        plugged = DeviceRow(win, 40);
        EXPECT_EQ(m_hub.Control("PRINTER 10 PAPER OUT").rfind("OK", 0), 0u);
        WaitFor([&] { return DeviceRow(win, 10).value(3) != "Ready"; });
        paperOut = DeviceRow(win, 10);
        // The watch's liveness exchange (the USB list, 2 s apart) runs on the lent session.
        WaitFor([&] { return m_hub.Control("RX 0").find("44") != std::string::npos; }, 5s);
        strAsked = m_hub.Control("RX 0");
        EXPECT_LT(monitor.LongestGap(), 250ms) << "the UI thread never waits for the hub";
        ClickControl(win, kClose);  // returns once the watch has stopped
        EXPECT_EQ(dynamic_cast<CDevicesLogic*>(win.Logic())->State(), CDevicesLogic::EState::Stopped);
        return win.result();
    });
    ClickControl(*dlg, kDevices);
    EXPECT_EQ(m_services.ModalRuns(), std::vector<QString>{"150"});
    EXPECT_EQ(strLink, "on-line");
    EXPECT_EQ(before, (QStringList{"5a4d", "0e28", "Local Printer", "Ready"}));
    EXPECT_EQ(plugged, (QStringList{"1234", "abcd", "Barcode Scanner", ""}));
    EXPECT_EQ(paperOut, (QStringList{"5a4d", "0e28", "Local Printer", "Off-line, Out of paper"}));
    EXPECT_NE(strAsked.find("44"), std::string::npos) << strAsked;

    // Stopped: the hub hears nothing more from the watch ...
    ASSERT_EQ(m_hub.Control("RX CLEAR"), "OK");
    QTest::qWait(2600);
    EXPECT_EQ(m_hub.Control("RX 0"), "OK");
    // ... and the session still serves a settings page.
    std::string strMac;
    m_services.SetModalHandler([&](QDialog& modal) {
        strMac = dynamic_cast<CDialogBase&>(modal).GetText(1073).toStdString();
        return QDialog::Rejected;
    });
    ClickControl(*dlg, kLanSettings);
    EXPECT_EQ(m_services.ModalRuns(), (std::vector<QString>{"150", "144"}));
    EXPECT_EQ(strMac, "00:1b:5f:40:12:7a");
    EXPECT_TRUE(dlg->IsConnected());
    EXPECT_FALSE(dlg->IsBusy());
}
