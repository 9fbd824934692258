// Helpers the Win32 backends share: owned handles, text between UTF-8 or
// UTF-16 and the wide strings of the API, and one wait that a wake signal ends.
#pragma once
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vexal::platform {

class CWakeSignal;

namespace win32 {

// An owned kernel handle (file, event); closed by the destructor. Both null
// and INVALID_HANDLE_VALUE count as none.
class CHandle {
public:
    CHandle() = default;
    explicit CHandle(HANDLE h) : m_h(h) {}
    ~CHandle() { Close(); }
    CHandle(CHandle&& other) noexcept : m_h(other.m_h) { other.m_h = nullptr; }
    CHandle& operator=(CHandle&& other) noexcept {
        if (this != &other) {
            Close();
            m_h = other.m_h;
            other.m_h = nullptr;
        }
        return *this;
    }
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;

    HANDLE Get() const { return m_h; }
    // Gives the handle up without closing it.
    HANDLE Release() {
        HANDLE h = m_h;
        m_h = nullptr;
        return h;
    }
    bool IsValid() const { return m_h != nullptr && m_h != INVALID_HANDLE_VALUE; }
    void Close() {
        if (IsValid()) CloseHandle(m_h);
        m_h = nullptr;
    }

private:
    HANDLE m_h = nullptr;
};

// A manual-reset event, not signalled, for one overlapped operation.
CHandle MakeEvent();

std::wstring WideFromUtf8(std::string_view text);
std::string Utf8FromWide(std::wstring_view text);
inline std::wstring WideFromUtf16(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }
inline std::u16string Utf16FromWide(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }

// The system's message for an error code, without the trailing line break.
std::string ErrorText(DWORD dwError);

enum class EHandleWait { Signalled, TimedOut, Woken, Failed };

// Waits up to ms (INFINITE allowed) for h, ending at once when the wake
// signal is set. Failed leaves the reason in GetLastError.
EHandleWait WaitWithWake(HANDLE h, DWORD ms, const CWakeSignal* pWake);

// One overlapped request on h with an event of its own: start receives the
// OVERLAPPED record; the request is waited for up to ms or until the wake
// signal, and cancelled and collected when the wait ends first. dwDone:
// bytes moved; Failed leaves the request's error in dwError.
EHandleWait OverlappedRequest(HANDLE h, const std::function<BOOL(OVERLAPPED*)>& start, DWORD ms,
                              const CWakeSignal* pWake, DWORD& dwDone, DWORD& dwError);

// Opens a device (a serial or parallel port) for overlapped reading and
// writing, shared with nobody: such a port has one user at a time. Null with
// the error code on failure.
CHandle OpenDeviceExclusive(const std::string& strPath, int& nErr);

// "\\.\COM<n>" or "\\.\LPT<n>" for a port name with that prefix; nothing
// for any other text.
std::optional<std::string> PortDevicePath(std::u16string_view strName, std::string_view strPrefix);

}  // namespace win32
}  // namespace vexal::platform
