// The settings model's readers of hub bytes, files and user input.
//
// Byte 0 picks the reader (modulo 6), byte 1 is its parameter; the rest is
// its input, copied into an exactly sized buffer so any read past it is caught:
//   0  a backup file's text
//   1  KEY=VALUE arguments, one per line; the parameter picks the group
//   2  a LAN block (missing bytes are zero)
//   3  a WLAN block (missing bytes are zero)
//   4  a text (UTF-16LE units) into a field of the parameter's size, then
//      the first four bytes as a serial line
//   5  a list text (parameter bit 0: the text was cut), then the bytes as
//      device IDs and the text as a device type and adapter ID
#include <algorithm>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "model/Backup.h"
#include "model/CustomDevices.h"
#include "model/HubText.h"
#include "model/Identification.h"
#include "model/Settings.h"
#include "model/TextFields.h"
#include "platform/TextCodec.h"

using namespace vexal::model;
using vexal::fuzz::Lines;
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
    for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return text;
}

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// A backup read, written again, reads back the same.
void CheckBackup(std::string_view text) {
    std::string strError;
    const auto backup = ReadBackupText(std::string(text), "hub.json", strError);
    if (!backup) {
        Require(strError.rfind("hub.json:", 0) == 0);
        return;
    }
    for (const auto& [nId, values] : backup->settings.serial) Require(IsSerialAdapterId(nId) && values.size() == 4);
    for (const auto& [nType, entries] : backup->settings.custom) {
        Require(nType >= 0 && nType < kCustomTypeCount);
        for (const auto& entry : entries) Require(ParseUsbIdEntry(entry) == entry);
    }
    const nlohmann::json written = BackupToJson(*backup);
    const auto again = ReadBackupText(written.dump(2), "again.json", strError);
    Require(again && BackupToJson(*again) == written);
}

// What a hub shows for a group: complete and within the rules.
CGroupValue Current(const std::string& strGroup) {
    CGroupValue value = *MakeGroupValue(strGroup);
    if (auto* p = std::get_if<SBluetooth>(&value)) *p = {"Till 1", "0000", '1', '1', 0};
    if (auto* p = std::get_if<SLan>(&value))
        *p = {{0x00, 0x1B, 0x5F, 0x40, 0x12, 0x7A},
              {192, 168, 0, 10},
              {255, 255, 255, 0},
              {192, 168, 0, 1},
              {192, 168, 0, 1},
              0};
    if (auto* p = std::get_if<SWlan>(&value)) {
        std::copy_n("Hub-WLAN", 8, p->deviceName.begin());
        p->nDhcp = 1;
        p->ip = {192, 168, 1, 50};
        p->mask = {255, 255, 255, 0};
        p->gateway = {192, 168, 1, 1};
        p->strSsid = "Shop";
        p->nAuth = kAuthWpa2Psk;
        p->nCipher = kCipherAes;
        p->strPsk = "secret-key";
    }
    if (auto* p = std::get_if<SNetProto>(&value)) *p = {1, 0, "public", "private"};
    if (auto* p = std::get_if<SUsage>(&value)) *p = {1, 1, 1, kUsageNotReported};
    return value;
}

// The same value after a trip through the hub's bytes.
CGroupValue ThroughBytes(const CGroupValue& value) {
    if (auto* p = std::get_if<SLan>(&value)) return DecodeLan(EncodeLan(*p));
    if (auto* p = std::get_if<SWlan>(&value)) return DecodeWlan(EncodeWlan(*p));
    return value;
}

void CheckAssignments(std::string_view text, uint8_t nGroup) {
    const auto& groups = SettingGroups();
    const SGroupDef& group = groups[nGroup % groups.size()];
    const std::vector<std::string> args = Lines(text);
    // Every kind of key brings a value to one canonical form and keeps it there.
    for (const SKeyDef& key : group.vecKeys) {
        std::string strWhy;
        if (const auto value = CanonicalValue(key, args.front(), strWhy)) {
            const auto again = CanonicalValue(key, *value, strWhy);
            Require(again && *again == *value);
        } else {
            Require(!strWhy.empty());
        }
    }
    std::string strError;
    const auto wanted = ParseAssignments(group, args, strError);
    if (!wanted) {
        Require(!strError.empty());
        return;
    }
    Require(wanted->size() == args.size());
    for (const auto& [strKey, strValue] : *wanted) {
        const SKeyDef* pKey = group.Find(strKey);
        Require(pKey != nullptr && !pKey->bReadOnly);
    }
    const auto fromJson = GroupFromJson(group, GroupToJson(group, *wanted), "set", false, strError);
    Require(fromJson && *fromJson == *wanted);
    // What the user gave is what goes to the hub, or the change is refused.
    const CGroupValue current = Current(group.strName);
    const GroupValues currentValues = ToKeyValues(current);
    Require(CheckGroup(current).empty());
    const auto merged = MergeAndValidate(group, currentValues, *wanted, strError);
    if (!merged) {
        Require(!strError.empty());
        return;
    }
    Require(ValidateGroup(group, *merged).empty());
    for (const auto& [strKey, strValue] : *wanted) Require(merged->at(strKey) == strValue);
    // The typed value takes exactly those values, and the hub's bytes carry them.
    CGroupValue target = current;
    ApplyKeyValues(target, *merged);
    Require(ToKeyValues(target) == *merged);
    Require(ToKeyValues(ThroughBytes(target)) == *merged);
}

void CheckLan(std::span<const uint8_t> bytes) {
    const auto block = Block<kLanBlockSize>(bytes);
    const SLan lan = DecodeLan(block);
    auto expected = block;
    expected[22] = block[22] == 1 ? 1 : 0;
    std::fill(expected.begin() + 23, expected.end(), 0);  // not ours: always zeros
    Require(EncodeLan(lan) == expected);
    const auto mac = ParseMac(FormatMac(lan.mac));
    Require(mac && *mac == lan.mac);
    SLan again = lan;
    ApplyKeyValues(again, ToKeyValues(lan));
    Require(again == lan);
}

void CheckWlan(std::span<const uint8_t> bytes) {
    const auto block = Block<kWlanBlockSize>(bytes);
    const SWlan wlan = DecodeWlan(block);
    // One trip through the model settles a block: a second changes nothing.
    const auto once = EncodeWlan(wlan);
    Require(EncodeWlan(DecodeWlan(once)) == once);
    Require(std::equal(block.begin() + 18, block.begin() + 51, once.begin() + 18));  // the name as read
    Require(once[590] == 'V' && once[591] == 'Q' && once[267] == 0x06);
    // A cipher a list shows is the cipher the block holds.
    const int nPosition = CipherPosition(wlan.nAuth, wlan.nCipher);
    Require(nPosition < static_cast<int>(CiphersFor(wlan.nAuth).size()));
    if (nPosition >= 0) Require(CipherAt(wlan.nAuth, nPosition) == wlan.nCipher);
    // The text form shows what the bytes hold and sets nothing it shows.
    SWlan again = wlan;
    ApplyKeyValues(again, ToKeyValues(wlan));
    Require(again == wlan);
    if (CheckGroup(wlan).empty()) Require(ToKeyValues(DecodeWlan(once)) == ToKeyValues(wlan));
}

void CheckText(const std::u16string& text, size_t nSize) {
    const size_t nBytes = HubByteLength(text);
    const std::u16string strCut = CutToHubBytes(text, nSize);
    Require(HubByteLength(strCut) <= nSize && text.compare(0, strCut.size(), strCut) == 0);
    if (strCut.size() < text.size()) {
        // Cut between characters, and no later than needed.
        const size_t nAt = strCut.size();
        Require(nBytes > nSize && !(IsLowSurrogate(text[nAt]) && nAt > 0 && IsHighSurrogate(text[nAt - 1])));
        const size_t nNext =
            IsHighSurrogate(text[nAt]) && nAt + 1 < text.size() && IsLowSurrogate(text[nAt + 1]) ? 2 : 1;
        Require(HubByteLength(text.substr(0, nAt + nNext)) > nSize);
    }
    // A field of exactly nSize bytes: the text as far as it fits, then zeros.
    auto pField = std::make_unique<uint8_t[]>(nSize);
    const std::span<uint8_t> field(pField.get(), nSize);
    const std::string strUtf8 = vexal::platform::Utf8FromUtf16(text);
    const size_t nWritten = WriteHubField(strUtf8, field);
    Require(nWritten <= nSize);
    Require(std::all_of(field.begin() + static_cast<std::ptrdiff_t>(nWritten), field.end(),
                        [](uint8_t b) { return b == 0; }));
    const std::u16string strRead = vexal::platform::Utf16FromUtf8(ReadHubField(field));
    Require(vexal::platform::AnsiFromUtf16(strRead) ==
            vexal::platform::AnsiFromUtf16(vexal::platform::Utf16FromUtf8(strUtf8)).substr(0, strRead.size()));
    // Each rule decides the same on either form of the text, and a text within
    // a limit is never over it.
    for (EHubText eText : {EHubText::BluetoothName, EHubText::Psk, EHubText::WepKey, EHubText::Community}) {
        const ETextProblem eProblem = CheckHubText(eText, text);
        Require(eProblem == CheckHubText(eText, strUtf8) || !FitsHubCodePage(text));
        if (eProblem == ETextProblem::None) Require(!IsOverLong(eText, text));
    }
}

void CheckSerial(std::span<const uint8_t> bytes) {
    auto byteAt = [&](size_t i) { return i < bytes.size() ? bytes[i] : uint8_t{0}; };
    const SSerialLine line{byteAt(0), byteAt(1), byteAt(2), byteAt(3)};
    SSerialLine again = line;
    ApplyKeyValues(again, ToKeyValues(line));
    Require(again == line);
    // Every byte, with a name or without, is a value that can be restored, also onto another adapter.
    Require(CheckGroup(line).empty());
    SSerialLine other{};
    ApplyKeyValues(other, ToKeyValues(line));
    Require(other == line);
}

void CheckLists(std::span<const uint8_t> bytes, bool bCut) {
    const std::string strText(bytes.begin(), bytes.end());
    const std::vector<std::string> pieces = SplitListText(strText, bCut);
    for (const std::string& strPiece : pieces) Require(!strPiece.empty() && strPiece.find(',') == std::string::npos);
    if (bCut) {
        // Nothing after the last comma of a cut text is taken.
        const size_t nLastComma = strText.rfind(',');
        Require(pieces ==
                SplitListText(nLastComma == std::string::npos ? "" : strText.substr(0, nLastComma + 1), false));
    }
    for (const std::string& strEntry : ParseUsbIdList(strText, bCut)) {
        Require(strEntry.size() == 9 && strEntry[4] == '&');
        Require(ParseUsbIdEntry(strEntry) == strEntry);
    }
    if (const auto nType = ParseCustomType(strText)) Require(*nType >= 0 && *nType < kCustomTypeCount);
    if (const auto nId = ParseSerialDeviceId(strText)) Require(IsSerialAdapterId(*nId));
    const std::vector<int> ids(bytes.begin(), bytes.end());
    for (int nId : SerialAdapters(ids)) Require(IsSerialAdapterId(nId) && DeviceIdText(nId).size() == 2);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    if (nSize < 2) return 0;
    const vexal::fuzz::CExactInput exact(pData, nSize, 2);
    switch (pData[0] % 6) {
    case 0: CheckBackup(exact.Text()); break;
    case 1: CheckAssignments(exact.Text(), pData[1]); break;
    case 2: CheckLan(exact.Bytes()); break;
    case 3: CheckWlan(exact.Bytes()); break;
    case 4:
        CheckText(Units(exact.Bytes()), pData[1]);
        CheckSerial(exact.Bytes());
        break;
    default: CheckLists(exact.Bytes(), (pData[1] & 1) != 0); break;
    }
    return 0;
}
