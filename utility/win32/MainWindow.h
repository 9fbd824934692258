// The Windows program's main window (dialog 102) until the shared main
// window logic serves both programs: how to reach the hub, connect and
// disconnect, the hub's model and version, and the settings pages, each read
// behind the progress pop-up and then run modally. Every library call runs
// on the library thread.
#pragma once
#include "client/CfgApiTable.h"
#include "utility/logic/PageLogic.h"
#include "utility/logic/ProgressLogic.h"
#include "utility/win32/CommandLine.h"
#include "utility/win32/Win32Dialog.h"

#include <map>
#include <memory>
#include <vector>

namespace vexal::utility::win32 {

namespace main_ids {
inline constexpr int kUsb = 1002, kBluetooth = 1035, kEthernet = 1435;
inline constexpr int kSerialList = 1021, kAddress = 1316, kTcpPort = 1436;
inline constexpr int kConnect = 1003, kDisconnect = 1022;
inline constexpr int kModel = 1079, kVersion = 1080;
inline constexpr int kBluetoothSettings = 1009, kWlanSettings = 1010, kLanSettings = 1014, kUsageSettings = 1016;
inline constexpr int kSerialSettings = 1011, kCustomDeviceSettings = 1012, kNetProtocolSettings = 1015;
inline constexpr int kExit = 1033, kCaption = 1013;
}  // namespace main_ids

class CMainWindowLogic final : public CDialogLogic {
public:
    CMainWindowLogic(const SProgramOptions& options, client::CfgApiTable& api, CLibraryJobs& jobs,
                     const std::u16string& strVersion);
    ~CMainWindowLogic() override;

    const SDialogSpec& Spec() const override;
    // The window this logic is rendered in (pages are filled in windows
    // owned by it before they are shown).
    void SetWindow(CWin32Dialog* pWindow) { m_pWindow = pWindow; }
    // Binds the library (a failure is told and leaves only E X I T) and
    // connects when the command line asked.
    void OnInit() override;
    void OnClicked(int nId) override;
    bool OnCloseRequest() override;
    bool IsBusy() const override;

    // The way out: waits for the running job (at most nWait), closes every
    // session, stops the library thread. False when a call did not return:
    // the library must then stay loaded.
    bool Shutdown();
    bool IsConnected() const { return m_bConnected; }

private:
    void UpdateControls(bool bConnected);
    void OnConnect();
    void OnDisconnect();
    void OnSettings(int nButton);
    void OpenPage(bool bRead);
    void CloseIfRequested();

    SProgramOptions m_options;
    client::CfgApiTable& m_api;
    CLibraryJobs& m_jobs;
    std::u16string m_strVersion;
    CWin32Dialog* m_pWindow = nullptr;
    CProgressLogic m_progress;
    int m_nInterface = 16;
    std::vector<int32_t> m_sessions;  // every handle selectInterface gave and no closeService released
    std::unique_ptr<CPageLogic> m_pPage;
    std::unique_ptr<CWin32Dialog> m_pPageWindow;
    bool m_bConnected = false;
    bool m_bCloseRequested = false;
    bool m_bShutDown = false;
};

}  // namespace vexal::utility::win32
