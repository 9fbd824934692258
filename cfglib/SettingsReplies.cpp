#include "cfglib/SettingsReplies.h"

#include <algorithm>
#include <cstdio>

namespace vexal::cfg {

namespace {

template <typename T>
SReplyResult<T> Refused(EReplyError eError, int32_t nDetail = 0) {
    SReplyResult<T> result;
    result.eError = eError;
    result.nDetail = nDetail;
    return result;
}

template <typename T>
SReplyResult<T> Value(T value) {
    SReplyResult<T> result;
    result.value = std::move(value);
    return result;
}

int32_t LengthOf(ReplyBytes reply) { return static_cast<int32_t>(std::min<size_t>(reply.size(), INT32_MAX)); }

// The Bluetooth header echoes the command, then 00 "7" "B" and the item letter.
bool BluetoothHeaderAccepted(EBluetoothItem eItem, ReplyBytes reply) {
    static constexpr uint8_t kItemLetter[4] = {'c', 'd', 'k', 's'};
    const uint8_t nCommand = static_cast<uint8_t>(eItem);
    return HeaderAccepted(reply,
                          {{0, nCommand}, {1, 0x00}, {2, 0x37}, {3, 0x42}, {4, kItemLetter[(nCommand - 0x10) & 3]}});
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return 0;
}

}  // namespace

bool HeaderAccepted(ReplyBytes reply, std::initializer_list<SHeaderByte> checks) {
    for (const SHeaderByte& check : checks) {
        if (check.nOffset < reply.size() && reply[check.nOffset] == check.nExpected) return true;
    }
    return false;
}

std::string TextFrom(ReplyBytes reply, size_t nOffset) {
    if (nOffset >= reply.size()) return {};
    const auto itBegin = reply.begin() + static_cast<std::ptrdiff_t>(nOffset);
    const auto itEnd = std::find(itBegin, reply.end(), uint8_t{0});
    return std::string(itBegin, itEnd);
}

// ---- Bluetooth -------------------------------------------------------------

std::vector<uint8_t> BuildBluetoothRead(EBluetoothItem eItem) { return {static_cast<uint8_t>(eItem), 0x00}; }

SReplyResult<uint8_t> DecodeBluetoothChar(EBluetoothItem eItem, ReplyBytes reply) {
    if (!BluetoothHeaderAccepted(eItem, reply)) return Refused<uint8_t>(EReplyError::BadHeader);
    if (reply.size() < kBluetoothValueOffset + 1) return Refused<uint8_t>(EReplyError::TooShort, LengthOf(reply));
    return Value(reply[kBluetoothValueOffset]);
}

SReplyResult<std::string> DecodeBluetoothText(EBluetoothItem eItem, ReplyBytes reply) {
    if (!BluetoothHeaderAccepted(eItem, reply)) return Refused<std::string>(EReplyError::BadHeader);
    // The hub always terminates the text, so even an empty one has a sixth byte.
    if (reply.size() < kBluetoothValueOffset + 1) return Refused<std::string>(EReplyError::TooShort, LengthOf(reply));
    return Value(TextFrom(reply, kBluetoothValueOffset));
}

std::vector<uint8_t> BuildBluetoothInfo(uint8_t nMode, std::string_view strNameAnsi, std::string_view strPinAnsi,
                                        uint8_t nEncryption) {
    std::vector<uint8_t> message;
    message.reserve(6 + strPinAnsi.size() + strNameAnsi.size());
    message.push_back(kCmdBluetoothInfoWrite);
    message.push_back(0x00);
    message.push_back(nEncryption);
    message.push_back(nMode);
    message.insert(message.end(), strPinAnsi.begin(), strPinAnsi.end());
    message.push_back(0x0D);
    message.insert(message.end(), strNameAnsi.begin(), strNameAnsi.end());
    message.push_back(0x0D);
    return message;
}

SReplyResult<uint8_t> DecodeBluetoothAutoConnection(ReplyBytes reply) {
    if (!HeaderAccepted(reply, {{0, kCmdBluetoothAutoRead}})) return Refused<uint8_t>(EReplyError::BadHeader);
    if (reply.size() < 2) return Refused<uint8_t>(EReplyError::TooShort, LengthOf(reply));
    return Value(reply[1]);
}

std::vector<uint8_t> BuildOnOff(uint8_t nCommand, int32_t nOn) {
    return {nCommand, static_cast<uint8_t>(nOn != 0 ? 1 : 0)};
}

// ---- LAN and WLAN ----------------------------------------------------------

SReplyResult<LanBlock> DecodeLanRead(ReplyBytes reply) {
    if (!HeaderAccepted(reply, {{0, kCmdLanRead}, {1, 0x00}})) return Refused<LanBlock>(EReplyError::BadHeader);
    if (reply.size() < 2 + kLanBlockSize) return Refused<LanBlock>(EReplyError::TooShort, LengthOf(reply));
    LanBlock block{};
    std::copy_n(reply.begin() + 2, kLanBlockSize, block.begin());
    return Value(block);
}

std::vector<uint8_t> BuildLanWrite(const uint8_t* pData, size_t nLength) {
    std::vector<uint8_t> request{kCmdLanWrite};
    if (pData != nullptr) request.insert(request.end(), pData, pData + nLength);
    return request;
}

SReplyResult<uint8_t> DecodeLanWrite(ReplyBytes reply) {
    if (reply.size() < 2) return Refused<uint8_t>(EReplyError::TooShort, LengthOf(reply));
    SReplyResult<uint8_t> result = Value(reply[1]);
    if (!HeaderAccepted(reply, {{0, kCmdLanWrite}, {1, 0x00}})) {
        result.eError = EReplyError::BadHeader;
        result.nDetail = reply[1];
    }
    return result;
}

SReplyResult<WlanBlock> DecodeWlanRead(ReplyBytes reply) {
    // A 14-byte answer is the hub's refusal, whatever its first bytes say.
    static constexpr size_t kRefusalLength = 14;
    if (!HeaderAccepted(reply, {{0, kCmdWlanRead}, {1, 0x00}})) return Refused<WlanBlock>(EReplyError::BadHeader);
    if (reply.size() == kRefusalLength) return Refused<WlanBlock>(EReplyError::WrongLength, LengthOf(reply));
    if (reply.size() < 2 + kWlanBlockSize) return Refused<WlanBlock>(EReplyError::TooShort, LengthOf(reply));
    WlanBlock block{};
    std::copy_n(reply.begin() + 2, kWlanBlockSize, block.begin());
    return Value(block);
}

std::vector<uint8_t> BuildWlanWrite(const uint8_t* pData, size_t nLength) {
    std::vector<uint8_t> request{kCmdWlanWrite, 0x00};
    if (pData != nullptr) request.insert(request.end(), pData, pData + nLength);
    return request;
}

SReplyResult<WlanAck> DecodeWlanWrite(ReplyBytes reply) {
    if (!HeaderAccepted(reply, {{0, kCmdWlanWrite}, {1, 0x00}})) return Refused<WlanAck>(EReplyError::BadHeader);
    if (reply.size() < 2 + kWlanAckSize) return Refused<WlanAck>(EReplyError::TooShort, LengthOf(reply));
    WlanAck ack{};
    std::copy_n(reply.begin() + 2, kWlanAckSize, ack.begin());
    return Value(ack);
}

// ---- Serial adapter and custom devices ----------------------------------------

SReplyResult<SSerialConfig> DecodeSerialRead(uint8_t nDeviceId, ReplyBytes reply) {
    // "N" or "O" in place of the baud rate: the hub has no such adapter. Tested
    // before the header, which such an answer still echoes.
    if (reply.size() > 2 && (reply[2] == 'N' || reply[2] == 'O'))
        return Refused<SSerialConfig>(EReplyError::NotAvailable);
    if (!HeaderAccepted(reply, {{0, kCmdSerialRead}, {1, nDeviceId}}))
        return Refused<SSerialConfig>(EReplyError::BadHeader);
    if (reply.size() < 6) return Refused<SSerialConfig>(EReplyError::TooShort, LengthOf(reply));
    return Value(SSerialConfig{reply[2], reply[3], reply[4], reply[5]});
}

std::vector<uint8_t> BuildSerialWrite(uint8_t nDeviceId, const SSerialConfig& config) {
    return {kCmdSerialWrite, nDeviceId, config.nBaudRate, config.nDataBits, config.nStopBits, config.nParity};
}

SReplyResult<std::string> DecodeCustomList(uint8_t nType, ReplyBytes reply) {
    if (!HeaderAccepted(reply, {{0, kCmdCustomList}, {1, nType}})) return Refused<std::string>(EReplyError::BadHeader);
    std::string strList;
    for (size_t i = 2; i + 4 <= reply.size(); i += 4) {
        char szEntry[16];
        std::snprintf(szEntry, sizeof szEntry, "%02x%02x&%02x%02x,", reply[i], reply[i + 1], reply[i + 2],
                      reply[i + 3]);
        strList += szEntry;
    }
    return Value(std::move(strList));
}

std::array<uint8_t, 2> HexIdBytes(std::string_view strAnsi) {
    std::array<uint8_t, 2> bytes{};
    const size_t nDigits = std::min<size_t>(strAnsi.size(), 4);
    for (size_t i = 0; i < nDigits; ++i) {
        const int nNibble = HexDigit(strAnsi[i]);
        bytes[i / 2] = static_cast<uint8_t>(bytes[i / 2] | (i % 2 == 0 ? nNibble << 4 : nNibble));
    }
    return bytes;
}

std::vector<uint8_t> BuildCustomChange(uint8_t nCommand, uint8_t nType, std::string_view strVendorAnsi,
                                       std::string_view strProductAnsi) {
    const auto vendor = HexIdBytes(strVendorAnsi);
    const auto product = HexIdBytes(strProductAnsi);
    return {nCommand, nType, vendor[0], vendor[1], product[0], product[1]};
}

SReplyResult<uint8_t> DecodeCustomChange(uint8_t nCommand, uint8_t nType, ReplyBytes reply) {
    if (!HeaderAccepted(reply, {{0, nCommand}, {1, nType}})) return Refused<uint8_t>(EReplyError::BadHeader);
    if (reply.size() < 3) return Refused<uint8_t>(EReplyError::TooShort, LengthOf(reply));
    return Value(reply[2]);
}

// ---- Services and interface usage --------------------------------------------

SReplyResult<uint8_t> DecodeServiceByte(uint8_t nCommand, ReplyBytes reply) {
    if (!HeaderAccepted(reply, {{0, nCommand}})) return Refused<uint8_t>(EReplyError::BadHeader);
    if (reply.size() < 2) return Refused<uint8_t>(EReplyError::TooShort, LengthOf(reply));
    return Value(reply[1]);
}

SReplyResult<std::string> DecodeServiceText(uint8_t nCommand, ReplyBytes reply) {
    if (!HeaderAccepted(reply, {{0, nCommand}})) return Refused<std::string>(EReplyError::BadHeader);
    return Value(TextFrom(reply, 1));
}

std::vector<uint8_t> BuildServiceText(uint8_t nCommand, std::string_view strAnsi) {
    std::vector<uint8_t> message{nCommand};
    message.insert(message.end(), strAnsi.begin(), strAnsi.end());
    return message;
}

SReplyResult<SInterfaceUsage> DecodeInterfaceUsageRead(ReplyBytes reply) {
    if (!HeaderAccepted(reply, {{0, kCmdUsageRead}})) return Refused<SInterfaceUsage>(EReplyError::BadHeader);
    if (reply.size() < 2) return Refused<SInterfaceUsage>(EReplyError::TooShort, LengthOf(reply));
    if (reply[1] != 0) return Refused<SInterfaceUsage>(EReplyError::HubStatus, reply[1]);
    SInterfaceUsage usage;
    for (size_t i = 2; i < reply.size(); i += 2) {
        // A lone final type byte stands for a pair whose state is 0.
        const uint8_t nState = i + 1 < reply.size() ? reply[i + 1] : 0;
        switch (reply[i]) {
        case 1: usage.nBluetooth = nState; break;
        case 2: usage.nLan = nState; break;
        case 3: usage.nWlan = nState; break;
        default: break;
        }
    }
    return Value(usage);
}

std::vector<uint8_t> BuildInterfaceUsageWrite(int32_t nBluetooth, int32_t nLan, int32_t nWlan) {
    std::vector<uint8_t> request{kCmdUsageWrite};
    const int32_t values[3] = {nBluetooth, nLan, nWlan};
    for (uint8_t nType = 1; nType <= 3; ++nType) {
        const int32_t nValue = values[nType - 1];
        if (nValue != 0 && nValue != 1) continue;  // 2 and anything else: leave that interface alone
        request.push_back(nType);
        request.push_back(static_cast<uint8_t>(nValue));
    }
    return request;
}

SReplyResult<uint8_t> DecodeInterfaceUsageWrite(ReplyBytes reply) {
    if (!HeaderAccepted(reply, {{0, kCmdUsageWrite}})) return Refused<uint8_t>(EReplyError::BadHeader);
    if (reply.size() < 2) return Refused<uint8_t>(EReplyError::TooShort, LengthOf(reply));
    if (reply[1] != 0) return Refused<uint8_t>(EReplyError::HubStatus, reply[1]);
    return Value(uint8_t{0});
}

}  // namespace vexal::cfg
