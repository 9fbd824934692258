#include "HexText.h"

#include <cctype>
#include <charconv>

namespace hubsim {

namespace {
int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
}  // namespace

std::optional<Bytes> ParseHex(std::string_view text) {
    Bytes out;
    int nHigh = -1;
    for (char c : text) {
        if (c == ' ' || c == ':' || c == '-' || c == '\t') {
            if (nHigh >= 0) return std::nullopt;  // a lone digit before a separator
            continue;
        }
        const int nDigit = HexDigit(c);
        if (nDigit < 0) return std::nullopt;
        if (nHigh < 0) {
            nHigh = nDigit;
        } else {
            out.push_back(static_cast<uint8_t>(nHigh * 16 + nDigit));
            nHigh = -1;
        }
    }
    if (nHigh >= 0) return std::nullopt;
    return out;
}

std::string ToHex(const uint8_t* pData, size_t nLength) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(nLength * 2);
    for (size_t i = 0; i < nLength; ++i) {
        out.push_back(kDigits[pData[i] >> 4]);
        out.push_back(kDigits[pData[i] & 0x0F]);
    }
    return out;
}

std::optional<long> ParseNumber(std::string_view text, long nMin, long nMax) {
    int nBase = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        nBase = 16;
    }
    if (text.empty()) return std::nullopt;
    long nValue = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), nValue, nBase);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return std::nullopt;
    if (nValue < nMin || nValue > nMax) return std::nullopt;
    return nValue;
}

std::vector<std::string> SplitWords(std::string_view line) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
        size_t nStart = i;
        while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i]))) ++i;
        if (i > nStart) words.emplace_back(line.substr(nStart, i - nStart));
    }
    return words;
}

std::string ToUpper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace hubsim
