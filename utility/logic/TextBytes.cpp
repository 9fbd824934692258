#include "utility/logic/TextBytes.h"

#include "platform/TextCodec.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace vexal::utility {

size_t TextToBytes(std::u16string_view text, uint8_t* pDest, size_t nSize) {
    if (pDest == nullptr || nSize == 0) return 0;
    const std::string bytes = platform::AnsiFromUtf16(text);
    const size_t nCopy = std::min(bytes.size(), nSize - 1);
    std::memcpy(pDest, bytes.data(), nCopy);
    pDest[nCopy] = 0;
    return nCopy + 1;
}

static uint8_t HexValue(uint8_t c) {
    if (c == 0) return 0;
    if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
    return static_cast<uint8_t>((c - 0x37) & 0x0F);
}

size_t HexTextToBytes(std::u16string_view text, uint8_t* pDest, size_t nSize) {
    // The converted text with its terminating zero: an odd-length text's
    // last pair reads that zero, never a byte past it.
    std::string bytes = platform::AnsiFromUtf16(text);
    const size_t nLength = std::strlen(bytes.c_str()) + 1;
    bytes.resize(nLength + 1, '\0');
    size_t nOut = 0;
    for (size_t i = 0; i < nLength && bytes[i] != '\0' && nOut < nSize && pDest != nullptr; i += 2) {
        const auto hi = static_cast<uint8_t>(bytes[i]);
        const auto lo = static_cast<uint8_t>(bytes[i + 1]);
        pDest[nOut++] = static_cast<uint8_t>(HexValue(hi) * 16 + HexValue(lo));
    }
    return nLength;
}

}  // namespace vexal::utility
