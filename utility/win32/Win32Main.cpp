// Vexal_Configuration_Utility.exe: reads and changes a Vexal hub's settings.
// The command line first (help, version and mistakes need no window), then
// the log folder, the common controls, the library thread and the main
// window; the way out waits for the job, closes every session, stops the
// thread and only then unloads the library.
#include "utility/logic/Text.h"
#include "utility/logic/CommandLine.h"
#include "utility/logic/LumaroLogic.h"
#include "utility/win32/Win32Dialog.h"
#include "utility/win32/Win32UiQueue.h"

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdlib>
#include <initializer_list>
#include <utility>
#include <string>
#include <vector>

#ifndef VEXAL_UTILITY_VERSION
#define VEXAL_UTILITY_VERSION "0.0.0"
#endif

namespace {

using namespace vexal::utility;

std::u16string U(const wchar_t* psz) { return std::u16string(reinterpret_cast<const char16_t*>(psz)); }
const wchar_t* W(const std::u16string& str) { return reinterpret_cast<const wchar_t*>(str.c_str()); }

// Help, version and errors: to the console or pipe the program was started
// from, or in a message box when it has none (started from the desktop).
void Tell(const std::string& strText, bool bError) {
    const HANDLE hOut = GetStdHandle(bError ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    const std::string strLine = strText + "\r\n";
    DWORD nWritten = 0;
    if (hOut != nullptr && hOut != INVALID_HANDLE_VALUE &&
        WriteFile(hOut, strLine.data(), static_cast<DWORD>(strLine.size()), &nWritten, nullptr))
        return;
    MessageBoxW(nullptr, W(Utf8ToU16(strText)), W(win32::ApplicationName()),
                bError ? MB_ICONWARNING : MB_ICONINFORMATION);
}

// The libraries' log goes to %LOCALAPPDATA%\Vexal unless VEXAL_LOG_DIR
// names a folder.
void PrepareLogDirectory() {
    if (const wchar_t* pszSet = _wgetenv(L"VEXAL_LOG_DIR"); pszSet != nullptr && *pszSet != 0) return;
    PWSTR pszLocal = nullptr;
    if (FAILED(SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_CREATE, nullptr, &pszLocal))) return;
    std::wstring strDir = std::wstring(pszLocal) + L"\\Vexal";
    CoTaskMemFree(pszLocal);
    CreateDirectoryW(strDir.c_str(), nullptr);
    // _wputenv_s changes the C library's copy as well as the process's.
    _wputenv_s(L"VEXAL_LOG_DIR", strDir.c_str());
}

int Run() {
    int nArgs = 0;
    LPWSTR* ppszArgs = CommandLineToArgvW(GetCommandLineW(), &nArgs);
    std::vector<std::string> arguments;
    for (int i = 0; i < nArgs; ++i) arguments.push_back(U16ToUtf8(U(ppszArgs[i])));
    LocalFree(ppszArgs);
    const SCommandLine parsed =
        ParseCommandLine(arguments, std::string("Vexal_Configuration_Utility ") + VEXAL_UTILITY_VERSION);
    switch (parsed.eOutcome) {
    case ECommandLine::Help:
    case ECommandLine::Version: Tell(parsed.strText, false); return 0;
    case ECommandLine::Error:
        Tell(parsed.strText + "\nTry '" +
                 (arguments.empty() ? std::string("Vexal_Configuration_Utility") : arguments[0]) + " --help'.",
             true);
        return 2;
    case ECommandLine::Run: break;
    }

    PrepareLogDirectory();
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES | ICC_INTERNET_CLASSES |
                                              ICC_PROGRESS_CLASS | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);

    win32::CWin32UiQueue ui;
    if (!ui.IsValid()) return 1;
    SUtilityOptions options = parsed.options;
    options.strVersion = Utf8ToU16(VEXAL_UTILITY_VERSION);
    CLibraryJobs jobs(ui);
    CLumaroLogic logic(options, jobs, DefaultLumaroHost());
    using namespace main_ids;
    for (const auto& [nButton, fnFactory] :
         std::initializer_list<std::pair<int, PageFactory>>{{kBluetoothSettings, MakeBluetoothPage},
                                                            {kWlanSettings, MakeWlanPage},
                                                            {kLanSettings, MakeLanPage},
                                                            {kUsageSettings, MakeInterfaceUsagePage},
                                                            {kSerialSettings, MakeUsbToSerialPage},
                                                            {kCustomDeviceSettings, MakeCustomDevicePage},
                                                            {kNetProtocolSettings, MakeNetProtocolPage}})
        logic.SetPageFactory(nButton, fnFactory);
    {
        win32::CWin32Dialog window(logic, nullptr);
        // Start-up once the window is up (it is busy while the library binds
        // and a connect asked for runs).
        ui.Post([&window, &logic] {
            if (window.Handle() != nullptr) ShowWindow(window.Handle(), SW_SHOW);
            logic.Start();
        });
        window.RunModal(nullptr);
    }
    // The one way out (it already ran when E X I T closed the window).
    logic.Shutdown();
    return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return Run(); }
