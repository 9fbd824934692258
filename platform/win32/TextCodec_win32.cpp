#include "platform/TextCodec.h"

#include "platform/win32/Win32Util.h"

namespace vexal::platform {

// The system's ANSI code page (CP_ACP), as the hub expects the host's texts.

std::string AnsiFromUtf16(std::u16string_view text) {
    if (text.empty()) return {};
    std::wstring wide = win32::WideFromUtf16(text);
    const UINT uCodePage = GetACP();
    // Only GB18030 and UTF-8 hold characters beyond the first plane: for any
    // other code page a surrogate pair is one character that becomes one '?'.
    if (uCodePage != CP_UTF8 && uCodePage != 54936) {
        std::wstring folded;
        folded.reserve(wide.size());
        for (size_t i = 0; i < wide.size(); ++i) {
            const bool bPair = wide[i] >= 0xD800 && wide[i] <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
                               wide[i + 1] <= 0xDFFF;
            folded.push_back(bPair ? wchar_t{0xFFFF} : wide[i]);  // a noncharacter no code page holds
            i += bPair ? 1 : 0;
        }
        wide.swap(folded);
    }
    // No best-fit mapping: a character the code page cannot hold becomes '?',
    // never a look-alike. (UTF-8 takes neither flag nor default character.)
    const bool bUtf8 = uCodePage == CP_UTF8;
    const DWORD dwFlags = bUtf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const char* pszDefault = bUtf8 ? nullptr : "?";
    const int n = WideCharToMultiByte(CP_ACP, dwFlags, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                      pszDefault, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_ACP, dwFlags, wide.data(), static_cast<int>(wide.size()), out.data(), n, pszDefault,
                            nullptr);
    return out;
}

std::u16string Utf16FromAnsi(std::string_view bytes) {
    if (bytes.empty()) return {};
    const int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), n);
    return win32::Utf16FromWide(wide);
}

std::string AnsiCodePageName() { return "CP" + std::to_string(GetACP()); }

}  // namespace vexal::platform
