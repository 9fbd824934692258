#include "utility/logic/Text.h"

#include "platform/TextCodec.h"

#include <initializer_list>

namespace vexal::utility {

std::u16string Latin1ToU16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (char c : text) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    return out;
}

std::u16string Utf8ToU16(std::string_view text) { return platform::Utf16FromUtf8(text); }

std::string U16ToUtf8(std::u16string_view text) { return platform::Utf8FromUtf16(text); }

std::u16string NumberText(long long nValue) { return Latin1ToU16(std::to_string(nValue)); }

std::optional<long> ParseNumber(std::u16string_view text, long nMin, long nMax) {
    if (text.empty() || text.size() > 18) return std::nullopt;
    long long nValue = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') return std::nullopt;
        nValue = nValue * 10 + (c - u'0');
    }
    if (nValue < nMin || nValue > nMax) return std::nullopt;
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
