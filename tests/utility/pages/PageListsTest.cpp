// What the pages' lists and rows show for the hub's values, and the pages'
// own texts for its answers. (The blocks, fields and rules behind them are
// the settings model's: tests/model.)
#include <gtest/gtest.h>

#include "utility/pages/PageLists.h"

using namespace vexal::utility;

TEST(PageLists, ValuesWithoutAnEntryShowNone) {
    EXPECT_EQ(EncryptionPosition('0'), 0);
    EXPECT_EQ(EncryptionPosition('1'), 1);
    EXPECT_EQ(EncryptionPosition('2'), -1);
    EXPECT_EQ(ConnectionModePosition('1'), 0);
    EXPECT_EQ(ConnectionModePosition('3'), 2);
    EXPECT_EQ(ConnectionModePosition('0'), -1);
    EXPECT_EQ(ConnectionModePosition('7'), -1);
    EXPECT_EQ(AutoConnectionPosition(1), 1);
    EXPECT_EQ(AutoConnectionPosition(5), -1);

    EXPECT_EQ(AuthenticationEntries(1), (std::vector<std::string>{"Open System", "Shared Key"}));
    EXPECT_EQ(AuthenticationEntries(0).back(), "WPA2-EAP");
    EXPECT_EQ(CipherEntries(0), (std::vector<std::string>{"NONE", "WEP64/128"}));
    EXPECT_EQ(CipherEntries(1), (std::vector<std::string>{"WEP64/128"}));
    EXPECT_EQ(CipherEntries(4), (std::vector<std::string>{"TKIP", "AES", "AES + TKIP"}));
    EXPECT_EQ(BaudRateEntries().size(), 8u);
    EXPECT_EQ(BaudRateEntries()[6], "115200");
    EXPECT_EQ(StopBitEntries(), (std::vector<std::string>{"1 Stop Bit", "2 Stop Bit"}));

    // A row the hub does not report stays off and keeps its value.
    EXPECT_FALSE(UsageRow(2).bEnabled);
    EXPECT_FALSE(UsageRow(7).bEnableChecked);
    EXPECT_TRUE(UsageRow(0).bDisableChecked);
    EXPECT_EQ(TakeUsageRow(2, true), 2);
    EXPECT_EQ(TakeUsageRow(0, true), 1);
    EXPECT_EQ(InterfaceUsageErrorText(5), "Failed to set interface usage. Impossiable All Block.");
    EXPECT_EQ(InterfaceUsageErrorText(9), "Failed to set interface usage.");
}

TEST(PageLists, CustomDeviceRowsTypesAndAnswers) {
    EXPECT_EQ(IdCells("0abc&def0").strVid, "0abc");
    EXPECT_EQ(IdCells("0abc&def0").strPid, "def0");
    EXPECT_EQ(IdCells("ab").strPid, "ab");  // short pieces stay inside

    EXPECT_EQ(DeviceTypePositionForName("Local Printer"), 0);
    EXPECT_EQ(DeviceTypePositionForName("pos printer"), 0);
    EXPECT_EQ(DeviceTypePositionForName("USB to Serial"), 8);
    EXPECT_EQ(DeviceTypePositionForName("HID Input"), -1);
    EXPECT_EQ(DeviceTypePositionForName("USB Serial"), -1);

    EXPECT_EQ(CustomDeviceResultText(ECustomDeviceAction::Add, 0), "Add custom device success");
    EXPECT_EQ(CustomDeviceResultText(ECustomDeviceAction::ReInit, 0), "Re-Init custom device success");
    EXPECT_EQ(CustomDeviceResultText(ECustomDeviceAction::Delete, 4), "Fail-OverlapID");
    EXPECT_EQ(CustomDeviceResultText(ECustomDeviceAction::Add, 6), "Fail-ListFull");
    EXPECT_EQ(CustomDeviceResultText(ECustomDeviceAction::Delete, 1011),
              "Failed to delete custom device (error 1011).");
    EXPECT_EQ(MaximumLengthText(63), "Maximum length is 63");
}
