// The main window (dialog 102, "Vexal Utility"): how to reach the hub,
// connect and disconnect, the hub's model and version, and the seven
// settings buttons; beside them "Find hubs…", "Save settings…" and "Load
// settings…". Every library call runs on the library worker.
#pragma once
#include "client/CfgApiTable.h"
#include "utility/DialogBase.h"
#include "utility/LibraryWorker.h"
#include "utility/logic/ProgressLogic.h"
#include "utility/SettingsFiles.h"
#include "utility/SettingsPage.h"
#include "utility/UtilityOptions.h"

#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace vexal::utility {

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
inline constexpr int kSettingsButtons[] = {kBluetoothSettings, kWlanSettings, kLanSettings, kUsageSettings,
                                           kSerialSettings, kCustomDeviceSettings, kNetProtocolSettings};
}  // namespace main_ids

class CLumaroDlg final : public CDialogBase {
    Q_OBJECT
public:
    using PageFactory = std::function<std::unique_ptr<CSettingsPage>(const SQtPageContext&, QWidget*)>;

    static constexpr int kDialogId = 102;

    CLumaroDlg(IDialogServices& services, const SUtilityOptions& options, QWidget* pParent = nullptr);
    ~CLumaroDlg() override;

    // Start-up: binds the library (a failure is reported and leaves only
    // "E X I T"), fills the serial list, applies the options; connects when
    // asked to. False when the library could not be bound.
    bool Start();

    // The one way out (E X I T, close button, Escape, end of the program):
    // waits for the running job, closes every session, stops the worker,
    // unloads the library only when none of its threads can run. A close
    // asked for while a job runs (done) waits for the job's end instead,
    // from the event loop; Shutdown itself, for the end of the program,
    // waits for the job's call to return (its result is dropped).
    bool Shutdown();

    // A job runs or a page is being read or shown.
    bool IsBusy() const override;

    bool IsConnected() const { return m_bConnected; }
    int InterfaceType() const { return m_nInterface; }
    const QString& PortText() const { return m_strPortText; }
    client::CfgApiTable& Api() { return m_api; }
    CLibraryWorker& Worker() { return m_worker; }
    CProgressLogic& Progress() { return m_progress; }
    bool LibraryUnloaded() const { return m_bUnloaded; }

    // The page a settings button opens (the factories of SettingsPages.h by
    // default; tests put in their own).
    void SetPageFactory(int nButton, PageFactory fnFactory) { m_factories[nButton] = std::move(fnFactory); }
    // What "Find hubs…" offers to search: the PC's own networks by default
    // (tests put in loopback ranges).
    void SetSearchRanges(std::function<QString()> fnRanges) { m_fnSearchRanges = std::move(fnRanges); }

    void done(int nResult) override;

private:
    void BuildControls();
    void OnInterface(int nType);
    void OnConnect();
    void OnDisconnect();
    void OnSettings(int nButton);
    void OnFindHubs();
    void OpenPage(bool bRead);
    void OnJobEnded();
    void UpdateControls(bool bConnected);
    void ControlsToMembers();
    void CloseIfRequested();
    QString LikelyOpenFailureCause(int32_t nResult) const;

    SUtilityOptions m_options;
    std::map<int, PageFactory> m_factories;
    std::function<QString()> m_fnSearchRanges;
    client::CfgApiTable m_api;
    CLibraryWorker m_worker;
    CProgressLogic m_progress;  // ended in Shutdown, before its window goes
    std::unique_ptr<CSettingsFiles> m_pFiles;
    std::unique_ptr<class CFindHubsDlg> m_pFind;  // while "Find hubs…" is up
    int m_nInterface = 16;
    Ipv4Octets m_address{192, 168, 0, 17};
    int m_nTcpPort = kDefaultTcpPort;
    QString m_strPortText;
    int32_t m_nOpenResult = 0;
    // Sessions selectInterface gave and no closeService has released yet
    // (failed connects included): the way out closes them all, so the library
    // is never unloaded under a registered session.
    std::vector<int32_t> m_sessions;
    // The page being read, then shown (one at a time).
    std::unique_ptr<CSettingsPage> m_pPage;
    bool m_bPageReading = false;
    bool m_bConnected = false;
    bool m_bCloseRequested = false;
    int m_nCloseResult = QDialog::Rejected;
    bool m_bShutDown = false;
    bool m_bUnloaded = false;
};

}  // namespace vexal::utility
