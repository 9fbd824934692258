// The settings pages rendered by the Win32 renderer against the simulator,
// driven by control identifier with window messages: what a page shows is
// the hub's state, a change and SET reaches the hub with the right bytes, a
// refused value shows its message and sends nothing.
#include <gtest/gtest.h>

#include "client/CfgEntryPoints.h"
#include "HubSimFixture.h"
#include "UtilityWin32Support.h"
#include "client/CfgLibrary.h"
#include "client/HubSession.h"
#include "platform/DynLib.h"
#include "utility/logic/LumaroLogic.h"
#include "utility/logic/PageLogic.h"
#include "utility/logic/Text.h"

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <thread>

namespace vexal::utility::win32::test {
namespace {

std::string Control(CHubSimFixture& hub, const std::string& strLine) {
    const std::string strAnswer = hub.Control(strLine);
    EXPECT_EQ(strAnswer.rfind("OK", 0), 0u) << strLine << " -> " << strAnswer;
    return strAnswer.size() > 3 ? strAnswer.substr(3) : std::string();
}

const char kPowerCycle[] = "Please, turn off the printer and turn on the printer";

class CPageWin32Test : public ::testing::Test {
protected:
    void SetUp() override {
        InitControls();
        m_pHub = std::make_unique<CHubSimFixture>();
        ASSERT_TRUE(m_api.Load("ZamoCfg")) << m_api.LastError();
        const std::u16string strPort = Utf8ToU16("127.0.0.1:" + std::to_string(m_pHub->Port()));
        client::CCfgLibrary& api = m_api;
        int32_t& nHandle = m_nHandle;
        bool bDone = false;
        int32_t nResult = -1;
        ASSERT_TRUE(m_jobs.Start<int32_t>(
            [&api, &nHandle, strPort] {
                nHandle = api.Fn().m_pfn_selectInterface(2, strPort.c_str());
                api.Fn().m_pfn_selectCommandMode(nHandle, 0);
                api.Fn().m_pfn_openService(nHandle);
                return api.Fn().m_pfn_getResult(nHandle);
            },
            [&](int32_t n) {
                nResult = n;
                bDone = true;
            }));
        ASSERT_TRUE(PumpUntil([&] { return bDone; }, 10000));
        ASSERT_EQ(nResult, 0);
    }
    void TearDown() override {
        m_pView.reset();
        m_pPage.reset();
        client::CCfgLibrary& api = m_api;
        bool bDone = false;
        if (api.IsBound() && m_nHandle != 0 &&
            m_jobs.StartJob([&api, nHandle = m_nHandle] { api.Fn().m_pfn_closeService(nHandle, 0); },
                            [&] { bDone = true; }))
            PumpUntil([&] { return bDone; }, 10000);
        EXPECT_TRUE(m_jobs.Stop());
    }

    // Makes the page, fills it while hidden and shows it, as the main window
    // does; false when the read failed.
    bool Open(PageFactory fnFactory) {
        m_pView.reset();
        m_session.Attach(m_nHandle);
        m_pPage = fnFactory(SPageContext{m_session, m_jobs});
        m_pView = std::make_unique<CWin32Dialog>(*m_pPage, nullptr);
        if (!m_pView->CreateModeless(nullptr, false)) return false;
        std::optional<bool> read;
        m_pPage->ReadFromHub([&read](bool b) { read = b; });
        if (!PumpUntil([&] { return read.has_value(); }, 10000) || !*read) return false;
        ShowWindow(Hwnd(), SW_SHOW);
        return true;
    }
    HWND Hwnd() const { return m_pView->Handle(); }
    IDialogView& View() const { return *m_pView; }
    // A user's click; returns once the job it started (if any) has shown its outcome.
    void ClickAndWait(int nId) {
        Click(Hwnd(), nId);
        Settle();
    }
    void Settle() {
        PumpUntil([this] { return !m_jobs.IsBusy(); }, 10000);
        PumpFor(30);
    }
    std::string Control(const std::string& strLine) { return test::Control(*m_pHub, strLine); }
    std::vector<std::string> WaitReceived(size_t nAtLeast) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        for (;;) {
            std::vector<std::string> payloads;
            std::istringstream words(Control("RX 0"));
            std::string strWord;
            while (words >> strWord) payloads.push_back(strWord);
            if (payloads.size() >= nAtLeast || std::chrono::steady_clock::now() >= deadline) return payloads;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    // Plugs a device on the hub and waits (at most 5 s) until the library's
    // device list shows it.
    void Plug(int nId) {
        Control("PLUG " + std::to_string(nId) + " serial");
        client::CCfgLibrary& api = m_api;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        bool bPresent = false;
        while (!bPresent && std::chrono::steady_clock::now() < deadline) {
            std::optional<bool> present;
            m_jobs.Start<bool>(
                [&api, nHandle = m_nHandle, nId] {
                    uint8_t ids[256] = {};
                    int32_t nCount = 0;
                    api.Fn().m_pfn_getDevIdList(nHandle, ids, &nCount);
                    const int n = std::clamp(nCount, 0, 256);
                    return std::find(ids, ids + n, static_cast<uint8_t>(nId)) != ids + n;
                },
                [&present](bool b) { present = b; });
            PumpUntil([&] { return present.has_value(); }, 5000);
            bPresent = present.value_or(false);
            if (!bPresent) PumpFor(20);
        }
        EXPECT_TRUE(bPresent) << "device " << nId << " never appeared";
    }

    CRecordedHooks m_hooks;
    std::unique_ptr<CHubSimFixture> m_pHub;
    client::CCfgLibrary m_api;
    int32_t m_nHandle = 0;  // the session SetUp opened
    client::CHubSession m_session{m_api};
    CWin32UiQueue m_ui;
    CLibraryJobs m_jobs{m_ui};
    std::unique_ptr<CPageLogic> m_pPage;
    std::unique_ptr<CWin32Dialog> m_pView;
};

TEST_F(CPageWin32Test, LanShowsTheHubAndSetSendsTheBlockWithAddressesTyped) {
    constexpr int kMac = 1073, kDhcpEnable = 1057, kDhcpDisable = 1058, kIp = 1061, kMask = 1062, kGateway = 1063,
                  kDns = 1064, kSet = 1037;
    Control("SET lan.dhcp 0");
    ASSERT_TRUE(Open(MakeLanPage));
    EXPECT_EQ(U8(View().GetText(kMac)), "00:1b:5f:40:12:7a");
    EXPECT_FALSE(View().IsEnabled(kMac));
    EXPECT_TRUE(View().IsChecked(kDhcpDisable));
    EXPECT_EQ(View().GetIpv4(kMask), (Ipv4Octets{255, 255, 255, 0}));
    for (int nId : {kIp, kMask, kGateway, kDns}) EXPECT_TRUE(View().IsEnabled(nId)) << nId;
    TypeIpv4(Hwnd(), kIp, 10, 0, 0, 5);
    TypeIpv4(Hwnd(), kDns, 8, 8, 4, 4);
    Click(Hwnd(), kDhcpEnable);
    for (int nId : {kIp, kMask, kGateway, kDns}) EXPECT_FALSE(View().IsEnabled(nId)) << nId;
    Control("RX CLEAR");
    ClickAndWait(kSet);
    EXPECT_EQ(WaitReceived(1), std::vector<std::string>{"25"
                                                        "001B5F40127A"
                                                        "0A000005"
                                                        "FFFFFF00"
                                                        "C0A80001"
                                                        "08080404"
                                                        "01"
                                                        "00000000000000"});
    EXPECT_EQ(m_hooks.Texts(), (std::vector<std::string>{"Succeeded to configure network info.", kPowerCycle}));
    EXPECT_EQ(Control("GET lan.ip"), "10.0.0.5");
}

TEST_F(CPageWin32Test, BluetoothShowsTheHubRefusesShortValuesAndSendsTheWireOrder) {
    constexpr int kName = 1038, kEncryption = 1039, kPin = 1040, kMode = 1041, kAuto = 1043, kSet = 1037;
    ASSERT_TRUE(Open(MakeBluetoothPage));
    EXPECT_EQ(U8(View().GetText(kName)), "VexalHub");
    EXPECT_EQ(View().ComboIndex(kEncryption), 1);
    EXPECT_EQ(View().ComboIndex(kAuto), 1);
    Control("RX CLEAR");
    Type(Hwnd(), kPin, u"123");
    Type(Hwnd(), kName, u"");
    ClickAndWait(kSet);
    EXPECT_EQ(m_hooks.Texts(), std::vector<std::string>{"Device Name : Minimum length is 1"});
    EXPECT_EQ(U8(View().GetText(kName)), "VexalHub");
    m_hooks.messages.clear();
    ClickAndWait(kSet);
    EXPECT_EQ(m_hooks.Texts(), std::vector<std::string>{"PIN Code : Minimum length is 4"});
    EXPECT_EQ(Control("RX 0"), "");

    m_hooks.messages.clear();
    Type(Hwnd(), kName, u"Caf\u00E9\u20AC");
    Type(Hwnd(), kPin, u"1234");
    Pick(Hwnd(), kMode, 2);
    Pick(Hwnd(), kEncryption, 0);
    Pick(Hwnd(), kAuto, 0);
    ClickAndWait(kSet);
    EXPECT_EQ(WaitReceived(2), (std::vector<std::string>{"5900", "14003033313233340D436166E9800D"}));
    EXPECT_EQ(m_hooks.Texts(),
              (std::vector<std::string>{"Set serial communication status is successful", kPowerCycle}));
}

TEST_F(CPageWin32Test, NetProtocolSendsOnlyChangedValuesInOrder) {
    constexpr int kTelnetDisable = 1034, kTelnetEnable = 1035, kSnmpDisable = 1074, kSnmpEnable = 1075,
                  kReadOnly = 1078, kReadWrite = 1079, kSet = 1077;
    ASSERT_TRUE(Open(MakeNetProtocolPage));
    EXPECT_TRUE(View().IsChecked(kTelnetEnable));
    EXPECT_TRUE(View().IsChecked(kSnmpDisable));
    EXPECT_FALSE(View().IsEnabled(kReadOnly));
    EXPECT_EQ(U8(View().GetText(kReadOnly)), "public");
    Click(Hwnd(), kSnmpEnable);
    EXPECT_TRUE(View().IsEnabled(kReadWrite));
    Type(Hwnd(), kReadWrite, u"secret");
    Click(Hwnd(), kTelnetDisable);
    Control("RX CLEAR");
    ClickAndWait(kSet);
    EXPECT_EQ(WaitReceived(3), (std::vector<std::string>{"D100", "D301", "D7736563726574"}));
    EXPECT_EQ(m_hooks.Texts(), std::vector<std::string>{"Succeeded to configure web interface info."});
    EXPECT_EQ(Control("GET telnet"), "0");
}

TEST_F(CPageWin32Test, InterfaceUsageRefusalByTheHubRevertsTheRows) {
    constexpr int kUsbDisable = 1034, kBtDisable = 1036, kBtEnable = 1037, kLanDisable = 1038, kWlanDisable = 1040,
                  kWlanEnable = 1041, kSet = 1077;
    Control("SET interfaces.lan 0");
    ASSERT_TRUE(Open(MakeInterfaceUsagePage));
    EXPECT_FALSE(View().IsShown(kUsbDisable));
    EXPECT_TRUE(View().IsChecked(kBtEnable));
    EXPECT_TRUE(View().IsChecked(kLanDisable));
    EXPECT_TRUE(View().IsChecked(kWlanEnable));
    // Everything off would leave the hub unreachable: the hub refuses.
    Click(Hwnd(), kBtDisable);
    Click(Hwnd(), kWlanDisable);
    Control("RX CLEAR");
    ClickAndWait(kSet);
    EXPECT_EQ(WaitReceived(2), (std::vector<std::string>{"0F010002000300", "0E"}));
    EXPECT_EQ(m_hooks.Texts(), std::vector<std::string>{"Failed to set interface usage. Impossiable All Block."});
    EXPECT_TRUE(View().IsChecked(kBtEnable));
    EXPECT_TRUE(View().IsChecked(kWlanEnable));
    m_hooks.messages.clear();
    Click(Hwnd(), kBtDisable);
    Control("RX CLEAR");
    ClickAndWait(kSet);
    EXPECT_EQ(WaitReceived(1), std::vector<std::string>{"0F010002000301"});
    EXPECT_EQ(m_hooks.Texts(), std::vector<std::string>{kPowerCycle});
    EXPECT_EQ(Control("GET interfaces.bluetooth"), "0");
}

TEST_F(CPageWin32Test, WlanRefusesBadKeysAndSendsAValidOne) {
    constexpr int kSsid = 1059, kAuthentication = 1064, kCipher = 1065, kWepKey = 1067, kPsk = 1068, kSet = 1037;
    ASSERT_TRUE(Open(MakeWlanPage));  // WPA2-PSK, AES
    EXPECT_EQ(U8(View().GetText(kSsid)), "ShopFloor");
    EXPECT_EQ(U8(View().GetText(kPsk)), "vexal-demo-key");
    Control("RX CLEAR");
    Type(Hwnd(), kPsk, u"short12");
    ClickAndWait(kSet);
    Type(Hwnd(), kSsid, u"");
    ClickAndWait(kSet);
    Type(Hwnd(), kSsid, u"Lab");
    Pick(Hwnd(), kAuthentication, 0);
    Pick(Hwnd(), kCipher, 1);
    Type(Hwnd(), kWepKey, u"123456");
    ClickAndWait(kSet);
    EXPECT_EQ(m_hooks.Texts(), (std::vector<std::string>{"PSK Key : Minimum length is 8", "SSID : Minimum length is 1",
                                                         "WEP key is invalid.\nWEP key must be 5 or 13 characters."}));
    EXPECT_EQ(Control("RX 0"), "");
    Type(Hwnd(), kWepKey, u"1234567890123");
    ClickAndWait(kSet);
    const auto sent = WaitReceived(1);
    ASSERT_EQ(sent.size(), 1u);
    // Block bytes 97.. as the hub got them: the cipher, the key index and the key.
    EXPECT_EQ(sent[0].substr(2 * (2 + 97 - 18), 2 * 2), "0001");
    EXPECT_EQ(Control("GET wlan.ssid"), "Lab");
}

TEST_F(CPageWin32Test, UsbToSerialListsOnlyAdaptersAndSendsTheChosenValues) {
    constexpr int kDevice = 1047, kBaud = 1043, kData = 1044, kStop = 1045, kParity = 1046, kSet = 1037;
    Plug(99);
    Plug(129);
    Plug(130);
    Control("SET serial.100 [2,1,0,0]");
    ASSERT_TRUE(Open(MakeUsbToSerialPage));
    std::vector<std::string> devices;
    for (int i = 0; i < View().ComboCount(kDevice); ++i) devices.push_back(U8(View().ComboItemText(kDevice, i)));
    EXPECT_EQ(devices, (std::vector<std::string>{"64", "65", "81"}));
    EXPECT_EQ(U8(View().GetText(kBaud)), "9600");
    EXPECT_EQ(U8(View().GetText(kStop)), "1 Stop Bit");
    Pick(Hwnd(), kBaud, 6);
    Pick(Hwnd(), kData, 0);
    Pick(Hwnd(), kStop, 1);
    Pick(Hwnd(), kParity, 2);
    Control("RX CLEAR");
    ClickAndWait(kSet);
    EXPECT_EQ(WaitReceived(1), std::vector<std::string>{"026406000102"});
    EXPECT_EQ(m_hooks.Texts(), (std::vector<std::string>{"Success to configure Serial info.", kPowerCycle}));
    EXPECT_EQ(Control("GET serial.100"), "[6,0,1,2]");
    // Another adapter chosen: it is read.
    Control("RX CLEAR");
    Pick(Hwnd(), kDevice, 2);
    Settle();
    EXPECT_EQ(WaitReceived(2).back(), "0381");
}

TEST_F(CPageWin32Test, CustomDeviceAddsListsPicksAndDeletesAnEntry) {
    constexpr int kView = 1066, kListType = 1067, kList = 1068, kVid = 1069, kPid = 1070, kType = 1071, kAdd = 1072,
                  kDelete = 1073;
    ASSERT_TRUE(Open(MakeCustomDevicePage));
    Type(Hwnd(), kVid, u"1a2B");
    Type(Hwnd(), kPid, u"00FF");
    Pick(Hwnd(), kType, 3);
    Control("RX CLEAR");
    ClickAndWait(kAdd);
    EXPECT_EQ(WaitReceived(1), std::vector<std::string>{"41031A2B00FF"});
    EXPECT_EQ(m_hooks.Texts(), (std::vector<std::string>{"Add custom device success", kPowerCycle}));
    // Not four hexadecimal digits: refused before anything is sent.
    Control("RX CLEAR");
    m_hooks.messages.clear();
    Type(Hwnd(), kVid, u"12G4");
    ClickAndWait(kAdd);
    Type(Hwnd(), kVid, u"123");
    ClickAndWait(kDelete);
    EXPECT_EQ(m_hooks.Texts(),
              (std::vector<std::string>{"The VID/PID is not hexadecimal.", "The VID/PID length is invalid."}));
    EXPECT_EQ(Control("RX 0"), "");

    PickListBoxRow(Hwnd(), kView, 0);
    Settle();
    EXPECT_TRUE(View().IsEnabled(kListType));
    Pick(Hwnd(), kType, 0);
    PickListBoxRow(Hwnd(), kListType, 3);
    Settle();
    EXPECT_EQ(WaitReceived(1), std::vector<std::string>{"4003"});
    ASSERT_EQ(View().ListRowCount(kList), 1);
    EXPECT_EQ(U8(View().ListCell(kList, 0, 2)), "1a2b");
    EXPECT_EQ(U8(View().ListCell(kList, 0, 4)), "Barcode Scanner");
    Pick(Hwnd(), kType, 0);
    SelectRow(Hwnd(), kList, 0);
    Settle();
    EXPECT_EQ(View().ComboIndex(kType), 3);
    EXPECT_EQ(U8(View().GetText(kPid)), "00ff");
    Control("RX CLEAR");
    m_hooks.messages.clear();
    ClickAndWait(kDelete);
    EXPECT_EQ(WaitReceived(1), std::vector<std::string>{"42031A2B00FF"});
    EXPECT_EQ(m_hooks.Texts(), (std::vector<std::string>{"Delete custom device success", kPowerCycle}));
    EXPECT_EQ(Control("GET custom_devices.types.3"), "[]");
}

}  // namespace
}  // namespace vexal::utility::win32::test

namespace vexal::utility::win32::test {
namespace {

TEST(CMainWindowWin32Test, ConnectsOpensThePageFilledSavesAndClosesEverySession) {
    InitControls();
    CRecordedHooks hooks;
    CHubSimFixture hub;
    Control(hub, "SET lan.dhcp 0");
    CWin32UiQueue ui;
    CLibraryJobs jobs(ui);
    SUtilityOptions options;
    options.nInterface = 2;
    options.address = Ipv4Octets{127, 0, 0, 1};
    options.nTcpPort = hub.Port();
    options.bConnect = true;
    CLumaroLogic logic(options, jobs, DefaultLumaroHost());
    logic.SetPageFactory(main_ids::kLanSettings, MakeLanPage);
    CWin32Dialog window(logic, nullptr);
    ASSERT_TRUE(window.CreateModeless(nullptr, true));
    ASSERT_TRUE(logic.Start());
    ASSERT_TRUE(PumpUntil([&] { return logic.IsConnected() && !jobs.IsBusy(); }, 15000));
    EXPECT_EQ(U8(window.GetText(main_ids::kModel)), "X-H400_VXL");

    // The page shows with what the hub holds; its Close ends its run.
    HWND hPage = nullptr;
    bool bShownFilled = false;
    CScript script({[&] {
                        hPage = FindWindowW(nullptr, L"LAN Configuration");
                        if (hPage == nullptr || !IsWindowVisible(hPage)) return false;
                        bShownFilled =
                            IsDlgButtonChecked(hPage, 1058) == BST_CHECKED && !IsWindowEnabled(window.Handle());
                        return true;
                    },
                    [&] {
                        Click(hPage, page_ids::kClose);
                        return true;
                    }});
    Click(window.Handle(), main_ids::kLanSettings);  // returns once the page's run has ended
    EXPECT_TRUE(PumpUntil([&] { return script.Done(); }, 10000));
    EXPECT_TRUE(bShownFilled);
    EXPECT_FALSE(IsWindow(hPage));
    EXPECT_TRUE(IsWindowEnabled(window.Handle()));

    // Save settings: the file chosen (through the hook) is written with the
    // hub's groups, behind the pop-up, from the library thread.
    wchar_t szTemp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, szTemp);
    const std::wstring strFile = std::wstring(szTemp) + L"vexal-win32-save.json";
    DeleteFileW(strFile.c_str());
    hooks.chosenFile = U8(std::u16string(strFile.begin(), strFile.end()));
    hooks.messages.clear();
    Click(window.Handle(), main_ids::kSaveSettings);
    EXPECT_TRUE(PumpUntil([&] { return !logic.IsBusy() && !hooks.messages.empty(); }, 15000));
    ASSERT_EQ(hooks.fileChoices.size(), 1u);
    EXPECT_EQ(hooks.fileChoices[0].eAction, EFileAction::Save);
    EXPECT_EQ(hooks.fileChoices[0].strSuffix, u"json");
    const HANDLE hFile =
        CreateFileW(strFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hFile, INVALID_HANDLE_VALUE) << (hooks.messages.empty() ? "" : hooks.messages[0].strText);
    std::string strText(1 << 16, '\0');
    DWORD nRead = 0;
    ReadFile(hFile, strText.data(), static_cast<DWORD>(strText.size()), &nRead, nullptr);
    CloseHandle(hFile);
    strText.resize(nRead);
    EXPECT_NE(strText.find("\"lan\""), std::string::npos) << strText.substr(0, 200);
    EXPECT_NE(strText.find("00:1b:5f:40:12:7a"), std::string::npos);
    DeleteFileW(strFile.c_str());

    Click(window.Handle(), main_ids::kExit);
    EXPECT_TRUE(PumpUntil([&] { return logic.IsShutDown(); }, 10000));
    EXPECT_TRUE(logic.LibraryUnloaded());
}

// The program binds its library from its own folder, then System32, and
// nowhere else: not from a folder the process added to its DLL search, nor
// from the current directory (a DLL planted beside a document).
TEST(CMainWindowWin32Test, TheLibraryIsBoundFromTheProgramsFolderThenSystem32Only) {
    wchar_t szThis[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, szThis, MAX_PATH);
    const std::filesystem::path outDir = std::filesystem::path(szThis).parent_path();
    wchar_t szTemp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, szTemp);
    const std::filesystem::path elsewhere = std::filesystem::path(szTemp) / L"vexal-elsewhere";
    std::filesystem::create_directories(elsewhere);
    std::filesystem::copy_file(outDir / L"ZamoCfg.dll", elsewhere / L"VexalElsewhere.dll",
                               std::filesystem::copy_options::overwrite_existing);
    const DLL_DIRECTORY_COOKIE cookie = AddDllDirectory(elsewhere.wstring().c_str());
    ASSERT_NE(cookie, nullptr);
    wchar_t szOld[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, szOld);
    ASSERT_TRUE(SetCurrentDirectoryW(elsewhere.wstring().c_str()));

    client::CCfgLibrary api;
    EXPECT_FALSE(api.Load("VexalElsewhere")) << "bound from a folder other than the program's";
    EXPECT_NE(api.LastError().find("VexalElsewhere.dll"), std::string::npos) << api.LastError();
    EXPECT_TRUE(api.Load("ZamoCfg")) << api.LastError();
    api.Unload();
    // System32 is the one other place a name is looked for.
    static const int s_anchor = 0;
    platform::CDynLib system;
    EXPECT_TRUE(system.Load("version", &s_anchor)) << system.LastError();
    system.Unload();

    SetCurrentDirectoryW(szOld);
    RemoveDllDirectory(cookie);
    std::error_code error;
    std::filesystem::remove_all(elsewhere, error);
}

}  // namespace
}  // namespace vexal::utility::win32::test
