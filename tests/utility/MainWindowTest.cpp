// The main window against the recording stand-in library: what it calls,
// with which arguments, on which thread, and what the user sees.
#include "MainWindowSupport.h"
#include "RecorderControl.h"
#include "utility/qt/WaitCursor.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <thread>

using namespace vexal::utility;
using namespace vexal::utility::test;
using namespace vexal::utility::main_ids;
using namespace std::chrono_literals;

namespace {
const std::vector<int> kAllControls = {kUsb,
                                       kBluetooth,
                                       kEthernet,
                                       kSerialList,
                                       kAddress,
                                       kTcpPort,
                                       kConnect,
                                       kDisconnect,
                                       kModel,
                                       kVersion,
                                       kBluetoothSettings,
                                       kWlanSettings,
                                       kLanSettings,
                                       kUsageSettings,
                                       kSerialSettings,
                                       kCustomDeviceSettings,
                                       kNetProtocolSettings,
                                       kExit,
                                       kCaption,
                                       kFindHubs,
                                       kSaveSettings,
                                       kLoadSettings,
                                       kDevices};

// The controls that are enabled, of those whose state the window sets.
std::set<int> EnabledSet(const CLumaroDlg& dlg) {
    std::set<int> enabled;
    for (int nId : kAllControls)
        if (nId != kModel && nId != kVersion && nId != kCaption && nId != kExit && dlg.IsEnabled(nId))
            enabled.insert(nId);
    return enabled;
}

const std::set<int> kConnectedSet = {
    kDisconnect,           kBluetoothSettings,   kWlanSettings, kLanSettings,  kUsageSettings, kSerialSettings,
    kCustomDeviceSettings, kNetProtocolSettings, kSaveSettings, kLoadSettings, kDevices};
}  // namespace

class MainWindowTest : public CMainWindowTest {
protected:
    CRecorderControl m_rec;
    void ExpectNoCursor() {
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(CWaitCursor::ActiveCount(), 0);
    }
};

TEST_F(MainWindowTest, InitialStateCaptionsNamesAndTheEnabledControlsPerInterface) {
    auto dlg = MakeMain({}, QString::fromStdString(CRecorderControl::LibraryName()));
    ASSERT_TRUE(m_bStarted);
    EXPECT_EQ(dlg->windowTitle(), "Vexal Utility");
    EXPECT_EQ(dlg->objectName(), "102");
    EXPECT_TRUE(dlg->IsChecked(kUsb));
    EXPECT_EQ(dlg->GetIpv4(kAddress), (Ipv4Octets{192, 168, 0, 17}));
    EXPECT_EQ(dlg->GetText(kTcpPort), "9100");
    EXPECT_FALSE(dlg->IsShown(kTcpPort));
    EXPECT_EQ(dlg->ComboCount(kSerialList), 40);  // no COM links at all
    EXPECT_EQ(dlg->GetText(kSerialList), "COM1:");
    EXPECT_TRUE(dlg->GetText(kCaption).startsWith("Vexal Configuration Utility"));
    EXPECT_EQ(dlg->GetText(kExit), "E X I T");
    EXPECT_EQ(dlg->Control(kExit)->accessibleName(), "Exit");
    for (int nId : kAllControls) {
        ASSERT_NE(dlg->Control(nId), nullptr) << nId;
        EXPECT_EQ(dlg->Control(nId)->objectName(), QString::number(nId));
        if (dlg->ControlAs<QLabel>(nId) == nullptr) {  // a value label is read by its text
            EXPECT_FALSE(dlg->Control(nId)->accessibleName().isEmpty()) << nId;
        }
    }
    EXPECT_EQ(dlg->Control(kSerialList)->accessibleName(), "Serial port");

    // Tab order follows the layout: the serial list comes after "Bluetooth",
    // the address after "Ethernet", the settings buttons after Disconnect,
    // the search and settings files after them.
    std::vector<int> order;
    QWidget* p = dlg->Control(kUsb);
    for (int i = 0; i < 40 && p != nullptr; ++i, p = p->nextInFocusChain()) {
        bool bOk = false;
        const int nId = p->objectName().toInt(&bOk);
        if (bOk && (p->focusPolicy() & Qt::TabFocus) && (order.empty() || order.back() != nId)) order.push_back(nId);
        if (nId == kExit) break;
    }
    const std::vector<int> kExpected = {
        kUsb,           kBluetooth,      kSerialList,           kEthernet,     kTcpPort,
        kConnect,       kDisconnect,     kBluetoothSettings,    kWlanSettings, kLanSettings,
        kUsageSettings, kSerialSettings, kCustomDeviceSettings, kDevices,      kNetProtocolSettings,
        kFindHubs,      kSaveSettings,   kLoadSettings,         kExit};
    EXPECT_EQ(order, kExpected);

    const std::set<int> kIdle = {kConnect, kUsb, kBluetooth, kEthernet, kFindHubs};
    EXPECT_EQ(EnabledSet(*dlg), kIdle);
    ClickControl(*dlg, kEthernet);
    std::set<int> ethernet = kIdle;
    ethernet.insert({kAddress, kTcpPort});
    EXPECT_EQ(EnabledSet(*dlg), ethernet);
    EXPECT_EQ(dlg->InterfaceType(), 2);
    ClickControl(*dlg, kBluetooth);
    std::set<int> bluetooth = kIdle;
    bluetooth.insert(kSerialList);
    EXPECT_EQ(EnabledSet(*dlg), bluetooth);
    EXPECT_EQ(dlg->InterfaceType(), 4);
    ClickControl(*dlg, kUsb);
    EXPECT_EQ(EnabledSet(*dlg), kIdle);
    EXPECT_EQ(m_rec.Log(), "");  // choosing an interface calls nothing
}

TEST_F(MainWindowTest, SerialListEndsAtTheHighestComLink) {
    ASSERT_TRUE(QFile::link("/dev/null", m_devices.filePath("COM1")));
    ASSERT_TRUE(QFile::link("/dev/null", m_devices.filePath("COM7")));
    ASSERT_TRUE(QFile::link("/dev/null", m_devices.filePath("LPT9")));
    auto dlg = MakeMain({}, QString::fromStdString(CRecorderControl::LibraryName()));
    ASSERT_EQ(dlg->ComboCount(kSerialList), 7);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(dlg->ComboItemText(kSerialList, i), QString("COM%1:").arg(i + 1));
}

TEST_F(MainWindowTest, ConnectSendsThePortTextOfEachInterfaceOnTheWorker) {
    auto dlg = MakeMain({}, QString::fromStdString(CRecorderControl::LibraryName()));
    // USB: empty port text.
    ClickControl(*dlg, kConnect);
    EXPECT_EQ(m_rec.LastArgs("selectInterface"), "16,");
    EXPECT_EQ(m_rec.Log(), "selectInterface,selectCommandMode,openService,getResult,getVexalName,getVexalVersion");
    EXPECT_EQ(m_rec.LastArgs("selectCommandMode"), m_rec.LastArgs("getResult") + ",0");
    ASSERT_EQ(m_services.Messages().size(), 1u);
    EXPECT_EQ(m_services.Messages()[0].strText, "Success open port.");
    EXPECT_EQ(m_services.Messages()[0].eIcon, EMsgIcon::Information);
    EXPECT_EQ(dlg->GetText(kModel), "VX-STAND-IN");  // without its first character
    EXPECT_EQ(dlg->GetText(kVersion), "9.99");
    EXPECT_TRUE(dlg->IsConnected());
    EXPECT_EQ(EnabledSet(*dlg), kConnectedSet);
    ExpectNoCursor();

    ClickControl(*dlg, kDisconnect);
    EXPECT_EQ(m_rec.LastArgs("closeService"), m_rec.LastArgs("getResult") + ",0");
    EXPECT_EQ(dlg->GetText(kModel), "");
    EXPECT_EQ(dlg->GetText(kVersion), "");
    EXPECT_FALSE(dlg->IsConnected());

    // Bluetooth with the third entry: COM3.
    ClickControl(*dlg, kBluetooth);
    ActivateComboIndex(*dlg, kSerialList, 2);
    ClickControl(*dlg, kConnect);
    EXPECT_EQ(m_rec.LastArgs("selectInterface"), "4,COM3");
    ClickControl(*dlg, kDisconnect);

    // Ethernet typed by the user; a one-character model gives an empty label.
    m_rec.SetText("getVexalName", u"_");
    ClickControl(*dlg, kEthernet);
    TypeIpv4(*dlg, kAddress, "10.0.0.5");
    ClickControl(*dlg, kConnect);
    EXPECT_EQ(m_rec.LastArgs("selectInterface"), "2,10.0.0.5:9100");
    EXPECT_EQ(dlg->PortText(), "10.0.0.5:9100");
    EXPECT_EQ(dlg->GetText(kModel), "");
    EXPECT_EQ(m_rec.Count("selectInterface"), 3);
    EXPECT_EQ(m_rec.MainThreadCalls(), 0);
    ExpectNoCursor();
}

TEST_F(MainWindowTest, ScreenReadersReadEveryLabelsValueAndItsCaption) {
    auto dlg = MakeMain({}, QString::fromStdString(CRecorderControl::LibraryName()));
    ClickControl(*dlg, kConnect);
    for (const auto& [nId, strValue, strCaption] :
         {std::tuple{kModel, "VX-STAND-IN", "Model :"}, {kVersion, "9.99", "version :"}}) {
        QAccessibleInterface* pLabel = QAccessible::queryAccessibleInterface(dlg->Control(nId));
        ASSERT_NE(pLabel, nullptr);
        EXPECT_EQ(pLabel->text(QAccessible::Name), QString(strValue));
        QStringList captions;  // the caption beside it (and its group box)
        for (const auto& [pBy, eRelation] : pLabel->relations(QAccessible::Label))
            captions << pBy->text(QAccessible::Name);
        EXPECT_TRUE(captions.contains(QString(strCaption))) << captions.join('|').toStdString();
    }
    // Every label of the window says what it shows.
    for (int nId : dlg->ControlIds()) {
        if (auto* pLabel = dlg->ControlAs<QLabel>(nId)) {
            EXPECT_EQ(QAccessible::queryAccessibleInterface(pLabel)->text(QAccessible::Name), pLabel->text()) << nId;
        }
    }
}

TEST_F(MainWindowTest, CommandLineChoosesTheInterfaceAddressPortAndConnects) {
    SUtilityOptions options;
    options.nInterface = 2;
    options.address = Ipv4Octets{10, 1, 2, 3};
    options.nTcpPort = 9200;
    options.nSerial = 5;
    options.bConnect = true;
    auto dlg = MakeMain(options, QString::fromStdString(CRecorderControl::LibraryName()));
    EXPECT_TRUE(dlg->IsChecked(kEthernet));
    EXPECT_EQ(dlg->GetText(kTcpPort), "9200");
    EXPECT_EQ(dlg->GetText(kSerialList), "COM5:");
    EXPECT_EQ(m_rec.LastArgs("selectInterface"), "2,10.1.2.3:9200");
    EXPECT_TRUE(dlg->IsConnected());
}

TEST_F(MainWindowTest, ASerialPortBeyondTheListIsToldInTheWindowAndNotConnected) {
    SUtilityOptions options;
    options.nInterface = 4;
    options.nSerial = 41;  // no COM links: the list ends at COM40
    options.bConnect = true;
    auto dlg = MakeMain(options, QString::fromStdString(CRecorderControl::LibraryName()));
    EXPECT_EQ(m_rec.Count("selectInterface"), 0) << "no other port is connected instead";
    EXPECT_FALSE(dlg->IsConnected());
    ASSERT_EQ(m_services.Messages().size(), 1u);
    EXPECT_EQ(m_services.Messages()[0].strText,
              "COM41 is not in the serial port list (COM1 to COM40), so the utility did not connect.");
    EXPECT_EQ(m_services.Messages()[0].eIcon, EMsgIcon::Warning);
    EXPECT_TRUE(dlg->IsEnabled(kConnect));
}

// Leaving while a library call hangs: the call is left to run out, and
// when it returns it still finds the entry points it goes on with.
TEST_F(MainWindowTest, LeavingWhileACallHangsLeavesTheLibraryThreadWhatItUses) {
    auto dlg = MakeMain({}, QString::fromStdString(CRecorderControl::LibraryName()));
    dlg->Logic().SetExitWait(100ms);
    m_rec.SetDelay("openService", 1500);
    ClickDuringJob(*dlg, kConnect);
    ASSERT_TRUE(WaitFor([&] { return m_rec.Count("openService") == 1; }, 5s));
    testing::internal::CaptureStderr();
    dlg.reset();
    const std::string strLog = testing::internal::GetCapturedStderr();
    EXPECT_NE(strLog.find("left to run out"), std::string::npos) << strLog;
    EXPECT_EQ(m_rec.Count("getResult"), 0) << "the window went while the call still ran";
    // The connect goes on through the table once the call returns.
    const auto start = std::chrono::steady_clock::now();
    while (m_rec.Count("getVexalVersion") == 0 && std::chrono::steady_clock::now() - start < 10s)
        std::this_thread::sleep_for(20ms);
    EXPECT_EQ(m_rec.Count("getResult"), 1);
    EXPECT_EQ(m_rec.Count("getVexalVersion"), 1);
    std::this_thread::sleep_for(100ms);  // the thread's last steps after its last call
}

TEST_F(MainWindowTest, FailedConnectWarnsNamesTheCauseAndStaysNotConnected) {
    ASSERT_TRUE(QFile::link(m_devices.filePath("missing-device"), m_devices.filePath("COM3")));
    auto dlg = MakeMain({}, QString::fromStdString(CRecorderControl::LibraryName()));
    m_rec.SetResult("getResult", 1006);
    ClickControl(*dlg, kConnect);
    ASSERT_EQ(m_services.Messages().size(), 1u);
    // USB and a port that did not open: the second line names the access rule.
    EXPECT_EQ(m_services.Messages()[0].strText.section('\n', 0, 0),
              "Cannot open port! Please check printer and cable.");
    EXPECT_TRUE(m_services.Messages()[0].strText.section('\n', 1).contains("USB access rule"));
    EXPECT_EQ(m_services.Messages()[0].eIcon, EMsgIcon::Warning);
    EXPECT_FALSE(m_services.WaitCursorAtLastMessage());
    EXPECT_FALSE(dlg->IsConnected());
    EXPECT_EQ(m_rec.Count("getVexalName"), 0);
    EXPECT_EQ(dlg->GetText(kModel), "");

    // A dangling COM link: the second line says so.
    ClickControl(*dlg, kBluetooth);
    ActivateComboIndex(*dlg, kSerialList, 2);
    ClickControl(*dlg, kConnect);
    ASSERT_EQ(m_services.Messages().size(), 2u);
    EXPECT_TRUE(m_services.Messages()[1].strText.startsWith("Cannot open port! Please check printer and cable.\n"));
    EXPECT_TRUE(m_services.Messages()[1].strText.contains("COM3")) << m_services.Messages()[1].strText.toStdString();
    EXPECT_TRUE(dlg->IsEnabled(kConnect));
    EXPECT_TRUE(dlg->IsEnabled(kSerialList));
    ExpectNoCursor();

    // The two sessions the failed connects left registered are closed on
    // the way out, before the library goes.
    EXPECT_EQ(m_rec.Count("closeService"), 0);
    dlg.reset();
    EXPECT_EQ(m_rec.Count("closeService"), 2);
    EXPECT_EQ(m_rec.MainThreadCalls(), 0);
}

TEST_F(MainWindowTest, SettingsReadShowsTheMovingPopupAndOpensThePageOnlyAfterASuccessfulRead) {
    auto dlg = MakeMain({}, QString::fromStdString(CRecorderControl::LibraryName()));
    ClickControl(*dlg, kConnect);
    m_services.Clear();
    m_rec.SetDelay("getLanInfo", 800);

    std::vector<int> positions;
    bool bClickedDuringRead = false;
    QTimer sampler;
    sampler.setInterval(20);
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        if (PopupShown(*dlg, dlg->Progress())) {
            positions.push_back(dlg->Progress().Position());
            if (!bClickedDuringRead && positions.size() > 5) {
                bClickedDuringRead = true;
                ClickDuringJob(*dlg, kDisconnect);  // blocked by the pop-up
            }
        }
    });
    sampler.start();
    CStallMonitor monitor;
    ClickControl(*dlg, kLanSettings);
    const auto nGap = monitor.LongestGap();
    sampler.stop();

    EXPECT_FALSE(PopupShown(*dlg, dlg->Progress()));
    EXPECT_EQ(dlg->ModelessWindow(dlg->Progress()), nullptr);  // its timer went with it
    ASSERT_GE(positions.size(), 10u);
    EXPECT_EQ(positions.front() % 2, 0);
    EXPECT_GE(positions.back() - positions.front(), 12);  // ~16 steps in 800 ms
    EXPECT_LT(nGap, 100ms);
    EXPECT_TRUE(bClickedDuringRead);
    EXPECT_EQ(m_rec.Count("closeService"), 0);
    EXPECT_TRUE(dlg->IsConnected());
    EXPECT_EQ(m_services.ModalRuns(), std::vector<QString>{"144"});

    // A failed read: no page.
    m_rec.SetDelay("getLanInfo", 0);
    m_rec.SetResult("getLanInfo", 1011);
    ClickControl(*dlg, kLanSettings);
    EXPECT_EQ(m_services.ModalRuns().size(), 1u);
    EXPECT_EQ(m_rec.Count("getLanInfo"), 2);

    // A page not built: told, nothing read, pop-up gone.
    dlg->Logic().SetPageFactory(kWlanSettings, [](const SPageContext&) { return std::unique_ptr<CPageLogic>(); });
    ClickControl(*dlg, kWlanSettings);
    ASSERT_FALSE(m_services.Messages().empty());
    EXPECT_EQ(m_services.Messages().back().strText, "This settings dialog is not available in this build.");
    EXPECT_FALSE(PopupShown(*dlg, dlg->Progress()));
    EXPECT_EQ(m_rec.MainThreadCalls(), 0);
    ExpectNoCursor();
}

TEST_F(MainWindowTest, ClicksDuringAConnectAreIgnoredAndACloseWaitsForIt) {
    auto dlg = MakeMain({}, QString::fromStdString(CRecorderControl::LibraryName()));
    m_rec.SetDelay("openService", 600);
    bool bStillOpenAfterClose = false;
    QTimer::singleShot(150, [&] {
        ClickDuringJob(*dlg, kConnect);
        ClickDuringJob(*dlg, kUsb);
        ClickDuringJob(*dlg, kExit);
        dlg->close();  // the window manager's close button
        bStillOpenAfterClose = dlg->isVisible();
    });
    ClickControl(*dlg, kConnect);
    EXPECT_TRUE(bStillOpenAfterClose);
    EXPECT_EQ(m_rec.Count("selectInterface"), 1);
    // The deferred close ran once the job ended: the session closed, the
    // worker stopped, the library unloaded.
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(m_rec.Count("closeService"), 1);
    EXPECT_TRUE(dlg->LibraryUnloaded());
    EXPECT_FALSE(dlg->Worker().IsRunning());
    EXPECT_EQ(m_rec.MainThreadCalls(), 0);
    ExpectNoCursor();
}

// Answers every real message box once it is shown and notes where it appeared.
class CBoxWatch final : public QObject {
public:
    CBoxWatch() { qApp->installEventFilter(this); }
    ~CBoxWatch() override { qApp->removeEventFilter(this); }
    std::vector<std::pair<QString, QPoint>> m_shown;  // text, centre

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override {
        if (auto* pBox = qobject_cast<QMessageBox*>(pWatched); pBox != nullptr && pEvent->type() == QEvent::Show) {
            QMetaObject::invokeMethod(
                pBox,
                [this, pBox] {
                    m_shown.emplace_back(pBox->text(), pBox->frameGeometry().center());
                    pBox->accept();
                },
                Qt::QueuedConnection);
        }
        return false;
    }
};

TEST_F(MainWindowTest, AMessageShownBeforeAPageAppearsIsCentredOverTheMainWindow) {
    CQtDialogServices services;
    SUtilityOptions options;
    options.strLibrary = CRecorderControl::LibraryName();
    CLumaroDlg dlg(services, options);
    dlg.show();
    ASSERT_TRUE(dlg.Start());
    dlg.move(300, 120);
    CBoxWatch boxes;
    ClickControl(dlg, kConnect);
    m_rec.SetResult("getLanInfo", 1011);
    ClickControl(dlg, kLanSettings);
    ASSERT_EQ(boxes.m_shown.size(), 2u);
    EXPECT_EQ(boxes.m_shown[1].first, "Failed to read LAN configuration info.");
    const QPoint centre = dlg.frameGeometry().center();
    for (const auto& [strText, at] : boxes.m_shown) {
        EXPECT_LE((at - centre).manhattanLength(), 4) << strText.toStdString() << " at " << at.x() << "," << at.y()
                                                      << ", window centre " << centre.x() << "," << centre.y();
    }
}

TEST_F(MainWindowTest, MissingLibraryOrEntryPointIsReportedAndOnlyExitWorks) {
    for (bool bEntryPoint : {false, true}) {
        m_services.Clear();
        const QString strLibrary = bEntryPoint ? QString::fromStdString(CRecorderControl::LibraryName(true))
                                               : QString("/nonexistent/libNoSuchCfg.so");
        testing::internal::CaptureStderr();
        auto dlg = MakeMain({}, strLibrary);
        const std::string strErr = testing::internal::GetCapturedStderr();
        EXPECT_FALSE(m_bStarted);
        ASSERT_EQ(m_services.Messages().size(), 1u);
        const SMessage& msg = m_services.Messages()[0];
        EXPECT_EQ(msg.eIcon, EMsgIcon::Critical);
        const QString strNamed = bEntryPoint ? "getInterfaceUsageStatus" : "/nonexistent/libNoSuchCfg.so";
        EXPECT_TRUE(msg.strText.contains(strNamed)) << msg.strText.toStdString();
        EXPECT_NE(strErr.find(strNamed.toStdString()), std::string::npos) << strErr;
        if (!bEntryPoint) {  // the loader's own reason
            EXPECT_TRUE(msg.strText.contains("No such file")) << msg.strText.toStdString();
        }
        for (int nId : kAllControls) {
            if (nId != kExit && nId != kCaption) {
                EXPECT_FALSE(dlg->IsEnabled(nId)) << nId;
            }
        }
        EXPECT_TRUE(dlg->IsEnabled(kExit));
        ClickControl(*dlg, kExit);
        EXPECT_FALSE(dlg->isVisible());
        EXPECT_EQ(dlg->result(), QDialog::Accepted);
    }
}
