#include "model/HubText.h"

#include "platform/TextCodec.h"

#include <algorithm>
#include <cstdio>

namespace vexal::model {

namespace {

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// UTF-16 units of the character that starts at i.
size_t CharUnits(std::u16string_view text, size_t i) {
    return IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1]) ? 2 : 1;
}

// The code page's bytes of the longest start of the text that fits nMaxBytes.
std::string HubPrefix(std::u16string_view text, size_t nMaxBytes) {
    std::string whole = platform::AnsiFromUtf16(text);
    if (whole.size() <= nMaxBytes) return whole;
    // Character by character, so that a cut never falls inside one.
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const size_t nUnits = CharUnits(text, i);
        const std::string bytes = platform::AnsiFromUtf16(text.substr(i, nUnits));
        if (out.size() + bytes.size() > nMaxBytes) break;
        out += bytes;
        i += nUnits;
    }
    return out;
}

}  // namespace

size_t HubByteLength(std::u16string_view text) { return platform::AnsiFromUtf16(text).size(); }
size_t HubByteLength(std::string_view strUtf8) { return HubByteLength(platform::Utf16FromUtf8(strUtf8)); }

bool FitsHubCodePage(std::u16string_view text) {
    return platform::Utf16FromAnsi(platform::AnsiFromUtf16(text)) == text;
}

bool FitsHubCodePage(std::string_view strUtf8) {
    const std::u16string text = platform::Utf16FromUtf8(strUtf8);
    return platform::Utf8FromUtf16(text) == strUtf8 && FitsHubCodePage(text);
}

bool HasControlCharacter(std::u16string_view text) {
    return std::any_of(text.begin(), text.end(), [](char16_t c) { return c < 0x20 || c == 0x7F; });
}

bool HasControlCharacter(std::string_view strUtf8) {
    return std::any_of(strUtf8.begin(), strUtf8.end(), [](unsigned char c) { return c < 0x20 || c == 0x7F; });
}

std::u16string CutToHubBytes(std::u16string_view text, size_t nMaxBytes) {
    if (HubByteLength(text) <= nMaxBytes) return std::u16string(text);
    size_t nBytes = 0;
    size_t i = 0;
    while (i < text.size()) {
        const size_t nUnits = CharUnits(text, i);
        const size_t nChar = HubByteLength(text.substr(i, nUnits));
        if (nBytes + nChar > nMaxBytes) break;
        nBytes += nChar;
        i += nUnits;
    }
    return std::u16string(text.substr(0, i));
}

std::string ReadHubField(std::span<const uint8_t> field) {
    const auto end = std::find(field.begin(), field.end(), uint8_t{0});
    return platform::Utf8FromUtf16(platform::Utf16FromAnsi(
        std::string_view(reinterpret_cast<const char*>(field.data()), static_cast<size_t>(end - field.begin()))));
}

size_t WriteHubField(std::string_view strUtf8, std::span<uint8_t> field) {
    const std::string bytes = HubPrefix(platform::Utf16FromUtf8(strUtf8), field.size());
    std::fill(field.begin(), field.end(), uint8_t{0});
    std::copy(bytes.begin(), bytes.end(), field.begin());
    return bytes.size();
}

std::string Printable(std::string_view strText, size_t nMax) {
    std::string out;
    for (const unsigned char c : strText.substr(0, nMax)) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char sz[8];
            std::snprintf(sz, sizeof sz, "\\x%02X", c);
            out += sz;
        }
    }
    if (strText.size() > nMax) out += "...";
    return out;
}

}  // namespace vexal::model
