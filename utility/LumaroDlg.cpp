#include "utility/LumaroDlg.h"

#include "client/ScanRanges.h"
#include "platform/DeviceNames.h"
#include "platform/NetInterfaces.h"
#include "utility/BackupRestore.h"
#include "utility/FindHubsDlg.h"
#include "utility/SettingsPages.h"
#include "utility/WaitCursor.h"

#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <array>
#include <initializer_list>
#include <cstdio>
#include <string>

namespace vexal::utility {
using namespace main_ids;

namespace {
constexpr uint32_t kTextUnits = 256;

// What the connect job hands back to the main thread.
struct SConnectResult {
    int32_t nHandle = 0;
    int32_t nOpen = 0;
    int32_t nResult = 0;
    std::u16string model;
    std::u16string version;
};

std::u16string ReadText(decltype(&::getVexalName) pfn, int32_t nHandle) {
    std::array<char16_t, kTextUnits> buf{};
    ZamoText text{buf.data(), kTextUnits, 0};
    if (pfn(nHandle, &text) != 0)
        return {};
    return std::u16string(buf.data(), std::min<uint32_t>(text.length, kTextUnits - 1));
}
}  // namespace

CLumaroDlg::CLumaroDlg(IDialogServices& services, const SUtilityOptions& options, QWidget* pParent)
    : CDialogBase(kDialogId, services, pParent), m_options(options) {
    setWindowTitle(tr("Vexal Utility"));
    setAccessibleName(tr("Vexal Utility"));
    m_pFiles = std::make_unique<CSettingsFiles>(*this, m_api, m_worker, m_progress);
    m_fnSearchRanges = [] {
        QStringList ranges;
        for (const auto& strRange : client::DefaultScanRanges(platform::ListIpv4Interfaces()))
            ranges << QString::fromStdString(strRange);
        return ranges.join(QStringLiteral(", "));
    };
    m_factories = {{kBluetoothSettings, &CreateBluetoothConfiguration},
                   {kWlanSettings, &CreateWLANConfiguration},
                   {kLanSettings, &CreateLANConfiguration},
                   {kUsageSettings, &CreateInterfaceUsageDlg},
                   {kSerialSettings, &CreateUsbToSerialConfiguration},
                   {kCustomDeviceSettings, &CreateCustomDeviceConfiguration},
                   {kNetProtocolSettings, &CreateNetProtocolDlg}};
    BuildControls();
    m_worker.SetJobEndedHandler([this] { OnJobEnded(); });
}

CLumaroDlg::~CLumaroDlg() { Shutdown(); }

void CLumaroDlg::BuildControls() {
    auto* pMain = new QVBoxLayout(this);

    auto* pComm = MakeGroup(tr("Communication Setting"));
    auto* pGrid = new QGridLayout(pComm);
    auto* pUsb = MakeRadio(kUsb, tr("&USB"));
    auto* pBt = MakeRadio(kBluetooth, tr("&Bluetooth"));
    auto* pEth = MakeRadio(kEthernet, tr("&Ethernet"));
    auto* pList = MakeCombo(kSerialList, {});
    auto* pAddress = MakeIpv4(kAddress, tr("IP address"));
    auto* pPort = MakeEdit(kTcpPort, tr("TCP port"));
    pPort->setValidator(new QIntValidator(1, 65535, pPort));
    auto* pPortLabel = MakeLabel(tr("TCP &port :"), pPort);
    pGrid->addWidget(pUsb, 0, 0);
    pGrid->addWidget(pBt, 1, 0);
    pGrid->addWidget(MakeLabel(tr("&Serial port :"), pList), 1, 1);
    pGrid->addWidget(pList, 1, 2);
    pGrid->addWidget(pEth, 2, 0);
    pGrid->addWidget(MakeLabel(tr("&IP address :"), pAddress), 2, 1);
    pGrid->addWidget(pAddress, 2, 2);
    pGrid->addWidget(pPortLabel, 3, 1);
    pGrid->addWidget(pPort, 3, 2);
    // The port edit exists but stays hidden: the port is 9100 unless the
    // command line says otherwise.
    pPort->hide();
    pPortLabel->hide();
    auto* pButtons = new QHBoxLayout;
    pButtons->addWidget(MakeButton(kConnect, tr("&Connect")));
    pButtons->addWidget(MakeButton(kDisconnect, tr("&Disconnect")));
    pGrid->addLayout(pButtons, 4, 0, 1, 3);
    auto* pModel = MakeStatic(kModel, {});
    auto* pVersion = MakeStatic(kVersion, {});
    pModel->setMinimumWidth(pModel->fontMetrics().horizontalAdvance(QStringLiteral("VX-H400_VXL__")));
    pGrid->addWidget(MakeLabel(tr("Model :"), pModel), 5, 0);
    pGrid->addWidget(pModel, 5, 1, 1, 2);
    pGrid->addWidget(MakeLabel(tr("version :"), pVersion), 6, 0);
    pGrid->addWidget(pVersion, 6, 1, 1, 2);
    pGrid->setColumnStretch(2, 1);
    pMain->addWidget(pComm);

    auto* pHub = MakeGroup(tr("Vexal interface settings"));
    auto* pHubGrid = new QGridLayout(pHub);
    pHubGrid->addWidget(MakeButton(kBluetoothSettings, tr("Bluetooth settings")), 0, 0);
    pHubGrid->addWidget(MakeButton(kWlanSettings, tr("WLAN settings")), 0, 1);
    pHubGrid->addWidget(MakeButton(kLanSettings, tr("LAN settings")), 1, 0);
    pHubGrid->addWidget(MakeButton(kUsageSettings, tr("Usage settings")), 1, 1);
    pMain->addWidget(pHub);

    auto* pLower = new QHBoxLayout;
    auto* pPeripheral = MakeGroup(tr("Peripheral device settings"));
    auto* pPeriLayout = new QVBoxLayout(pPeripheral);
    pPeriLayout->addWidget(MakeButton(kSerialSettings, tr("Serial settings")));
    pPeriLayout->addWidget(MakeButton(kCustomDeviceSettings, tr("Custom Device settings")));
    pLower->addWidget(pPeripheral);
    auto* pNet = MakeGroup(tr("Net Protocol settings"));
    auto* pNetLayout = new QVBoxLayout(pNet);
    pNetLayout->addWidget(MakeButton(kNetProtocolSettings, tr("Net Protocol settings")));
    pNetLayout->addStretch(1);
    pLower->addWidget(pNet);
    pMain->addLayout(pLower);

    auto* pMore = MakeGroup(tr("Backup and search"));
    auto* pMoreLayout = new QHBoxLayout(pMore);
    pMoreLayout->addWidget(MakeButton(kFindHubs, tr("&Find hubs…")));
    pMoreLayout->addWidget(MakeButton(kSaveSettings, tr("Sa&ve settings…")));
    pMoreLayout->addWidget(MakeButton(kLoadSettings, tr("&Load settings…")));
    pMain->addWidget(pMore);

    pMain->addWidget(MakeButton(kExit, tr("E X I T"), tr("Exit")));
    auto* pCaption = MakeStatic(kCaption, tr("Vexal Configuration Utility %1").arg(QApplication::applicationVersion()));
    pCaption->setAlignment(Qt::AlignCenter);
    pMain->addWidget(pCaption);
    pMain->setSizeConstraint(QLayout::SetFixedSize);

    // Tab order as the window reads: left to right, top to bottom.
    QWidget* pPrevious = nullptr;
    for (QWidget* pNext : std::initializer_list<QWidget*>{
             pUsb, pBt, pList, pEth, pAddress->Field(0), pAddress->Field(1), pAddress->Field(2),
             pAddress->Field(3), pPort, Control(kConnect), Control(kDisconnect), Control(kBluetoothSettings),
             Control(kWlanSettings), Control(kLanSettings), Control(kUsageSettings), Control(kSerialSettings),
             Control(kCustomDeviceSettings), Control(kNetProtocolSettings), Control(kFindHubs),
             Control(kSaveSettings), Control(kLoadSettings), Control(kExit)}) {
        if (pPrevious != nullptr)
            setTabOrder(pPrevious, pNext);
        pPrevious = pNext;
    }

    OnClicked(kUsb, [this] { OnInterface(16); });
    OnClicked(kEthernet, [this] { OnInterface(2); });
    OnClicked(kBluetooth, [this] { OnInterface(4); });
    OnClicked(kConnect, [this] { OnConnect(); });
    OnClicked(kDisconnect, [this] { OnDisconnect(); });
    for (int nButton : kSettingsButtons)
        OnClicked(nButton, [this, nButton] { OnSettings(nButton); });
    OnClicked(kFindHubs, [this] { OnFindHubs(); });
    OnClicked(kSaveSettings, [this] {
        if (!IsBusy() && m_bConnected)
            m_pFiles->Save(GetText(kModel), BackupSource(m_nInterface, m_strPortText.toStdString()),
                           [this] { CloseIfRequested(); });
    });
    OnClicked(kLoadSettings, [this] {
        if (!IsBusy() && m_bConnected)
            m_pFiles->Load(m_nInterface == 2 ? m_strPortText.section(QLatin1Char(':'), 0, 0).toStdString() : std::string(),
                           [this] { CloseIfRequested(); });
    });
    OnClicked(kExit, [this] { done(QDialog::Accepted); });
}

bool CLumaroDlg::Start() {
    // Initial values, then the command line.
    m_address = m_options.address.value_or(Ipv4Octets{192, 168, 0, 17});
    m_nTcpPort = m_options.nTcpPort.value_or(kDefaultTcpPort);
    m_nInterface = m_options.nInterface;
    SetIpv4(kAddress, m_address);
    SetText(kTcpPort, QString::number(m_nTcpPort));
    SetCheck(kUsb, m_nInterface == 16);
    SetCheck(kEthernet, m_nInterface == 2);
    SetCheck(kBluetooth, m_nInterface == 4);

    ComboClear(kSerialList);
    for (const QString& strEntry : SerialPortEntries(platform::HighestComNumber()))
        ComboAdd(kSerialList, strEntry);
    ComboSelect(kSerialList, 0);
    if (m_options.nSerial) {
        const int nIndex = static_cast<int>(*m_options.nSerial) - 1;
        if (nIndex < ComboCount(kSerialList))
            ComboSelect(kSerialList, nIndex);
        else
            std::fprintf(stderr, "Vexal utility: COM%u is not in the serial list; COM1 stays selected\n",
                         *m_options.nSerial);
    }
    UpdateControls(false);

    if (!m_api.Load(m_options.strLibrary.toStdString())) {
        const QString strError = QString::fromStdString(m_api.LastError());
        std::fprintf(stderr, "Vexal utility: %s\n", strError.toLocal8Bit().constData());
        for (int nId : ControlIds())
            if (nId != kExit && nId != kCaption)
                Enable(nId, false);
        Message(tr("The configuration library cannot be used, so the hub cannot be reached.\n%1").arg(strError),
                EMsgIcon::Critical);
        return false;
    }
    if (m_options.bConnect)
        OnConnect();
    return true;
}

void CLumaroDlg::ControlsToMembers() {
    m_address = GetIpv4(kAddress);
    bool bOk = false;
    const int nPort = GetText(kTcpPort).toInt(&bOk);
    if (bOk && nPort > 0 && nPort <= 65535)
        m_nTcpPort = nPort;
}

void CLumaroDlg::OnInterface(int nType) {
    m_nInterface = nType;
    UpdateControls(false);
}

void CLumaroDlg::UpdateControls(bool bConnected) {
    ControlsToMembers();
    m_bConnected = bConnected;
    Enable(kSerialList, false);
    Enable(kAddress, false);
    Enable(kTcpPort, false);
    if (!bConnected) {
        if (m_nInterface == 2) {
            Enable(kAddress, true);
            Enable(kTcpPort, true);
        } else if (m_nInterface == 4) {
            Enable(kSerialList, true);
        }
    }
    for (int nId : {kConnect, kUsb, kBluetooth, kEthernet})
        Enable(nId, !bConnected);
    Enable(kDisconnect, bConnected);
    for (int nButton : kSettingsButtons)
        Enable(nButton, bConnected);
    // A search fills the address field; settings files need the hub.
    Enable(kFindHubs, !bConnected);
    Enable(kSaveSettings, bConnected);
    Enable(kLoadSettings, bConnected);
}

void CLumaroDlg::OnConnect() {
    if (IsBusy() || !m_api.IsBound())
        return;
    ControlsToMembers();
    m_strPortText = BuildPortText(m_nInterface, m_address, m_nTcpPort, GetText(kSerialList));
    const std::u16string port = m_strPortText.toStdU16String();
    const int32_t nType = m_nInterface;
    client::CfgApiTable& api = m_api;
    auto pBusy = std::make_shared<CBusyGuard>(this);
    m_worker.Start<SConnectResult>(
        this,
        [&api, nType, port] {
            SConnectResult c;
            c.nHandle = api.m_pfn_selectInterface(nType, port.c_str());
            api.m_pfn_selectCommandMode(c.nHandle, 0);
            c.nOpen = api.m_pfn_openService(c.nHandle);
            c.nResult = api.m_pfn_getResult(c.nHandle);
            if (c.nResult == 0) {
                c.model = ReadText(api.m_pfn_getVexalName, c.nHandle);
                c.version = ReadText(api.m_pfn_getVexalVersion, c.nHandle);
            }
            return c;
        },
        [this, pBusy](SConnectResult r) mutable {
            // Message boxes after the window is enabled again: a box over a
            // disabled window would take no input either.
            pBusy.reset();
            m_api.m_nHandle = r.nHandle;
            if (r.nHandle != 0)
                m_sessions.push_back(r.nHandle);
            m_nOpenResult = r.nOpen;
            if (r.nResult != 0) {
                QString strText = tr("Cannot open port! Please check printer and cable.");
                const QString strCause = LikelyOpenFailureCause(r.nResult);
                if (!strCause.isEmpty())
                    strText += QLatin1Char('\n') + strCause;
                Message(strText, EMsgIcon::Warning);
            } else {
                SetText(kModel, ModelLabelText(QString::fromStdU16String(r.model)));
                SetText(kVersion, QString::fromStdU16String(r.version));
                Message(tr("Success open port."), EMsgIcon::Information);
                UpdateControls(true);
            }
        });
}

QString CLumaroDlg::LikelyOpenFailureCause(int32_t nResult) const {
    if (m_nInterface == 4) {
        const std::string strName = m_strPortText.toStdString();
        auto device = platform::ResolvePortName(strName, "COM", "/dev/ttyS");
        if (!device)
            return tr("%1 names no device file (a link in %2 that points nowhere).")
                .arg(m_strPortText, QString::fromStdString(platform::DeviceDirectory()));
        const QFileInfo info(QString::fromStdString(*device));
        if (!info.exists())
            return tr("The device file %1 does not exist.").arg(info.filePath());
        if (!info.isReadable() || !info.isWritable())
            return tr("The device file %1 is not accessible: add your user to the dialout group "
                      "(then log in again).")
                .arg(info.filePath());
        return {};
    }
    if (m_nInterface == 16) {
        if (nResult == ZAMO_E_NO_USB_HUB)
            return tr("No hub was found on USB.");
        if (nResult == ZAMO_E_PORT)
            return tr("The hub's USB device may not be accessible: install the USB access rule "
                      "(udev, TAG+=\"uaccess\") and plug the hub in again.");
    }
    return {};
}

void CLumaroDlg::OnDisconnect() {
    if (IsBusy() || !m_bConnected)
        return;
    const int32_t nHandle = m_api.m_nHandle;
    client::CfgApiTable& api = m_api;
    auto pBusy = std::make_shared<CBusyGuard>(this);
    m_worker.Start<int32_t>(
        this, [&api, nHandle] { return api.m_pfn_closeService(nHandle, 0); },
        [this, pBusy, nHandle](int32_t) mutable {
            pBusy.reset();
            std::erase(m_sessions, nHandle);
            UpdateControls(false);
            SetText(kModel, {});
            SetText(kVersion, {});
        });
}

void CLumaroDlg::OnSettings(int nButton) {
    if (IsBusy() || !m_bConnected)
        return;
    const SQtPageContext context{m_api, m_worker, Services()};
    const PageFactory& fnFactory = m_factories[nButton];
    m_pPage = fnFactory ? fnFactory(context, this) : nullptr;
    if (!m_pPage) {
        Message(tr("This settings dialog is not available in this build."), EMsgIcon::Information);
        return;
    }
    // The custom device page is shown at once, without the pop-up; it reads
    // what it needs itself.
    if (nButton != kCustomDeviceSettings)
        m_progress.Begin(View());
    m_bPageReading = true;
    m_pPage->ReadFromHub([this](bool bRead) {
        m_bPageReading = false;
        // Shown from the event loop, once the page's own handler has returned.
        QMetaObject::invokeMethod(this, [this, bRead] { OpenPage(bRead); }, Qt::QueuedConnection);
    });
}

void CLumaroDlg::OnFindHubs() {
    if (IsBusy() || m_bConnected || !m_api.IsBound())
        return;
    ControlsToMembers();
    m_pFind = std::make_unique<CFindHubsDlg>(m_api, m_worker, Services(), m_fnSearchRanges ? m_fnSearchRanges() : QString(),
                                             static_cast<uint16_t>(m_nTcpPort), this);
    const bool bUse = Services().RunModal(*m_pFind) == QDialog::Accepted;
    const auto chosen = m_pFind->Chosen();
    m_pFind.reset();
    if (bUse && chosen) {
        // The chosen hub is reached over Ethernet.
        m_address = {static_cast<uint8_t>(*chosen >> 24), static_cast<uint8_t>(*chosen >> 16),
                     static_cast<uint8_t>(*chosen >> 8), static_cast<uint8_t>(*chosen)};
        SetIpv4(kAddress, m_address);
        SetCheck(kUsb, false);
        SetCheck(kBluetooth, false);
        SetCheck(kEthernet, true);
        OnInterface(2);
    }
    CloseIfRequested();
}

void CLumaroDlg::OpenPage(bool bRead) {
    m_progress.End();
    if (m_pPage && bRead && !m_bCloseRequested)
        Services().RunModal(*m_pPage);
    m_pPage.reset();
    CloseIfRequested();
}

void CLumaroDlg::OnJobEnded() {
    // A read that ended without telling its outcome (its work threw) must
    // not leave the pop-up up.
    if (m_bPageReading && !m_worker.IsBusy()) {
        m_bPageReading = false;
        QMetaObject::invokeMethod(this, [this] { OpenPage(false); }, Qt::QueuedConnection);
    }
    CloseIfRequested();
}

bool CLumaroDlg::IsBusy() const {
    return m_worker.IsBusy() || m_pPage != nullptr || m_pFiles->IsBusy() || m_pFind != nullptr;
}

void CLumaroDlg::CloseIfRequested() {
    if (m_bCloseRequested && !IsBusy())
        done(m_nCloseResult);
}

void CLumaroDlg::done(int nResult) {
    // A close asked for while a job runs happens once it has ended.
    if (IsBusy() && !m_bShutDown) {
        m_bCloseRequested = true;
        m_nCloseResult = nResult;
        return;
    }
    Shutdown();
    QDialog::done(nResult);
}

bool CLumaroDlg::Shutdown() {
    if (m_bShutDown)
        return true;
    m_bShutDown = true;
    m_progress.End();
    // The end of the program: no event loop will deliver a running job's
    // result, so wait for its call to return before anything goes.
    const bool bIdle = m_worker.WaitForJob(std::chrono::seconds(10));
    // The session's poll thread and the port's reader call into the
    // libraries: close the sessions on the worker before anything goes, the
    // connected one first. Stop runs that job before the thread ends.
    bool bClosed = true;
    if (bIdle && m_api.IsBound() && !m_sessions.empty()) {
        std::vector<int32_t> sessions = m_sessions;
        if (m_bConnected) {
            std::erase(sessions, m_api.m_nHandle);
            sessions.insert(sessions.begin(), m_api.m_nHandle);
        }
        client::CfgApiTable& api = m_api;
        bClosed = m_worker.Start(nullptr, [&api, sessions] {
            for (int32_t nHandle : sessions)
                api.m_pfn_closeService(nHandle, 0);
        });
        m_sessions.clear();
    }
    m_bConnected = false;
    const bool bStopped = m_worker.Stop();
    if (bStopped && bIdle && bClosed && m_api.IsBound()) {
        m_api.Unload();
        m_bUnloaded = true;
    }
    return true;
}

}  // namespace vexal::utility
