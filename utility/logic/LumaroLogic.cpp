#include "utility/logic/LumaroLogic.h"

#include "client/HubSession.h"
#include "client/ScanRanges.h"
#include "platform/DeviceNames.h"
#include "platform/NetInterfaces.h"
#include "utility/logic/BackupRestore.h"
#include "utility/logic/DeviceWatch.h"
#include "utility/logic/DevicesLogic.h"
#include "utility/logic/FindHubsLogic.h"
#include "utility/logic/SettingsFilesLogic.h"
#include "utility/logic/Text.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>

namespace vexal::utility {
using namespace main_ids;

namespace {
constexpr uint32_t kTextUnits = 256;
constexpr int kOpenPageTimer = 1;  // the page is shown from the event loop, once its read has returned

// A text of the hub as the window shows it: at most 255 units.
std::u16string ShownText(const std::string& strText) { return Utf8ToU16(strText).substr(0, kTextUnits - 1); }

SDialogDesc MakeDesc() {
    SDialogDesc desc;
    desc.nId = CLumaroLogic::kDialogId;
    desc.strTitle = u"Vexal Utility";
    auto& c = desc.controls;
    auto add = [&c](SControlDesc s) -> SControlDesc& {
        c.push_back(std::move(s));
        return c.back();
    };
    auto group = [&add](std::u16string strCaption, int nRow, int nColumn, int nRows, int nColumns) {
        SControlDesc& g = add(Ctl(EControl::Group, 0, std::move(strCaption), nRow, nColumn));
        g.nRowSpan = nRows;
        g.nColumnSpan = nColumns;
    };

    group(u"Communication Setting", 0, 0, 7, 3);
    add(Ctl(EControl::Radio, kUsb, u"&USB", 0, 0)).nGroup = 1;
    add(Ctl(EControl::Radio, kBluetooth, u"&Bluetooth", 1, 0)).nGroup = 1;
    add(LabelFor(kSerialList, u"&Serial port :", 1, 1));
    add(Ctl(EControl::Combo, kSerialList, {}, 1, 2)).bStretchColumn = true;
    add(Ctl(EControl::Radio, kEthernet, u"&Ethernet", 2, 0)).nGroup = 1;
    add(LabelFor(kAddress, u"&IP address :", 2, 1));
    add(Ctl(EControl::Ipv4, kAddress, u"IP address", 2, 2));
    // The port edit exists but stays hidden: the port is 9100 unless the
    // command line says otherwise.
    add(LabelFor(kTcpPort, u"TCP &port :", 3, 1)).bHidden = true;
    SControlDesc& port = add(Ctl(EControl::Edit, kTcpPort, u"TCP port", 3, 2));
    port.eInput = EInput::Digits;
    port.nMaxLength = 5;
    port.bHidden = true;
    for (auto [nId, pszCaption] : {std::pair{kConnect, u"&Connect"}, std::pair{kDisconnect, u"&Disconnect"}}) {
        SControlDesc& b = add(Ctl(EControl::Button, nId, pszCaption, 4, 0));
        b.nColumnSpan = 3;
    }
    add(LabelFor(kModel, u"Model :", 5, 0));
    SControlDesc& model = add(Ctl(EControl::Value, kModel, {}, 5, 1));
    model.nColumnSpan = 2;
    model.nWidthChars = 13;  // "VX-H400_VXL__"
    add(LabelFor(kVersion, u"version :", 6, 0));
    add(Ctl(EControl::Value, kVersion, {}, 6, 1)).nColumnSpan = 2;

    group(u"Vexal interface settings", 7, 0, 2, 3);
    add(Ctl(EControl::Button, kBluetoothSettings, u"Bluetooth settings", 7, 0));
    add(Ctl(EControl::Button, kWlanSettings, u"WLAN settings", 7, 1));
    add(Ctl(EControl::Button, kLanSettings, u"LAN settings", 8, 0));
    add(Ctl(EControl::Button, kUsageSettings, u"Usage settings", 8, 1));

    // The devices behind the hub are its peripherals: "Devices…" takes a
    // third row of their group, beside which the net protocol group grows.
    group(u"Peripheral device settings", 9, 0, 3, 1);
    add(Ctl(EControl::Button, kSerialSettings, u"Serial settings", 9, 0));
    add(Ctl(EControl::Button, kCustomDeviceSettings, u"Custom Device settings", 10, 0));
    add(Ctl(EControl::Button, kDevices, u"Devices…", 11, 0));
    group(u"Net Protocol settings", 9, 1, 3, 2);
    add(Ctl(EControl::Button, kNetProtocolSettings, u"Net Protocol settings", 9, 1));

    group(u"Backup and search", 12, 0, 1, 3);
    add(Ctl(EControl::Button, kFindHubs, u"&Find hubs…", 12, 0));
    add(Ctl(EControl::Button, kSaveSettings, u"Sa&ve settings…", 12, 1));
    add(Ctl(EControl::Button, kLoadSettings, u"&Load settings…", 12, 2));

    SControlDesc& exit = add(Ctl(EControl::Button, kExit, u"E X I T", 13, 0));
    exit.nColumnSpan = 3;
    exit.strAccessibleName = u"Exit";
    SControlDesc& caption = add(Ctl(EControl::Value, kCaption, {}, 14, 0));
    caption.nColumnSpan = 3;
    caption.bCentred = true;
    return desc;
}
}  // namespace

std::vector<std::u16string> SerialPortEntries(uint32_t nHighest) {
    const uint32_t n = nHighest == 0 ? 40 : nHighest;
    std::vector<std::u16string> entries;
    entries.reserve(n);
    for (uint32_t i = 1; i <= n; ++i) entries.push_back(u"COM" + NumberText(i) + u":");
    return entries;
}

std::u16string BuildPortText(int nInterface, const Ipv4Octets& address, int nTcpPort,
                             const std::u16string& strSerialEntry) {
    switch (nInterface) {
    case 2:
        return NumberText(address[0]) + u"." + NumberText(address[1]) + u"." + NumberText(address[2]) + u"." +
               NumberText(address[3]) + u":" + NumberText(nTcpPort);
    case 4:
        if (!strSerialEntry.empty() && strSerialEntry.back() == u':')
            return strSerialEntry.substr(0, strSerialEntry.size() - 1);
        return strSerialEntry;
    default: return {};
    }
}

std::u16string ModelLabelText(const std::u16string& strModel) {
    return strModel.size() <= 1 ? std::u16string() : strModel.substr(1);
}

SLumaroHost DefaultLumaroHost() {
    SLumaroHost host;
    host.fnHighestComNumber = [] { return platform::HighestComNumber(); };
    host.fnSearchRanges = [] {
        std::u16string strRanges;
        for (const auto& strRange : client::DefaultScanRanges(platform::ListIpv4Interfaces()))
            strRanges += (strRanges.empty() ? u"" : u", ") + Latin1ToU16(strRange);
        return strRanges;
    };
    host.fnOpenFailureCause = [](int nInterface, const std::u16string&, int32_t nResult) -> std::u16string {
        if (nInterface != 16) return {};
        if (nResult == ZAMO_E_NO_USB_HUB) return u"No hub was found on USB.";
        if (nResult == ZAMO_E_PORT)
            return u"The hub's USB device may not be accessible: install the USB access rule "
                   u"(udev, TAG+=\"uaccess\") and plug the hub in again.";
        return {};
    };
    return host;
}

CLumaroLogic::CLumaroLogic(const SUtilityOptions& options, CLibraryJobs& jobs, SLumaroHost host)
    : m_options(options),
      m_jobs(jobs),
      m_host(std::move(host)),
      m_pSession(std::make_shared<client::CHubSession>(*m_pApi)) {
    m_jobs.Share(m_pApi);
    m_jobs.Share(m_pSession);
    m_jobs.SetJobEndedHandler([this] { OnJobEnded(); });
}

CLumaroLogic::~CLumaroLogic() {
    Shutdown();
    m_jobs.SetJobEndedHandler({});
}

const SDialogDesc& CLumaroLogic::Desc() const {
    static const SDialogDesc s_desc = MakeDesc();
    return s_desc;
}

void CLumaroLogic::OnInit() {
    m_pFiles = std::make_unique<CSettingsFilesLogic>(View(), *m_pSession, m_jobs, m_progress);
    SetText(kCaption, Arg(u"Vexal Configuration Utility %1", m_options.strVersion));
    // Initial values, then the command line.
    m_address = m_options.address.value_or(Ipv4Octets{192, 168, 0, 17});
    m_nTcpPort = m_options.nTcpPort.value_or(kDefaultTcpPort);
    m_nInterface = m_options.nInterface;
    SetIpv4(kAddress, m_address);
    SetText(kTcpPort, NumberText(m_nTcpPort));
    SetCheck(kUsb, m_nInterface == 16);
    SetCheck(kEthernet, m_nInterface == 2);
    SetCheck(kBluetooth, m_nInterface == 4);

    IDialogView& view = View();
    view.ComboClear(kSerialList);
    for (const auto& strEntry : SerialPortEntries(m_host.fnHighestComNumber ? m_host.fnHighestComNumber() : 0))
        view.ComboAdd(kSerialList, strEntry);
    view.ComboSelect(kSerialList, 0);
    if (m_options.nSerial) {
        const int nIndex = static_cast<int>(*m_options.nSerial) - 1;
        if (nIndex < view.ComboCount(kSerialList))
            view.ComboSelect(kSerialList, nIndex);
        else
            m_nSerialMissing = *m_options.nSerial;  // told once the window is up (Start)
    }
    UpdateControls(false);
}

bool CLumaroLogic::Start() {
    if (!m_api.Load(m_options.strLibrary)) {
        const std::string strError = m_api.LastError();
        std::fprintf(stderr, "Vexal utility: %s\n", strError.c_str());
        for (const auto& c : Desc().controls)
            if (c.nId != 0 && c.nId != kExit && c.nId != kCaption) Enable(c.nId, false);
        Message(
            Arg(u"The configuration library cannot be used, so the hub cannot be reached.\n%1", Utf8ToU16(strError)),
            EMsgIcon::Critical);
        return false;
    }
    if (m_nSerialMissing) {
        // Connecting to another port than the one asked for would reach
        // another device: say so and leave the choice to the user.
        const bool bRefused = m_options.bConnect && m_nInterface == 4;
        const std::u16string strList = Arg(u"COM%1 is not in the serial port list (COM1 to COM%2)",
                                           NumberText(*m_nSerialMissing), NumberText(View().ComboCount(kSerialList)));
        Message(strList + (bRefused ? u", so the utility did not connect." : u"; COM1 is selected."),
                EMsgIcon::Warning);
        if (bRefused) return true;
    }
    if (m_options.bConnect) OnConnect();
    return true;
}

void CLumaroLogic::OnClicked(int nId) {
    switch (nId) {
    case kUsb: OnInterface(16); return;
    case kEthernet: OnInterface(2); return;
    case kBluetooth: OnInterface(4); return;
    case kConnect: OnConnect(); return;
    case kDisconnect: OnDisconnect(); return;
    case kFindHubs: OnFindHubs(); return;
    case kDevices: OnDevices(); return;
    case kSaveSettings:
        if (!IsBusy() && m_bConnected)
            m_pFiles->Save(GetText(kModel), BackupSource(m_nInterface, U16ToUtf8(m_strPortText)),
                           [this] { CloseIfRequested(); });
        return;
    case kLoadSettings:
        if (!IsBusy() && m_bConnected) {
            const std::string strPort = U16ToUtf8(m_strPortText);
            m_pFiles->Load(m_nInterface == 2 ? strPort.substr(0, strPort.find(':')) : std::string(),
                           [this] { CloseIfRequested(); });
        }
        return;
    case kExit: RequestClose(kAccepted); return;
    default: break;
    }
    if (std::find(std::begin(kSettingsButtons), std::end(kSettingsButtons), nId) != std::end(kSettingsButtons))
        OnSettings(nId);
}

void CLumaroLogic::ControlsToMembers() {
    m_address = GetIpv4(kAddress);
    if (auto nPort = ParseNumber(GetText(kTcpPort), 1, 65535)) m_nTcpPort = static_cast<int>(*nPort);
}

void CLumaroLogic::OnInterface(int nType) {
    m_nInterface = nType;
    UpdateControls(false);
}

void CLumaroLogic::UpdateControls(bool bConnected) {
    ControlsToMembers();
    m_bConnected = bConnected;
    Enable(kSerialList, !bConnected && m_nInterface == 4);
    Enable(kAddress, !bConnected && m_nInterface == 2);
    Enable(kTcpPort, !bConnected && m_nInterface == 2);
    for (int nId : {kConnect, kUsb, kBluetooth, kEthernet}) Enable(nId, !bConnected);
    Enable(kDisconnect, bConnected);
    for (int nButton : kSettingsButtons) Enable(nButton, bConnected);
    // A search fills the address field; settings files need the hub.
    Enable(kFindHubs, !bConnected);
    Enable(kSaveSettings, bConnected);
    Enable(kLoadSettings, bConnected);
    Enable(kDevices, bConnected);
}

void CLumaroLogic::OnConnect() {
    if (IsBusy() || !m_api.IsBound()) return;
    ControlsToMembers();
    m_strPortText = BuildPortText(m_nInterface, m_address, m_nTcpPort, GetText(kSerialList));
    const std::u16string port = m_strPortText;
    const int32_t nType = m_nInterface;
    client::CHubSession& session = *m_pSession;
    StartJob<client::CHubSession::SConnect>(
        m_jobs, [&session, nType, port] { return session.Connect(nType, port); },
        [this](client::CHubSession::SConnect r) {
            // The window takes input again here, so the message box does too.
            if (r.nSession != 0) m_sessions.push_back(r.nSession);
            m_nOpenResult = r.nOpen;
            if (r.nResult != 0) {
                std::u16string strText = u"Cannot open port! Please check printer and cable.";
                const std::u16string strCause = m_host.fnOpenFailureCause
                                                    ? m_host.fnOpenFailureCause(m_nInterface, m_strPortText, r.nResult)
                                                    : std::u16string();
                if (!strCause.empty()) strText += u"\n" + strCause;
                Message(strText, EMsgIcon::Warning);
            } else {
                SetText(kModel, ModelLabelText(ShownText(r.strModel)));
                SetText(kVersion, ShownText(r.strFirmware));
                Message(u"Success open port.", EMsgIcon::Information);
                UpdateControls(true);
            }
        });
}

void CLumaroLogic::OnDisconnect() {
    if (IsBusy() || !m_bConnected) return;
    const int32_t nHandle = m_pSession->Handle();
    client::CHubSession& session = *m_pSession;
    StartJob<int32_t>(
        m_jobs, [&session, nHandle] { return session.CloseSession(nHandle); },
        [this, nHandle](int32_t) {
            std::erase(m_sessions, nHandle);
            UpdateControls(false);
            SetText(kModel, {});
            SetText(kVersion, {});
        });
}

void CLumaroLogic::OnSettings(int nButton) {
    if (IsBusy() || !m_bConnected) return;
    auto it = m_factories.find(nButton);
    m_pPage = it != m_factories.end() && it->second ? it->second(SPageContext{*m_pSession, m_jobs}) : nullptr;
    if (!m_pPage) {
        Message(u"This settings dialog is not available in this build.", EMsgIcon::Information);
        return;
    }
    if (!View().PrepareChild(*m_pPage)) {
        // Without its window the page has nowhere to show what it reads.
        Message(Arg(u"The %1 window could not be opened, so the hub was not read.", m_pPage->Desc().strTitle),
                EMsgIcon::Warning);
        m_pPage.reset();
        CloseIfRequested();
        return;
    }
    // The custom device page is shown at once, without the pop-up; it reads
    // what it needs itself.
    if (nButton != kCustomDeviceSettings) m_progress.Begin(View());
    m_bPageReading = true;
    m_pPage->ReadFromHub([this](bool bRead) {
        m_bPageReading = false;
        m_bPageRead = bRead;
        // Shown from the event loop, once the page's own handler has returned
        // (its job has ended, so the page's own jobs can start).
        View().StartTimer(kOpenPageTimer, 0);
    });
}

void CLumaroLogic::OnTimer(int nTimerId) {
    if (nTimerId != kOpenPageTimer) return;
    View().StopTimer(kOpenPageTimer);
    OpenPage();
}

void CLumaroLogic::OpenPage() {
    m_progress.End();
    if (m_pPage && m_bPageRead && !m_closeResult)
        View().RunModal(*m_pPage);
    else if (m_pPage)
        View().ReleaseChild(*m_pPage);
    m_pPage.reset();
    CloseIfRequested();
}

void CLumaroLogic::OnFindHubs() {
    if (IsBusy() || m_bConnected || !m_api.IsBound()) return;
    ControlsToMembers();
    CFindHubsLogic find(m_api, m_jobs, m_host.fnSearchRanges ? m_host.fnSearchRanges() : std::u16string(),
                        static_cast<uint16_t>(m_nTcpPort));
    m_bFinding = true;
    const bool bUse = View().RunModal(find) == kAccepted;
    m_bFinding = false;
    if (const auto chosen = find.Chosen(); bUse && chosen) {
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

void CLumaroLogic::OnDevices() {
    if (IsBusy() || !m_bConnected) return;
    // The watch is lent this window's session; this window takes no input
    // while it runs, so no other call reaches the session meanwhile.
    const std::string strPort = U16ToUtf8(m_strPortText);
    client::SHubAddress address{m_nInterface, strPort, m_nInterface == 16 ? std::string("USB") : strPort};
    CDevicesLogic devices(m_jobs, std::make_shared<CDeviceWatch>(m_api, m_pSession->Handle(), std::move(address)));
    m_bDevices = true;
    View().RunModal(devices);
    m_bDevices = false;
    CloseIfRequested();
}

void CLumaroLogic::OnJobEnded() {
    // A read whose chain ended without telling its outcome must not leave
    // the pop-up up.
    if (m_bPageReading && !m_jobs.IsBusy() && HasView()) {
        m_bPageReading = false;
        m_bPageRead = false;
        View().StartTimer(kOpenPageTimer, 0);
    }
    CloseIfRequested();
}

bool CLumaroLogic::IsBusy() const {
    return m_jobs.IsBusy() || m_pPage != nullptr || (m_pFiles != nullptr && m_pFiles->IsBusy()) || m_bFinding ||
           m_bDevices;
}

void CLumaroLogic::CloseIfRequested() {
    if (!m_closeResult || IsBusy()) return;
    const int nResult = *m_closeResult;
    m_closeResult.reset();
    Shutdown();
    if (HasView()) Close(nResult);
}

void CLumaroLogic::RequestClose(int nResult) {
    if (IsBusy() && !m_bShutDown) {
        m_closeResult = nResult;
        return;
    }
    Shutdown();
    if (HasView()) Close(nResult);
}

bool CLumaroLogic::OnCloseRequest() {
    if (IsBusy() && !m_bShutDown) {
        m_closeResult = kRejected;
        return false;
    }
    Shutdown();
    return true;
}

void CLumaroLogic::Shutdown() {
    if (m_bShutDown) return;
    m_bShutDown = true;
    m_progress.End();
    // The end of the program: no event loop will deliver a running job's
    // result, so wait for its call to return before anything goes.
    const bool bIdle = m_jobs.WaitForJob(m_nExitWait);
    // The session's poll thread and the port's reader call into the
    // libraries: close the sessions on the library thread before anything
    // goes, the connected one first. Stop runs that job before the thread ends.
    bool bClosed = true;
    if (bIdle && m_api.IsBound() && !m_sessions.empty()) {
        std::vector<int32_t> sessions = m_sessions;
        if (m_bConnected) {
            std::erase(sessions, m_pSession->Handle());
            sessions.insert(sessions.begin(), m_pSession->Handle());
        }
        client::CHubSession& session = *m_pSession;
        bClosed = m_jobs.StartJob(
            [&session, sessions] {
                for (int32_t nHandle : sessions) session.CloseSession(nHandle);
            },
            {});
        m_sessions.clear();
    }
    m_bConnected = false;
    const bool bStopped = m_jobs.Stop(m_nExitWait);
    if (bStopped && bIdle && bClosed && m_api.IsBound()) {
        m_api.Unload();
        m_bUnloaded = true;
    }
}

}  // namespace vexal::utility
