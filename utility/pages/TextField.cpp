#include "utility/pages/TextField.h"

#include <algorithm>

#include "platform/TextCodec.h"

namespace vexal::utility {

namespace {

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// The code page's bytes for the longest start of text that fits nMaxBytes.
std::string AnsiPrefix(std::u16string_view text, size_t nMaxBytes) {
    std::string whole = platform::AnsiFromUtf16(text);
    if (whole.size() <= nMaxBytes)
        return whole;
    // Character by character, so a cut never falls inside one.
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        size_t nUnits = (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) ? 2 : 1;
        std::string bytes = platform::AnsiFromUtf16(text.substr(i, nUnits));
        if (out.size() + bytes.size() > nMaxBytes)
            break;
        out += bytes;
        i += nUnits;
    }
    return out;
}

}  // namespace

size_t AnsiLength(std::u16string_view text) { return platform::AnsiFromUtf16(text).size(); }

std::u16string CutToAnsiBytes(std::u16string_view text, size_t nMaxBytes) {
    if (AnsiLength(text) <= nMaxBytes)
        return std::u16string(text);
    size_t nBytes = 0;
    size_t i = 0;
    while (i < text.size()) {
        size_t nUnits = (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) ? 2 : 1;
        size_t nChar = AnsiLength(text.substr(i, nUnits));
        if (nBytes + nChar > nMaxBytes)
            break;
        nBytes += nChar;
        i += nUnits;
    }
    return std::u16string(text.substr(0, i));
}

std::u16string ReadTextField(std::span<const uint8_t> field) {
    auto end = std::find(field.begin(), field.end(), uint8_t{0});
    return platform::Utf16FromAnsi(
        std::string_view(reinterpret_cast<const char*>(field.data()), static_cast<size_t>(end - field.begin())));
}

size_t WriteTextField(std::u16string_view text, std::span<uint8_t> field) {
    std::string bytes = AnsiPrefix(text, field.size());
    std::fill(field.begin(), field.end(), uint8_t{0});
    std::copy(bytes.begin(), bytes.end(), field.begin());
    return bytes.size();
}

}  // namespace vexal::utility
