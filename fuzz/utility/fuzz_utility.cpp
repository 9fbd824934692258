// The utility's page decoders, which need no widgets: the LAN and WLAN
// blocks, texts in the hub's fixed fields and in byte buffers, and the lists
// the library returns.
//
// Byte 0 picks the reader (modulo 4), byte 1 is its parameter; the rest is
// its input, copied into an exactly sized buffer so any read past it is caught:
//   0  a LAN block (missing bytes are zero)
//   1  a WLAN block (missing bytes are zero)
//   2  a text (UTF-16LE units) into a field or buffer of the parameter's size
//   3  a custom-device list (UTF-16LE units; parameter bit 0: the text was
//      cut), then the bytes as a list of device IDs
#include <algorithm>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "platform/TextCodec.h"
#include "utility/TextBytes.h"
#include "utility/pages/CustomDeviceTables.h"
#include "utility/pages/LanBlock.h"
#include "utility/pages/TextField.h"
#include "utility/pages/WlanBlock.h"

using namespace vexal::utility;
using vexal::fuzz::Require;

namespace {

template <size_t N>
std::array<uint8_t, N> Block(std::span<const uint8_t> bytes) {
    std::array<uint8_t, N> block{};
    std::copy_n(bytes.begin(), std::min(N, bytes.size()), block.begin());
    return block;
}

std::u16string Units(std::span<const uint8_t> bytes) {
    std::u16string text(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return text;
}

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

void CheckLan(std::span<const uint8_t> bytes) {
    const auto block = Block<kLanBlockSize>(bytes);
    const SLanSettings settings = DecodeLanBlock(block);
    auto expected = block;
    std::fill(expected.begin() + 23, expected.end(), 0);  // not ours: always zeros
    Require(EncodeLanBlock(settings) == expected);
    const auto mac = ParseMac(FormatMac(settings.mac));
    Require(mac && *mac == settings.mac);
}

void CheckWlan(std::span<const uint8_t> bytes) {
    const auto block = Block<kWlanBlockSize>(bytes);
    const SWlanSettings settings = DecodeWlanBlock(block);
    // One trip through the page settles a block: a second changes nothing.
    const auto once = EncodeWlanBlock(settings);
    Require(EncodeWlanBlock(DecodeWlanBlock(once)) == once);
    Require(std::equal(block.begin() + 18, block.begin() + 51, once.begin() + 18));  // the name as read
    Require(once[590] == 'V' && once[591] == 'Q' && once[267] == 0x06);
    // A cipher the list shows is the cipher the block holds.
    const int nPosition = CipherPosition(settings.nAuthentication, settings.nCipher);
    const int nEntries = static_cast<int>(CipherEntries(settings.nAuthentication).size());
    Require(nPosition < nEntries);
    if (nPosition >= 0) Require(CipherValue(settings.nAuthentication, nPosition) == settings.nCipher);
}

void CheckText(const std::u16string& text, size_t nSize) {
    const size_t nBytes = AnsiLength(text);
    const std::u16string strCut = CutToAnsiBytes(text, nSize);
    Require(AnsiLength(strCut) <= nSize && text.compare(0, strCut.size(), strCut) == 0);
    if (strCut.size() < text.size()) {
        // Cut between characters, and no later than needed.
        const size_t nAt = strCut.size();
        Require(nBytes > nSize && !(IsLowSurrogate(text[nAt]) && nAt > 0 && IsHighSurrogate(text[nAt - 1])));
        const size_t nNext = IsHighSurrogate(text[nAt]) && nAt + 1 < text.size() && IsLowSurrogate(text[nAt + 1]) ? 2 : 1;
        Require(AnsiLength(text.substr(0, nAt + nNext)) > nSize);
    }
    // A field of exactly nSize bytes: the text as far as it fits, then zeros.
    auto pField = std::make_unique<uint8_t[]>(nSize);
    const std::span<uint8_t> field(pField.get(), nSize);
    const size_t nWritten = WriteTextField(text, field);
    Require(nWritten <= nSize && nWritten == AnsiLength(strCut));
    Require(std::all_of(field.begin() + static_cast<std::ptrdiff_t>(nWritten), field.end(), [](uint8_t b) { return b == 0; }));
    const std::u16string strRead = ReadTextField(field);
    Require(vexal::platform::AnsiFromUtf16(strRead) == vexal::platform::AnsiFromUtf16(strCut).substr(0, strRead.size()));
    // Byte buffers of exactly nSize bytes.
    auto pBuffer = std::make_unique<uint8_t[]>(nSize);
    const size_t nCopied = TextToBytes(text, pBuffer.get(), nSize);
    Require(nSize == 0 ? nCopied == 0 : (nCopied >= 1 && nCopied <= nSize && pBuffer[nCopied - 1] == 0));
    const size_t nConverted = HexTextToBytes(text, pBuffer.get(), nSize);
    Require(nConverted >= 1 && nConverted <= nBytes + 1);
}

void CheckLists(std::span<const uint8_t> bytes, bool bCut) {
    const std::u16string text = Units(bytes);
    const std::vector<SUsbIdEntry> entries = ParseUsbIdList(text, bCut);
    Require(entries.size() <= text.size());
    for (const SUsbIdEntry& entry : entries) {
        Require(!entry.strVid.empty() && entry.strVid.size() <= 4 && entry.strPid.size() == entry.strVid.size());
        Require(entry.strVid.find(u',') == std::u16string::npos && entry.strPid.find(u',') == std::u16string::npos);
    }
    if (bCut) {
        // Nothing after the last comma of a cut text is taken.
        const size_t nLastComma = text.rfind(u',');
        const std::u16string strWhole = nLastComma == std::u16string::npos ? u"" : text.substr(0, nLastComma + 1);
        const std::vector<SUsbIdEntry> whole = ParseUsbIdList(strWhole, false);
        Require(whole.size() == entries.size());
        for (size_t i = 0; i < whole.size(); ++i)
            Require(whole[i].strVid == entries[i].strVid && whole[i].strPid == entries[i].strPid);
    }
    const std::string strName(bytes.begin(), bytes.end());
    const int nPosition = DeviceTypePositionForName(strName);
    Require(nPosition >= -1 && nPosition < kCustomDeviceTypeCount);
    auto pIds = std::make_unique<uint8_t[]>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), pIds.get());
    for (const std::string& strId : UsbSerialDeviceTexts(pIds.get(), static_cast<int32_t>(bytes.size()))) {
        const unsigned long nId = std::stoul(strId, nullptr, 16);
        Require(strId.size() == 2 && nId >= kUsbSerialFirstId && nId <= kUsbSerialLastId);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    if (nSize < 2) return 0;
    const vexal::fuzz::CExactInput exact(pData, nSize, 2);
    const std::span<const uint8_t> input = exact.Bytes();
    switch (pData[0] % 4) {
    case 0: CheckLan(input); break;
    case 1: CheckWlan(input); break;
    case 2: CheckText(Units(input), pData[1]); break;
    default: CheckLists(input, (pData[1] & 1) != 0); break;
    }
    return 0;
}
