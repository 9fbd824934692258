// Pictures of the main window and each settings page as the Win32 renderer
// draws them, against the simulator. Runs only when VEXAL_SCREENSHOT_DIR
// names a folder (scripts/windows-screenshots.sh runs it under Xvfb, where
// Wine draws the title bars itself, at 96 DPI and again at 144); each window
// is written there as <name>.bmp.
#include <gtest/gtest.h>

#include "HubSimFixture.h"
#include "UtilityWin32Support.h"
#include "client/CfgLibrary.h"
#include "client/HubSession.h"
#include "utility/logic/PageLogic.h"
#include "utility/logic/Text.h"
#include "utility/logic/DevicesLogic.h"
#include "utility/logic/LumaroLogic.h"

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace vexal::utility::win32::test {
namespace {

// The window as the screen shows it, frame included, as a 24-bit BMP.
bool SaveWindow(HWND hWnd, const std::string& strPath) {
    RECT rc{};
    GetWindowRect(hWnd, &rc);
    const int cx = rc.right - rc.left, cy = rc.bottom - rc.top;
    if (cx <= 0 || cy <= 0) return false;
    HDC hScreen = GetDC(nullptr);
    HDC hMem = CreateCompatibleDC(hScreen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = cx;
    bi.bmiHeader.biHeight = cy;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    void* pBits = nullptr;
    HBITMAP hBitmap = CreateDIBSection(hScreen, &bi, DIB_RGB_COLORS, &pBits, nullptr, 0);
    HGDIOBJ hOld = SelectObject(hMem, hBitmap);
    BitBlt(hMem, 0, 0, cx, cy, hScreen, rc.left, rc.top, SRCCOPY);
    GdiFlush();
    const DWORD nStride = static_cast<DWORD>((cx * 3 + 3) & ~3);
    const DWORD nImage = nStride * static_cast<DWORD>(cy);
    BITMAPFILEHEADER fh{};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof(fh) + sizeof(bi.bmiHeader);
    fh.bfSize = fh.bfOffBits + nImage;
    std::ofstream out(strPath, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&fh), sizeof(fh));
    out.write(reinterpret_cast<const char*>(&bi.bmiHeader), sizeof(bi.bmiHeader));
    out.write(static_cast<const char*>(pBits), nImage);
    SelectObject(hMem, hOld);
    DeleteObject(hBitmap);
    DeleteDC(hMem);
    ReleaseDC(nullptr, hScreen);
    return out.good();
}

class CScreenshots : public ::testing::Test {
protected:
    void SetUp() override {
        const char* pszDir = std::getenv("VEXAL_SCREENSHOT_DIR");
        if (pszDir == nullptr || *pszDir == 0) GTEST_SKIP() << "VEXAL_SCREENSHOT_DIR is not set";
        m_strDir = pszDir;
        InitControls();
        m_pHub = std::make_unique<CHubSimFixture>();
    }
    void Shoot(HWND hWnd, const std::string& strName) {
        SetWindowPos(hWnd, HWND_TOP, 20, 20, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
        RedrawWindow(hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
        PumpFor(400);
        EXPECT_TRUE(SaveWindow(hWnd, m_strDir + "\\" + strName + ".bmp")) << strName;
    }
    std::string m_strDir;
    std::unique_ptr<CHubSimFixture> m_pHub;
    CRecordedHooks m_hooks;
};

TEST_F(CScreenshots, MainWindowAndEveryPage) {
    CWin32UiQueue ui;
    CLibraryJobs jobs(ui);
    SUtilityOptions options;
    options.nInterface = 2;
    options.address = Ipv4Octets{127, 0, 0, 1};
    options.nTcpPort = m_pHub->Port();
    options.bConnect = true;
    options.strVersion = u"1.0.0";
    CLumaroLogic main(options, jobs, DefaultLumaroHost());
    CWin32Dialog window(main, nullptr);
    ASSERT_TRUE(window.CreateModeless(nullptr, true));
    ASSERT_TRUE(main.Start());
    ASSERT_TRUE(PumpUntil([&] { return main.IsConnected() && !jobs.IsBusy(); }, 15000));
    Shoot(window.Handle(), "main-window");
    client::CCfgLibrary& api = main.Api();

    const std::pair<const char*, PageFactory> pages[] = {
        {"bluetooth", MakeBluetoothPage},
        {"wlan", MakeWlanPage},
        {"lan", MakeLanPage},
        {"usb-to-serial", MakeUsbToSerialPage},
        {"custom-device", MakeCustomDevicePage},
        {"net-protocol", MakeNetProtocolPage},
        {"interface-usage", MakeInterfaceUsagePage},
    };
    client::CHubSession session(api);
    session.Attach(main.Session().Handle());
    for (const auto& [pszName, fnFactory] : pages) {
        auto pPage = fnFactory(SPageContext{session, jobs});
        CWin32Dialog view(*pPage, &window);
        ASSERT_TRUE(view.CreateModeless(window.Handle(), false));
        std::optional<bool> read;
        pPage->ReadFromHub([&read](bool b) { read = b; });
        ASSERT_TRUE(PumpUntil([&] { return read.has_value() && !jobs.IsBusy(); }, 10000)) << pszName;
        EXPECT_TRUE(*read) << pszName;
        ShowWindow(view.Handle(), SW_SHOW);
        Shoot(view.Handle(), pszName);
        view.Destroy();
    }
    // Load settings: the plan of a file saved from this hub a moment ago.
    wchar_t szTemp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, szTemp);
    const std::wstring strFile = std::wstring(szTemp) + L"vexal-win32-shot.json";
    m_hooks.chosenFile = U8(std::u16string(strFile.begin(), strFile.end()));
    m_hooks.messages.clear();
    Click(window.Handle(), main_ids::kSaveSettings);
    ASSERT_TRUE(PumpUntil([&] { return !main.IsBusy() && !m_hooks.messages.empty(); }, 15000));
    HWND hLoad = nullptr;
    CScript load({[&] {
                      hLoad = FindWindowW(nullptr, L"Load settings");
                      return hLoad != nullptr && IsWindowVisible(hLoad);
                  },
                  [&] {
                      Shoot(hLoad, "load-settings");
                      PostMessageW(hLoad, WM_CLOSE, 0, 0);
                      return true;
                  }});
    Click(window.Handle(), main_ids::kLoadSettings);
    EXPECT_TRUE(PumpUntil([&] { return load.Done() && !main.IsBusy(); }, 15000));
    DeleteFileW(strFile.c_str());

    // Devices: a scanner and a second printer plugged, the paper low and out.
    for (const char* pszLine :
         {"PLUG 40 echo 1234 ABCD", "PLUG 11 printer 5A4D 0E29", "PRINTER 10 PAPER LOW", "PRINTER 11 PAPER OUT"})
        EXPECT_EQ(m_pHub->Control(pszLine).rfind("OK", 0), 0u) << pszLine;
    HWND hDevices = nullptr;
    CScript devices({[&] {
                         hDevices = FindWindowW(nullptr, L"Devices");
                         return hDevices != nullptr && IsWindowVisible(hDevices) &&
                                SendMessageW(GetDlgItem(hDevices, devices_ids::kList), LVM_GETITEMCOUNT, 0, 0) >= 5;
                     },
                     [&] {
                         PumpFor(800);  // the printers' records
                         Shoot(hDevices, "devices-window");
                         PostMessageW(hDevices, WM_CLOSE, 0, 0);
                         return true;
                     }});
    Click(window.Handle(), main_ids::kDevices);
    EXPECT_TRUE(PumpUntil([&] { return devices.Done() && !main.IsBusy(); }, 15000));

    // Find hubs, over the main window once disconnected (a search of this PC only).
    main.SetSearchRanges([] { return std::u16string(u"127.0.0.1/32"); });
    Click(window.Handle(), main_ids::kDisconnect);
    ASSERT_TRUE(PumpUntil([&] { return !main.IsConnected() && !jobs.IsBusy(); }, 10000));
    HWND hFind = nullptr;
    CScript script({[&] {
                        hFind = FindWindowW(nullptr, L"Find hubs");
                        return hFind != nullptr && IsWindowVisible(hFind);
                    },
                    [&] {
                        Shoot(hFind, "find-hubs");
                        PostMessageW(hFind, WM_CLOSE, 0, 0);
                        return true;
                    }});
    Click(window.Handle(), main_ids::kFindHubs);
    EXPECT_TRUE(PumpUntil([&] { return script.Done(); }, 10000));

    main.Shutdown();
    EXPECT_TRUE(main.LibraryUnloaded());
    window.Destroy();
}

}  // namespace
}  // namespace vexal::utility::win32::test
