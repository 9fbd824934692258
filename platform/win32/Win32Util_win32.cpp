#include "platform/win32/Win32Util.h"

#include "platform/DeviceNames.h"
#include "platform/WakeSignal.h"

namespace vexal::platform::win32 {

CHandle MakeEvent() { return CHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr)); }

std::wstring WideFromUtf8(std::string_view text) {
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string Utf8FromWide(std::wstring_view text) {
    if (text.empty()) return {};
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::string ErrorText(DWORD dwError) {
    wchar_t* pszText = nullptr;
    const DWORD n =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, dwError, 0, reinterpret_cast<wchar_t*>(&pszText), 0, nullptr);
    std::string out = n > 0 && pszText != nullptr ? Utf8FromWide(std::wstring_view(pszText, n)) : std::string();
    if (pszText != nullptr) LocalFree(pszText);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ' || out.back() == '.'))
        out.pop_back();
    return out.empty() ? "error " + std::to_string(dwError) : out;
}

EHandleWait WaitWithWake(HANDLE h, DWORD ms, const CWakeSignal* pWake) {
    // Without an event of its own the signal is looked at this often.
    constexpr DWORD kSliceMs = 20;
    const bool bSliced = pWake != nullptr && pWake->Handle() == -1;
    const ULONGLONG nStart = GetTickCount64();
    for (;;) {
        if (pWake != nullptr && pWake->IsSet()) return EHandleWait::Woken;
        HANDLE handles[2] = {h, nullptr};
        DWORD nCount = 1;
        if (pWake != nullptr && !bSliced) handles[nCount++] = reinterpret_cast<HANDLE>(pWake->Handle());
        DWORD dwWait = ms;
        if (bSliced && ms != INFINITE) {
            const ULONGLONG nElapsed = GetTickCount64() - nStart;
            const DWORD dwLeft = nElapsed >= ms ? 0 : static_cast<DWORD>(ms - nElapsed);
            dwWait = dwLeft < kSliceMs ? dwLeft : kSliceMs;
        } else if (bSliced) {
            dwWait = kSliceMs;
        }
        const DWORD dwResult = WaitForMultipleObjects(nCount, handles, FALSE, dwWait);
        if (dwResult == WAIT_OBJECT_0) return EHandleWait::Signalled;
        if (nCount == 2 && dwResult == WAIT_OBJECT_0 + 1) return EHandleWait::Woken;
        if (dwResult != WAIT_TIMEOUT) return EHandleWait::Failed;
        if (pWake != nullptr && pWake->IsSet()) return EHandleWait::Woken;
        if (!bSliced || (ms != INFINITE && GetTickCount64() - nStart >= ms)) return EHandleWait::TimedOut;
    }
}

EHandleWait OverlappedRequest(HANDLE h, const std::function<BOOL(OVERLAPPED*)>& start, DWORD ms,
                              const CWakeSignal* pWake, DWORD& dwDone, DWORD& dwError) {
    dwDone = 0;
    dwError = ERROR_SUCCESS;
    CHandle hEvent = MakeEvent();
    if (!hEvent.IsValid()) {
        dwError = GetLastError();
        return EHandleWait::Failed;
    }
    OVERLAPPED ov{};
    ov.hEvent = hEvent.Get();
    if (!start(&ov)) {
        dwError = GetLastError();
        if (dwError != ERROR_IO_PENDING) return EHandleWait::Failed;
        dwError = ERROR_SUCCESS;
        const EHandleWait wait = WaitWithWake(ov.hEvent, ms, pWake);
        if (wait != EHandleWait::Signalled) {
            // The record and the buffer must outlive the request: collect it.
            CancelIoEx(h, &ov);
            GetOverlappedResult(h, &ov, &dwDone, TRUE);
            return wait == EHandleWait::Failed ? EHandleWait::TimedOut : wait;
        }
    }
    if (!GetOverlappedResult(h, &ov, &dwDone, FALSE)) {
        dwError = GetLastError();
        return EHandleWait::Failed;
    }
    return EHandleWait::Signalled;
}

CHandle OpenDeviceExclusive(const std::string& strPath, int& nErr) {
    nErr = 0;
    const std::wstring path = WideFromUtf8(strPath);
    CHandle h(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
                          nullptr));
    if (!h.IsValid()) nErr = static_cast<int>(GetLastError());
    return h;
}

std::optional<std::string> PortDevicePath(std::u16string_view strName, std::string_view strPrefix) {
    const auto strNarrow = AsciiPortName(strName);
    return strNarrow ? ResolvePortName(*strNarrow, strPrefix, "") : std::nullopt;
}

}  // namespace vexal::platform::win32
