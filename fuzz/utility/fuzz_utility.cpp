// The utility's own pure parts: a text into a byte buffer in the hub's code
// page, a text of hexadecimal digit pairs into bytes, and what the custom
// device page shows for a list entry and a type name. (The pages' blocks,
// fields and lists are the settings model's: fuzz/model.)
//
// Byte 0 picks the reader (modulo 2), byte 1 is its parameter; the rest is
// the input, copied into an exactly sized buffer so any read past it is caught:
//   0  a text (UTF-16LE units) into buffers of the parameter's size
//   1  a list entry and a device type name
#include <algorithm>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "fuzz/FuzzInput.h"
#include "platform/TextCodec.h"
#include "utility/logic/TextBytes.h"
#include "utility/pages/PageLists.h"

using namespace vexal::utility;
using vexal::fuzz::Require;

namespace {

std::u16string Units(std::span<const uint8_t> bytes) {
    std::u16string text(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return text;
}

void CheckBuffers(const std::u16string& text, size_t nBuffer) {
    const size_t nBytes = vexal::platform::AnsiFromUtf16(text).size();
    // Byte buffers of exactly nBuffer bytes.
    auto pBuffer = std::make_unique<uint8_t[]>(nBuffer);
    const size_t nCopied = TextToBytes(text, pBuffer.get(), nBuffer);
    Require(nBuffer == 0 ? nCopied == 0 : (nCopied >= 1 && nCopied <= nBuffer && pBuffer[nCopied - 1] == 0));
    const size_t nConverted = HexTextToBytes(text, pBuffer.get(), nBuffer);
    Require(nConverted >= 1 && nConverted <= nBytes + 1);
}

void CheckListCells(std::string_view strText) {
    const SIdCells cells = IdCells(strText);
    Require(cells.strVid.size() == std::min<size_t>(4, strText.size()) && cells.strPid.size() == cells.strVid.size());
    Require(strText.substr(0, cells.strVid.size()) == cells.strVid);
    const int nPosition = DeviceTypePositionForName(strText);
    Require(nPosition >= -1 && nPosition < 10);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    if (nSize < 2) return 0;
    const vexal::fuzz::CExactInput exact(pData, nSize, 2);
    if (pData[0] % 2 == 0)
        CheckBuffers(Units(exact.Bytes()), pData[1]);
    else
        CheckListCells(exact.Text());
    return 0;
}
