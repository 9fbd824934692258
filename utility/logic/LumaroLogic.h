// The main window (dialog 102, "Vexal Utility") as logic, for the Qt and the
// Win32 program: binding the configuration library by name, how to reach the
// hub, connect and disconnect, the hub's model and version, the seven
// settings pages behind the progress pop-up, "Devices…", "Find hubs…", "Save
// settings…", "Load settings…", and the one way out. Every library call runs as a job of
// the library thread; nothing here waits for one, except Shutdown at the
// end of the program.
//
//   CLumaroLogic logic(options, jobs, DefaultLumaroHost());
//   logic.SetPageFactory(main_ids::kLanSettings, MakeLanPage);  // one per settings button
//   ... the renderer shows the window (OnInit) ...
//   logic.Start();                                               // binds the library, connects if asked
#pragma once
#include "client/CfgLibrary.h"
#include "utility/logic/DialogLogic.h"
#include "utility/logic/PageLogic.h"
#include "utility/logic/ProgressLogic.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vexal::client {
class CHubSession;
}

namespace vexal::utility {

class CSettingsFilesLogic;

// Control identifiers of dialog 102.
namespace main_ids {
inline constexpr int kUsb = 1002, kBluetooth = 1035, kEthernet = 1435;
inline constexpr int kSerialList = 1021, kAddress = 1316, kTcpPort = 1436;
inline constexpr int kConnect = 1003, kDisconnect = 1022;
inline constexpr int kModel = 1079, kVersion = 1080;
inline constexpr int kBluetoothSettings = 1009, kWlanSettings = 1010, kLanSettings = 1014, kUsageSettings = 1016;
inline constexpr int kSerialSettings = 1011, kCustomDeviceSettings = 1012, kNetProtocolSettings = 1015;
inline constexpr int kExit = 1033, kCaption = 1013;
// Beside the window's own controls: the search for hubs and settings files.
inline constexpr int kFindHubs = 1450, kSaveSettings = 1451, kLoadSettings = 1452;
// The devices behind the connected hub.
inline constexpr int kDevices = 1453;
inline constexpr int kSettingsButtons[] = {kBluetoothSettings,  kWlanSettings,   kLanSettings,
                                           kUsageSettings,      kSerialSettings, kCustomDeviceSettings,
                                           kNetProtocolSettings};
}  // namespace main_ids

inline constexpr int kDefaultTcpPort = 9100;

// What the command line chose (each front end parses its own).
struct SUtilityOptions {
    int nInterface = 16;                 // 16 USB, 2 Ethernet, 4 serial ("Bluetooth")
    std::optional<Ipv4Octets> address;   // --address
    std::optional<int> nTcpPort;         // --tcp-port
    std::optional<uint32_t> nSerial;     // --serial COM<n>
    bool bConnect = false;               // --connect
    std::string strLibrary = "ZamoCfg";  // the configuration library to bind (UTF-8)
    std::u16string strVersion;           // the program's version, for the caption at the bottom
};

// The serial list entries "COM1:" .. "COM<n>:" for the highest COM number
// present (0: none -> 40 entries).
std::vector<std::u16string> SerialPortEntries(uint32_t nHighest);
// The port text selectInterface gets: "a.b.c.d:port" (2), the entry without
// its ':' (4), empty for USB (16) and anything else.
std::u16string BuildPortText(int nInterface, const Ipv4Octets& address, int nTcpPort,
                             const std::u16string& strSerialEntry);
// The model label: the model text without its first character.
std::u16string ModelLabelText(const std::u16string& strModel);

// What the main window asks of the machine it runs on.
struct SLumaroHost {
    std::function<uint32_t()> fnHighestComNumber;    // 0: none found
    std::function<std::u16string()> fnSearchRanges;  // what "Find hubs…" offers to search
    // A likely cause of a failed connect for the message (empty: none known);
    // the causes of a missing device file are the platform's.
    std::function<std::u16string(int nInterface, const std::u16string& strPortText, int32_t nResult)>
        fnOpenFailureCause;
};
// The platform layer's answers: its serial ports, the PC's own networks,
// the library's USB failures.
SLumaroHost DefaultLumaroHost();

class CLumaroLogic final : public CDialogLogic {
public:
    static constexpr int kDialogId = 102;

    // jobs: the library thread, which this stops on the way out; it outlives this.
    CLumaroLogic(const SUtilityOptions& options, CLibraryJobs& jobs, SLumaroHost host);
    ~CLumaroLogic() override;  // Shutdown()

    const SDialogDesc& Desc() const override;
    // Initial values and the serial list; the library is not bound yet.
    void OnInit() override;
    void OnClicked(int nId) override;
    void OnTimer(int nTimerId) override;
    // Busy: the close happens once the job has ended.
    bool OnCloseRequest() override;
    // A job runs, or a page, a search or a settings file is under way.
    bool IsBusy() const override;

    // Start-up, once the window is shown: binds the library (a failure is
    // reported and leaves only "E X I T"); connects when asked to. False when
    // the library could not be bound.
    bool Start();
    // The one way out (E X I T, close button, Escape, end of the program):
    // waits for the running job, closes every session, stops the library
    // thread, unloads the library only when none of its threads can run.
    // Called while a job runs from a close request, the close waits for the
    // job's end instead; called directly (the end of the program), it waits
    // for the job's call to return (its result is dropped).
    void Shutdown();
    // E X I T: shuts down and closes the window with nResult, now or once
    // the job under way has ended.
    void RequestClose(int nResult);
    // How long the way out waits for a running library call, then for the
    // library thread, before leaving the call to run out (10 s; tests shorten it).
    void SetExitWait(std::chrono::milliseconds nWait) { m_nExitWait = nWait; }

    bool IsConnected() const { return m_bConnected; }
    int InterfaceType() const { return m_nInterface; }
    const std::u16string& PortText() const { return m_strPortText; }
    client::CCfgLibrary& Api() { return m_api; }
    // The session connect opens and the pages, files and devices use.
    client::CHubSession& Session() { return *m_pSession; }
    CProgressLogic& Progress() { return m_progress; }
    bool LibraryUnloaded() const { return m_bUnloaded; }
    bool IsShutDown() const { return m_bShutDown; }

    // The page a settings button opens; none: the user is told the page is
    // not available.
    void SetPageFactory(int nButton, PageFactory fnFactory) { m_factories[nButton] = std::move(fnFactory); }
    void SetSearchRanges(std::function<std::u16string()> fnRanges) { m_host.fnSearchRanges = std::move(fnRanges); }

private:
    void OnInterface(int nType);
    void OnConnect();
    void OnDisconnect();
    void OnSettings(int nButton);
    void OnFindHubs();
    void OnDevices();
    void OpenPage();
    void OnJobEnded();
    void UpdateControls(bool bConnected);
    void ControlsToMembers();
    void CloseIfRequested();

    SUtilityOptions m_options;
    CLibraryJobs& m_jobs;
    SLumaroHost m_host;
    std::map<int, PageFactory> m_factories;
    // Shared with the library thread: a call the way out leaves to run out
    // still finds the entry points it goes on with when it returns.
    std::shared_ptr<client::CCfgLibrary> m_pApi = std::make_shared<client::CCfgLibrary>();
    client::CCfgLibrary& m_api = *m_pApi;
    // The main window's way to the hub (connect, disconnect, the way out),
    // shared the same way.
    std::shared_ptr<client::CHubSession> m_pSession;
    CProgressLogic m_progress;
    std::unique_ptr<CSettingsFilesLogic> m_pFiles;  // made with the view, in OnInit
    int m_nInterface = 16;
    Ipv4Octets m_address{192, 168, 0, 17};
    int m_nTcpPort = kDefaultTcpPort;
    std::u16string m_strPortText;
    int32_t m_nOpenResult = 0;
    // Sessions selectInterface gave and no closeService has released yet
    // (failed connects included): the way out closes them all, so the library
    // is never unloaded under a registered session.
    std::vector<int32_t> m_sessions;
    // The page being read, then shown (one at a time).
    std::unique_ptr<CPageLogic> m_pPage;
    bool m_bPageReading = false;
    bool m_bPageRead = false;  // the outcome of the read, for OpenPage
    bool m_bFinding = false;
    bool m_bDevices = false;  // the Devices window is up
    bool m_bConnected = false;
    std::optional<int> m_closeResult;  // a close asked for while busy
    bool m_bShutDown = false;
    bool m_bUnloaded = false;
    std::optional<uint32_t> m_nSerialMissing;  // --serial named a port beyond the list
    std::chrono::milliseconds m_nExitWait = std::chrono::seconds(10);
};

}  // namespace vexal::utility
