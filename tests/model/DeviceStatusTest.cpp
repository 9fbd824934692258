// What the devices behind the hub report, read as the tools and Python show
// it, and the frames the host sends them with the accounting of what went.
#include "model/DeviceFrames.h"
#include "model/DeviceStatus.h"

#include <gtest/gtest.h>

#include <numeric>

using namespace vexal::model;

using Reasons = std::vector<std::string>;

TEST(DeviceStatusTest, RecordsReadAsReasonsInByteAndBitOrder) {
    EXPECT_EQ(RecordReasons({0x10, 0x00, 0x00, 0x00}), Reasons{"none"});
    // Paper out: off-line, and both paper sensors.
    EXPECT_EQ(RecordReasons({0x18, 0x00, 0x0F, 0x00}), (Reasons{"offline-report", "media-low", "media-empty"}));
    EXPECT_EQ(RecordReasons({0x14, 0x00, 0x03, 0x0F}), (Reasons{"drawer-open", "media-low"}));
    EXPECT_EQ(RecordReasons({0x3C, 0x60, 0x0C, 0x4F}),
              (Reasons{"offline-report", "cover-open", "drawer-open", "unrecoverable-error", "recoverable-error",
                       "media-empty"}));
    EXPECT_EQ(RecordReasons({0x18, 0x04, 0x00, 0x00}), (Reasons{"offline-report", "mechanical-error"}));
    EXPECT_EQ(RecordReasons({0x18, 0x08, 0x00, 0x00}), (Reasons{"offline-report", "cutter-error"}));
    // Bits that name nothing we know leave "none".
    EXPECT_EQ(RecordReasons({0x10, 0x02, 0x00, 0x4F}), Reasons{"none"});
    // The second kind is the printer's own: no reasons, kept raw.
    EXPECT_EQ(RecordKind({0x35, 0x40, 0x40, 0x00}), ERecordKind::Second);
    EXPECT_EQ(RecordKind({0x18, 0x00, 0x0F, 0x00}), ERecordKind::Status);
    EXPECT_TRUE(RecordReasons({0x35, 0x48, 0x42, 0x00}).empty());

    EXPECT_EQ(RecordHex({0x18, 0x00, 0x0F, 0xA0}), "18000fa0");
    EXPECT_EQ(RecordHexSpaced({0x18, 0x00, 0x0F, 0xA0}), "18 00 0f a0");
}

TEST(DeviceStatusTest, AlarmCodesAndDeviceIdsHaveTheirNamesAndBounds) {
    EXPECT_STREQ(AlarmName(1200), "write-refused");
    EXPECT_STREQ(AlarmName(1201), "device-busy");
    EXPECT_STREQ(AlarmName(1202), "device-offline");
    EXPECT_STREQ(AlarmName(1203), "write-timeout");
    EXPECT_STREQ(AlarmName(1204), "write-error");
    EXPECT_STREQ(AlarmName(1199), "unknown-alarm");
    EXPECT_STREQ(AlarmName(1205), "unknown-alarm");

    EXPECT_EQ(ParseDeviceId("1"), 1);
    EXPECT_EQ(ParseDeviceId("254"), 254);
    EXPECT_EQ(ParseDeviceId("0x0A"), 10);
    for (const char* pszBad : {"0", "255", "-1", "+5", "10 ", " 10", "1x", "", "0x", "0x100", "99999999999"})
        EXPECT_FALSE(ParseDeviceId(pszBad)) << pszBad;
}

TEST(DeviceFramesTest, DataGoesInFramesOfAtMost4096AndWhatWentIsCountedExactly) {
    std::vector<uint8_t> data(5000);
    std::iota(data.begin(), data.end(), uint8_t{0});
    std::vector<uint8_t> wire{0xEE};  // appended after what is there
    AppendFrames(wire, 30, data.data(), data.size());
    ASSERT_EQ(wire.size(), 1 + FramedLength(5000));
    EXPECT_EQ(FramedLength(5000), 5012u);
    EXPECT_EQ(std::vector<uint8_t>(wire.begin(), wire.begin() + 7),
              (std::vector<uint8_t>{0xEE, 'V', 'Q', 'T', 30, 0x10, 0x00}));
    EXPECT_EQ(std::vector<uint8_t>(wire.begin() + 4103, wire.begin() + 4109),
              (std::vector<uint8_t>{'V', 'Q', 'T', 30, 0x03, 0x88}));
    EXPECT_TRUE(std::equal(data.begin(), data.begin() + 4096, wire.begin() + 7));
    EXPECT_TRUE(std::equal(data.begin() + 4096, data.end(), wire.begin() + 4109));
    std::vector<uint8_t> none;
    AppendFrames(none, 30, data.data(), 0);
    EXPECT_TRUE(none.empty());
    EXPECT_EQ(FramedLength(0), 0u);
    EXPECT_EQ(FramedLength(4096), 4102u);

    // Headers are not the device's bytes; a frame cut short counts what of
    // its payload went; more wire than there is counts no more than the data.
    EXPECT_EQ(PayloadWithin(5000, 0), 0u);
    EXPECT_EQ(PayloadWithin(5000, 6), 0u);
    EXPECT_EQ(PayloadWithin(5000, 7), 1u);
    EXPECT_EQ(PayloadWithin(5000, 4102), 4096u);
    EXPECT_EQ(PayloadWithin(5000, 4105), 4096u);  // inside the second header
    EXPECT_EQ(PayloadWithin(5000, 4110), 4098u);
    EXPECT_EQ(PayloadWithin(5000, 5012), 5000u);
    EXPECT_EQ(PayloadWithin(5000, 1u << 20), 5000u);
    EXPECT_EQ(PayloadWithin(8192, 8204), 8192u);
    EXPECT_EQ(PayloadWithin(3, 100), 3u);

    EXPECT_EQ(StatusBackPayload(true), (std::vector<uint8_t>{0x1D, 0x61, 0x0F}));
    EXPECT_EQ(StatusBackPayload(false), (std::vector<uint8_t>{0x1D, 0x61, 0x00}));
    EXPECT_EQ(PnpEnablePayload(), std::vector<uint8_t>{0x01});
}
