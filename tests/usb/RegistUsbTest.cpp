// Interface paths, simulator descriptors, the acceptance table and the hub
// list (indexes, port names, the path search) against a fake bus.
#include <gtest/gtest.h>

#include "FakeUsbBus.h"
#include "common/RegistUsb.h"
#include "platform/UsbSim.h"

using namespace vexal;
using platform::EUsbResult;
using vexal::test::CFakeUsbBus;

namespace {
std::u16string W(const std::string& s) { return std::u16string(s.begin(), s.end()); }
std::string Path(uint16_t vid, uint16_t pid, const char* loc) { return platform::MakeUsbInterfacePath(vid, pid, loc); }
}  // namespace

TEST(UsbPath, ShapePositionsAndRefusals) {
    const std::string p = Path(0x5a4d, 0x5d, "1-4.2");
    EXPECT_EQ(p, "\\\\?\\USB#VID_5A4D&PID_005D#1-4.2#{A5DCBF10-6530-11D2-901F-00C04FB951ED}");
    EXPECT_EQ(p.substr(12, 4), "5A4D");
    EXPECT_EQ(p.substr(21, 4), "005D");
    const auto parts = platform::ParseUsbInterfacePath(p);
    ASSERT_TRUE(parts);
    EXPECT_EQ(parts->wVendorId, 0x5a4d);
    EXPECT_EQ(parts->wProductId, 0x5d);
    EXPECT_EQ(parts->strLocation, "1-4.2");
    // Lower case is the same path.
    std::string lower = p;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_TRUE(platform::ParseUsbInterfacePath(lower));
    // A location may only hold bus and port numbers: never "COM" or a path.
    EXPECT_EQ(Path(0x5a4d, 0x5d, "COM1"), "");
    EXPECT_EQ(Path(0x5a4d, 0x5d, "../x"), "");
    EXPECT_EQ(Path(0x5a4d, 0x5d, ""), "");
    for (const std::string& bad : std::vector<std::string>{std::string(), "USB001:", p.substr(0, 30), p.substr(0, p.size() - 1),
                                   "\\\\?\\USB#VID_5A4G&PID_005D#1-1#{A5DCBF10-6530-11D2-901F-00C04FB951ED}",
                                   "\\\\?\\USB#VID_5A4D&PID_005D#1-1/..#{A5DCBF10-6530-11D2-901F-00C04FB951ED}"})
        EXPECT_FALSE(platform::ParseUsbInterfacePath(bad)) << bad;
}

TEST(UsbSimDescriptor, ReadsTheThreeKeysAndRefusesBrokenOnes) {
    auto d = platform::ParseUsbSimDescriptor(R"({"vid": "5a4d", "pid": "005D", "exclusive": true})");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->wVendorId, 0x5a4d);
    EXPECT_EQ(d->wProductId, 0x5d);
    EXPECT_TRUE(d->bExclusive);
    d = platform::ParseUsbSimDescriptor(R"({"pid":"0066","vid":"5A4E"})");
    ASSERT_TRUE(d);
    EXPECT_FALSE(d->bExclusive);
    for (const char* bad : {"", "{", R"({"vid": "5A4D"})", R"({"vid": "5A4", "pid": "005D"})",
                            R"({"vid": "5A4D", "pid": "00XD"})", R"({"vid": 5, "pid": "005D"})", R"({"vid": "5A4D", "pid": ")"})
        EXPECT_FALSE(platform::ParseUsbSimDescriptor(bad)) << bad;
}

TEST(RegistUsb, AcceptanceTableAndOpenTest) {
    EXPECT_TRUE(IsAcceptedUsbDevice(u"5A4D", u"1234"));  // our vendor, any product
    for (const auto& row : kUsbAcceptedPairs) EXPECT_TRUE(IsAcceptedUsbDevice(row.strVendorId, row.strProductId));
    EXPECT_FALSE(IsAcceptedUsbDevice(u"5A4E", u"1234"));  // a pair vendor with another product
    EXPECT_FALSE(IsAcceptedUsbDevice(u"5a4d", u"005D"));  // comparison is exact

    auto pBus = std::make_shared<CFakeUsbBus>();
    std::vector<std::u16string> lines;
    CRegistUsb list(pBus, [&](const std::u16string& s) { lines.push_back(s); });
    const std::string denied = Path(0x5a4d, 0x5d, "1-3");
    pBus->SetTestResult(denied, EUsbResult::AccessDenied);
    EXPECT_EQ(list.TestDevice(W(Path(0x5a4d, 0x5d, "1-1"))), EUsbResult::Ok);
    EXPECT_EQ(list.TestDevice(W(Path(0x5a4e, 0x1234, "1-1"))), EUsbResult::NoDevice);
    EXPECT_EQ(list.TestDevice(W(denied)), EUsbResult::AccessDenied);
    ASSERT_EQ(lines.size(), 1u);  // the user is told why the hub is missing
    EXPECT_NE(lines[0].find(u"access denied"), std::u16string::npos);
    // Short or mis-shaped texts never reach past their end.
    for (const std::u16string& bad : {std::u16string(), std::u16string(u"USB001:"), std::u16string(u"\\\\?\\USB#VID_5A4D")})
        EXPECT_EQ(list.TestDevice(bad), EUsbResult::NoDevice);
    list.AddDevice(u"USB001:");
    EXPECT_TRUE(list.Devices().empty());
}

TEST(RegistUsb, EnumerationIndexesNamesAndPathSearch) {
    auto pBus = std::make_shared<CFakeUsbBus>();
    const std::string a = Path(0x5a4d, 0x5d, "1-1"), b = Path(0x5a4d, 0x66, "1-2"), c = Path(0x5a4d, 0x5d, "2-1"),
                      other = Path(0x5a4e, 0x1234, "2-2"), busy = Path(0x5a4d, 0x5d, "2-3");
    std::vector<platform::SUsbDeviceInfo> devices;
    for (const std::string& p : {a, other, b, busy, c}) devices.push_back({p, 0, 0});
    // Far more devices than a first batch of 32: every one is examined.
    for (int i = 0; i < 40; ++i) devices.insert(devices.begin(), {Path(0x1111, 0x2222, "3-1"), 0x1111, 0x2222});
    pBus->SetDevices(devices);
    pBus->SetTestResult(busy, EUsbResult::InUse);

    CRegistUsb list(pBus);
    list.EnumDevices();
    const auto& l = list.Devices();
    ASSERT_EQ(l.size(), 3u);
    EXPECT_EQ(l[0].m_strDevicePath, W(a));
    EXPECT_EQ(l[0].m_dwIndex, 1u);
    EXPECT_EQ(l[0].m_strPortName, u"USB001:");
    EXPECT_EQ(l[0].m_strVendorId, u"5A4D");
    EXPECT_EQ(l[0].m_strProductId, u"005D");
    EXPECT_EQ(l[1].m_dwIndex, 1u);  // another product starts at 1
    EXPECT_EQ(l[1].m_strPortName, u"USB002:");
    EXPECT_EQ(l[2].m_strDevicePath, W(c));
    EXPECT_EQ(l[2].m_dwIndex, 2u);
    EXPECT_EQ(l[2].m_strPortName, u"USB003:");

    UsbDeviceRecord sought;
    sought.m_strProductId = u"005D";
    sought.m_strDevicePath = W(c);
    sought.m_dwIndex = 1;
    EXPECT_EQ(CRegistUsb::FindDevicePath(l, sought), W(c));  // its own path first
    sought.m_strDevicePath = W(Path(0x5a4d, 0x5d, "9-9"));
    EXPECT_EQ(CRegistUsb::FindDevicePath(l, sought), W(a));
    sought.m_dwIndex = 7;  // beyond the count: the last of the product
    EXPECT_EQ(CRegistUsb::FindDevicePath(l, sought), W(c));
    sought.m_strProductId = u"0090";
    EXPECT_EQ(CRegistUsb::FindDevicePath(l, sought), u"");
    list.Clear();
    EXPECT_TRUE(list.Devices().empty());
}

TEST(RegistUsb, LibusbEnumerationRunsAndListsOnlyAcceptedHubs) {
    // On a machine without hubs (CI) this lists none; nothing may fail.
    ::unsetenv("VEXAL_USB_SIM_DIR");
    const auto pBus = platform::SystemUsbBus();
    const auto all = pBus->Enumerate();
    for (const auto& d : all) EXPECT_TRUE(platform::ParseUsbInterfacePath(d.strPath)) << d.strPath;
    CRegistUsb list(pBus);
    list.EnumDevices();
    for (const auto& r : list.Devices()) EXPECT_TRUE(IsAcceptedUsbDevice(r.m_strVendorId, r.m_strProductId));
    EXPECT_LE(list.Devices().size(), all.size());
}
