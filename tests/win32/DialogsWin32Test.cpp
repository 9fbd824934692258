// The main window's own dialogs rendered by the Win32 renderer against
// simulators on 127.0.0.x, driven by control identifier with window
// messages: "Find hubs…" (148), "Load settings…" (149), "Devices…" (150)
// and the progress pop-up (147) while a slow page read runs.
#include <gtest/gtest.h>

#include "HubSimFixture.h"
#include "UtilityWin32Support.h"
#include "utility/logic/DevicesLogic.h"
#include "utility/logic/FindHubsLogic.h"
#include "utility/logic/LumaroLogic.h"
#include "utility/logic/PageLogic.h"
#include "utility/logic/ProgressLogic.h"
#include "utility/logic/RestoreLogic.h"
#include "utility/logic/Text.h"

#include <commctrl.h>

#include <map>
#include <set>
#include <string_view>

namespace vexal::utility::win32::test {
namespace {

std::string HubControl(CHubSimFixture& hub, const std::string& strLine) {
    const std::string strAnswer = hub.Control(strLine);
    EXPECT_EQ(strAnswer.rfind("OK", 0), 0u) << strLine << " -> " << strAnswer;
    return strAnswer.size() > 3 ? strAnswer.substr(3) : std::string();
}

std::string ItemText(HWND hDialog, int nId) {
    wchar_t szText[1024] = {};
    GetDlgItemTextW(hDialog, nId, szText, 1024);
    const std::wstring str(szText);
    return U8(std::u16string(str.begin(), str.end()));
}

// A list view as its first cell -> the other cells, read with its messages.
std::map<std::string, std::vector<std::string>> Rows(HWND hDialog, int nId) {
    const HWND hList = GetDlgItem(hDialog, nId);
    const HWND hHeader = reinterpret_cast<HWND>(SendMessageW(hList, LVM_GETHEADER, 0, 0));
    const int nColumns = static_cast<int>(SendMessageW(hHeader, HDM_GETITEMCOUNT, 0, 0));
    std::map<std::string, std::vector<std::string>> rows;
    const int nRows = static_cast<int>(SendMessageW(hList, LVM_GETITEMCOUNT, 0, 0));
    for (int r = 0; r < nRows; ++r) {
        std::vector<std::string> cells;
        for (int c = 0; c < nColumns; ++c) {
            wchar_t szText[1024] = {};
            LVITEMW item{};
            item.iSubItem = c;
            item.pszText = szText;
            item.cchTextMax = 1024;
            SendMessageW(hList, LVM_GETITEMTEXTW, static_cast<WPARAM>(r), reinterpret_cast<LPARAM>(&item));
            const std::wstring str(szText);
            cells.push_back(U8(std::u16string(str.begin(), str.end())));
        }
        const std::string strFirst = cells.front();
        cells.erase(cells.begin());
        rows[strFirst] = cells;
    }
    return rows;
}

int RowOf(HWND hDialog, int nId, const std::string& strFirst) {
    const HWND hList = GetDlgItem(hDialog, nId);
    const int nRows = static_cast<int>(SendMessageW(hList, LVM_GETITEMCOUNT, 0, 0));
    for (int r = 0; r < nRows; ++r) {
        wchar_t szText[256] = {};
        LVITEMW item{};
        item.pszText = szText;
        item.cchTextMax = 256;
        SendMessageW(hList, LVM_GETITEMTEXTW, static_cast<WPARAM>(r), reinterpret_cast<LPARAM>(&item));
        const std::wstring str(szText);
        if (U8(std::u16string(str.begin(), str.end())) == strFirst) return r;
    }
    return -1;
}

HWND ShownWindow(const wchar_t* pszTitle) {
    const HWND h = FindWindowW(nullptr, pszTitle);
    return h != nullptr && IsWindowVisible(h) ? h : nullptr;
}

std::wstring TempFile(const wchar_t* pszName) {
    wchar_t szTemp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, szTemp);
    return std::wstring(szTemp) + pszName;
}

std::string FileText(const std::wstring& strFile) {
    const HANDLE h = CreateFileW(strFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {};
    std::string strText(1 << 17, '\0');
    DWORD nRead = 0;
    ReadFile(h, strText.data(), static_cast<DWORD>(strText.size()), &nRead, nullptr);
    CloseHandle(h);
    strText.resize(nRead);
    return strText;
}

bool WriteFileText(const std::wstring& strFile, const std::string& strText) {
    const HANDLE h = CreateFileW(strFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD nWritten = 0;
    const bool bOk = WriteFile(h, strText.data(), static_cast<DWORD>(strText.size()), &nWritten, nullptr) &&
                     nWritten == strText.size();
    CloseHandle(h);
    return bOk;
}

std::string U8(const std::wstring& str) { return test::U8(std::u16string(str.begin(), str.end())); }

// The main window over the real library, on a hub's TCP port; connected
// to 127.0.0.1 when bConnect.
class CMainDialogsWin32Test : public ::testing::Test {
protected:
    void Open(uint16_t wPort, bool bConnect) {
        InitControls();
        SUtilityOptions options;
        options.nInterface = 2;
        options.address = Ipv4Octets{127, 0, 0, 1};
        options.nTcpPort = wPort;
        options.bConnect = bConnect;
        m_pLogic = std::make_unique<CLumaroLogic>(options, m_jobs, DefaultLumaroHost());
        m_pLogic->SetPageFactory(main_ids::kLanSettings, MakeLanPage);
        m_pWindow = std::make_unique<CWin32Dialog>(*m_pLogic, nullptr);
        ASSERT_TRUE(m_pWindow->CreateModeless(nullptr, true));
        ASSERT_TRUE(m_pLogic->Start());
        if (bConnect) {
            ASSERT_TRUE(PumpUntil([&] { return m_pLogic->IsConnected() && !m_jobs.IsBusy(); }, 15000));
        }
        m_hooks.messages.clear();
    }
    void TearDown() override {
        if (m_pWindow) {
            Click(Main(), main_ids::kExit);
            EXPECT_TRUE(PumpUntil([&] { return m_pLogic->IsShutDown(); }, 10000));
        }
        m_pWindow.reset();
        m_pLogic.reset();
        EXPECT_TRUE(m_jobs.Stop());
    }
    HWND Main() const { return m_pWindow->Handle(); }

    CRecordedHooks m_hooks;
    CWin32UiQueue m_ui;
    CLibraryJobs m_jobs{m_ui};
    std::unique_ptr<CLumaroLogic> m_pLogic;
    std::unique_ptr<CWin32Dialog> m_pWindow;
};

TEST_F(CMainDialogsWin32Test, FindRefusesABadRangeListsTheHubAndUsesIt) {
    CHubSimFixture::Options at;
    at.strListenAddress = "127.0.0.2";
    CHubSimFixture hub(at);
    HubControl(hub, "SET firmware 3.0.1");
    Open(hub.Port(), false);
    m_pLogic->SetSearchRanges([] { return std::u16string(u"10.0.0.0/8"); });

    std::string strRangeShown, strStatus;
    std::vector<std::string> refusal;
    bool bSearchedAfterRefusal = true, bUseOffBeforePick = false;
    std::map<std::string, std::vector<std::string>> rows;
    HWND hFind = nullptr;
    CScript script({[&] {
                        hFind = ShownWindow(L"Find hubs");
                        if (hFind == nullptr) return false;
                        strRangeShown = ItemText(hFind, find_ids::kRange);
                        // Too wide: refused with its message, nothing starts.
                        Click(hFind, find_ids::kSearch);
                        refusal = m_hooks.Texts();
                        bSearchedAfterRefusal =
                            SendMessageW(GetDlgItem(hFind, find_ids::kList), LVM_GETITEMCOUNT, 0, 0) != 0 ||
                            !IsWindowEnabled(GetDlgItem(hFind, find_ids::kSearch)) ||
                            IsWindowEnabled(GetDlgItem(hFind, find_ids::kStop));
                        Type(hFind, find_ids::kRange, u"127.0.0.0/30");
                        Click(hFind, find_ids::kSearch);
                        return true;
                    },
                    [&] {
                        strStatus = ItemText(hFind, find_ids::kStatus);
                        if (strStatus.rfind("Done", 0) != 0) return false;
                        rows = Rows(hFind, find_ids::kList);
                        bUseOffBeforePick = !IsWindowEnabled(GetDlgItem(hFind, find_ids::kUse));
                        SelectRow(hFind, find_ids::kList, RowOf(hFind, find_ids::kList, "127.0.0.2"));
                        Click(hFind, find_ids::kUse);
                        return true;
                    }});
    Click(Main(), main_ids::kFindHubs);  // returns once the window has closed
    EXPECT_TRUE(PumpUntil([&] { return script.Done(); }, 20000));
    EXPECT_EQ(strRangeShown, "10.0.0.0/8");
    ASSERT_EQ(refusal.size(), 1u);
    EXPECT_EQ(refusal[0].rfind("The addresses to search cannot be used: ", 0), 0u) << refusal[0];
    EXPECT_NE(refusal[0].find("Give ranges such as 192.168.0.0/24"), std::string::npos) << refusal[0];
    EXPECT_FALSE(bSearchedAfterRefusal);
    EXPECT_EQ(strStatus, "Done: 2 addresses searched, 1 hub found.");
    EXPECT_EQ(rows["127.0.0.2"], (std::vector<std::string>{"X-H400_VXL", "3.0.1"}));
    EXPECT_TRUE(bUseOffBeforePick);
    EXPECT_EQ(ShownWindow(L"Find hubs"), nullptr);
    EXPECT_EQ(m_pWindow->GetIpv4(main_ids::kAddress), (Ipv4Octets{127, 0, 0, 2}));
    EXPECT_TRUE(IsDlgButtonChecked(Main(), main_ids::kEthernet) == BST_CHECKED);
    EXPECT_TRUE(IsWindowEnabled(Main()));
}

TEST_F(CMainDialogsWin32Test, LoadRefusesABadFileThenWritesTheSavedValuesBack) {
    CHubSimFixture hub;
    Open(hub.Port(), true);
    // The hub's settings saved through the file hook, then changed on the hub.
    const std::wstring strGood = TempFile(L"vexal-win32-load.json"), strBad = TempFile(L"vexal-win32-cut.json");
    DeleteFileW(strGood.c_str());
    m_hooks.chosenFile = U8(strGood);
    Click(Main(), main_ids::kSaveSettings);
    ASSERT_TRUE(PumpUntil([&] { return !m_pLogic->IsBusy() && !m_hooks.messages.empty(); }, 15000));
    const std::string strSaved = FileText(strGood);
    ASSERT_NE(strSaved.find("\"bluetooth\""), std::string::npos) << m_hooks.Texts()[0];
    HubControl(hub, "SET bluetooth.name Till 9");
    HubControl(hub, "SET lan.gateway 10.0.0.254");

    // Cut in half: refused with the file's place, before the hub is read.
    ASSERT_TRUE(WriteFileText(strBad, strSaved.substr(0, strSaved.size() / 2)));
    m_hooks.messages.clear();
    m_hooks.chosenFile = U8(strBad);
    HubControl(hub, "RX CLEAR");
    Click(Main(), main_ids::kLoadSettings);
    ASSERT_TRUE(PumpUntil([&] { return !m_pLogic->IsBusy() && !m_hooks.messages.empty(); }, 15000));
    ASSERT_EQ(m_hooks.messages.size(), 1u);
    const std::string strRefusal = m_hooks.messages[0].strText;
    EXPECT_EQ(strRefusal.rfind("The file cannot be loaded; nothing was written to the hub.\n" + U8(strBad), 0), 0u)
        << strRefusal;
    EXPECT_NE(strRefusal.find("not a valid backup"), std::string::npos) << strRefusal;
    EXPECT_EQ(m_hooks.messages[0].eIcon, EMsgIcon::Warning);
    EXPECT_EQ(HubControl(hub, "RX 0"), "") << "the hub is not even read";
    EXPECT_TRUE(IsWindowEnabled(Main()));

    // The saved file: the plan, then "Write to hub".
    m_hooks.messages.clear();
    m_hooks.chosenFile = U8(strGood);
    std::map<std::string, std::vector<std::string>> plan, written;
    bool bCloneOff = false, bWriteOn = false;
    std::string strNote;
    HWND hLoad = nullptr;
    CScript script({[&] {
                        hLoad = ShownWindow(L"Load settings");
                        if (hLoad == nullptr) return false;
                        plan = Rows(hLoad, restore_ids::kList);
                        bCloneOff = IsDlgButtonChecked(hLoad, restore_ids::kClone) == BST_UNCHECKED;
                        bWriteOn = IsWindowEnabled(GetDlgItem(hLoad, restore_ids::kWrite));
                        Click(hLoad, restore_ids::kWrite);
                        return true;
                    },
                    [&] {
                        if (m_hooks.messages.empty()) return false;
                        written = Rows(hLoad, restore_ids::kList);
                        strNote = ItemText(hLoad, restore_ids::kNote);
                        Click(hLoad, restore_ids::kClose);
                        return true;
                    }});
    Click(Main(), main_ids::kLoadSettings);
    EXPECT_TRUE(PumpUntil(
        [&] { return script.Done() && !m_pLogic->IsBusy() && ShownWindow(L"Load settings") == nullptr; }, 20000));
    EXPECT_TRUE(bCloneOff) << "this hub's own file";
    EXPECT_TRUE(bWriteOn);
    EXPECT_EQ(plan["Bluetooth"], (std::vector<std::string>{"will write", "name Till 9 \u2192 VexalHub"}));
    EXPECT_EQ(plan["LAN"], (std::vector<std::string>{"will write", "gateway 10.0.0.254 \u2192 192.168.0.1"}));
    EXPECT_EQ(plan["WLAN"].at(0), "same");
    EXPECT_EQ(written["Bluetooth"].at(0), "written");
    EXPECT_EQ(written["LAN"].at(0), "written");
    EXPECT_EQ(m_hooks.Texts(), std::vector<std::string>{"2 groups written and read back."});
    EXPECT_EQ(strNote, "2 groups written and read back.");
    EXPECT_EQ(HubControl(hub, "GET bluetooth.name"), "VexalHub");
    EXPECT_EQ(HubControl(hub, "GET lan.gateway"), "192.168.0.1");
    EXPECT_TRUE(m_pLogic->IsConnected());
    EXPECT_TRUE(IsWindowEnabled(Main()));
    DeleteFileW(strGood.c_str());
    DeleteFileW(strBad.c_str());
}

// An enumeration callback is CALLBACK (__stdcall on x86), which a lambda
// cannot be: a function of its own.
BOOL CALLBACK FindShownPopup(HWND h, LPARAM lParam) {
    if (IsWindowVisible(h) && GetDlgItem(h, CProgressLogic::kBarId) != nullptr) {
        *reinterpret_cast<HWND*>(lParam) = h;
        return FALSE;
    }
    return TRUE;
}

// The visible caption-less window of this thread holding the pop-up's bar.
HWND ShownPopup() {
    HWND hFound = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindShownPopup, reinterpret_cast<LPARAM>(&hFound));
    return hFound;
}

TEST_F(CMainDialogsWin32Test, ProgressPopupMovesOverADisabledOwnerWhileASlowReadRuns) {
    CHubSimFixture hub;
    Open(hub.Port(), true);
    HubControl(hub, "FAULT DELAY 700");
    HWND hPopup = nullptr;
    bool bCaptionless = false, bOwnerDisabled = false, bPopupGoneWithPage = false;
    std::set<int> positions;
    CScript script({[&] {
        const HWND hPage = ShownWindow(L"LAN Configuration");
        if (hPage == nullptr) return false;
        bPopupGoneWithPage = ShownPopup() == nullptr;
        HubControl(hub, "FAULT DELAY 0");
        Click(hPage, page_ids::kClose);
        return true;
    }});
    Click(Main(), main_ids::kLanSettings);  // starts the read; the page shows once it has returned
    EXPECT_TRUE(PumpUntil(
        [&] {
            if (const HWND h = ShownPopup()) {
                hPopup = h;
                const LONG nStyle = GetWindowLongW(h, GWL_STYLE);
                bCaptionless = (nStyle & WS_CAPTION) != WS_CAPTION;
                bOwnerDisabled = !IsWindowEnabled(Main());
                positions.insert(
                    static_cast<int>(SendMessageW(GetDlgItem(h, CProgressLogic::kBarId), PBM_GETPOS, 0, 0)));
            }
            return positions.size() >= 2;
        },
        5000))
        << "positions seen: " << positions.size();
    EXPECT_NE(hPopup, nullptr);
    EXPECT_TRUE(bCaptionless);
    EXPECT_TRUE(bOwnerDisabled);
    EXPECT_TRUE(PumpUntil([&] { return script.Done() && !m_pLogic->IsBusy(); }, 30000));
    EXPECT_TRUE(bPopupGoneWithPage);
    EXPECT_EQ(ShownPopup(), nullptr);
    EXPECT_FALSE(IsWindow(hPopup) && IsWindowVisible(hPopup));
    EXPECT_TRUE(PumpUntil([&] { return IsWindowEnabled(Main()) != FALSE; }, 2000));
}

// Refuses to make windows of one title while it lives, as a system short of
// resources would: the window's creation fails.
class CRefusedWindow {
public:
    explicit CRefusedWindow(const wchar_t* pszTitle) {
        s_pszTitle = pszTitle;
        m_hHook = SetWindowsHookExW(WH_CBT, &CRefusedWindow::Hook, nullptr, GetCurrentThreadId());
    }
    ~CRefusedWindow() {
        UnhookWindowsHookEx(m_hHook);
        s_pszTitle = nullptr;
    }
    bool Installed() const { return m_hHook != nullptr; }
    static inline int s_nRefused = 0;

private:
    static LRESULT CALLBACK Hook(int nCode, WPARAM wParam, LPARAM lParam) {
        if (nCode == HCBT_CREATEWND && s_pszTitle != nullptr) {
            const CREATESTRUCTW* pCreate = reinterpret_cast<CBT_CREATEWNDW*>(lParam)->lpcs;
            if (pCreate->lpszName != nullptr && !IS_INTRESOURCE(pCreate->lpszName) &&
                std::wstring_view(pCreate->lpszName) == s_pszTitle) {
                ++s_nRefused;
                return 1;  // not made
            }
        }
        return CallNextHookEx(nullptr, nCode, wParam, lParam);
    }
    static inline const wchar_t* s_pszTitle = nullptr;
    HHOOK m_hHook = nullptr;
};

TEST_F(CMainDialogsWin32Test, APageWhoseWindowCannotBeMadeIsAbandonedWithAMessage) {
    CHubSimFixture hub;
    Open(hub.Port(), true);
    {
        CRefusedWindow refused(L"LAN Configuration");
        ASSERT_TRUE(refused.Installed());
        Click(Main(), main_ids::kLanSettings);
        EXPECT_TRUE(PumpUntil([&] { return !m_pLogic->IsBusy() && !m_hooks.messages.empty(); }, 10000));
        EXPECT_GE(CRefusedWindow::s_nRefused, 1);
    }
    ASSERT_EQ(m_hooks.Texts().size(), 1u);
    EXPECT_EQ(m_hooks.Texts()[0], "The LAN Configuration window could not be opened, so the hub was not read.");
    PumpFor(300);  // a read started anyway would end in this time
    EXPECT_FALSE(m_pLogic->IsBusy());
    EXPECT_FALSE(m_pLogic->Progress().IsShown());
    EXPECT_TRUE(IsWindowEnabled(Main()));
    EXPECT_TRUE(m_pLogic->IsConnected());
}

}  // namespace
}  // namespace vexal::utility::win32::test

namespace vexal::utility::win32::test {
namespace {

TEST_F(CMainDialogsWin32Test, DevicesFollowsAPlugAndThePaperRunningOutAndItsCloseStopsTheWatch) {
    using namespace devices_ids;
    CHubSimFixture hub;
    Open(hub.Port(), true);
    ASSERT_TRUE(IsWindowEnabled(GetDlgItem(Main(), main_ids::kDevices)));
    std::map<std::string, std::vector<std::string>> before, plugged, paperOut;
    std::string strLink;
    bool bMainDisabled = false;
    HWND hDevices = nullptr;
    CScript script({[&] {
                        hDevices = ShownWindow(L"Devices");
                        if (hDevices == nullptr) return false;
                        before = Rows(hDevices, kList);
                        if (before["10"].size() < 4 || before["10"][3] != "Ready") return false;
                        strLink = ItemText(hDevices, kLink);
                        bMainDisabled = !IsWindowEnabled(Main());
                        HubControl(hub, "PLUG 40 echo 1234 ABCD");
                        return true;
                    },
                    [&] {
                        plugged = Rows(hDevices, kList);
                        if (plugged.count("40") == 0) return false;
                        HubControl(hub, "PRINTER 10 PAPER OUT");
                        return true;
                    },
                    [&] {
                        paperOut = Rows(hDevices, kList);
                        if (paperOut["10"].size() < 4 || paperOut["10"][3] == "Ready") return false;
                        Click(hDevices, kClose);
                        return true;
                    }});
    Click(Main(), main_ids::kDevices);  // returns once the window has closed
    EXPECT_TRUE(PumpUntil([&] { return script.Done(); }, 20000));
    EXPECT_EQ(ShownWindow(L"Devices"), nullptr);
    EXPECT_EQ(strLink, "on-line");
    EXPECT_TRUE(bMainDisabled);
    EXPECT_EQ(before["10"], (std::vector<std::string>{"5a4d", "0e28", "Local Printer", "Ready"}));
    EXPECT_EQ(plugged["40"], (std::vector<std::string>{"1234", "abcd", "Barcode Scanner", ""}));
    EXPECT_EQ(paperOut["10"], (std::vector<std::string>{"5a4d", "0e28", "Local Printer", "Off-line, Out of paper"}));
    EXPECT_EQ(paperOut.count("40"), 1u);

    // The watch has stopped: no liveness exchange reaches the hub any more,
    // and the main window's session still serves a page.
    HubControl(hub, "RX CLEAR");
    PumpFor(2600);
    EXPECT_EQ(HubControl(hub, "RX 0"), "");
    std::string strMac;
    CScript page({[&] {
        const HWND hPage = ShownWindow(L"LAN Configuration");
        if (hPage == nullptr) return false;
        strMac = ItemText(hPage, 1073);
        Click(hPage, page_ids::kClose);
        return true;
    }});
    Click(Main(), main_ids::kLanSettings);
    EXPECT_TRUE(PumpUntil([&] { return page.Done() && !m_pLogic->IsBusy(); }, 20000));
    EXPECT_EQ(strMac, "00:1b:5f:40:12:7a");
    EXPECT_TRUE(m_pLogic->IsConnected());
}

}  // namespace
}  // namespace vexal::utility::win32::test
