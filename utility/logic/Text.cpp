#include "utility/logic/Text.h"

#include <initializer_list>

namespace vexal::utility {

std::u16string Latin1ToU16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (char c : text)
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    return out;
}

std::u16string Utf8ToU16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto b0 = static_cast<unsigned char>(text[i]);
        int nMore = b0 < 0x80 ? 0 : (b0 & 0xE0) == 0xC0 ? 1 : (b0 & 0xF0) == 0xE0 ? 2 : (b0 & 0xF8) == 0xF0 ? 3 : -1;
        char32_t cp = nMore <= 0 ? b0 : nMore == 1 ? (b0 & 0x1F) : nMore == 2 ? (b0 & 0x0F) : (b0 & 0x07);
        bool bOk = nMore >= 0 && i + static_cast<size_t>(nMore) < text.size();
        for (int k = 1; bOk && k <= nMore; ++k) {
            const auto b = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
            if ((b & 0xC0) != 0x80)
                bOk = false;
            else
                cp = (cp << 6) | (b & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are malformed.
        static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
        if (bOk && (cp < kMin[static_cast<size_t>(nMore)] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF))
            bOk = false;
        if (!bOk) {
            out.push_back(u'\xFFFD');
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += static_cast<size_t>(nMore) + 1;
    }
    return out;
}

std::string U16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

std::u16string NumberText(long long nValue) { return Latin1ToU16(std::to_string(nValue)); }

std::optional<long> ParseNumber(std::u16string_view text, long nMin, long nMax) {
    if (text.empty() || text.size() > 18)
        return std::nullopt;
    long long nValue = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        nValue = nValue * 10 + (c - u'0');
    }
    if (nValue < nMin || nValue > nMax)
        return std::nullopt;
    return static_cast<long>(nValue);
}

namespace {
std::u16string ArgList(std::u16string_view strPattern, std::initializer_list<std::u16string_view> args) {
    std::u16string out;
    for (size_t i = 0; i < strPattern.size(); ++i) {
        if (strPattern[i] == u'%' && i + 1 < strPattern.size() && strPattern[i + 1] >= u'1' &&
            static_cast<size_t>(strPattern[i + 1] - u'1') < args.size()) {
            out += *(args.begin() + (strPattern[i + 1] - u'1'));
            ++i;
        } else {
            out.push_back(strPattern[i]);
        }
    }
    return out;
}
}  // namespace

std::u16string Arg(std::u16string_view p, std::u16string_view a1) { return ArgList(p, {a1}); }
std::u16string Arg(std::u16string_view p, std::u16string_view a1, std::u16string_view a2) {
    return ArgList(p, {a1, a2});
}
std::u16string Arg(std::u16string_view p, std::u16string_view a1, std::u16string_view a2, std::u16string_view a3) {
    return ArgList(p, {a1, a2, a3});
}

}  // namespace vexal::utility
