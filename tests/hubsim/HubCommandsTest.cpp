// The hub's answers, byte for byte, called directly (no socket).
#include "HubCommands.h"

#include <gtest/gtest.h>

using namespace hubsim;

namespace {

Bytes Reply(CHubState& state, const Bytes& request) {
    SHubReply result = HandleHubCommand(state, request);
    EXPECT_TRUE(result.bKnown) << "command " << ToHex(request);
    EXPECT_TRUE(result.optReply.has_value()) << "command " << ToHex(request);
    return result.optReply.value_or(Bytes{});
}

void NoReply(CHubState& state, const Bytes& request) {
    SHubReply result = HandleHubCommand(state, request);
    EXPECT_FALSE(result.optReply.has_value()) << "command " << ToHex(request);
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace

TEST(HubCommands, IdentificationReplies) {
    CHubState state;
    state.m_strModel = "VX-H400_VXL";
    state.m_strFirmware = "2.10.3";
    EXPECT_EQ(Reply(state, {0x50}), Cat({0x50, 0x00}, Text("VX-H400_VXL")));
    EXPECT_EQ(Reply(state, {0x51}), Cat({0x51, 0x00}, Text("2.10.3")));
}

TEST(HubCommands, UsbListAndIdsFollowAttachedDevices) {
    CHubState state;
    state.m_mapDevices.clear();
    state.m_mapDevices[10] = {10, EDeviceKind::Printer, 0x1234, 0x5678};
    state.m_mapDevices[3] = {3, EDeviceKind::Sink, 0x0ABC, 0xDEF0};
    EXPECT_EQ(Reply(state, {0x44}), (Bytes{0x44, 0x0A, 0xBC, 0xDE, 0xF0, 0x12, 0x34, 0x56, 0x78}));
    EXPECT_EQ(Reply(state, {0x45, 0x03}), (Bytes{0x45, 0x03, 0x0A, 0xBC, 0xDE, 0xF0}));
    EXPECT_EQ(Reply(state, {0x45, 0x63}), (Bytes{0x45, 0x63, 0, 0, 0, 0}));  // nothing plugged at 99
    state.m_mapDevices.clear();
    EXPECT_EQ(Reply(state, {0x44}), (Bytes{0x44}));
    NoReply(state, {0x45});  // no device id: malformed
}

TEST(HubCommands, BluetoothReadsCarryFiveByteHeader) {
    CHubState state;
    state.m_nBtMode = '2';
    state.m_strBtName = "Hub";
    state.m_strBtPin = "1234";
    state.m_nBtEncryption = '1';
    state.m_nBtAutoConnect = 1;
    EXPECT_EQ(Reply(state, {0x10, 0x00}), (Bytes{0x10, 0x00, 0x37, 0x42, 0x63, '2'}));
    EXPECT_EQ(Reply(state, {0x11, 0x00}), (Bytes{0x11, 0x00, 0x37, 0x42, 0x64, 'H', 'u', 'b', 0x00}));
    EXPECT_EQ(Reply(state, {0x12, 0x00}), (Bytes{0x12, 0x00, 0x37, 0x42, 0x6B, '1', '2', '3', '4', 0x00}));
    EXPECT_EQ(Reply(state, {0x13, 0x00}), (Bytes{0x13, 0x00, 0x37, 0x42, 0x73, '1'}));
    EXPECT_EQ(Reply(state, {0x58, 0x00}), (Bytes{0x58, 0x01}));
}

TEST(HubCommands, BluetoothWritesAreStoredAndMalformedOnesIgnored) {
    CHubState state;
    // 14 00 enc mode PIN 0D name 0D
    SHubReply result = HandleHubCommand(state, {0x14, 0x00, 0x31, 0x32, '9', '8', '7', '6', 0x0D, 'H', 'u', 'b', 0x0D});
    EXPECT_TRUE(result.bChanged);
    EXPECT_FALSE(result.optReply.has_value());
    EXPECT_EQ(state.m_nBtEncryption, 0x31);
    EXPECT_EQ(state.m_nBtMode, 0x32);
    EXPECT_EQ(state.m_strBtPin, "9876");
    EXPECT_EQ(state.m_strBtName, "Hub");
    // Empty fields travel as two terminators.
    HandleHubCommand(state, {0x14, 0x00, 0x30, 0x31, 0x0D, 0x0D});
    EXPECT_EQ(state.m_strBtPin, "");
    EXPECT_EQ(state.m_strBtName, "");
    // Without the name's terminator nothing changes.
    result = HandleHubCommand(state, {0x14, 0x00, 0x31, 0x33, '1', 0x0D, 'X'});
    EXPECT_FALSE(result.bChanged);
    EXPECT_EQ(state.m_nBtMode, 0x31);
    result = HandleHubCommand(state, {0x14});
    EXPECT_FALSE(result.bChanged);

    HandleHubCommand(state, {0x59, 0x00});
    EXPECT_EQ(state.m_nBtAutoConnect, 0);
    HandleHubCommand(state, {0x59, 0x05});
    EXPECT_EQ(state.m_nBtAutoConnect, 1);
}

// What the host writes must load back from the state file the hub saves after
// it: texts beyond what a state file holds are refused, and nothing changes.
TEST(HubCommands, OverlongTextsAreRefusedSoTheStateStillLoads) {
    CHubState state;
    const Bytes longest(kMaxBluetoothText, 'n');
    SHubReply result = HandleHubCommand(state, Cat(Cat({0x14, 0x00, 0x31, 0x32, '1', 0x0D}, longest), {0x0D}));
    EXPECT_TRUE(result.bChanged);
    EXPECT_EQ(state.m_strBtName.size(), kMaxBluetoothText);
    EXPECT_NO_THROW(CHubState::FromJson(state.ToJson()));

    const Bytes overlong(kMaxBluetoothText + 1, 'x');
    result = HandleHubCommand(state, Cat(Cat({0x14, 0x00, 0x30, 0x33, '1', 0x0D}, overlong), {0x0D}));
    EXPECT_FALSE(result.bChanged);
    EXPECT_EQ(state.m_strBtName, std::string(kMaxBluetoothText, 'n'));
    EXPECT_EQ(state.m_nBtMode, 0x32);
    result = HandleHubCommand(state, Cat(Cat({0x14, 0x00, 0x30, 0x33}, overlong), {0x0D, 'a', 0x0D}));
    EXPECT_FALSE(result.bChanged);
    EXPECT_EQ(state.m_strBtPin, "1");

    EXPECT_TRUE(HandleHubCommand(state, Cat({0xD5}, Bytes(kMaxCommunity, 'r'))).bChanged);
    EXPECT_FALSE(HandleHubCommand(state, Cat({0xD7}, Bytes(kMaxCommunity + 1, 'w'))).bChanged);
    EXPECT_EQ(state.m_strSnmpRw, "private");
    EXPECT_NO_THROW(CHubState::FromJson(state.ToJson()));
}

TEST(HubCommands, LanBlockReadAndWrite) {
    CHubState state;
    Bytes block(30);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i + 1);
    EXPECT_EQ(Reply(state, Cat({0x25}, block)), (Bytes{0x25, 0x00}));
    EXPECT_EQ(Reply(state, {0x24}), Cat({0x24, 0x00}, block));
    // A block of the wrong size is refused with a non-zero status and not stored.
    EXPECT_EQ(Reply(state, Cat({0x25}, Bytes(29, 0xEE))), (Bytes{0x25, 0x03}));
    EXPECT_EQ(Reply(state, {0x24}), Cat({0x24, 0x00}, block));
}

TEST(HubCommands, WlanBlockReadWriteAndAcknowledgement) {
    CHubState state;
    const Bytes before = Reply(state, {0x20, 0x00});
    ASSERT_EQ(before.size(), 594u);
    EXPECT_EQ(before[0], 0x20);
    EXPECT_EQ(before[1], 0x00);
    EXPECT_EQ(before[2 + 590], 'V');
    EXPECT_EQ(before[2 + 591], 'Q');

    Bytes tail(574, 0x5A);
    const Bytes ack = Reply(state, Cat({0x21, 0x00}, tail));
    ASSERT_EQ(ack.size(), 22u);
    EXPECT_EQ(ack[0], 0x21);
    EXPECT_EQ(ack[1], 0x00);
    EXPECT_EQ(ack[2 + 4], '_');
    EXPECT_EQ(ack[2 + 14], 'S');
    EXPECT_EQ(ack[2 + 15], 'U');
    EXPECT_EQ(ack[2 + 16], 'C');
    const Bytes after = Reply(state, {0x20, 0x00});
    EXPECT_TRUE(std::equal(before.begin() + 2, before.begin() + 20, after.begin() + 2))
        << "bytes 0..17 are never written";
    EXPECT_EQ(Bytes(after.begin() + 20, after.end()), tail);

    // Wrong length: acknowledgement without "SUC", nothing stored.
    const Bytes refused = Reply(state, Cat({0x21, 0x00}, Bytes(10, 0x11)));
    ASSERT_EQ(refused.size(), 22u);
    EXPECT_FALSE(refused[2 + 14] == 'S' && refused[2 + 15] == 'U' && refused[2 + 16] == 'C');
    EXPECT_EQ(Reply(state, {0x20, 0x00}), after);

    state.m_bWlanAckFail = true;
    const Bytes failed = Reply(state, Cat({0x21, 0x00}, Bytes(574, 0x22)));
    EXPECT_NE(failed[2 + 14], 'S');
    EXPECT_EQ(Reply(state, {0x20, 0x00}), after);
}

TEST(HubCommands, SerialSettingsOnlyForAdapters) {
    CHubState state;  // adapters at 100 and 101 by default
    EXPECT_EQ(Reply(state, {0x03, 100}), (Bytes{0x03, 100, 2, 1, 0, 0}));
    HandleHubCommand(state, {0x02, 100, 6, 1, 0, 0});
    EXPECT_EQ(Reply(state, {0x03, 100}), (Bytes{0x03, 100, 6, 1, 0, 0}));
    EXPECT_EQ(Reply(state, {0x03, 101}), (Bytes{0x03, 101, 2, 1, 0, 0}));
    // Not an adapter: the "NO" answer the host refuses.
    EXPECT_EQ(Reply(state, {0x03, 10}), (Bytes{0x03, 10, 'N', 'O'}));
    // Out-of-range and short writes change nothing.
    EXPECT_FALSE(HandleHubCommand(state, {0x02, 100, 8, 1, 0, 0}).bChanged);
    EXPECT_FALSE(HandleHubCommand(state, {0x02, 100, 1, 1, 0, 3}).bChanged);
    EXPECT_FALSE(HandleHubCommand(state, {0x02, 100, 1}).bChanged);
    EXPECT_FALSE(HandleHubCommand(state, {0x02, 10, 1, 1, 0, 0}).bChanged);
    EXPECT_EQ(Reply(state, {0x03, 100}), (Bytes{0x03, 100, 6, 1, 0, 0}));
}

TEST(HubCommands, CustomDeviceStatuses) {
    CHubState state;
    state.m_nCustomMax = 2;
    EXPECT_EQ(Reply(state, {0x40, 3}), (Bytes{0x40, 3}));
    EXPECT_EQ(Reply(state, {0x41, 3, 0x1A, 0x2B, 0x00, 0xFF}), (Bytes{0x41, 3, 0}));
    EXPECT_EQ(Reply(state, {0x41, 3, 0x1A, 0x2B, 0x00, 0xFF}), (Bytes{0x41, 3, 4}));  // overlap
    EXPECT_EQ(Reply(state, {0x41, 3, 0x0A, 0x0B, 0x0C, 0x0D}), (Bytes{0x41, 3, 0}));
    EXPECT_EQ(Reply(state, {0x41, 3, 0x01, 0x02, 0x03, 0x04}), (Bytes{0x41, 3, 6}));  // full
    EXPECT_EQ(Reply(state, {0x40, 3}), (Bytes{0x40, 3, 0x1A, 0x2B, 0x00, 0xFF, 0x0A, 0x0B, 0x0C, 0x0D}));
    EXPECT_EQ(Reply(state, {0x42, 3, 0x09, 0x09, 0x09, 0x09}), (Bytes{0x42, 3, 5}));  // not found
    EXPECT_EQ(Reply(state, {0x42, 3, 0x1A, 0x2B, 0x00, 0xFF}), (Bytes{0x42, 3, 0}));
    EXPECT_EQ(Reply(state, {0x40, 3}), (Bytes{0x40, 3, 0x0A, 0x0B, 0x0C, 0x0D}));
    EXPECT_EQ(Reply(state, {0x41, 12, 0x01, 0x02, 0x03, 0x04}), (Bytes{0x41, 12, 3}));  // unknown type
    EXPECT_EQ(Reply(state, {0x41, 3, 0x01}), (Bytes{0x41, 3, 2}));                      // malformed request
    EXPECT_EQ(Reply(state, {0x43, 3}), (Bytes{0x43, 3, 0}));
    EXPECT_EQ(Reply(state, {0x40, 3}), (Bytes{0x40, 3}));
    EXPECT_EQ(Reply(state, {0x43, 10}), (Bytes{0x43, 10, 3}));
    EXPECT_EQ(Reply(state, {0x40, 4}), (Bytes{0x40, 4}));  // other types untouched and empty
}

TEST(HubCommands, ServiceSettings) {
    CHubState state;
    EXPECT_EQ(Reply(state, {0xD0}), (Bytes{0xD0, 0x01}));
    HandleHubCommand(state, {0xD1, 0x00});
    EXPECT_EQ(Reply(state, {0xD0}), (Bytes{0xD0, 0x00}));
    HandleHubCommand(state, {0xD3, 0x07});
    EXPECT_EQ(Reply(state, {0xD2}), (Bytes{0xD2, 0x01}));
    HandleHubCommand(state, {0xD5, 's', 'h', 'o', 'p', 'r', 'o'});
    EXPECT_EQ(Reply(state, {0xD4}), (Bytes{0xD4, 's', 'h', 'o', 'p', 'r', 'o', 0x00}));
    HandleHubCommand(state, {0xD7});  // an empty community
    EXPECT_EQ(Reply(state, {0xD6}), (Bytes{0xD6, 0x00}));
}

TEST(HubCommands, InterfaceUsageAndItsErrors) {
    CHubState state;
    EXPECT_EQ(Reply(state, {0x0E}), (Bytes{0x0E, 0x00, 1, 1, 2, 1, 3, 1}));
    EXPECT_EQ(Reply(state, {0x0F, 1, 1, 3, 0}), (Bytes{0x0F, 0x00}));
    EXPECT_EQ(Reply(state, {0x0E}), (Bytes{0x0E, 0x00, 1, 1, 2, 1, 3, 0}));
    EXPECT_EQ(Reply(state, {0x0F, 1, 0, 2, 0}), (Bytes{0x0F, 0x05}));  // would block every interface
    EXPECT_EQ(Reply(state, {0x0F, 2, 7}), (Bytes{0x0F, 0x03}));        // value out of range
    EXPECT_EQ(Reply(state, {0x0F, 9, 1}), (Bytes{0x0F, 0x04}));        // no such interface
    EXPECT_EQ(Reply(state, {0x0F, 1}), (Bytes{0x0F, 0x03}));           // lone type byte
    EXPECT_EQ(Reply(state, {0x0E}), (Bytes{0x0E, 0x00, 1, 1, 2, 1, 3, 0})) << "refused changes leave it as it was";
    EXPECT_EQ(Reply(state, {0x0F}), (Bytes{0x0F, 0x00}));  // nothing to change
}

TEST(HubCommands, ReadModeIsRememberedWithoutReply) {
    CHubState state;
    NoReply(state, {0x72, 10, 2});
    EXPECT_EQ(state.m_mapReadModes.at(10), 2);
}

TEST(HubCommands, UnknownAndEmptyCommandsGetNoReply) {
    CHubState state;
    for (uint8_t nCode : {0x00, 0x01, 0x30, 0x73, 0x99, 0xFF}) {
        SHubReply result = HandleHubCommand(state, {nCode, 1, 2});
        EXPECT_FALSE(result.bKnown) << int(nCode);
        EXPECT_FALSE(result.optReply.has_value());
    }
    EXPECT_FALSE(HandleHubCommand(state, {}).bKnown);
}

TEST(DeviceData, PrinterAnswersGsIAndSwallowsTheRest) {
    CHubState state;
    state.m_printer.nModelId = 0x20;
    state.m_printer.strName = "TM-VX80";
    EXPECT_TRUE(HandleDeviceData(state, 10, Text("Hello printer\n")).empty());
    EXPECT_EQ(HandleDeviceData(state, 10, {0x1D, 0x49, 0x01}), (std::vector<Bytes>{{0x20}}));
    EXPECT_EQ(HandleDeviceData(state, 10, {0x1D, 0x49, 0x43}), (std::vector<Bytes>{Cat(Text("TM-VX80"), {0})}));
    const auto both = HandleDeviceData(state, 10, {'x', 0x1D, 0x49, 0x41, 0x1D, 0x49, 0x45});
    ASSERT_EQ(both.size(), 2u);
    EXPECT_EQ(both[1], Cat(Text(state.m_printer.strCodepage), {0}));
    EXPECT_TRUE(HandleDeviceData(state, 10, {0x1D, 0x49}).empty());  // cut-off query
}

TEST(DeviceData, SerialAdaptersEchoOthersSwallowAbsentDropped) {
    CHubState state;
    EXPECT_EQ(HandleDeviceData(state, 100, {1, 2, 3}), (std::vector<Bytes>{{1, 2, 3}}));
    EXPECT_TRUE(HandleDeviceData(state, 20, {1, 2, 3}).empty());
    EXPECT_TRUE(HandleDeviceData(state, 55, {1, 2, 3}).empty());
}
