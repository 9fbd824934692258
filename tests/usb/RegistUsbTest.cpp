// Interface paths, simulator descriptors, the acceptance table and the hub
// list against a fake bus; the libusb enumeration on this machine.
#include <gtest/gtest.h>

#include "FakeUsbBus.h"
#include "common/RegistUsb.h"
#include "platform/UsbSim.h"

using namespace vexal;
using namespace vexal::test;

namespace {
std::string Path(uint16_t vid, uint16_t pid, const char* loc) { return platform::MakeUsbInterfacePath(vid, pid, loc); }
std::u16string W(const std::string& s) { return std::u16string(s.begin(), s.end()); }
}  // namespace

TEST(UsbPath, ShapeAndRefusals) {
    const std::string p = Path(0x5a4d, 0x5d, "1-4.2");
    EXPECT_EQ(p, "\\\\?\\USB#VID_5A4D&PID_005D#1-4.2#{A5DCBF10-6530-11D2-901F-00C04FB951ED}");
    const auto parts = platform::ParseUsbInterfacePath(p);
    ASSERT_TRUE(parts);
    EXPECT_EQ(parts->wVendorId, 0x5a4d);
    EXPECT_EQ(parts->wProductId, 0x5d);
    EXPECT_EQ(parts->strLocation, "1-4.2");
    // A location holds bus and port numbers only: never "COM" or a file path.
    for (const char* loc : {"COM1", "../x", "", "1-"}) EXPECT_EQ(Path(0x5a4d, 0x5d, loc), "") << loc;
    for (const std::string& bad :
         std::vector<std::string>{"", "USB001:", p.substr(0, 30), p.substr(0, p.size() - 1),
                                  "\\\\?\\USB#VID_5A4G&PID_005D#1-1#{A5DCBF10-6530-11D2-901F-00C04FB951ED}"})
        EXPECT_FALSE(platform::ParseUsbInterfacePath(bad)) << bad;
    auto d = platform::ParseUsbSimDescriptor(R"({"vid": "5a4d", "pid": "005D", "exclusive": true})");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->wVendorId, 0x5a4d);
    EXPECT_TRUE(d->bExclusive);
    for (const char* bad : {"", "{", R"({"vid": "5A4D"})", R"({"vid": "5A4", "pid": "005D"})",
                            R"({"vid": 5, "pid": "005D"})", R"({"vid": "5A4D", "pid": ")"})
        EXPECT_FALSE(platform::ParseUsbSimDescriptor(bad)) << bad;
    using namespace std::string_view_literals;
    EXPECT_FALSE(platform::ParseUsbSimDescriptor("{\"vid\": \"5a4d\"}\0 \"pid\": \"0090\"}"sv))
        << "keys after a NUL byte";
}

TEST(RegistUsb, TableOpenTestEveryDeviceAndPathSearch) {
    EXPECT_TRUE(IsAcceptedUsbDevice(u"5A4D", u"1234"));
    for (const auto& row : kUsbAcceptedPairs) EXPECT_TRUE(IsAcceptedUsbDevice(row.strVendorId, row.strProductId));
    EXPECT_FALSE(IsAcceptedUsbDevice(u"5A4E", u"1234"));
    EXPECT_FALSE(IsAcceptedUsbDevice(u"5a4d", u"005D"));  // exact comparison

    auto pBus = std::make_shared<CFakeUsbBus>();
    const std::string a = Path(0x5a4d, 0x5d, "1-1"), b = Path(0x5a4d, 0x66, "1-2"), c = Path(0x5a4d, 0x5d, "2-1"),
                      denied = Path(0x5a4d, 0x5d, "2-3");
    // Forty devices ahead of the hubs: every device is examined, not a first batch.
    std::vector<platform::SUsbDeviceInfo> devices(40, {Path(0x1111, 0x2222, "3-1"), 0x1111, 0x2222});
    for (const std::string& p : {a, b, denied, c}) devices.push_back({p, 0, 0});
    pBus->SetDevices(devices);
    pBus->SetTestResult(denied, EUsbResult::AccessDenied);
    std::vector<std::u16string> lines;
    CRegistUsb list(pBus, [&](const std::u16string& s) { lines.push_back(s); });
    list.EnumDevices();
    const auto& l = list.Devices();
    ASSERT_EQ(l.size(), 3u);
    EXPECT_EQ(l[2].m_strDevicePath, W(c));
    EXPECT_EQ(l[2].m_dwIndex, 2u);
    EXPECT_EQ(l[2].m_strPortName, u"USB003:");
    ASSERT_EQ(lines.size(), 1u);  // the user is told why a hub is missing
    EXPECT_NE(lines[0].find(u"access denied"), std::u16string::npos);
    // Texts too short for the ID positions fail without reading past them.
    for (const std::u16string& bad : {std::u16string(), std::u16string(u"USB001:"), W(a.substr(0, 20))})
        EXPECT_EQ(list.TestDevice(bad), EUsbResult::NoDevice);
    list.AddDevice(u"USB001:");
    EXPECT_EQ(l.size(), 3u);

    UsbDeviceRecord sought{1, W(c), u"", u"005D", u"5A4D"};
    EXPECT_EQ(CRegistUsb::FindDevicePath(l, sought), W(c));  // its own path first
    sought.m_strDevicePath = W(Path(0x5a4d, 0x5d, "9-9"));
    EXPECT_EQ(CRegistUsb::FindDevicePath(l, sought), W(a));
    sought.m_dwIndex = 7;  // beyond the count: the last hub of the product
    EXPECT_EQ(CRegistUsb::FindDevicePath(l, sought), W(c));
    sought.m_dwIndex = 0;  // indexes count from 1: there is no 0th hub
    EXPECT_EQ(CRegistUsb::FindDevicePath(l, sought), u"");
    sought.m_strProductId = u"0090";
    EXPECT_EQ(CRegistUsb::FindDevicePath(l, sought), u"");
    list.Clear();
    EXPECT_TRUE(l.empty());
}

TEST(RegistUsb, LibusbEnumerationRunsAndListsOnlyAcceptedHubs) {
    ::unsetenv("VEXAL_USB_SIM_DIR");  // on a machine without hubs (CI) it lists none
    const auto pBus = platform::SystemUsbBus();
    const auto all = pBus->Enumerate();
    for (const auto& d : all) EXPECT_TRUE(platform::ParseUsbInterfacePath(d.strPath)) << d.strPath;
    CRegistUsb list(pBus);
    list.EnumDevices();
    for (const auto& r : list.Devices()) EXPECT_TRUE(IsAcceptedUsbDevice(r.m_strVendorId, r.m_strProductId));
    EXPECT_LE(list.Devices().size(), all.size());
}
