#include "utility/win32/MainWindow.h"

#include "platform/DeviceNames.h"
#include "utility/logic/Text.h"

#include <algorithm>
#include <array>
#include <tuple>

namespace vexal::utility::win32 {
using namespace main_ids;

namespace {

constexpr uint32_t kTextUnits = 256;

struct SConnectResult {
    int32_t nHandle = 0;
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

const std::map<int, PageFactory>& Factories() {
    static const std::map<int, PageFactory> s_factories = {
        {kBluetoothSettings, MakeBluetoothPage}, {kWlanSettings, MakeWlanPage}, {kLanSettings, MakeLanPage},
        {kSerialSettings, MakeUsbToSerialPage},  {kCustomDeviceSettings, MakeCustomDevicePage},
        {kNetProtocolSettings, MakeNetProtocolPage}, {kUsageSettings, MakeInterfaceUsagePage},
    };
    return s_factories;
}

constexpr int kSettingsButtons[] = {kBluetoothSettings, kWlanSettings, kLanSettings, kUsageSettings,
                                    kSerialSettings, kCustomDeviceSettings, kNetProtocolSettings};

}  // namespace

CMainWindowLogic::CMainWindowLogic(const SProgramOptions& options, client::CfgApiTable& api, CLibraryJobs& jobs,
                                   const std::u16string& strVersion)
    : m_options(options), m_api(api), m_jobs(jobs), m_strVersion(strVersion), m_nInterface(options.nInterface) {}

CMainWindowLogic::~CMainWindowLogic() { Shutdown(); }

const SDialogSpec& CMainWindowLogic::Spec() const {
    static const SDialogSpec s_spec = [] {
        SDialogSpec spec;
        spec.nId = 102;
        spec.strTitle = u"Vexal Utility";
        auto& c = spec.controls;
        SControlSpec comm = Ctl(EControl::Group, 0, u"Communication Setting", 0, 0);
        comm.nRowSpan = 7;
        comm.nColumnSpan = 3;
        c.push_back(comm);
        for (auto [nId, strCaption, nRow] : {std::tuple{kUsb, u"&USB", 0}, std::tuple{kBluetooth, u"&Bluetooth", 1},
                                              std::tuple{kEthernet, u"&Ethernet", 2}}) {
            SControlSpec radio = Ctl(EControl::Radio, nId, strCaption, nRow, 0);
            radio.nGroup = 1;
            c.push_back(radio);
        }
        c.push_back(LabelFor(kSerialList, u"&Serial port :", 1, 1));
        SControlSpec list = Ctl(EControl::Combo, kSerialList, u"Serial port", 1, 2);
        list.nWidthChars = 12;
        c.push_back(list);
        c.push_back(LabelFor(kAddress, u"&IP address :", 2, 1));
        c.push_back(Ctl(EControl::Ipv4, kAddress, u"IP address", 2, 2));
        // The port field exists but stays hidden: the port is 9100 unless the
        // command line says otherwise.
        SControlSpec portLabel = LabelFor(kTcpPort, u"TCP &port :", 3, 1);
        portLabel.bHidden = true;
        c.push_back(portLabel);
        SControlSpec port = Ctl(EControl::Edit, kTcpPort, u"TCP port", 3, 2);
        port.eInput = EInput::Digits;
        port.nMaxLength = 5;
        port.bHidden = true;
        c.push_back(port);
        c.push_back(Ctl(EControl::Button, kConnect, u"&Connect", 4, 0));
        c.push_back(Ctl(EControl::Button, kDisconnect, u"&Disconnect", 4, 0));
        c.push_back(LabelFor(kModel, u"Model :", 5, 0));
        SControlSpec model = Ctl(EControl::Value, kModel, u"Model", 5, 1);
        model.nColumnSpan = 2;
        model.nWidthChars = 13;
        c.push_back(model);
        c.push_back(LabelFor(kVersion, u"version :", 6, 0));
        SControlSpec version = Ctl(EControl::Value, kVersion, u"version", 6, 1);
        version.nColumnSpan = 2;
        c.push_back(version);

        SControlSpec hub = Ctl(EControl::Group, 0, u"Vexal interface settings", 7, 0);
        hub.nRowSpan = 2;
        hub.nColumnSpan = 3;
        c.push_back(hub);
        c.push_back(Ctl(EControl::Button, kBluetoothSettings, u"Bluetooth settings", 7, 0));
        c.push_back(Ctl(EControl::Button, kWlanSettings, u"WLAN settings", 7, 1));
        c.push_back(Ctl(EControl::Button, kLanSettings, u"LAN settings", 8, 0));
        c.push_back(Ctl(EControl::Button, kUsageSettings, u"Usage settings", 8, 1));
        SControlSpec peripheral = Ctl(EControl::Group, 0, u"Peripheral device settings", 9, 0);
        peripheral.nRowSpan = 2;
        c.push_back(peripheral);
        c.push_back(Ctl(EControl::Button, kSerialSettings, u"Serial settings", 9, 0));
        c.push_back(Ctl(EControl::Button, kCustomDeviceSettings, u"Custom Device settings", 10, 0));
        SControlSpec net = Ctl(EControl::Group, 0, u"Net Protocol settings", 9, 1);
        net.nRowSpan = 2;
        net.nColumnSpan = 2;
        c.push_back(net);
        c.push_back(Ctl(EControl::Button, kNetProtocolSettings, u"Net Protocol settings", 9, 1));
        SControlSpec caption = Ctl(EControl::Value, kCaption, u"", 11, 0);
        caption.nColumnSpan = 3;
        c.push_back(caption);
        c.push_back(RowButton(kExit, u"E X I T"));
        return spec;
    }();
    return s_spec;
}

void CMainWindowLogic::OnInit() {
    View().SetText(kCaption, u"Vexal Configuration Utility " + m_strVersion);
    const Ipv4Octets address = m_options.address.value_or(Ipv4Octets{192, 168, 0, 17});
    SetIpv4(kAddress, address);
    SetText(kTcpPort, NumberText(m_options.nTcpPort.value_or(kDefaultTcpPort)));
    SetCheck(kUsb, m_nInterface == 16);
    SetCheck(kEthernet, m_nInterface == 2);
    SetCheck(kBluetooth, m_nInterface == 4);
    View().ComboClear(kSerialList);
    const uint32_t nHighest = platform::HighestComNumber();
    for (uint32_t i = 1; i <= (nHighest == 0 ? 40u : nHighest); ++i)
        View().ComboAdd(kSerialList, u"COM" + NumberText(i) + u":");
    View().ComboSelect(kSerialList, 0);
    if (m_options.nSerial && static_cast<int>(*m_options.nSerial) <= View().ComboCount(kSerialList))
        View().ComboSelect(kSerialList, static_cast<int>(*m_options.nSerial) - 1);
    UpdateControls(false);

    if (!m_api.Load("ZamoCfg")) {
        for (const auto& c : Spec().controls)
            if (c.nId != 0 && c.nId != kExit && c.nId != kCaption)
                Enable(c.nId, false);
        Message(u"The configuration library cannot be used, so the hub cannot be reached.\n" +
                    Utf8ToU16(m_api.LastError()),
                EMsgIcon::Critical);
        return;
    }
    // Once the window is up, so that it is busy while the call runs.
    if (m_options.bConnect && m_pWindow != nullptr)
        m_pWindow->PostCall([this] { OnConnect(); });
}

void CMainWindowLogic::OnClicked(int nId) {
    switch (nId) {
    case kUsb: m_nInterface = 16; UpdateControls(false); break;
    case kEthernet: m_nInterface = 2; UpdateControls(false); break;
    case kBluetooth: m_nInterface = 4; UpdateControls(false); break;
    case kConnect: OnConnect(); break;
    case kDisconnect: OnDisconnect(); break;
    case kExit:
        if (OnCloseRequest())
            Close(kAccepted);
        break;
    default:
        if (std::find(std::begin(kSettingsButtons), std::end(kSettingsButtons), nId) != std::end(kSettingsButtons))
            OnSettings(nId);
        break;
    }
}

void CMainWindowLogic::UpdateControls(bool bConnected) {
    m_bConnected = bConnected;
    Enable(kSerialList, !bConnected && m_nInterface == 4);
    Enable(kAddress, !bConnected && m_nInterface == 2);
    Enable(kTcpPort, !bConnected && m_nInterface == 2);
    for (int nId : {kConnect, kUsb, kBluetooth, kEthernet})
        Enable(nId, !bConnected);
    Enable(kDisconnect, bConnected);
    for (int nButton : kSettingsButtons)
        Enable(nButton, bConnected);
}

bool CMainWindowLogic::IsBusy() const { return m_jobs.IsBusy() || m_pPage != nullptr; }

void CMainWindowLogic::OnConnect() {
    if (IsBusy() || !m_api.IsBound())
        return;
    std::u16string strPort;
    if (m_nInterface == 2) {
        const Ipv4Octets a = GetIpv4(kAddress);
        const auto nPort = ParseNumber(GetText(kTcpPort), 1, 65535).value_or(kDefaultTcpPort);
        strPort = NumberText(a[0]) + u"." + NumberText(a[1]) + u"." + NumberText(a[2]) + u"." + NumberText(a[3]) +
                  u":" + NumberText(nPort);
    } else if (m_nInterface == 4) {
        strPort = View().ComboItemText(kSerialList, View().ComboIndex(kSerialList));
        if (!strPort.empty() && strPort.back() == u':')
            strPort.pop_back();
    }
    client::CfgApiTable& api = m_api;
    const int32_t nType = m_nInterface;
    StartJob<SConnectResult>(
        m_jobs,
        [&api, nType, strPort] {
            SConnectResult c;
            c.nHandle = api.m_pfn_selectInterface(nType, strPort.c_str());
            api.m_pfn_selectCommandMode(c.nHandle, 0);
            api.m_pfn_openService(c.nHandle);
            c.nResult = api.m_pfn_getResult(c.nHandle);
            if (c.nResult == 0) {
                c.model = ReadText(api.m_pfn_getVexalName, c.nHandle);
                c.version = ReadText(api.m_pfn_getVexalVersion, c.nHandle);
            }
            return c;
        },
        [this](SConnectResult r) {
            m_api.m_nHandle = r.nHandle;
            if (r.nHandle != 0)
                m_sessions.push_back(r.nHandle);
            if (r.nResult != 0) {
                Message(u"Cannot open port! Please check printer and cable.", EMsgIcon::Warning);
            } else {
                SetText(kModel, r.model.size() <= 1 ? std::u16string() : r.model.substr(1));
                SetText(kVersion, r.version);
                UpdateControls(true);
                Message(u"Success open port.", EMsgIcon::Information);
            }
            CloseIfRequested();
        });
}

void CMainWindowLogic::OnDisconnect() {
    if (IsBusy() || !m_bConnected)
        return;
    client::CfgApiTable& api = m_api;
    const int32_t nHandle = m_api.m_nHandle;
    StartJob<int32_t>(
        m_jobs, [&api, nHandle] { return api.m_pfn_closeService(nHandle, 0); },
        [this, nHandle](int32_t) {
            std::erase(m_sessions, nHandle);
            UpdateControls(false);
            SetText(kModel, {});
            SetText(kVersion, {});
            CloseIfRequested();
        });
}

void CMainWindowLogic::OnSettings(int nButton) {
    if (IsBusy() || !m_bConnected || m_pWindow == nullptr)
        return;
    const auto it = Factories().find(nButton);
    if (it == Factories().end()) {
        Message(u"This settings dialog is not available in this build.", EMsgIcon::Information);
        return;
    }
    m_pPage = it->second(SPageContext{m_api, m_jobs});
    // The page is filled while hidden, then shown; the custom device page is
    // shown at once and reads what it needs itself.
    m_pPageWindow = std::make_unique<CWin32Dialog>(*m_pPage, m_pWindow);
    if (!m_pPageWindow->CreateModeless(m_pWindow->Handle(), false)) {
        m_pPageWindow.reset();
        m_pPage.reset();
        return;
    }
    if (nButton != kCustomDeviceSettings)
        m_progress.Begin(View());
    m_pPage->ReadFromHub([this](bool bRead) {
        // Shown from the event loop, once the page's own handler has returned.
        m_pWindow->PostCall([this, bRead] { OpenPage(bRead); });
    });
}

void CMainWindowLogic::OpenPage(bool bRead) {
    m_progress.End();
    if (m_pPage && bRead && !m_bCloseRequested)
        m_pPageWindow->RunShown();
    m_pPageWindow.reset();
    m_pPage.reset();
    CloseIfRequested();
}

bool CMainWindowLogic::OnCloseRequest() {
    if (!IsBusy())
        return true;
    // Closed once the job has ended.
    m_bCloseRequested = true;
    return false;
}

void CMainWindowLogic::CloseIfRequested() {
    if (m_bCloseRequested && !IsBusy() && HasView())
        Close(kRejected);
}

bool CMainWindowLogic::Shutdown() {
    if (m_bShutDown)
        return true;
    m_bShutDown = true;
    m_progress.End();
    // No event loop delivers a running job's result any more: wait for its
    // call to return before the sessions are closed on the same thread.
    const bool bIdle = m_jobs.WaitForJob(std::chrono::seconds(10));
    if (bIdle && m_api.IsBound() && !m_sessions.empty()) {
        client::CfgApiTable& api = m_api;
        const std::vector<int32_t> sessions = m_sessions;
        m_jobs.StartJob([&api, sessions] {
            for (int32_t nHandle : sessions)
                api.m_pfn_closeService(nHandle, 0);
        }, nullptr);
        m_sessions.clear();
    }
    m_bConnected = false;
    const bool bStopped = m_jobs.Stop();  // runs the close job first
    if (!bStopped || !bIdle)
        return false;
    if (m_api.IsBound())
        m_api.Unload();
    return true;
}

}  // namespace vexal::utility::win32
