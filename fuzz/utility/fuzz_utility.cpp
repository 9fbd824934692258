// The utility's text helpers: a text into a byte buffer in the hub's code
// page, and a text of hexadecimal digit pairs into bytes. (The pages' blocks,
// fields and lists are the settings model's: fuzz/model.)
//
// Byte 0 is unused, byte 1 is the buffer's size; the rest is the text as
// UTF-16LE units, copied into an exactly sized buffer so any read past it is caught.
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "fuzz/FuzzInput.h"
#include "platform/TextCodec.h"
#include "utility/TextBytes.h"

using namespace vexal::utility;
using vexal::fuzz::Require;

namespace {

std::u16string Units(std::span<const uint8_t> bytes) {
    std::u16string text(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    if (nSize < 2) return 0;
    const vexal::fuzz::CExactInput exact(pData, nSize, 2);
    const std::u16string text = Units(exact.Bytes());
    const size_t nBuffer = pData[1];
    const size_t nBytes = vexal::platform::AnsiFromUtf16(text).size();
    // Byte buffers of exactly nBuffer bytes.
    auto pBuffer = std::make_unique<uint8_t[]>(nBuffer);
    const size_t nCopied = TextToBytes(text, pBuffer.get(), nBuffer);
    Require(nBuffer == 0 ? nCopied == 0 : (nCopied >= 1 && nCopied <= nBuffer && pBuffer[nCopied - 1] == 0));
    const size_t nConverted = HexTextToBytes(text, pBuffer.get(), nBuffer);
    Require(nConverted >= 1 && nConverted <= nBytes + 1);
    return 0;
}
