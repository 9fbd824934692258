#include "platform/win32/Win32Util.h"

#include "platform/WakeSignal.h"

namespace vexal::platform::win32 {

CHandle MakeEvent() { return CHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr)); }

std::wstring WideFromUtf8(std::string_view text) {
    if (text.empty())
        return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string Utf8FromWide(std::wstring_view text) {
    if (text.empty())
        return {};
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::string ErrorText(DWORD dwError) {
    wchar_t* pszText = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, dwError, 0, reinterpret_cast<wchar_t*>(&pszText), 0, nullptr);
    std::string out = n > 0 && pszText != nullptr ? Utf8FromWide(std::wstring_view(pszText, n)) : std::string();
    if (pszText != nullptr)
        LocalFree(pszText);
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
        if (pWake != nullptr && pWake->IsSet())
            return EHandleWait::Woken;
        HANDLE handles[2] = {h, nullptr};
        DWORD nCount = 1;
        if (pWake != nullptr && !bSliced)
            handles[nCount++] = reinterpret_cast<HANDLE>(pWake->Handle());
        DWORD dwWait = ms;
        if (bSliced && ms != INFINITE) {
            const ULONGLONG nElapsed = GetTickCount64() - nStart;
            const DWORD dwLeft = nElapsed >= ms ? 0 : static_cast<DWORD>(ms - nElapsed);
            dwWait = dwLeft < kSliceMs ? dwLeft : kSliceMs;
        } else if (bSliced) {
            dwWait = kSliceMs;
        }
        const DWORD dwResult = WaitForMultipleObjects(nCount, handles, FALSE, dwWait);
        if (dwResult == WAIT_OBJECT_0)
            return EHandleWait::Signalled;
        if (nCount == 2 && dwResult == WAIT_OBJECT_0 + 1)
            return EHandleWait::Woken;
        if (dwResult != WAIT_TIMEOUT)
            return EHandleWait::Failed;
        if (pWake != nullptr && pWake->IsSet())
            return EHandleWait::Woken;
        if (!bSliced || (ms != INFINITE && GetTickCount64() - nStart >= ms))
            return EHandleWait::TimedOut;
    }
}

}  // namespace vexal::platform::win32
