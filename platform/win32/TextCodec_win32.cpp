#include "platform/TextCodec.h"

#include "platform/win32/Win32Util.h"

namespace vexal::platform {

// The system's ANSI code page (CP_ACP), as the hub expects the host's texts.

std::string AnsiFromUtf16(std::u16string_view text) {
    if (text.empty())
        return {};
    const std::wstring wide = win32::WideFromUtf16(text);
    // No best-fit mapping: a character the code page cannot hold becomes '?',
    // never a look-alike.
    const DWORD dwFlags = WC_NO_BEST_FIT_CHARS;
    const int n = WideCharToMultiByte(CP_ACP, dwFlags, wide.data(), static_cast<int>(wide.size()), nullptr, 0, "?",
                                      nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_ACP, dwFlags, wide.data(), static_cast<int>(wide.size()), out.data(), n, "?", nullptr);
    return out;
}

std::u16string Utf16FromAnsi(std::string_view bytes) {
    if (bytes.empty())
        return {};
    const int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), n);
    return win32::Utf16FromWide(wide);
}

std::string AnsiCodePageName() { return "CP" + std::to_string(GetACP()); }

}  // namespace vexal::platform
