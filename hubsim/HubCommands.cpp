#include "HubCommands.h"

#include <algorithm>
#include <cstdio>

namespace hubsim {

namespace {

constexpr uint8_t kBtHeaderMid[2] = {0x37, 0x42};  // "7B" in every Bluetooth reply header

// Custom-device status bytes.
constexpr uint8_t kCustomOk = 0;
constexpr uint8_t kCustomApiError = 2;
constexpr uint8_t kCustomUnknownType = 3;
constexpr uint8_t kCustomOverlap = 4;
constexpr uint8_t kCustomNotFound = 5;
constexpr uint8_t kCustomFull = 6;

// Interface usage error bytes.
constexpr uint8_t kUsageOk = 0;
constexpr uint8_t kUsageOutOfRange = 3;
constexpr uint8_t kUsageNotAvailable = 4;
constexpr uint8_t kUsageBlocksAll = 5;

std::string Hex2(unsigned n) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", n & 0xFF);
    return buf;
}

void AppendText(Bytes& out, const std::string& strText) { out.insert(out.end(), strText.begin(), strText.end()); }

SHubReply Known(Bytes reply, size_t nHeaderLength, std::string strNote) {
    SHubReply result;
    result.bKnown = true;
    result.optReply = std::move(reply);
    result.nHeaderLength = nHeaderLength;
    result.strNote = std::move(strNote);
    return result;
}

SHubReply Changed(std::string strNote) {
    SHubReply result;
    result.bKnown = true;
    result.bChanged = true;
    result.strNote = std::move(strNote);
    return result;
}

SHubReply Rejected(std::string strNote) {
    SHubReply result;
    result.bKnown = true;
    result.strNote = std::move(strNote);
    return result;
}

SHubReply BluetoothRead(const CHubState& state, uint8_t nCommand) {
    static constexpr uint8_t kItemLetter[4] = {'c', 'd', 'k', 's'};
    Bytes reply = {nCommand, 0x00, kBtHeaderMid[0], kBtHeaderMid[1], kItemLetter[nCommand - 0x10]};
    switch (nCommand) {
    case 0x10: reply.push_back(state.m_nBtMode); break;
    case 0x11:
        AppendText(reply, state.m_strBtName);
        reply.push_back(0);
        break;
    case 0x12:
        AppendText(reply, state.m_strBtPin);
        reply.push_back(0);
        break;
    case 0x13: reply.push_back(state.m_nBtEncryption); break;
    default: break;
    }
    return Known(std::move(reply), 5, "bluetooth read " + Hex2(nCommand));
}

// 0x14 0x00 encryption mode PIN 0x0D name 0x0D
SHubReply BluetoothWrite(CHubState& state, const Bytes& p) {
    if (p.size() < 6) return Rejected("bluetooth write too short (" + std::to_string(p.size()) + " bytes), ignored");
    const auto itPinEnd = std::find(p.begin() + 4, p.end(), 0x0D);
    if (itPinEnd == p.end()) return Rejected("bluetooth write without PIN terminator, ignored");
    const auto itNameEnd = std::find(itPinEnd + 1, p.end(), 0x0D);
    if (itNameEnd == p.end()) return Rejected("bluetooth write without name terminator, ignored");
    if (static_cast<size_t>(itPinEnd - (p.begin() + 4)) > kMaxBluetoothText ||
        static_cast<size_t>(itNameEnd - (itPinEnd + 1)) > kMaxBluetoothText)
        return Rejected("bluetooth write with a name or PIN over " + std::to_string(kMaxBluetoothText) +
                        " bytes, ignored");
    // The state file cannot hold a NUL in a text, so such a write would not survive a restart.
    if (std::find(p.begin() + 4, itNameEnd, 0x00) != itNameEnd)
        return Rejected("bluetooth write with a NUL byte, ignored");
    state.m_nBtEncryption = p[2];
    state.m_nBtMode = p[3];
    state.m_strBtPin.assign(p.begin() + 4, itPinEnd);
    state.m_strBtName.assign(itPinEnd + 1, itNameEnd);
    return Changed("bluetooth settings written: name '" + state.m_strBtName + "'");
}

SHubReply CustomChange(CHubState& state, const Bytes& p) {
    const uint8_t nCommand = p[0];
    if (p.size() < 2) return Rejected("custom device command " + Hex2(nCommand) + " without type, ignored");
    const uint8_t nType = p[1];
    auto answer = [&](uint8_t nStatus, bool bChanged) {
        SHubReply result = Known(Bytes{nCommand, nType, nStatus}, 2,
                                 "custom device " + Hex2(nCommand) + " type " + std::to_string(nType) + " status " +
                                     std::to_string(nStatus));
        result.bChanged = bChanged;
        return result;
    };
    if (nType >= kCustomTypeCount) return answer(kCustomUnknownType, false);
    auto& list = state.m_arrCustom[nType];
    if (nCommand == 0x43) {
        list.clear();
        return answer(kCustomOk, true);
    }
    if (p.size() != 6) return answer(kCustomApiError, false);
    const uint32_t nEntry =
        static_cast<uint32_t>(p[2]) << 24 | static_cast<uint32_t>(p[3]) << 16 | static_cast<uint32_t>(p[4]) << 8 | p[5];
    const auto it = std::find(list.begin(), list.end(), nEntry);
    if (nCommand == 0x41) {
        if (it != list.end()) return answer(kCustomOverlap, false);
        if (list.size() >= state.m_nCustomMax) return answer(kCustomFull, false);
        list.push_back(nEntry);
        return answer(kCustomOk, true);
    }
    if (it == list.end()) return answer(kCustomNotFound, false);
    list.erase(it);
    return answer(kCustomOk, true);
}

SHubReply InterfaceUsageWrite(CHubState& state, const Bytes& p) {
    auto answer = [](uint8_t nStatus, bool bChanged) {
        SHubReply result = Known(Bytes{0x0F, nStatus}, 1, "interface usage write status " + std::to_string(nStatus));
        result.bChanged = bChanged;
        return result;
    };
    if ((p.size() - 1) % 2 != 0) return answer(kUsageOutOfRange, false);
    uint8_t values[4] = {0, state.m_nIfBluetooth, state.m_nIfLan, state.m_nIfWlan};
    for (size_t i = 1; i + 1 < p.size(); i += 2) {
        const uint8_t nType = p[i];
        const uint8_t nValue = p[i + 1];
        if (nType < 1 || nType > 3) return answer(kUsageNotAvailable, false);
        if (nValue > 1) return answer(kUsageOutOfRange, false);
        values[nType] = nValue;
    }
    // USB stays on, but a hub reached over the network would lose every way in.
    if (values[1] == 0 && values[2] == 0 && values[3] == 0) return answer(kUsageBlocksAll, false);
    state.m_nIfBluetooth = values[1];
    state.m_nIfLan = values[2];
    state.m_nIfWlan = values[3];
    return answer(kUsageOk, true);
}

}  // namespace

Bytes WlanAcknowledgement(bool bSuccess) {
    // The host looks only at bytes 4, 14, 15 and 16 ("_", "S", "U", "C" on success).
    static const char kSuccess[] = "WLAN_SET_DONE_SUCC";
    static const char kFailure[] = "WLAN_SET_FAIL_ERR!";
    const char* pszText = bSuccess ? kSuccess : kFailure;
    Bytes ack(20, 0);
    std::copy(pszText, pszText + 18, ack.begin());
    return ack;
}

SHubReply HandleHubCommand(CHubState& state, const Bytes& p) {
    if (p.empty()) return SHubReply{};
    const uint8_t nCommand = p[0];
    switch (nCommand) {
    case 0x50: {
        Bytes reply = {0x50, 0x00};
        AppendText(reply, state.m_strModel);
        return Known(std::move(reply), 2, "model name");
    }
    case 0x51: {
        Bytes reply = {0x51, 0x00};
        AppendText(reply, state.m_strFirmware);
        return Known(std::move(reply), 2, "firmware version");
    }
    case 0x44: {
        Bytes reply = {0x44};
        for (const auto& [nId, device] : state.m_mapDevices) {
            reply.push_back(static_cast<uint8_t>(device.nVid >> 8));
            reply.push_back(static_cast<uint8_t>(device.nVid & 0xFF));
            reply.push_back(static_cast<uint8_t>(device.nPid >> 8));
            reply.push_back(static_cast<uint8_t>(device.nPid & 0xFF));
        }
        return Known(std::move(reply), 1, "USB device list");
    }
    case 0x45: {
        if (p.size() < 2) return Rejected("USB IDs request without device id, ignored");
        const uint8_t nDevice = p[1];
        const auto it = state.m_mapDevices.find(nDevice);
        // An absent device answers with zero identifiers, as the hub has nothing plugged there.
        const uint16_t nVid = it == state.m_mapDevices.end() ? 0 : it->second.nVid;
        const uint16_t nPid = it == state.m_mapDevices.end() ? 0 : it->second.nPid;
        return Known(Bytes{0x45, nDevice, static_cast<uint8_t>(nVid >> 8), static_cast<uint8_t>(nVid & 0xFF),
                           static_cast<uint8_t>(nPid >> 8), static_cast<uint8_t>(nPid & 0xFF)},
                     2, "USB IDs of device " + std::to_string(nDevice));
    }
    case 0x10:
    case 0x11:
    case 0x12:
    case 0x13: return BluetoothRead(state, nCommand);
    case 0x14: return BluetoothWrite(state, p);
    case 0x58: return Known(Bytes{0x58, state.m_nBtAutoConnect}, 1, "bluetooth auto connection");
    case 0x59: {
        if (p.size() < 2) return Rejected("bluetooth auto connection write without value, ignored");
        state.m_nBtAutoConnect = p[1] != 0 ? 1 : 0;
        return Changed("bluetooth auto connection " + std::to_string(state.m_nBtAutoConnect));
    }
    case 0x24: {
        Bytes reply = {0x24, 0x00};
        reply.insert(reply.end(), state.m_arrLan.begin(), state.m_arrLan.end());
        return Known(std::move(reply), 2, "LAN settings");
    }
    case 0x25: {
        if (p.size() != 1 + kLanBlockSize)
            return Known(Bytes{0x25, 0x03}, 2, "LAN write of " + std::to_string(p.size() - 1) + " bytes refused");
        std::copy(p.begin() + 1, p.end(), state.m_arrLan.begin());
        SHubReply result = Known(Bytes{0x25, 0x00}, 2, "LAN settings written");
        result.bChanged = true;
        return result;
    }
    case 0x20: {
        Bytes reply = {0x20, 0x00};
        reply.insert(reply.end(), state.m_arrWlan.begin(), state.m_arrWlan.end());
        return Known(std::move(reply), 2, "WLAN settings");
    }
    case 0x21: {
        Bytes reply = {0x21, 0x00};
        const size_t nExpected = 2 + kWlanBlockSize - kWlanWritableOffset;
        const bool bAccept = p.size() == nExpected && !state.m_bWlanAckFail;
        if (bAccept) std::copy(p.begin() + 2, p.end(), state.m_arrWlan.begin() + kWlanWritableOffset);
        const Bytes ack = WlanAcknowledgement(bAccept);
        reply.insert(reply.end(), ack.begin(), ack.end());
        SHubReply result = Known(std::move(reply), 2,
                                 bAccept ? std::string("WLAN settings written")
                                         : "WLAN write of " + std::to_string(p.size()) + " bytes refused");
        result.bChanged = bAccept;
        return result;
    }
    case 0x03: {
        if (p.size() < 2) return Rejected("serial settings read without device id, ignored");
        const uint8_t nDevice = p[1];
        if (!state.IsSerialAdapter(nDevice))
            return Known(Bytes{0x03, nDevice, 'N', 'O'}, 2,
                         "serial settings of " + std::to_string(nDevice) + ": no adapter");
        const auto config = state.SerialConfig(nDevice);
        return Known(Bytes{0x03, nDevice, config[0], config[1], config[2], config[3]}, 2,
                     "serial settings of " + std::to_string(nDevice));
    }
    case 0x02: {
        if (p.size() != 6) return Rejected("serial settings write of " + std::to_string(p.size()) + " bytes, ignored");
        const uint8_t nDevice = p[1];
        if (!state.IsSerialAdapter(nDevice))
            return Rejected("serial settings write for " + std::to_string(nDevice) + ": no adapter");
        if (p[2] > 7 || p[3] > 1 || p[4] > 1 || p[5] > 2)
            return Rejected("serial settings write out of range, ignored");
        state.m_mapSerial[nDevice] = {p[2], p[3], p[4], p[5]};
        return Changed("serial settings of " + std::to_string(nDevice) + " written");
    }
    case 0x40: {
        if (p.size() < 2) return Rejected("custom device list without type, ignored");
        const uint8_t nType = p[1];
        Bytes reply = {0x40, nType};
        if (nType < kCustomTypeCount) {
            for (uint32_t nEntry : state.m_arrCustom[nType]) {
                for (int nShift = 24; nShift >= 0; nShift -= 8) reply.push_back(static_cast<uint8_t>(nEntry >> nShift));
            }
        }
        return Known(std::move(reply), 2, "custom device list type " + std::to_string(nType));
    }
    case 0x41:
    case 0x42:
    case 0x43: return CustomChange(state, p);
    case 0xD0: return Known(Bytes{0xD0, state.m_nTelnet}, 1, "telnet availability");
    case 0xD2: return Known(Bytes{0xD2, state.m_nSnmp}, 1, "SNMP availability");
    case 0xD4:
    case 0xD6: {
        Bytes reply = {nCommand};
        AppendText(reply, nCommand == 0xD4 ? state.m_strSnmpRo : state.m_strSnmpRw);
        reply.push_back(0);
        return Known(std::move(reply), 1, nCommand == 0xD4 ? "SNMP read-only community" : "SNMP read-write community");
    }
    case 0xD1:
    case 0xD3: {
        if (p.size() < 2) return Rejected("service switch " + Hex2(nCommand) + " without value, ignored");
        (nCommand == 0xD1 ? state.m_nTelnet : state.m_nSnmp) = p[1] != 0 ? 1 : 0;
        return Changed(std::string(nCommand == 0xD1 ? "telnet" : "SNMP") + " availability " +
                       std::to_string(p[1] != 0));
    }
    case 0xD5:
    case 0xD7: {
        std::string strText(p.begin() + 1, p.end());
        if (strText.find('\0') != std::string::npos) return Rejected("community with a NUL byte, ignored");
        if (strText.size() > kMaxCommunity)
            return Rejected("community over " + std::to_string(kMaxCommunity) + " bytes, ignored");
        (nCommand == 0xD5 ? state.m_strSnmpRo : state.m_strSnmpRw) = strText;
        return Changed(std::string(nCommand == 0xD5 ? "read-only" : "read-write") + " community written");
    }
    case 0x0E:
        return Known(Bytes{0x0E, 0x00, 1, state.m_nIfBluetooth, 2, state.m_nIfLan, 3, state.m_nIfWlan}, 1,
                     "interface usage");
    case 0x0F: return InterfaceUsageWrite(state, p);
    case 0x72: {
        if (p.size() != 3) return Rejected("read mode command of " + std::to_string(p.size()) + " bytes, ignored");
        state.m_mapReadModes[p[1]] = p[2];
        return Rejected("read mode of device " + std::to_string(p[1]) + " set to " + std::to_string(p[2]));
    }
    default: return SHubReply{};
    }
}

std::vector<Bytes> HandleDeviceData(CHubState& state, uint8_t nDevice, const Bytes& data,
                                    std::optional<Bytes>* pHubFrame) {
    std::vector<Bytes> answers;
    const auto it = state.m_mapDevices.find(nDevice);
    if (it == state.m_mapDevices.end()) return answers;  // nothing plugged there: the data goes nowhere
    switch (it->second.eKind) {
    case EDeviceKind::Serial:
    case EDeviceKind::Echo: answers.push_back(data); break;
    case EDeviceKind::Printer: {
        const SPrinterInfo& info = state.m_printer;
        SPrinterAnswer answer =
            PrinterTakes(state.m_mapPrinterLife[nDevice], nDevice, data, [&info](uint8_t n) -> std::optional<Bytes> {
                Bytes reply;
                switch (n) {
                case 0x01: reply.push_back(info.nModelId); return reply;
                case 0x41: AppendText(reply, info.strFirmware); break;
                case 0x43: AppendText(reply, info.strName); break;
                case 0x45: AppendText(reply, info.strCodepage); break;
                default: return std::nullopt;
                }
                reply.push_back(0);
                return reply;
            });
        answers = std::move(answer.vecToHost);
        if (pHubFrame != nullptr) *pHubFrame = std::move(answer.optAlarm);
        break;
    }
    case EDeviceKind::Hid:
    case EDeviceKind::Sink: break;
    }
    return answers;
}

}  // namespace hubsim
