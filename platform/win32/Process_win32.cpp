#include "platform/Process.h"

#include <cstdlib>
#include <vector>

#include "platform/win32/Win32Util.h"

namespace vexal::platform {

std::u16string HostProgramName() {
    // Long paths are allowed: grow the buffer until the name fits.
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) {
            const std::wstring_view path(buffer.data(), n);
            const size_t nSlash = path.find_last_of(L"\\/");
            return win32::Utf16FromWide(nSlash == std::wstring_view::npos ? path : path.substr(nSlash + 1));
        }
        if (buffer.size() >= 32768) return {};
        buffer.resize(buffer.size() * 2);
    }
}

std::optional<std::string> GetEnv(const char* pszName) {
    // The wide environment, so values outside the ANSI code page come through whole.
    const std::wstring name = win32::WideFromUtf8(pszName);
    const wchar_t* pszValue = _wgetenv(name.c_str());
    if (pszValue == nullptr) return std::nullopt;
    return win32::Utf8FromWide(pszValue);
}

}  // namespace vexal::platform
