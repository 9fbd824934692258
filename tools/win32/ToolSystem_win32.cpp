#include "tools/ToolSystem.h"

#include <fcntl.h>
#include <io.h>

#include "platform/win32/Win32Util.h"
// After <windows.h>.
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

namespace vexal::tools {
namespace {

std::wstring Wide(const std::string& text) { return platform::win32::WideFromUtf8(text); }
std::string Utf8(const std::wstring& text) { return platform::win32::Utf8FromWide(text); }
using platform::win32::ErrorText;

// Owns one handle for the length of a scope.
class CClosesHandle {
public:
    explicit CClosesHandle(HANDLE h = nullptr) : m_h(h) {}
    ~CClosesHandle() { Close(); }
    CClosesHandle(const CClosesHandle&) = delete;
    CClosesHandle& operator=(const CClosesHandle&) = delete;
    HANDLE Get() const { return m_h; }
    HANDLE* Out() { return &m_h; }
    bool IsValid() const { return m_h != nullptr && m_h != INVALID_HANDLE_VALUE; }
    void Close() {
        if (IsValid()) CloseHandle(m_h);
        m_h = nullptr;
    }

private:
    HANDLE m_h;
};

// Output goes out as UTF-8 with LF line ends, as on Linux: a script or a
// --hosts parent reads the same bytes; a console shows UTF-8 and the
// progress line's escape sequences. The console's own code page comes back
// at exit.
class CConsoleSetup {
public:
    CConsoleSetup() {
        _setmode(_fileno(stdout), _O_BINARY);
        _setmode(_fileno(stderr), _O_BINARY);
        s_uOldOutputCp = GetConsoleOutputCP();
        DWORD dwMode = 0;
        if (GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &dwMode) ||
            GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &dwMode)) {
            if (SetConsoleOutputCP(CP_UTF8)) std::atexit([] { SetConsoleOutputCP(s_uOldOutputCp); });
        }
        for (DWORD dwWhich : {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
            const HANDLE h = GetStdHandle(dwWhich);
            if (GetConsoleMode(h, &dwMode) && SetConsoleMode(h, dwMode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) &&
                dwWhich == STD_ERROR_HANDLE)
                s_bStderrTerminal = true;
        }
    }
    static bool StderrTerminal() { return s_bStderrTerminal; }

private:
    static inline UINT s_uOldOutputCp = 0;
    static inline bool s_bStderrTerminal = false;
};
const CConsoleSetup g_consoleSetup;

// One argument as the C runtime's command-line parser reads it back.
void AppendQuoted(std::wstring& commandLine, const std::wstring& arg) {
    if (!commandLine.empty()) commandLine += L' ';
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        commandLine += arg;
        return;
    }
    commandLine += L'"';
    for (size_t i = 0;; ++i) {
        size_t nBackslashes = 0;
        while (i < arg.size() && arg[i] == L'\\') {
            ++i;
            ++nBackslashes;
        }
        if (i == arg.size()) {
            commandLine.append(nBackslashes * 2, L'\\');  // before the closing quote
            break;
        }
        if (arg[i] == L'"') {
            commandLine.append(nBackslashes * 2 + 1, L'\\');
            commandLine += L'"';
        } else {
            commandLine.append(nBackslashes, L'\\');
            commandLine += arg[i];
        }
    }
    commandLine += L'"';
}

void ReadAll(HANDLE hPipe, std::string& strOut) {
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(hPipe, buffer, sizeof buffer, &n, nullptr) && n > 0) strOut.append(buffer, n);
}

}  // namespace

CUtf8Arguments::CUtf8Arguments(int argc, char** argv) {
    int nWide = 0;
    LPWSTR* ppszWide = CommandLineToArgvW(GetCommandLineW(), &nWide);
    if (ppszWide != nullptr && nWide == argc) {
        for (int i = 0; i < nWide; ++i) m_args.push_back(Utf8(ppszWide[i]));
    } else {
        m_args.assign(argv, argv + argc);
    }
    if (ppszWide != nullptr) LocalFree(ppszWide);
    for (auto& s : m_args) m_pointers.push_back(s.data());
    m_pointers.push_back(nullptr);
}

bool StderrIsTerminal() { return CConsoleSetup::StderrTerminal(); }

std::string SelfExecutable() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return "vexalcfg.exe";
        if (n < path.size()) {
            path.resize(n);
            return Utf8(path);
        }
        if (path.size() >= 32768) return "vexalcfg.exe";
        path.resize(path.size() * 2);
    }
}

SProcessResult RunProcess(const std::vector<std::string>& vecArgs) {
    SProcessResult result;
    if (vecArgs.empty()) return result;
    std::wstring commandLine;
    for (const auto& a : vecArgs) AppendQuoted(commandLine, Wide(a));

    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    CClosesHandle outRead, outWrite, errRead, errWrite;
    if (!CreatePipe(outRead.Out(), outWrite.Out(), &inherit, 0) ||
        !CreatePipe(errRead.Out(), errWrite.Out(), &inherit, 0))
        return result;
    SetHandleInformation(outRead.Get(), HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead.Get(), HANDLE_FLAG_INHERIT, 0);
    CClosesHandle nul(
        CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr));
    if (!nul.IsValid()) return result;

    // Only these three handles go to the child: workers started at the same
    // time on other threads must not keep each other's pipes open.
    HANDLE inherited[3] = {nul.Get(), outWrite.Get(), errWrite.Get()};
    SIZE_T nAttributes = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &nAttributes);
    auto attributes = std::make_unique<unsigned char[]>(nAttributes);
    auto* pList = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes.get());
    if (!InitializeProcThreadAttributeList(pList, 1, 0, &nAttributes)) return result;
    const bool bListed = UpdateProcThreadAttribute(pList, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                                   sizeof inherited, nullptr, nullptr) != 0;
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = nul.Get();
    startup.StartupInfo.hStdOutput = outWrite.Get();
    startup.StartupInfo.hStdError = errWrite.Get();
    startup.lpAttributeList = bListed ? pList : nullptr;
    PROCESS_INFORMATION process{};
    const std::wstring program = Wide(vecArgs[0]);
    const BOOL bStarted = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                         CREATE_NO_WINDOW | (bListed ? EXTENDED_STARTUPINFO_PRESENT : 0), nullptr,
                                         nullptr, &startup.StartupInfo, &process);
    DeleteProcThreadAttributeList(pList);
    // The child holds its ends now; the pipes end when it does.
    outWrite.Close();
    errWrite.Close();
    nul.Close();
    if (!bStarted) return result;
    CClosesHandle hProcess(process.hProcess), hThread(process.hThread);
    std::thread errReader([&] { ReadAll(errRead.Get(), result.strStderr); });
    ReadAll(outRead.Get(), result.strStdout);
    errReader.join();
    WaitForSingleObject(hProcess.Get(), INFINITE);
    DWORD dwExit = 0;
    result.nExitStatus = GetExitCodeProcess(hProcess.Get(), &dwExit) ? static_cast<int>(dwExit) : -1;
    return result;
}

}  // namespace vexal::tools
